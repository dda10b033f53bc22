; Shifts and rotates on A, B, D and memory: C from the bit shifted out,
; V = N xor C after the operation.
        .include "check.inc"
        PROLOGUE
        ldaa    #0x01                   ; LSRA 01 = 00: Z, C, V
        lsra
        CKA     1, 0x00, NZVC, fZ|fC|fV
        ldaa    #0x81                   ; ASLA 81 = 02: C, V
        asla
        CKA     2, 0x02, NZVC, fC|fV
        ldab    #0x40                   ; ASLB 40 = 80: N, V
        aslb
        CKB     3, 0x80, NZVC, fN|fV
        ldaa    #0x81                   ; ASRA 81 = C0: N, C
        asra
        CKA     4, 0xC0, NZVC, fN|fC
        sec                             ; ROLA 80 with C = 01: C, V
        ldaa    #0x80
        rola
        CKA     5, 0x01, NZVC, fC|fV
        sec                             ; RORA 01 with C = 80: N, C
        ldaa    #0x01
        rora
        CKA     6, 0x80, NZVC, fN|fC
        clc                             ; RORB 02 = 01
        ldab    #0x02
        rorb
        CKB     7, 0x01, NZVC, 0
        ldd     #0x8001                 ; LSRD 8001 = 4000: C, V
        lsrd
        CKD     8, 0x4000, NZVC, fC|fV
        ldd     #0xC000                 ; ASLD C000 = 8000: N, C
        asld
        CKD     9, 0x8000, NZVC, fN|fC
        ldd     #0x4000                 ; ASLD 4000 = 8000: N, V
        asld
        CKD     10, 0x8000, NZVC, fN|fV
        ldaa    #0x02                   ; LSR extended 02 = 01
        staa    T1
        lsr     T1
        CKC     11, NZVC, 0
        CKM     12, T1, 0x01
        ldaa    #0x80                   ; ASL 0,X 80 = 00: Z, C, V
        staa    T1
        ldx     #T1
        asl     0,x
        CKC     13, NZVC, fZ|fC|fV
        CKM     14, T1, 0x00
        ldaa    #0x55                   ; ROL 0,Y 55 = AA: N, V
        staa    T1
        ldy     #T1
        clc
        rol     0,y
        CKC     15, NZVC, fN|fV
        CKM     16, T1, 0xAA
        sec                             ; ROR extended AA with C = D5: N, V
        ror     T1
        CKC     17, NZVC, fN|fV
        CKM     18, T1, 0xD5
        ldaa    #0x03                   ; ASR 0,X 03 = 01: C, V
        staa    T1
        asr     0,x
        CKC     19, NZVC, fC|fV
        CKM     20, T1, 0x01
        ldab    #0xFE                   ; LSRB FE = 7F
        lsrb
        CKB     21, 0x7F, NZVC, 0
        ldd     #0x0001                 ; LSRD 0001 = 0000: Z, C, V
        lsrd
        CKD     22, 0x0000, NZVC, fZ|fC|fV
        jmp     pass
        EPILOGUE
        VECTORS
