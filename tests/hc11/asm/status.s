; Reports, for every character received, SCSR (as read before SCDR) and
; the character: a probe of what the SCI makes of the host's bits.
        .sect .text
start:  ldx     #0x1000
loop:   ldaa    0x2e,x
        bita    #0x20
        beq     loop
        ldab    0x2f,x
        bsr     send
        tba
        bsr     send
        bra     loop
send:   brclr   0x2e,x #0x80 send
        staa    0x2f,x
        rts
