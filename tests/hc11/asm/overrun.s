; Reads nothing for about four character times after the first byte
; arrives, then reports SCSR and SCDR as the program then sees them, and
; goes on echoing whatever else is received.
        .sect .text
start:  ldx     #0x1000
first:  brclr   0x2e,x #0x20 first
        ldy     #1600                   ; 1600 x 7 cycles: four characters at 7812 baud
delay:  dey
        bne     delay
        ldaa    0x2e,x                  ; SCSR: RDRF and OR
        ldab    0x2f,x                  ; the first byte; the others were lost
        bsr     send
        tba
        bsr     send
loop:   brclr   0x2e,x #0x20 loop
        ldaa    0x2f,x
        bsr     send
        bra     loop
send:   brclr   0x2e,x #0x80 send
        staa    0x2f,x
        rts
