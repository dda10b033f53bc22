; Chip erase of the Am29F010 from a loader, waiting on DQ7 in a loop of its
; own, then sends the erased byte at 0x8000.
        .sect .text
start:  ldx     #0x1000
        bset    0x3c,x #0x20            ; special test mode: the chip is on the bus
        ldaa    #0xaa
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
poll:   brclr   0,y #0x80 poll
        ldaa    0,y
tx:     brclr   0x2e,x #0x80 tx
        staa    0x2f,x
done:   bra     done
