; BSET/BCLR (direct, X, Y): N and Z of the result, V cleared; BRSET/BRCLR
; taken and not taken, and with an empty mask (always taken).
        .include "check.inc"
        PROLOGUE
        clr     T1
        sev
        bset    *T1 #0x81               ; direct
        CKC     1, NZVC, fN
        CKM     2, T1, 0x81
        ldx     #T1
        bclr    0,x #0x81               ; indexed X: Z
        CKC     3, NZVC, fZ
        CKM     4, T1, 0x00
        ldy     #T1
        bset    0,y #0x3C               ; indexed Y
        CKM     5, T1, 0x3C
        bclr    *T1 #0x0C
        CKM     6, T1, 0x30
        brset   *T1 #0x30 t7            ; all mask bits set: taken
        ldab    #7
        jmp     fail
t7:     brset   *T1 #0x31 f8            ; one clear: not taken
        bra     t8
f8:     ldab    #8
        jmp     fail
t8:     brclr   0,x #0x0F t9            ; all mask bits clear: taken
        ldab    #9
        jmp     fail
t9:     brclr   0,y #0x10 f10           ; one set: not taken
        bra     t10
f10:    ldab    #10
        jmp     fail
t10:    brset   0,y #0x30 t11
        ldab    #11
        jmp     fail
t11:    brclr   *T1 #0x00 t12           ; empty mask: taken
        ldab    #12
        jmp     fail
t12:    brset   0,x #0x00 t13
        ldab    #13
        jmp     fail
t13:    ldab    #3                      ; BRCLR as a loop: spins until a bit clears
        stab    T2
w14:    dec     T2
        brclr   *T2 #0xFF d14
        bra     w14
d14:    CKM     14, T2, 0x00
        jmp     pass
        EPILOGUE
        VECTORS
