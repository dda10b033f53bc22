; Every conditional branch taken and not taken on the flag patterns its
; description gives, signed and unsigned compares, backward loops, BSR,
; JSR in every mode, JMP, RTS and the return address on the stack.
        .include "check.inc"
        .macro  FLAGS f
        ldaa    #(\f)|fI
        tap
        .endm
        PROLOGUE
        FLAGS   0
        TAKEN   1, bra
        NOTTAKEN 2, brn
        TAKEN   3, bhi
        TAKEN   4, bcc
        TAKEN   5, bne
        TAKEN   6, bvc
        TAKEN   7, bpl
        TAKEN   8, bge
        TAKEN   9, bgt
        NOTTAKEN 10, bls
        NOTTAKEN 11, bcs
        NOTTAKEN 12, beq
        NOTTAKEN 13, bvs
        NOTTAKEN 14, bmi
        NOTTAKEN 15, blt
        NOTTAKEN 16, ble
        FLAGS   fC
        NOTTAKEN 17, bhi
        TAKEN   18, bls
        TAKEN   19, bcs
        NOTTAKEN 20, bcc
        FLAGS   fZ
        NOTTAKEN 21, bhi
        TAKEN   22, bls
        TAKEN   23, beq
        NOTTAKEN 24, bgt
        TAKEN   25, ble
        TAKEN   26, bge
        FLAGS   fN
        TAKEN   27, bmi
        TAKEN   28, blt
        NOTTAKEN 29, bge
        NOTTAKEN 30, bgt
        TAKEN   31, ble
        FLAGS   fV
        TAKEN   32, bvs
        TAKEN   33, blt
        NOTTAKEN 34, bge
        TAKEN   35, ble
        FLAGS   fN|fV
        TAKEN   36, bge
        TAKEN   37, bgt
        NOTTAKEN 38, blt
        NOTTAKEN 39, ble
        ldaa    #0x80                   ; -128 < 1 signed, 128 > 1 unsigned
        cmpa    #0x01
        TAKEN   40, blt
        TAKEN   41, bhi
        NOTTAKEN 42, bmi
        ldab    #5                      ; a backward loop runs five times
        clra
loop:   inca
        decb
        bne     loop
        CKA     43, 5, 0, 0
        clr     T3                      ; BSR, and the return address it stacked
        bsr     sub
ret1:   CKM     44, T3, 1
        ldd     T1
        cpd     #ret1
        beq     l45
        ldab    #45
        jmp     fail
l45:    jsr     sub                     ; JSR extended
        CKM     46, T3, 2
        ldx     #sub                    ; JSR 0,X and 0,Y
        jsr     0,x
        ldy     #sub
        jsr     0,y
        CKM     47, T3, 4
        ldaa    #0x7C                   ; JSR direct to "inc T3; rts" copied to 0x0020
        staa    0x20
        ldd     #T3
        std     0x21
        ldaa    #0x39
        staa    0x23
        jsr     *0x20
        CKM     48, T3, 5
        ldx     #l49                    ; JMP 0,X, 0,Y and extended
        jmp     0,x
        ldab    #49
        jmp     fail
l49:    ldy     #l50
        jmp     0,y
        ldab    #50
        jmp     fail
l50:    jmp     l51
        ldab    #51
        jmp     fail
l51:    jmp     pass
sub:    inc     T3
        tsx                             ; the stacked return address
        ldd     0,x
        std     T1
        rts
        EPILOGUE
        VECTORS
