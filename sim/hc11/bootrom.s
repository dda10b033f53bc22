; Boot ROM of the virtual MC68HC11F1, written for this program.  It does
; what application note AN1060 says a bootstrap ROM does: the SCI listens
; at E/16/16 (7812 baud at E = 2 MHz); a break as the first character jumps
; to the start of the EEPROM; 0xFF keeps the rate, anything else (0xFF sent
; at 1200 baud is seen as 0xC0 or 0xE0) moves to E/16/13/8 (1202 baud).
; Every further character is stored in RAM from 0x0000 and echoed, until
; the RAM is full or the line has been idle for four character times, and
; then the loader runs from 0x0000.
        .equ REGS, 0x1000
        .equ BAUD, 0x2B
        .equ SCCR2, 0x2D
        .equ SCSR, 0x2E
        .equ SCDR, 0x2F
        .equ CONFIG, 0x3F
        .equ RAMTOP, 0x03FF
        .equ RAMSIZE, 0x0400
        ; Idle time-out: forty bit times, counted by the 14-cycle poll loop
        ; (BRSET indexed 7, SUBD immediate 4, BNE 3).
        .equ FAST_T, 732        ; 40 x 256 E cycles per bit / 14
        .equ SLOW_T, 4755       ; 40 x 1664 E cycles per bit / 14

        .sect .text
start:  lds     #RAMTOP
        ldx     #REGS
        ldaa    #0x04           ; prescaler /1, rate select /16
        staa    BAUD,x
        ldaa    #0x0C           ; TE and RE
        staa    SCCR2,x
first:  brclr   SCSR,x #0x20 first
        ldab    SCSR,x
        ldaa    SCDR,x
        bitb    #0x02           ; framing error with a zero: a break
        beq     notbrk
        tsta
        bne     notbrk
        ldaa    CONFIG,x        ; EEPROM at (EE3-EE0) x 0x1000 + 0x0E00
        anda    #0xF0
        oraa    #0x0E
        clrb
        xgdx
        jmp     0,x
notbrk: cmpa    #0xFF
        beq     load
        ldaa    #0x33           ; prescaler /13, rate select /8
        staa    BAUD,x
load:   ldy     #0
next:   ldd     #FAST_T
        brclr   BAUD,x #0x30 poll
        ldd     #SLOW_T
poll:   brset   SCSR,x #0x20 got
        subd    #1
        bne     poll
        bra     run
got:    ldaa    SCDR,x
        staa    0,y
echo:   brclr   SCSR,x #0x80 echo
        staa    SCDR,x
        iny
        cpy     #RAMSIZE
        bne     next
run:    jmp     0x0000

; Special-mode vectors point at three-byte pseudo-vectors in RAM, where a
; loader puts a JMP to its handler.
        .sect .vectors
        .word   start, start, start, start, start, start, start, start
        .word   start, start, start
        .word   0x00C4          ; SCI
        .word   0x00C7          ; SPI
        .word   0x00CA          ; pulse accumulator input edge
        .word   0x00CD          ; pulse accumulator overflow
        .word   0x00D0          ; timer overflow
        .word   0x00D3          ; TOC5
        .word   0x00D6          ; TOC4
        .word   0x00D9          ; TOC3
        .word   0x00DC          ; TOC2
        .word   0x00DF          ; TOC1
        .word   0x00E2          ; TIC3
        .word   0x00E5          ; TIC2
        .word   0x00E8          ; TIC1
        .word   0x00EB          ; real-time interrupt
        .word   0x00EE          ; IRQ
        .word   0x00F1          ; XIRQ
        .word   0x00F4          ; SWI
        .word   0x00F7          ; illegal opcode
        .word   0x00FA          ; COP failure
        .word   0x00FD          ; clock monitor
        .word   start           ; reset
