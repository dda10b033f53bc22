; SWI and RTI, the illegal-opcode trap (return address = the opcode, with
; its prebyte), I-bit masking of a pending SCI interrupt, WAI woken by the
; SCI receiver and by a timer output compare, the real-time interrupt, and
; a mask opened on a flag already set.
        .include "check.inc"
        .equ    REGS, 0x1000
        .equ    COUNT, 0x0020
        .equ    DATA, 0x0021
        .equ    TRAPPC, 0x0022
        PROLOGUE
        clr     COUNT
        ; SWI: everything stacked, I set in the handler, all back after RTI
        cli
        ldaa    #0xA1
        ldab    #0xB2
        ldx     #0xC3D4
        ldy     #0xE5F6
        sec
        swi
        CKA     1, 0xA1, fC|fI, fC      ; C restored, I clear again
        CKB     2, 0xB2, 0, 0
        CKX     3, 0xC3D4, 0, 0
        CKY     4, 0xE5F6, 0, 0
        CKM     5, COUNT, 1
        ; illegal opcodes: the trap stacks their own address
ill1:   .byte   0x41
        CKM     6, COUNT, 2
        ldd     TRAPPC
        cpd     #ill1
        beq     ok7
        ldab    #7
        jmp     fail
ok7:
ill2:   .byte   0x18, 0x41              ; not an opcode on the 0x18 page
        CKM     8, COUNT, 3
        ldd     TRAPPC
        cpd     #ill2
        beq     ok9
        ldab    #9
        jmp     fail
ok9:    ; TDRE is set, so TIE asks for an interrupt: held off while I is set
        sei
        ldx     #REGS
        ldaa    #0x88                   ; TIE, TE
        staa    0x2d,x
        nop
        nop
        CKM     10, COUNT, 3
        cli                             ; now it is taken (the handler turns TIE off)
        nop
        sei
        CKM     11, COUNT, 4
        ; WAI until a received byte (sent by the test at 9600 baud)
        ldaa    #0x30                   ; E/16/13: 9615 baud
        staa    0x2b,x
        ldaa    #0x24                   ; RIE, RE
        staa    0x2d,x
        cli
        wai
        sei
        CKM     12, COUNT, 5
        CKM     13, DATA, 0xA7
        clr     0x2d,x
        ; WAI until TOC2 matches
        ldd     0x0e,x                  ; TCNT
        addd    #500
        std     0x18,x                  ; TOC2
        ldaa    #0x40
        staa    0x23,x                  ; clear OC2F
        staa    0x22,x                  ; OC2I
        cli
        wai
        sei
        CKM     14, COUNT, 6
        clr     0x22,x
        ; the real-time interrupt, polled with I set then taken
        ldaa    #0x40
        staa    0x25,x                  ; clear RTIF
rw:     brclr   0x25,x #0x40 rw         ; about 4 ms (E / 2^13)
        staa    0x24,x                  ; RTII: taken as soon as I clears
        cli
        nop
        sei
        CKM     15, COUNT, 7
        ; a mask opened on a flag that is already set: taken at once
        ldd     0x0e,x
        addd    #100
        std     0x1a,x                  ; TOC3
        ldaa    #0x20
        staa    0x23,x                  ; clear OC3F
w16:    brclr   0x23,x #0x20 w16
        staa    0x22,x                  ; OC3I
        cli
        nop
        sei
        CKM     16, COUNT, 8
        jmp     pass

h_swi:  inc     COUNT
        tsx                             ; stacked: CCR, B, A, X, Y, PC
        ldaa    2,x
        cmpa    #0xA1
        bne     bad
        ldd     3,x
        cpd     #0xC3D4
        bne     bad
        tpa                             ; I is set inside
        bita    #fI
        beq     bad
        rti
bad:    ldab    #0xE0
        jmp     fail
h_ill:  inc     COUNT
        tsx
        ldd     7,x                     ; the stacked PC
        std     TRAPPC
        ldab    0,x                     ; skip the opcode: one byte, two with a prebyte
        pshb
        ldy     7,x
        ldaa    0,y
        pulb
        cmpa    #0x18
        bne     one
        iny
one:    iny
        sty     7,x
        rti
h_sci:  inc     COUNT
        ldx     #REGS
        ldaa    0x2e,x
        bita    #0x20
        beq     tx
        ldaa    0x2f,x                  ; RDRF: take the byte
        staa    DATA
        rti
tx:     bclr    0x2d,x #0x80            ; TDRE: turn TIE off
        rti
h_toc2: inc     COUNT
        ldx     #REGS
        ldaa    #0x40
        staa    0x23,x
        rti
h_toc3: inc     COUNT
        ldx     #REGS
        clr     0x22,x
        ldaa    #0x20
        staa    0x23,x
        rti
h_rti:  inc     COUNT
        ldx     #REGS
        ldaa    #0x40
        staa    0x25,x
        clr     0x24,x
        rti
        EPILOGUE
        VECTORS sci=h_sci, toc2=h_toc2, toc3=h_toc3, rti=h_rti, swi=h_swi, ill=h_ill
