; SST29EE010 from a loader in RAM: software ID, a 64-byte page write with
; no merge (the page's other half is erased), and one that reads the page
; first and writes all 128 bytes back (the other half is kept).
        .equ OUT, 0x0300
        .equ BUF, 0x0200
        .sect .text
start:  lds     #0x03ff
        ldx     #0x1000
        bset    0x3c,x #0x20            ; special test mode, external bus on
        bsr     unlock
        ldaa    #0x90
        staa    0x5555
        ldaa    0x4000              ; A1:A0 = 00 (0x0000 is the RAM)
        staa    OUT+0
        ldaa    0x4001
        staa    OUT+1
        bsr     unlock
        ldaa    #0xf0
        staa    0x5555
        ; 64 bytes 0x00.. at 0x8000: no merge
        ldx     #0x8000
        ldab    #64
        bsr     write
        ; merge: the page at 0x8080 read into BUF, its first half replaced
        ldx     #0x8080
        ldy     #BUF
rd:     ldaa    0,x
        staa    0,y
        inx
        iny
        cpy     #BUF+128
        bne     rd
        ldy     #BUF
        clra
fill:   staa    0,y
        inca
        iny
        cpy     #BUF+64
        bne     fill
        ldx     #0x8080
        ldy     #BUF
        bsr     load128
        ldaa    #0x5a
        staa    OUT+2
done:   bra     done

unlock: ldaa    #0xaa
        staa    0x5555
        ldaa    #0x55
        staa    0x2aaa
        rts

; B bytes 0, 1, 2, ... at X, then wait for the page write
write:  bsr     unlock
        ldaa    #0xa0
        staa    0x5555
        clra
w1:     staa    0,x
        inca
        inx
        decb
        bne     w1
        dex
        bra     wait

; 128 bytes from Y to X
load128:
        bsr     unlock
        ldaa    #0xa0
        staa    0x5555
        ldab    #128
l1:     ldaa    0,y
        staa    0,x
        inx
        iny
        decb
        bne     l1
        dex
; DQ6 toggles on every read while the page is being written
wait:   ldaa    0,x
        eora    0,x
        bita    #0x40
        bne     wait
        rts
