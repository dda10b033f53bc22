; Answers every byte with the byte plus one, at the rate the boot ROM left.
        .sect .text
start:  ldx     #0x1000
loop:   brclr   0x2e,x #0x20 loop       ; RDRF
        ldaa    0x2f,x
        inca
wait:   brclr   0x2e,x #0x80 wait       ; TDRE
        staa    0x2f,x
        bra     loop
