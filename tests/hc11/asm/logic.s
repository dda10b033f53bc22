; AND, OR, EOR, BIT, COM, CLR, TST, loads, stores and transfers: N and Z
; from the result, V cleared, C as each description says.
        .include "check.inc"
        PROLOGUE
        sev                             ; ANDA F0 & 3C = 30: V cleared, C kept
        sec
        ldaa    #0xF0
        anda    #0x3C
        CKA     1, 0x30, NZVC, fC
        clc
        ldaa    #0x80                   ; ORAA 80 | 01 = 81: N
        oraa    #0x01
        CKA     2, 0x81, NZVC, fN
        ldaa    #0xFF                   ; EORA FF ^ FF = 00: Z
        eora    #0xFF
        CKA     3, 0x00, NZVC, fZ
        ldaa    #0x0F                   ; BITA 0F & F0: Z, A unchanged
        bita    #0xF0
        CKA     4, 0x0F, NZVC, fZ
        ldaa    #0x3C                   ; ANDB direct, ORAB 0,X, EORB 0,Y, BITB extended
        staa    T1
        ldx     #T1
        ldy     #T1
        ldab    #0x0F
        andb    T1
        CKB     5, 0x0C, NZVC, 0
        ldab    #0xC0
        orab    0,x
        CKB     6, 0xFC, NZVC, fN
        ldab    #0x3C
        eorb    0,y
        CKB     7, 0x00, NZVC, fZ
        ldab    #0x04
        bitb    0x0010
        CKB     8, 0x04, NZVC, 0
        ldaa    #0x55                   ; COMA 55 = AA: N, C set, V clear
        coma
        CKA     9, 0xAA, NZVC, fN|fC
        ldab    #0xFF                   ; COMB FF = 00: Z, C
        comb
        CKB     10, 0x00, NZVC, fZ|fC
        ldaa    #0x0F                   ; COM 0,X 0F = F0
        staa    T1
        com     0,x
        CKC     11, NZVC, fN|fC
        CKM     12, T1, 0xF0
        sec                             ; CLRA: Z only
        ldaa    #0xFF
        clra
        CKA     13, 0x00, NZVC, fZ
        sec                             ; CLR extended
        clr     T1
        CKC     14, NZVC, fZ
        CKM     15, T1, 0x00
        sec                             ; TSTA 80: N, V and C cleared
        sev
        ldaa    #0x80
        tsta
        CKA     16, 0x80, NZVC, fN
        ldab    #0x00                   ; TSTB 00: Z
        tstb
        CKB     17, 0x00, NZVC, fZ
        ldaa    #0x81                   ; TST 0,Y
        staa    T1
        sec
        tst     0,y
        CKC     18, NZVC, fN
        sev                             ; LDAA 00: Z, V cleared
        ldaa    #0x00
        CKC     19, NZVC, fZ
        ldaa    #0x90                   ; STAA sets N from the stored byte
        clc
        staa    T2
        CKC     20, NZVC, fN
        CKM     21, T2, 0x90
        ldaa    #0x80                   ; TAB
        ldab    #0x00
        tab
        CKB     22, 0x80, NZVC, fN
        ldab    #0x00                   ; TBA
        ldaa    #0x55
        tba
        CKA     23, 0x00, NZVC, fZ
        ldab    0,x                     ; LDAB 0,X (T1 = 81)
        CKB     24, 0x81, NZVC, fN
        ldaa    #0x42                   ; STAB 0,Y / LDAA extended
        tab
        stab    0,y
        ldaa    0x0010
        CKA     25, 0x42, NZVC, 0
        ldaa    #0x01                   ; TPA after SEC/SEV: A = CCR
        sec
        sev
        tpa
        anda    #0x0F
        cmpa    #fC|fV
        beq     l26
        ldab    #26
        jmp     fail
l26:    ldaa    #0xD0                   ; TAP: S X I set, flags clear
        tap
        ldaa    #0x00                   ; TAP 00 clears X (and S, I)
        tap
        ldaa    #0xFF                   ; TAP FF cannot set X again
        tap
        tpa
        CKA     27, 0xBF, 0x00, 0x00
        ldaa    #0x10                   ; I back on, flags clear
        tap
        jmp     pass
        EPILOGUE
        VECTORS
