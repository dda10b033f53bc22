; STOP: a NOP while S is set; with S clear the clocks stop (the test sees
; the CPU stopped right after RESULT was written).  TEST is illegal in
; normal modes: the trap is taken.
        .include "check.inc"
        .equ    COUNT, 0x0020
        PROLOGUE
        clr     COUNT
        tpa                             ; S, X and I are set out of reset
        anda    #0xD0
        cmpa    #0xD0
        beq     ok1
        ldab    #1
        jmp     fail
ok1:    stop                            ; S set: nothing happens
        CKM     2, COUNT, 0
        .byte   0x00                    ; TEST outside the special modes
        CKM     3, COUNT, 1
        ldaa    #0x5A
        staa    RESULT
        ldaa    #0x10                   ; S clear (I stays set)
        tap
        stop
        ldab    #4                      ; never reached
        jmp     fail
h_ill:  inc     COUNT
        tsx
        ldy     7,x
        iny
        sty     7,x
        rti
fail:   stab    FAILID
        ldaa    #0xFA
        staa    RESULT
f1:     bra     f1
pass:   bra     pass
        VECTORS ill=h_ill
