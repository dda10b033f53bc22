; CPX, CPY and CPD in every mode and on every page (0x18, 0x1A, 0xCD),
; and 8-bit compares: the subtraction's flags, registers unchanged.
        .include "check.inc"
        PROLOGUE
        ldd     #0x1234
        std     T1                      ; T1 = 1234
        ldd     #0x8000
        std     T2                      ; T2 = 8000
        ldx     #0x1234                 ; CPX immediate equal: Z
        cpx     #0x1234
        CKX     1, 0x1234, NZVC, fZ
        cpx     #0x1235                 ; less: N, C
        CKX     2, 0x1234, NZVC, fN|fC
        cpx     T1                      ; direct
        CKX     3, 0x1234, NZVC, fZ
        ldx     #0x8000                 ; 8000 - 1234 = 6DCC: V (negative minus positive is positive)
        cpx     0x0010                  ; extended
        CKX     4, 0x8000, NZVC, fV
        ldx     #T1                     ; CPX 0,X against itself: 0010 vs 1234
        cpx     0,x
        CKX     5, T1, NZVC, fN|fC
        ldy     #T1                     ; CPX 0,Y (prebyte CD)
        ldx     #0x1234
        cpx     0,y
        CKX     6, 0x1234, NZVC, fZ
        ldy     #0x1234                 ; CPY immediate, direct, extended (prebyte 18)
        cpy     #0x1234
        CKY     7, 0x1234, NZVC, fZ
        cpy     #0x0001
        CKY     8, 0x1234, NZVC, 0
        cpy     T1
        CKY     9, 0x1234, NZVC, fZ
        cpy     0x0012
        CKY     10, 0x1234, NZVC, fN|fV|fC
        ldx     #T1                     ; CPY 0,X (prebyte 1A)
        cpy     0,x
        CKY     11, 0x1234, NZVC, fZ
        ldy     #T2                     ; CPY 0,Y (prebyte 18): 0012 - 8000
        cpy     0,y
        CKY     12, T2, NZVC, fN|fV|fC
        ldd     #0x1234                 ; CPD immediate (1A 83)
        cpd     #0x1234
        CKD     13, 0x1234, NZVC, fZ
        ldd     #0x0001                 ; 0001 - 8000 = 8001: N, V, C
        cpd     #0x8000
        CKD     14, 0x0001, NZVC, fN|fV|fC
        ldd     #0x1234                 ; CPD direct (1A 93), 0,X (1A A3), 0,Y (CD A3), extended (1A B3)
        cpd     T1
        CKD     15, 0x1234, NZVC, fZ
        ldx     #T2
        cpd     0,x
        CKD     16, 0x1234, NZVC, fN|fV|fC
        ldy     #T1
        cpd     0,y
        CKD     17, 0x1234, NZVC, fZ
        ldd     #0xFFFF
        cpd     0x0012
        CKD     18, 0xFFFF, NZVC, 0
        ldaa    #0x7F                   ; CMPA 7F - 80 = FF: N, V, C
        cmpa    #0x80
        CKA     19, 0x7F, NZVC, fN|fV|fC
        ldab    #0x80                   ; CMPB 80 - 7F = 01: V
        cmpb    #0x7F
        CKB     20, 0x80, NZVC, fV
        jmp     pass
        EPILOGUE
        VECTORS
