; IDIV and FDIV: quotient in X, remainder in D; Z for a zero quotient, C
; for a zero divisor, and for FDIV V when the divisor is not above the
; dividend (quotient FFFF then).
        .include "check.inc"
        PROLOGUE
        ldd     #0x1234                 ; IDIV 1234 / 0010 = 0123 rest 4
        ldx     #0x0010
        idiv
        CKX     1, 0x0123, fZ|fV|fC, 0
        CKD     2, 0x0004, 0, 0
        ldd     #0x0005                 ; IDIV 5 / 10 = 0 rest 5: Z
        ldx     #0x000A
        idiv
        CKX     3, 0x0000, fZ|fV|fC, fZ
        CKD     4, 0x0005, 0, 0
        ldd     #0xFFFF                 ; IDIV FFFF / 1
        ldx     #0x0001
        idiv
        CKX     5, 0xFFFF, fZ|fV|fC, 0
        CKD     6, 0x0000, 0, 0
        ldd     #0x1234                 ; IDIV by zero: quotient FFFF, C
        ldx     #0x0000
        idiv
        CKX     7, 0xFFFF, fZ|fV|fC, fC
        ldd     #0x0001                 ; FDIV 0001 / 0002 = 8000 (0.5) rest 0
        ldx     #0x0002
        fdiv
        CKX     8, 0x8000, fZ|fV|fC, 0
        CKD     9, 0x0000, 0, 0
        ldd     #0x0001                 ; FDIV 0001 / 0003 = 5555 rest 1
        ldx     #0x0003
        fdiv
        CKX     10, 0x5555, fZ|fV|fC, 0
        CKD     11, 0x0001, 0, 0
        ldd     #0x0000                 ; FDIV 0 / 1 = 0: Z
        ldx     #0x0001
        fdiv
        CKX     12, 0x0000, fZ|fV|fC, fZ
        ldd     #0x0003                 ; FDIV 3 / 2: divisor not above dividend, V
        ldx     #0x0002
        fdiv
        CKX     13, 0xFFFF, fZ|fV|fC, fV
        ldd     #0x0001                 ; FDIV by zero: V and C
        ldx     #0x0000
        fdiv
        CKX     14, 0xFFFF, fZ|fV|fC, fV|fC
        ldd     #0x4000                 ; FDIV 4000 / 8000 = 8000
        ldx     #0x8000
        fdiv
        CKX     15, 0x8000, fZ|fV|fC, 0
        jmp     pass
        EPILOGUE
        VECTORS
