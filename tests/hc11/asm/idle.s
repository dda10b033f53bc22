; Waits on the SCI receiver, a timer output compare, a flash chip erase and
; the SCI transmitter, each in a loop that only the event can end, and
; records TCNT after each: run with and without skipping such loops, the
; machine must end in exactly the same state.
        .equ OUT, 0x0300
        .sect .text
start:  lds     #0x03ff
        ldx     #0x1000
        bset    0x3c,x #0x20            ; special test mode: the chip is on the bus
        ldaa    #0x30                   ; 9615 baud
        staa    0x2b,x
        ldaa    #0x0c                   ; TE, RE
        staa    0x2d,x
rx:     brclr   0x2e,x #0x20 rx
        ldaa    0x2f,x
        staa    OUT
        ldd     0x0e,x
        std     OUT+1
        addd    #3000
        std     0x18,x                  ; TOC2
        ldaa    #0x40
        staa    0x23,x
oc:     brclr   0x23,x #0x40 oc
        ldd     0x0e,x
        std     OUT+3
        ldaa    #0xaa                   ; chip erase
        staa    0x5555
        ldaa    #0x55
        staa    0x2aaa
        ldaa    #0x80
        staa    0x5555
        ldaa    #0xaa
        staa    0x5555
        ldaa    #0x55
        staa    0x2aaa
        ldaa    #0x10
        staa    0x5555
        ldy     #0x8000
er:     brclr   0,y #0x80 er            ; DQ7 is 0 until the erase is done
        ldd     0x0e,x
        std     OUT+5
        ldaa    #0x77
        staa    0x2f,x
tc:     brclr   0x2e,x #0x40 tc         ; TC: the byte has left
        ldd     0x0e,x
        std     OUT+7
done:   bra     done
