; Pushes and pulls of A, B, X and Y in their stack order, TSX/TXS/TSY/TYS
; (the index register points at the last byte pushed: S + 1), INS/DES.
        .include "check.inc"
        PROLOGUE
        lds     #0x0300
        ldaa    #0x11
        psha                            ; 0300 = 11, S = 02FF
        CKM     1, 0x0300, 0x11
        tsx
        CKX     2, 0x0300, 0, 0
        ldx     #0x1234
        pshx                            ; low byte first: 02FF = 34, 02FE = 12
        CKM     3, 0x02FF, 0x34
        CKM     4, 0x02FE, 0x12
        tsy
        CKY     5, 0x02FE, 0, 0
        ldab    #0x22
        pshb                            ; 02FD = 22
        ldy     #0x5678
        pshy                            ; 02FC = 78, 02FB = 56
        CKM     6, 0x02FC, 0x78
        ldx     #0
        ldy     #0
        puly
        CKY     7, 0x5678, 0, 0
        pula                            ; the 22 pushed from B
        CKA     8, 0x22, 0, 0
        pulx
        CKX     9, 0x1234, 0, 0
        pulb
        CKB     10, 0x11, 0, 0
        tsx                             ; back at S = 0300: X = S + 1
        CKX     11, 0x0301, 0, 0
        ldx     #0x0250                 ; TXS: S = X - 1
        txs
        tsx
        CKX     12, 0x0250, 0, 0
        sts     T1
        CKM     13, T1+1, 0x4F
        ldy     #0x0280                 ; TYS / TSY
        tys
        sts     T1
        CKM     14, T1+1, 0x7F
        ins                             ; INS / DES
        ins
        des
        tsy
        CKY     15, 0x0281, 0, 0
        ldx     #0x0101                 ; PULX / PULY read high byte first
        stx     0x0281
        pulx
        CKX     16, 0x0101, 0, 0
        jmp     pass
        EPILOGUE
        VECTORS
