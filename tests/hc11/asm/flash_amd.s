; Am29F010 from a loader in RAM: autoselect, chip erase, byte programs with
; DQ7 data polling, a program of a 1 over a 0 (DQ5), a sector erase.
; Results go to 0x0300.. for the test to read.
        .equ OUT, 0x0300
        .sect .text
start:  lds     #0x03ff
        ldx     #0x1000
        bset    0x3c,x #0x20            ; HPRIO MDA: special test mode, external bus on
        ; autoselect
        bsr     unlock
        ldaa    #0x90
        staa    0x5555
        ldaa    0x4000              ; A1:A0 = 00 (0x0000 is the RAM)
        staa    OUT+0                   ; manufacturer
        ldaa    0x4001
        staa    OUT+1                   ; device
        ldaa    #0xf0
        staa    0x4000                  ; back to reading the array
        ldaa    0x4000
        staa    OUT+2                   ; array byte again
        ; chip erase
        bsr     unlock
        ldaa    #0x80
        staa    0x5555
        bsr     unlock
        ldaa    #0x10
        staa    0x5555
        ldy     #0
ce:     iny
        ldaa    0x8000
        bpl     ce                      ; DQ7 reads 0 until the erase is done
        sty     OUT+3                   ; polls it took
        ; program 0x12 at 0x8000 and 0x34 at 0x8001
        ldy     #0x8000
        ldaa    #0x12
        bsr     program
        ldy     #0x8001
        ldaa    #0x34
        bsr     program
        ; 0xFF over 0x12: a 1 cannot be programmed back, DQ5 rises
        ldy     #0x8000
        ldaa    #0xff
        bsr     program
        staa    OUT+5                   ; 1: programmed, 0: failed
        ldaa    #0xf0
        staa    0x4000
        ; sector erase of 0x8000-0xBFFF
        bsr     unlock
        ldaa    #0x80
        staa    0x5555
        bsr     unlock
        ldaa    #0x30
        staa    0x8000
se:     ldaa    0x8000
        bpl     se
        ldaa    #0x5a
        staa    OUT+6
done:   bra     done

unlock: ldaa    #0xaa
        staa    0x5555
        ldaa    #0x55
        staa    0x2aaa
        rts

; program A at (Y); A = 1 when done, 0 when DQ5 says it failed
program:
        psha
        bsr     unlock
        ldaa    #0xa0
        staa    0x5555
        pula
        staa    0,y
        tab
        andb    #0x80
poll:   ldaa    0,y
        anda    #0x80
        cba
        beq     ok                      ; DQ7 shows the data: done
        ldaa    0,y
        bita    #0x20                   ; DQ5: time limit exceeded
        beq     poll
        ldaa    0,y                     ; DQ7 once more, as the data sheet says
        anda    #0x80
        cba
        beq     ok
        clra
        rts
ok:     ldaa    #1
        rts
