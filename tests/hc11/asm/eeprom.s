; Erases the EEPROM byte at 0x0E10 and programs 0x5A into it, timing each
; pulse with a delay loop whose count the host patches into DELAY, then
; sends the cell's content.
        .sect .text
        bra     start
delay:  .word   2858                    ; 2858 x 7 cycles = 10 ms at E = 2 MHz
start:  ldx     #0x1000
        clr     0x35,x                  ; BPROT: nothing protected (special mode)
        ldab    #0x16                   ; BYTE, ERASE, EELAT
        stab    0x3b,x
        stab    0x0e10                  ; the address to erase
        ldab    #0x17                   ; and EPGM
        stab    0x3b,x
        bsr     wait
        clr     0x3b,x
        ldab    #0x02                   ; EELAT
        stab    0x3b,x
        ldaa    #0x5a
        staa    0x0e10
        ldab    #0x03                   ; EELAT, EPGM
        stab    0x3b,x
        bsr     wait
        clr     0x3b,x
        ldaa    0x0e10
tx:     brclr   0x2e,x #0x80 tx
        staa    0x2f,x
done:   bra     done
wait:   ldy     delay
w1:     dey
        bne     w1
        rts
