; Addition, subtraction, compare, negate, increment, decrement, DAA, MUL,
; 16-bit ADDD/SUBD; results and flags from the reference manual's
; instruction descriptions (H from bit 3, V from the sign rule).
        .include "check.inc"
        PROLOGUE
        ldaa    #0x3A                   ; 3A + 48 = 82: H, N, V (two positives, negative sum)
        adda    #0x48
        CKA     1, 0x82, HNZVC, fH|fN|fV
        ldaa    #0x80                   ; 80 + 80 = 00: C, V, Z
        adda    #0x80
        CKA     2, 0x00, HNZVC, fC|fV|fZ
        ldaa    #0x0F                   ; 0F + 00 + C = 10: H
        sec
        adca    #0x00
        CKA     3, 0x10, HNZVC, fH
        ldaa    #0x7F                   ; 01 + 7F (direct) = 80: H, N, V
        staa    T1
        ldab    #0x01
        addb    T1
        CKB     4, 0x80, HNZVC, fH|fN|fV
        ldaa    #0x99                   ; ABA 99 + 01 = 9A: N only
        ldab    #0x01
        aba
        CKA     5, 0x9A, HNZVC, fN
        ldaa    #0x50                   ; 50 - 70 = E0: N, C (borrow)
        suba    #0x70
        CKA     6, 0xE0, NZVC, fN|fC
        ldaa    #0x80                   ; 80 - 01 = 7F: V
        suba    #0x01
        CKA     7, 0x7F, NZVC, fV
        ldaa    #0x00                   ; 00 - 00 - C = FF: N, C
        sec
        sbca    #0x00
        CKA     8, 0xFF, NZVC, fN|fC
        ldaa    #0x10                   ; SBA 10 - 10 = 0: Z
        ldab    #0x10
        sba
        CKA     9, 0x00, NZVC, fZ
        ldaa    #0x40                   ; CMPA 40 - 41: N, C; A unchanged
        cmpa    #0x41
        CKA     10, 0x40, NZVC, fN|fC
        ldaa    #0x05                   ; CBA 05 - 03: nothing
        ldab    #0x03
        cba
        CKA     11, 0x05, NZVC, 0
        ldaa    #0x80                   ; NEGA 80 = 80: N, V, C
        nega
        CKA     12, 0x80, NZVC, fN|fV|fC
        clra                            ; NEGA 00 = 00: Z, no C
        nega
        CKA     13, 0x00, NZVC, fZ
        ldaa    #0x01                   ; NEG (extended) 01 = FF: N, C
        staa    T1
        neg     T1
        CKC     14, NZVC, fN|fC
        CKM     15, T1, 0xFF
        sec                             ; INCA 7F = 80: N, V; C untouched
        ldaa    #0x7F
        inca
        CKA     16, 0x80, NZVC, fN|fV|fC
        clc                             ; DECB 80 = 7F: V
        ldab    #0x80
        decb
        CKB     17, 0x7F, NZVC, fV
        ldaa    #0x01                   ; DEC 0,X: 01 -> 00, Z
        staa    T1
        ldx     #T1
        dec     0,x
        CKC     18, NZVC, fZ
        CKM     19, T1, 0x00
        ldy     #T1                     ; INC 0,Y: 00 -> 01
        inc     0,y
        CKC     20, NZVC, 0
        CKM     21, T1, 0x01
        ldaa    #0x15                   ; DAA after 15 + 27 = 3C: 42
        adda    #0x27
        daa
        CKA     22, 0x42, fN|fZ|fC, 0
        ldaa    #0x99                   ; DAA after 99 + 01 = 9A: 00 and C
        adda    #0x01
        daa
        CKA     23, 0x00, fN|fZ|fC, fZ|fC
        ldaa    #0x19                   ; DAA after 19 + 28 = 41 with H: 47
        adda    #0x28
        daa
        CKA     24, 0x47, fN|fZ|fC, 0
        ldaa    #0x91                   ; DAA after 91 + 91 = 22 with C: 82, C stays
        adda    #0x91
        daa
        CKA     25, 0x82, fN|fZ|fC, fN|fC
        ldaa    #12                     ; MUL 12 x 13 = 009C: C is bit 7 of B
        ldab    #13
        mul
        CKD     26, 0x009C, fC, fC
        ldaa    #0xFF                   ; MUL FF x FF = FE01: no C
        ldab    #0xFF
        mul
        CKD     27, 0xFE01, fC, 0
        ldd     #0x7FFF                 ; ADDD 7FFF + 1 = 8000: N, V
        addd    #0x0001
        CKD     28, 0x8000, NZVC, fN|fV
        ldd     #0xFFFF                 ; ADDD FFFF + 2 = 0001: C
        addd    #0x0002
        CKD     29, 0x0001, NZVC, fC
        ldd     #0x0000                 ; SUBD 0 - 1 = FFFF: N, C
        subd    #0x0001
        CKD     30, 0xFFFF, NZVC, fN|fC
        ldd     #0x8000                 ; SUBD 8000 - 1 = 7FFF: V
        subd    #0x0001
        CKD     31, 0x7FFF, NZVC, fV
        ldd     #0x1234                 ; SUBD 0,Y equal: Z
        std     T2
        ldy     #T2
        subd    0,y
        CKD     32, 0x0000, NZVC, fZ
        ldd     #0x0001                 ; ADDD (direct) 1 + 1234
        addd    T2
        CKD     33, 0x1235, NZVC, 0
        ldab    #0x08                   ; ADDB 08 + 08 = 10: H
        addb    #0x08
        CKB     34, 0x10, HNZVC, fH
        ldaa    #0x0F                   ; H set, then 01 + 01 clears it
        adda    #0x01
        ldaa    #0x01
        adda    #0x01
        CKA     35, 0x02, fH, 0
        sec                             ; ADCB FF + 00 + C = 00: H, Z, C
        ldab    #0xFF
        adcb    #0x00
        CKB     36, 0x00, HNZVC, fH|fZ|fC
        ldaa    #0x0F                   ; SUBA leaves H alone
        adda    #0x01
        suba    #0x01
        CKA     37, 0x0F, fH, fH
        ldx     #T1                     ; SUBA/ADDA/CMPA indexed and extended
        ldaa    #0x30
        staa    0,x
        ldaa    #0x31
        suba    0,x
        CKA     38, 0x01, NZVC, 0
        ldaa    #0x10
        adda    0x0010
        CKA     39, 0x40, HNZVC, 0
        ldab    #0x30
        cmpb    0,x
        CKB     40, 0x30, NZVC, fZ
        ldy     #T1
        ldab    #0x20
        sbcb    0,y
        CKB     41, 0xF0, NZVC, fN|fC
        jmp     pass
        EPILOGUE
        VECTORS
