; 16-bit loads and stores of D, X, Y and S in every mode, INX/DEX/INY/DEY
; (Z only), ABX/ABY (B unsigned), XGDX/XGDY.
        .include "check.inc"
        PROLOGUE
        sev
        ldd     #0x8001                 ; LDD immediate: N, V cleared
        CKD     1, 0x8001, NZVC, fN
        std     T1                      ; STD direct
        CKM     2, T1, 0x80
        CKM     3, T1+1, 0x01
        ldd     #0
        ldd     T1                      ; LDD direct
        CKD     4, 0x8001, NZVC, fN
        ldx     #T1
        ldd     #0x0000
        std     0,x                     ; STD 0,X: Z
        CKD     5, 0x0000, NZVC, fZ
        ldd     #0x4321
        ldy     #T2
        std     0,y                     ; STD 0,Y, LDD 0,X with offset
        ldx     #T1
        ldd     2,x
        CKD     6, 0x4321, NZVC, 0
        ldd     0x0012                  ; LDD extended
        CKD     7, 0x4321, NZVC, 0
        ldx     #0xFFFF                 ; LDX immediate: N
        CKX     8, 0xFFFF, NZVC, fN
        stx     T1                      ; STX direct, LDX 0,X
        ldx     #T1
        ldx     0,x
        CKX     9, 0xFFFF, NZVC, fN
        ldy     #T3                     ; STX 0,Y (prebyte CD), LDX 0,Y
        ldx     #0x2468
        stx     0,y
        ldx     #0
        ldx     0,y
        CKX     10, 0x2468, NZVC, 0
        ldy     #0x1357                 ; LDY immediate, STY direct, LDY extended
        sty     T1
        ldy     #0
        ldy     0x0010
        CKY     11, 0x1357, NZVC, 0
        ldx     #T2                     ; STY 0,X (prebyte 1A), LDY 0,X
        ldy     #0x9ABC
        sty     0,x
        ldy     #0
        ldy     0,x
        CKY     12, 0x9ABC, NZVC, fN
        ldy     #T1                     ; LDY 0,Y, STY 0,Y
        ldy     0,y
        CKY     13, 0x1357, NZVC, 0
        sts     T3                      ; STS direct keeps S; LDS immediate
        lds     #0x0200
        sts     T1
        lds     T3
        CKM     14, T1, 0x02
        CKM     15, T1+1, 0x00
        ldx     #0xFFFF                 ; INX wraps to 0: Z
        inx
        CKX     16, 0x0000, fZ, fZ
        sec
        dex                             ; DEX: only Z
        CKX     17, 0xFFFF, fZ|fC, fC
        ldy     #0x0001
        dey
        CKY     18, 0x0000, fZ, fZ
        iny
        CKY     19, 0x0001, fZ, 0
        ldx     #0x1000                 ; ABX with B = FF: unsigned
        ldab    #0xFF
        abx
        CKX     20, 0x10FF, 0, 0
        ldy     #0xFFF0                 ; ABY wraps
        ldab    #0x20
        aby
        CKY     21, 0x0010, 0, 0
        ldd     #0x1111                 ; XGDX
        ldx     #0x2222
        xgdx
        CKD     22, 0x2222, 0, 0
        CKX     23, 0x1111, 0, 0
        ldd     #0x3333                 ; XGDY
        ldy     #0x4444
        xgdy
        CKD     24, 0x4444, 0, 0
        CKY     25, 0x3333, 0, 0
        jmp     pass
        EPILOGUE
        VECTORS
