; KESTON talker: the loader the host downloads into the MC68HC11F1's RAM in
; bootstrap mode.  It switches the SCI to the normal rate, puts the CPU on
; its expanded bus and then serves the host's byte protocol: memory reads
; and writes, the internal EEPROM, and the two external flash chips
; (Am29F010, programmed byte by byte; SST29EE010, written a 128-byte page
; at a time).
;
; The host is the master: the talker answers every command byte with its
; complement, takes exactly one host byte for every data byte, echoes every
; written byte, and never sends anything unprompted.  The SCI holds one
; received byte while the next one shifts in, so the host keeps at most two
; bytes outstanding; every loop below takes each byte within a character
; time except where the host is known to be waiting for an answer.
;
; Registers: X holds the register block's base everywhere except inside the
; page routines and the CRC (which restore it); Y is the data address.
;
; Everything that depends on the board comes from board.inc, which the
; build writes from firmware/talker/board.cmake.
;
; The extended protocol (README, "Extended protocol") adds a checksummed
; block read and a checksummed block write.  The host uses them only after
; it found the signature block at address 2, so a host that knows nothing of
; them never sends their command bytes.
;
; Layout: the resident code from 0x0000 up to PAGE_BUF; the start-up code
; (section .init) in PAGE_BUF itself, which nothing uses before the start-up
; has run once.  The linker fills the gap so that the download stays one
; run of bytes from 0x0000.

        .include "board.inc"

; ---- registers, offsets from REGS (MC68HC11F1 technical data, register map)
        .equ TCNT,   0x0E
        .equ TOC2,   0x18
        .equ TFLG1,  0x23
        .equ TMSK2,  0x24
        .equ BAUD,   0x2B
        .equ SCSR,   0x2E
        .equ SCDR,   0x2F
        .equ OPTION, 0x39
        .equ PPROG,  0x3B
        .equ HPRIO,  0x3C
        .equ CONFIG, 0x3F
        .equ CSSTRH, 0x5C
        .equ CSCTL,  0x5D
        .equ REGS_SIZE, 0x60

        .equ TDRE, 0x80                 ; SCSR
        .equ TC,   0x40
        .equ RDRF, 0x20
        .equ OC2F, 0x40                 ; TFLG1
        .equ CSEL, 0x40                 ; OPTION

; PPROG bits (M68HC11 Reference Manual, EEPROM programming)
        .equ PP_BYTE,  0x10
        .equ PP_ERASE, 0x04
        .equ PP_EELAT, 0x02
        .equ PP_EPGM,  0x01

; Status bits while the chip's embedded algorithm runs (Am29F010 data
; sheet, write operation status; the SST29EE010 has DQ7 and DQ6 alike)
        .equ DQ7, 0x80
        .equ DQ6, 0x40
        .equ DQ5, 0x20

; The byte protocol
        .equ CMD_READ,   0x01
        .equ CMD_WRITE,  0x41
        .equ CMD_EEPROM, 0x31
        .equ CMD_FLASH,  0x71
        .equ CMD_BLOCK,  0x51
        .equ CMD_ID,     0xC8
        .equ CMD_ERASE,  0xD1
        .equ CMD_XREAD,  0x23           ; extended: checksummed block read
        .equ CMD_XWRITE, 0x24           ; extended: checksummed block write
        .equ CMD_XRATE,  0x25           ; extended: rate switch
        .equ ERASE_GO,   0x3F           ; the host's go-ahead for a chip erase
        .equ NOT_ERASED, 0x00           ; any answer but 0xFF means "not erased"

        .equ RAM_END, 0x0400            ; the RAM is 0x0000-0x03FF (INIT as out of reset)
        .equ PAGE, 128                  ; SST29EE010 page

; Extended protocol
        .equ XVERSION, 1
        .equ XREAD_MAX, 0               ; longest block read: 256 (the count byte's 0)
        .equ XCAPS, 0x07                ; bit 0: 0x23 block read; bit 1: 0x24 block write; bit 2: 0x25 rate switch

; Block write: where the block goes (the frame's kind byte) ...
        .equ XW_STORE, 0                ; ordinary stores
        .equ XW_AMD,   1                ; Am29F010, byte by byte as 0x71
        .equ XW_SST,   2                ; SST29EE010, merged into its page as 0x51
        .equ XW_EEPROM, 3               ; internal EEPROM, byte by byte as 0x31
; ... and the status byte of the answer.
        .equ XS_OK,      0
        .equ XS_CRC,     1              ; the frame's CRC failed: nothing written
        .equ XS_FAILED,  2              ; the SST page did not write or read back

        .sect .text
        .globl  entry
entry:  bra     boot

; ---- the signature block, at address 2: what the host reads to learn that
; this talker speaks the extended protocol and what it offers.  The last
; byte makes the sum of all ten 0 (mod 256).
signature:
        .ascii  "KESTON"
        .byte   XVERSION
        .byte   XREAD_MAX
        .byte   XCAPS
        .byte   (0x100 - ((0x1D4 + XVERSION + XREAD_MAX + XCAPS) & 0xFF)) & 0xFF

; ---- variables, in the direct page so that they cost one cycle less.
; The first three bytes are the jump to the start-up code (in PAGE_BUF, out
; of a branch's reach) until it has run; after that they are variables like
; the rest.
boot:
crc:    jmp     start                   ; crc: CRC-16 of the extended frame so far
count   =       crc+2                   ; data bytes left (0 means 256)
first:  .word   0                       ; the address of an addressed command
kind:   .byte   0                       ; 0x24: where the block goes (after first: the frame's order)
value:  .byte   0                       ; the byte being programmed; the block's last byte
failed: .byte   0                       ; block write: a byte of the block was not written
changed: .byte  0                       ; block write: the page differs from the chip
rounds: .byte   0                       ; EEPROM pulse: timer rounds left
crc_x   =       value                   ; CRC scratch: free whenever crc8 runs
crc_y   =       rounds
page:   .word   0                       ; block write: the page being written
addr:   .word   0                       ; block write: where the next byte goes in PAGE_BUF
left:   .word   0                       ; chip erase: milliseconds left; 0x24: the block's end in PAGE_BUF

; ---- the line.  Both in the direct page: JSR direct is the cheapest call.

; A = the next byte from the host.
getc:   brclr   SCSR,x #RDRF getc
        ldaa    SCDR,x
        rts

; Sends A.
putc:   brclr   SCSR,x #TDRE putc
        staa    SCDR,x
        rts

; A = the next byte from the host, taken into the CRC.
getcc:  bsr     getc

; Takes A into the CRC-16 (polynomial 0x1021, the CCITT one, most
; significant bit first, no final inversion), a whole byte at once: with
; h the CRC's high byte and d the data, x = h ^ d, x ^= x >> 4, and the new
; CRC is (crc << 8) ^ (x << 12) ^ (x << 5) ^ x.  About 70 E cycles, less
; than a character time at E/16, so a frame is taken in at line speed.
; A is kept, B is lost; crc_x and crc_y are scratch.
crc8:   psha
        eora    *crc
        tab
        lsrb
        lsrb
        lsrb
        lsrb
        stab    *crc_x
        eora    *crc_x                  ; x
        staa    *crc_x
        tab
        clra
        lsld
        lsld
        lsld
        lsld
        stab    *crc_y                  ; the high byte's share of x << 12
        lsld                            ; D = x << 5
        eorb    *crc_x                  ; new low byte: (x << 5) ^ x
        eora    *crc+1                  ; new high byte: old low ^ (x >> 3) ^ (x << 4)
        eora    *crc_y
        std     *crc
        pula
        rts

; Y on to the next address and one byte fewer to go: Z set when none is left.
next:   iny
        dec     count
        rts

; ---- the command loop.  `reply` sends A first: the last answer of a command.
reply:  jsr     *putc
main:   jsr     *getc
        tab
        coma
        jsr     *putc                   ; every command byte: its complement
        ldx     #commands
dispatch:
        cmpb    0,x
        beq     found
        inx
        inx
        inx
        cpx     #commands_end
        bne     dispatch                ; unknown: found at the end, main
found:  ldy     1,x
        ldx     #REGS
        jmp     0,y

commands:
        .byte   CMD_FLASH
        .word   cmd_flash
        .byte   CMD_BLOCK
        .word   cmd_block
        .byte   CMD_READ
        .word   cmd_read
        .byte   CMD_WRITE
        .word   cmd_write
        .byte   CMD_EEPROM
        .word   cmd_eeprom
        .byte   CMD_ID
        .word   cmd_id
        .byte   CMD_ERASE
        .word   cmd_erase
        .byte   CMD_XREAD
        .word   cmd_xread
        .byte   CMD_XWRITE
        .word   cmd_xwrite
        .byte   CMD_XRATE
        .word   cmd_xrate
commands_end:
        .byte   0                       ; never compared: an unknown command
        .word   main                    ; ends here, with the complement sent

; ---- 0x25: rate switch.  From the host: the BAUD register value it asks
; for.  The talker echoes it at the old rate, lets the echo go out whole and
; moves the SCI to the new value.  At the new rate the host sends the
; value's complement, the talker answers it, and the host confirms with the
; value itself: then both sides have heard the other at the new rate.  A
; byte that is not the one expected, or none within RATE_POLLS turns (about
; a quarter of a second each time), puts the SCI back as it was and the
; talker waits for a command at the old rate; so does the host.
cmd_xrate:
        jsr     *getc                   ; A = the BAUD value asked for
        jsr     *putc                   ; its echo, at the old rate
        ldab    BAUD,x                  ; the old value, for the way back
xrt_quiet:
        brclr   SCSR,x #TC xrt_quiet    ; the echo's stop bit has gone
        staa    BAUD,x
        coma
        bsr     xrt_get                 ; the host's complement, at the new rate
        bne     xrt_back
        jsr     *putc                   ; answered at the new rate
        coma
        bsr     xrt_get                 ; the value: the host heard the answer
        beq     main
xrt_back:
        stab    BAUD,x
        bra     main
; Z set when the byte in A arrives within RATE_POLLS turns.  On a time-out
; SCDR still holds the byte taken before, which is never the one expected
; (the two expected alternate between a value and its complement).
; B and X are kept.
xrt_get:
        ldy     #RATE_POLLS
xrt_poll:
        brset   SCSR,x #RDRF xrt_got
        dey
        bne     xrt_poll
xrt_got:
        cmpa    SCDR,x
        rts

; Count byte and address of an addressed command: count, first and Y = the
; address.  The CRC starts with them: the extended commands cover their
; header.
header: ldd     #0xFFFF
        std     *crc
        bsr     getcc
        staa    *count
        bsr     getcc
        staa    *first
        bsr     getcc
        staa    *first+1
        ldy     *first
        rts

; ---- 0x41: memory write.  The echo is the byte as received, not the cell:
; registers do not read back what was written to them (flags cleared by
; writing ones, bits that are fixed in this mode), and the host writes
; registers with this command.  The store is made with no call under way,
; so the host may write any RAM byte above the talker, the top of the
; stack included.
cmd_write:
        bsr     header
wr_next:
        jsr     *getc
        staa    0,y
        jsr     *putc
        jsr     *next
        bne     wr_next
        bra     main

; ---- the programmed writes, byte by byte: 0x31 EEPROM, 0x71 Am29F010.
; Each takes a byte, has by_kind program it at Y and echoes the cell as it
; reads back afterwards.
;   0x31 and 0x71 echo the cell read back after programming, so a byte that
; did not take shows as a wrong echo.  The host sends an EEPROM byte only
; after the echo of the one before, which covers the two pulses.
cmd_eeprom:
        ldaa    #XW_EEPROM
        bra     echoed
cmd_flash:
        ldaa    #XW_AMD
echoed: staa    *kind
        bsr     header
ec_next:
        jsr     *getc
        jsr     by_kind
        jsr     *putc
        jsr     *next
        bne     ec_next
        bra     main

; ---- 0x01: memory read.  The host acknowledges each byte and may send the
; acknowledgement of the next one before that byte has gone out; with one
; byte sent and one acknowledgement taken per turn, neither side ever has
; more than two bytes on their way.
;   Each data byte is read right after an SCDR read has completed the SCI's
; flag-clearing sequence, so a read of SCDR itself (a register dump) cannot
; clear an acknowledgement that has just arrived.
cmd_read:
        bsr     header
rd_next:
        ldaa    0,y
        jsr     *putc
        jsr     *getc                   ; the acknowledgement; its value means nothing
        jsr     *next
        bne     rd_next
        bra     main

; ---- 0x23: checksummed block read.  From the host: count (0 means 256)
; and the address, as for 0x01; the talker answers with the bytes, without
; acknowledgements, then the CRC of the header and the bytes.
cmd_xread:
        bsr     header
xr_next:
        ldaa    0,y
        jsr     *putc
        jsr     *crc8                   ; while the byte goes out
        jsr     *next
        bne     xr_next
send_crc:
        ldaa    *crc
        jsr     *putc
        ldaa    *crc+1
        bra     reply

; ---- 0x24: checksummed block write.  The host sends the command byte,
; waits for its complement, and then the frame without waiting for
; anything: count, address high and low (as for 0x41), the kind, the whole
; 128-byte run (PAGE bytes from the address rounded down to PAGE) and the
; CRC-16 of all of these.  The frame is that long whatever count says, so a
; spoiled count or address can only fail the CRC, never put the talker out
; of step with the host.  Every byte is taken into the CRC as it arrives;
; over the whole frame, the host's two bytes included, it comes out 0 when
; nothing was spoiled (this CRC has no final inversion).
;   The run goes into PAGE_BUF as it is; the block is `count` bytes (1 to
; PAGE) from the address.  A frame whose CRC holds is the host's, and the
; host keeps the block inside its run and above the RAM: there is no room
; here to check that again.  Nothing is written before the CRC has held.  Each kind then writes the
; block's bytes as its standard command writes a byte: stores, Am29F010
; programming, EEPROM pulses; for the SST29EE010 the page is completed from
; the chip around the block, written and read back whole, as for 0x51.
;   The answer: the status, then the CRC-16 of count, address, kind and the
; bytes read back from where the block went; the host compares it with the
; CRC of what it meant to write.
cmd_xwrite:
        bsr     header
        jsr     *getcc
        staa    *kind
        ldy     #PAGE_BUF
xw_in:  jsr     *getcc
        staa    0,y
        iny
        cpy     #PAGE_BUF+PAGE
        bne     xw_in
        jsr     *getcc
        jsr     *getcc                  ; the host's CRC
        ldab    #XS_CRC
        ldy     *crc
        bne     xw_reply                ; spoiled: nothing is written
        ; The CRC is 0 now, where the answer's starts.
        jsr     block_at
        addb    *count
        adca    #0
        std     *left                   ; and its end
        ldaa    *kind
        cmpa    #XW_SST
        bne     xw_go
        jsr     flush
        ldab    #XS_FAILED
        ldaa    *failed
        bne     xw_reply
xw_go:  ldy     *first
; Each byte written as its kind says (the SST page is written already),
; then read back into the answer's CRC.
xw_byte:
        ldx     *addr
        ldaa    0,x
        inx
        stx     *addr
        ldx     #REGS
        bsr     by_kind
        jsr     *crc8
        jsr     *next
        bne     xw_byte
        clrb                            ; XS_OK
xw_reply:
        tba
        jsr     *putc
        bra     send_crc

; Writes A at Y as `kind` says: stored (XW_STORE), programmed into the
; Am29F010 (XW_AMD, the 0x71 write) or into the EEPROM (XW_EEPROM, 0x31);
; XW_SST (its page is written whole already) and kinds we do not know are
; only read.  A = the cell afterwards; B is lost.
by_kind:
        ldab    *kind
        beq     bk_store
        decb
        beq     program
        cmpb    #XW_EEPROM-XW_AMD
        bne     bk_read
; XW_EEPROM: programs A into the EEPROM cell at Y (the 0x31 write): erased only when
; the new value needs a bit set that the cell has cleared, programmed only
; when the value is not 0xFF, left alone when it holds the value.  A = the
; cell afterwards; B is lost.  A cell that did not take (protected by
; BPROT, worn out) reads back wrong.
ee_byte:
        staa    *value
        ldab    0,y
        cba
        beq     bk_read
        andb    *value
        cmpb    *value
        beq     ee_program              ; only bits to clear: no erase
        ldab    #PP_BYTE|PP_ERASE|PP_EELAT
        bsr     ee_pulse
ee_program:
        ldaa    *value
        cmpa    #0xFF
        beq     bk_read                 ; the erase has done it
        ldab    #PP_EELAT
        bsr     ee_pulse
        bra     bk_read
bk_store:
        staa    0,y
bk_read:
        ldaa    0,y
        rts

; One erase or programming pulse on the cell at Y: B latches the address
; and *value, then EPGM stays on for the programming time.
ee_pulse:
        stab    PPROG,x
        ldaa    *value
        staa    0,y
        incb                            ; EPGM, in a write of its own after EELAT
        stab    PPROG,x
 .if EE_ROUNDS - 1
        ldaa    #EE_ROUNDS
        staa    *rounds
ee_wait:
 .endif
        ldd     #EE_TICKS
        bsr     wait_ticks
 .if EE_ROUNDS - 1
        dec     rounds
        bne     ee_wait
 .endif
        clr     PPROG,x
        rts

; Programs A into the flash at Y; A = the cell afterwards.  B is lost.
program:
        cmpa    0,y
        beq     bk_read                 ; holds it already (0xFF on an erased chip)
        staa    *value
        bsr     internal
        bcs     pr_plain
        ldab    #0xA0
        bsr     command                 ; AA 55 A0: program (Am29F010 data sheet)
        ldaa    *value
        staa    0,y
        ; Data polling: DQ7 reads as the complement of the data's bit 7 until
        ; the byte is programmed; DQ5 says the chip gave up, and then DQ7 is
        ; read once more because both may change together (Am29F010 data
        ; sheet, data polling algorithm).  The poll count only guards
        ; against a bus where nothing answers.
        pshx
        ldx     #PROG_POLLS
pr_poll:
        ldab    0,y
        tba
        eora    *value
        bpl     pr_done
        bitb    #DQ5
        bne     pr_dq5
        dex
        bne     pr_poll
        bra     pr_fail
pr_dq5: ldaa    0,y
        eora    *value
        bpl     pr_done
pr_fail:
        bsr     reset_chip              ; the chip stays in its status mode until reset
pr_done:
        pulx
        bra     bk_read
pr_plain:
        ldaa    *value
        bra     bk_store                ; RAM or a register: an ordinary store

; Carry set when Y lies where the flash chip never sees the bus cycle: the
; RAM, the register page or the EEPROM while it is mapped.  A command
; sequence ending there would leave the chip waiting for a program cycle
; that never comes, and the next command's first write would be programmed.
; A and B are lost.
internal:
        pshy
        pula                            ; A = the address's high byte
        pulb
        cmpa    #RAM_END/256
        blo     in_yes
        cmpa    #REGS/256
        beq     in_yes
        brclr   CONFIG,x #0x01 in_no    ; EEON clear: no EEPROM in the map
        anda    #0xFE
        ldab    CONFIG,x
        andb    #0xF0
        orab    #0x0E                   ; EE3-EE0 x 0x1000 + 0x0E00, two pages
        cba
        beq     in_yes
in_no:  clc
        rts
in_yes: sec
        rts

; Sends the flash chips' three-cycle command B: AA to 5555, 55 to 2AAA, B
; to 5555 (Am29F010 and SST29EE010 data sheets, command definitions).
command:
        pshb
        ldab    #0xAA
        stab    FLASH_5555
        ldab    #0x55
        stab    FLASH_2AAA
        pulb
        stab    FLASH_5555
        rts

; Back to reading the array: the three-cycle reset, which both chips take
; (on the SST29EE010 it is the software ID exit).
reset_chip:
        ldab    #0xF0
        bra     command

; Waits the identification delay (10 us, SST29EE010 data sheet).
wait_id:
        ldd     #ID_TICKS
; Waits D (at least 32) timer ticks with output compare 2.  The wait loop
; reads nothing that changes on its own, so the emulator can skip it.
wait_ticks:
        addd    TCNT,x
        std     TOC2,x
        ldaa    #OC2F
        staa    TFLG1,x                 ; writing a one clears the flag
wt_loop:
        brclr   TFLG1,x #OC2F wt_loop
        rts

; ---- 0xC8: flash identity.  Both codes are read, and the chip is back in
; its array mode, before the first one goes out: a host that never
; acknowledges leaves no chip in its identification mode.
cmd_id: ldab    #0x90
        bsr     command                 ; AA 55 90: autoselect / software ID entry
        bsr     wait_id                 ; before the codes
        ldd     FLASH_ID                ; A1:A0 = 00: manufacturer, then 01: device
        pshb
        psha
        bsr     reset_chip
        bsr     wait_id                 ; and again after the exit
        pula
        jsr     *putc
        jsr     *getc                   ; the host sends the manufacturer code back
        pula
        jmp     reply

; ---- 0xD1: chip erase (Am29F010).  After the host's go-ahead: the six-
; cycle chip erase, then DQ7 polling once a millisecond until the chip
; reads erased, its DQ5 time-out, or ours.  A chip that does not start an
; erase at all (DQ6 does not toggle: the block chip takes none) is answered
; at once.  The answer is the byte the chip reads afterwards:
; 0xFF when erased; failures answer NOT_ERASED.
cmd_erase:
        jsr     *getc
        cmpa    #ERASE_GO
        bne     er_refuse
        ldab    #0x80
        bsr     command
        ldab    #0x10
        bsr     command                 ; AA 55 80 AA 55 10 (Am29F010 data sheet)
        ldaa    FLASH_ID
        eora    FLASH_ID
        bita    #DQ6
        beq     er_refuse               ; not toggling: no erase under way
        ldy     #ERASE_MS               ; milliseconds left
er_wait:
        ldd     #MS_TICKS
        bsr     wait_ticks
        ldaa    FLASH_ID
        bmi     er_done                 ; DQ7 reads 0 while erasing
        bita    #DQ5
        beq     er_more
        ldaa    FLASH_ID                ; DQ5: failed, unless DQ7 changed with it
        bmi     er_done
        bra     er_fail
er_more:
        dey
        bne     er_wait
er_fail:
        bsr     reset_chip
er_refuse:
        clra                            ; NOT_ERASED
        bra     er_answer
er_done:
        ldaa    FLASH_ID
er_answer:
        jmp     reply

; ---- 0x51: SST29EE010 block write.  The chip writes whole 128-byte pages
; and erases the page as it writes it, and its bytes must be loaded within
; its byte-load window, far shorter than a character time.  So the page the
; block starts in is read into PAGE_BUF, each received byte is merged
; into it where it belongs, and the page is
; loaded whole, written and read back once the block is complete, or when
; the block runs on into the next page (which is then read in its turn).
;   The bytes go into PAGE_BUF where they belong in their page; the chip's
; page is read around them when the page is written.  A page the block
; leaves is written before the echo of the first byte beyond it: the host
; has at most one more byte on its way until then, which the SCI holds.
;   Echoes: every byte but the last as received (the line check).  The last
; byte's echo is held until every page has been written and verified: it is
; the last byte, as the chip now holds it, when all went well, and its
; complement when any byte of the block or of the pages around it did not
; come back as intended (every page is read back whole after its write).  So
; a block that failed always ends in a wrong echo.  The host sends blocks
; of 64 bytes; a longer one (up to 256) is written page after page alike.
cmd_block:
        jsr     header
        bsr     block_at                ; where the block starts in PAGE_BUF
        std     *left                   ; and where its next byte goes
bl_byte:
        jsr     *getc
        staa    *value
        ldx     *left
        cpx     #PAGE_BUF+PAGE
        bne     bl_keep
        bsr     flush                   ; the block goes on in the next page
        ldd     *page
        addd    #PAGE
        std     *page
        ldx     #PAGE_BUF
        stx     *addr
bl_keep:
        ldaa    *value
        staa    0,x
        inx
        stx     *left
        ldx     #REGS
        dec     count
        beq     bl_write
        jsr     *putc
        bra     bl_byte
bl_write:
        bsr     flush
        ldaa    *value                  ; verified on the chip with its page
        ldab    *failed
        beq     bl_echo
        coma
bl_echo:
        jmp     reply

; The block at *first: *page is its page, D = *addr its first byte's place
; in PAGE_BUF; `failed` starts clear.
block_at:
        ldd     *first
        andb    #0x100-PAGE
        std     *page
        clr     failed
        ldab    *first+1
        andb    #PAGE-1
        clra
        addd    #PAGE_BUF
        std     *addr
        rts

; Reads the page at *page into PAGE_BUF around the bytes from *addr up to
; *left (the block, already there); `changed` says whether one of those
; differs from the chip.  A page that is not the chip's counts in `failed`
; and is left alone.  A, B and Y are lost.
read_page:
        clr     changed
        ldy     *page
        jsr     internal
        bcs     rp_fail
; The same without the checks: PAGE_BUF from *addr up to *left compared
; with the chip, the rest copied from it.
rp_scan:
        ldx     *page
        ldy     #PAGE_BUF
rp_next:
        ldaa    0,x
        cpy     *addr
        blo     rp_copy
        cpy     *left
        bhs     rp_copy
        cmpa    0,y
        beq     rp_same
        inc     changed
        bra     rp_same
rp_copy:
        staa    0,y
rp_same:
        inx
        iny
        cpy     #PAGE_BUF+PAGE
        bne     rp_next
        bra     wp_done
rp_fail:
        inc     failed
        rts

; The page at *page with PAGE_BUF's bytes from *addr up to *left in it:
; completed from the chip, then written unless the chip holds it already,
; and read back whole; a page that is not the chip's, or that does not read
; back as PAGE_BUF, counts in `failed`.  A, B and Y are lost.
flush:  bsr     read_page
        ldab    *changed
        beq     wp_done                 ; the chip holds it already (or it is not the chip's)
        ; Software data protection sequence, then the whole page within
        ; the byte-load window (SST29EE010 data sheet: 100 us per byte at
        ; most; this loop takes 17 E cycles a byte).
        ldab    #0xA0
        jsr     command
        ldx     *page
        ldy     #PAGE_BUF
wp_load:
        ldd     0,y
        std     0,x
        inx
        inx
        iny
        iny
        cpy     #PAGE_BUF+PAGE
        bne     wp_load
        ; DQ7 of the last byte loaded reads inverted until the write cycle
        ; is over (SST29EE010 data sheet, data polling), bounded by twice
        ; the data sheet's longest write cycle.
        dex
        ldy     #PAGE_POLLS
wp_poll:
        ldaa    0,x
        eora    PAGE_BUF+PAGE-1
        bpl     wp_written
        dey
        bne     wp_poll
        bra     wp_bad
wp_written:
        ; Read back: every byte of the page compared.
        ldd     #PAGE_BUF
        std     *addr
        ldd     #PAGE_BUF+PAGE
        std     *left
        clr     changed
        bsr     rp_scan
        ldab    *changed
        beq     wp_done
wp_bad: inc     failed
wp_done:
        ldx     #REGS
        rts

talker_end:

; ---- start-up, run once from PAGE_BUF before anything uses the buffer.
        .section .init,"ax"
start:  lds     #STACK_TOP
        ldx     #REGS
        ; The boot ROM starts us as soon as the RAM is full, with its last
        ; echo still in the transmitter (AN1060): changing the rate now
        ; would garble it.  TC says the transmitter has gone quiet.
tx_quiet:
        brclr   SCSR,x #TC tx_quiet
rate_switch:
        ldaa    #BAUD_VALUE
        staa    BAUD,x
        ; Special test mode: the expanded bus reaches the flash chip, and
        ; the boot ROM no longer hides 0xBF00-0xBFFF (M68HC11 Reference
        ; Manual, HPRIO: RBOOT, SMOD, MDA may be written in special modes).
        ldaa    #HPRIO_VALUE
        staa    HPRIO,x
 .if SET_CHIP_SELECTS
        ; Clock stretching and the program chip select that enables the
        ; flash chip (MC68HC11F1 technical data, chip selects).
        ldaa    #CSSTRH_VALUE
        staa    CSSTRH,x
        ldaa    #CSCTL_VALUE
        staa    CSCTL,x
 .endif
 .if EEPROM_RC_CLOCK
        ; Below 1 MHz of E clock the EEPROM charge pump needs the internal
        ; RC clock (M68HC11 Reference Manual, OPTION: CSEL).
        bset    OPTION,x #CSEL
 .endif
        clr     TMSK2,x                 ; timer at E/1, its interrupts off
        ; Whatever arrived around the switch is noise at one rate or the other.
        ldaa    SCSR,x
        ldaa    SCDR,x
        jmp     main
init_end:
