# The board the talker is built for.  Every value the talker takes from its
# board is set here and nowhere else; the build derives the rest (the SCI's
# BAUD value, the timer counts of the EEPROM pulse and of the waits, the
# poll limits) and writes all of it to board.inc for the assembler and to
# board.h for the tests.
#
# Change a value at configure time, for example
#   cmake -DKESTON_TALKER_CRYSTAL_HZ=12000000 -DKESTON_TALKER_BAUD=19200 ...
# Addresses may be written in hexadecimal (0x...) or decimal.
#
# Defaults: MC68HC11F1 with an 8 MHz crystal (E = 2 MHz), 9600 baud, the
# flash chip's A0-A15 wired to the CPU's A0-A15 (A16 held low) and enabled
# by the program chip select over the whole 64 KB.

set(KESTON_TALKER_CRYSTAL_HZ 8000000 CACHE STRING
    "Talker: crystal frequency in Hz; the E clock is a quarter of it")
set(KESTON_TALKER_BAUD 9600 CACHE STRING
    "Talker: the normal rate after the download (the host's Normal Baud); the SCI must come within 2.5 %")
set(KESTON_TALKER_HPRIO 0x65 CACHE STRING
    "Talker: HPRIO value: SMOD and MDA set (special test mode, expanded bus), RBOOT clear (no boot ROM over 0xBF00-0xBFFF), PSEL as out of reset")
set(KESTON_TALKER_FLASH_5555 0x5555 CACHE STRING
    "Talker: CPU address at which the flash chip sees its command address 0x5555")
set(KESTON_TALKER_FLASH_2AAA 0x2AAA CACHE STRING
    "Talker: CPU address at which the flash chip sees its command address 0x2AAA")
set(KESTON_TALKER_FLASH_ID 0x4000 CACHE STRING
    "Talker: CPU address where the chip's A1:A0 are 00 (manufacturer code); the device code is read one above. Not in the RAM, registers or EEPROM")
set(KESTON_TALKER_CHIP_SELECTS ON CACHE BOOL
    "Talker: write CSSTRH and CSCTL at start (off: leave the chip selects as the reset left them)")
set(KESTON_TALKER_CSSTRH 0x00 CACHE STRING
    "Talker: CSSTRH, clock stretching of the chip selects (0: none)")
set(KESTON_TALKER_CSCTL 0x04 CACHE STRING
    "Talker: CSCTL: PCSEN set, program chip select over 64 KB (PSIZA, PSIZB clear)")
set(KESTON_TALKER_STACK_TOP 0x03FF CACHE STRING
    "Talker: first stack address (the stack grows down from here)")
set(KESTON_TALKER_STACK_SIZE 12 CACHE STRING
    "Talker: bytes kept for the stack below STACK_TOP (the talker's deepest call chain uses 7)")
set(KESTON_TALKER_PAGE_BUF 0x0374 CACHE STRING
    "Talker: 128-byte page buffer for the SST29EE010 page writes")
set(KESTON_TALKER_EEPROM_PULSE_US 10000 CACHE STRING
    "Talker: EEPROM erase and programming pulse in microseconds (M68HC11 Reference Manual: 10 ms)")
set(KESTON_TALKER_ERASE_TIMEOUT_MS 30000 CACHE STRING
    "Talker: longest wait for a chip erase before it is reported failed (the chip's typical erase is about a second)")

# keston_talker_board(<output dir> <result prefix> [NAME VALUE]...)
# Writes <output dir>/board.inc and board.h from the parameters above, with
# any of them replaced by the NAME VALUE pairs (names without the
# KESTON_TALKER_ prefix, e.g. CRYSTAL_HZ 12000000).  Stops the configuration
# with the reason when a value cannot work.  Sets <prefix>_CODE_LIMIT (the
# first address the resident code may not reach), <prefix>_PAGE_BUF (where
# the start-up code goes) and <prefix>_SUMMARY in the caller.
function(keston_talker_board dir prefix)
  # Fixed by the MC68HC11F1 and its boot ROM.
  set(KESTON_TALKER_REGS 0x1000)  # register block as out of reset (INIT)
  set(KESTON_TALKER_RAM_SIZE 1024)  # RAM 0x0000-0x03FF: the whole download fits here
  set(names CRYSTAL_HZ BAUD HPRIO FLASH_5555 FLASH_2AAA FLASH_ID CHIP_SELECTS CSSTRH CSCTL STACK_TOP STACK_SIZE
            PAGE_BUF EEPROM_PULSE_US ERASE_TIMEOUT_MS)
  foreach(n IN LISTS names)
    set(${n} "${KESTON_TALKER_${n}}")
  endforeach()
  set(overrides ${ARGN})
  while(overrides)
    list(POP_FRONT overrides n v)
    if(NOT n IN_LIST names)
      message(FATAL_ERROR "talker: no board parameter called ${n}")
    endif()
    set(${n} "${v}")
  endwhile()
  if(CHIP_SELECTS)
    set(CHIP_SELECTS 1)
  else()
    set(CHIP_SELECTS 0)
  endif()
  foreach(n IN LISTS names)
    if(NOT "${${n}}" MATCHES "^(0[xX][0-9a-fA-F]+|[0-9]+)$")
      message(FATAL_ERROR "talker: ${n} = '${${n}}' is not a number")
    endif()
    math(EXPR ${n} "${${n}}")
  endforeach()

  math(EXPR e_hz "${CRYSTAL_HZ} / 4")
  if(e_hz LESS 100000 OR e_hz GREATER 5000000)
    message(FATAL_ERROR "talker: an E clock of ${e_hz} Hz (crystal ${CRYSTAL_HZ} Hz) is outside what the MC68HC11F1 runs at")
  endif()

  # The SCI rate is E / (16 x prescaler x 2^SCR) with the prescaler 1, 3, 4
  # or 13 (SCP1:SCP0) and SCR 0-7 (M68HC11 Reference Manual, BAUD register).
  # The nearest rate wins; a UART pair stops working somewhere past a few
  # percent of difference, so more than 2.5 % is refused.
  set(best_ppm -1)
  set(scp 0)
  foreach(p 1 3 4 13)
    foreach(scr RANGE 0 7)
      math(EXPR div "16 * ${p} * (1 << ${scr})")
      math(EXPR diff "${e_hz} - ${BAUD} * ${div}")
      if(diff LESS 0)
        math(EXPR diff "-${diff}")
      endif()
      math(EXPR ppm "${diff} * 1000000 / (${BAUD} * ${div})")
      if(best_ppm LESS 0 OR ppm LESS best_ppm)
        set(best_ppm ${ppm})
        math(EXPR baud_value "(${scp} << 4) | ${scr}")
        math(EXPR sci_rate "${e_hz} / ${div}")
      endif()
    endforeach()
    math(EXPR scp "${scp} + 1")
  endforeach()
  math(EXPR pct_whole "${best_ppm} / 10000")
  math(EXPR pct_frac "${best_ppm} % 10000 / 100")
  if(pct_frac LESS 10)
    set(pct_frac "0${pct_frac}")
  endif()
  if(best_ppm GREATER 25000)
    message(FATAL_ERROR
      "talker: ${BAUD} baud cannot be reached from an E clock of ${e_hz} Hz (crystal ${CRYSTAL_HZ} Hz): "
      "the nearest SCI rate is ${sci_rate} baud, ${pct_whole}.${pct_frac} % off; at most 2.5 % is accepted. "
      "Choose another KESTON_TALKER_BAUD or KESTON_TALKER_CRYSTAL_HZ.")
  endif()

  # RAM plan: code from 0x0000 up to the lower of the page buffer and the stack.
  math(EXPR stack_low "${STACK_TOP} + 1 - ${STACK_SIZE}")
  math(EXPR page_end "${PAGE_BUF} + 128")
  if(STACK_TOP GREATER_EQUAL KESTON_TALKER_RAM_SIZE OR STACK_SIZE LESS 12 OR page_end GREATER KESTON_TALKER_RAM_SIZE)
    message(FATAL_ERROR "talker: the stack and PAGE_BUF must lie in the RAM (0x0000-0x03FF)")
  endif()
  math(EXPR stack_end "${STACK_TOP} + 1")
  if(PAGE_BUF LESS stack_end AND stack_low LESS page_end)
    message(FATAL_ERROR "talker: PAGE_BUF (128 bytes) and the stack overlap")
  endif()
  set(limit ${stack_low})
  if(PAGE_BUF LESS limit)
    set(limit ${PAGE_BUF})
  endif()
  if(limit LESS 256)
    message(FATAL_ERROR "talker: the buffer and the stack leave the code less than 256 bytes")
  endif()

  # The chip's command and identity addresses must reach the chip, not the
  # RAM, the register block or the EEPROM window out of reset (0x0E00).
  foreach(n FLASH_5555 FLASH_2AAA FLASH_ID)
    math(EXPR hi "${${n}} >> 8")
    if(${n} GREATER 0xFFFE OR hi LESS 4 OR hi EQUAL 0x10 OR hi EQUAL 0x0E OR hi EQUAL 0x0F)
      message(FATAL_ERROR "talker: ${n} = ${${n}} is not an address the flash chip sees")
    endif()
  endforeach()

  # Timer counts.  The timer runs at E (TMSK2 prescaler 1); one output
  # compare wait covers at most 65535 ticks, and wait_ticks needs 32 at
  # least to set its compare ahead of the counter.
  math(EXPR ee_total "(${e_hz} * ${EEPROM_PULSE_US} + 999999) / 1000000")
  math(EXPR ee_rounds "(${ee_total} + 59999) / 60000")
  math(EXPR ee_ticks "(${ee_total} + ${ee_rounds} - 1) / ${ee_rounds}")
  math(EXPR ms_ticks "(${e_hz} + 999) / 1000")
  math(EXPR id_ticks "(${e_hz} * 10 + 999999) / 1000000")  # SST29EE010 data sheet: 10 us
  foreach(t ee_ticks ms_ticks id_ticks)
    if(${t} LESS 32)
      set(${t} 32)
    endif()
  endforeach()
  if(ERASE_TIMEOUT_MS LESS 1 OR ERASE_TIMEOUT_MS GREATER 65535)
    message(FATAL_ERROR "talker: ERASE_TIMEOUT_MS must be 1 to 65535")
  endif()
  # Poll limits, bounding loops that a chip with nothing behind it could
  # otherwise hold forever: twice the SST29EE010's longest write cycle
  # (10 ms), 18 E cycles a turn; the same time for a byte program, 24 a turn.
  math(EXPR page_polls "(${e_hz} / 50 + 17) / 18")
  math(EXPR prog_polls "(${e_hz} / 50 + 23) / 24")
  # The rate switch waits a quarter of a second for each of the host's
  # bytes at the new rate, 14 E cycles a turn, at most 65535 turns.
  math(EXPR rate_polls "${e_hz} / 4 / 14")
  if(rate_polls GREATER 65535)
    set(rate_polls 65535)
  endif()
  if(e_hz LESS 1000000)
    set(rc_clock 1)
  else()
    set(rc_clock 0)
  endif()

  set(values
    "E_HZ ${e_hz}" "REGS ${KESTON_TALKER_REGS}" "BAUD_VALUE ${baud_value}" "SCI_RATE ${sci_rate}"
    "HPRIO_VALUE ${HPRIO}" "FLASH_5555 ${FLASH_5555}" "FLASH_2AAA ${FLASH_2AAA}" "FLASH_ID ${FLASH_ID}"
    "SET_CHIP_SELECTS ${CHIP_SELECTS}" "CSSTRH_VALUE ${CSSTRH}" "CSCTL_VALUE ${CSCTL}"
    "EEPROM_RC_CLOCK ${rc_clock}" "STACK_TOP ${STACK_TOP}" "PAGE_BUF ${PAGE_BUF}"
    "CODE_LIMIT ${limit}" "EE_TICKS ${ee_ticks}"
    "EE_ROUNDS ${ee_rounds}" "MS_TICKS ${ms_ticks}" "ID_TICKS ${id_ticks}" "ERASE_MS ${ERASE_TIMEOUT_MS}"
    "PAGE_POLLS ${page_polls}" "PROG_POLLS ${prog_polls}" "RATE_POLLS ${rate_polls}")
  set(inc "; Written by the build from firmware/talker/board.cmake: do not edit.\n")
  set(hdr "// Written by the build from firmware/talker/board.cmake: do not edit.\n#pragma once\n\nnamespace talker_board {\n")
  foreach(v IN LISTS values)
    string(REPLACE " " ";" v "${v}")
    list(GET v 0 name)
    list(GET v 1 number)
    string(APPEND inc "        .equ ${name}, ${number}\n")
    string(APPEND hdr "constexpr unsigned long ${name} = ${number};\n")
  endforeach()
  string(APPEND hdr "}  // namespace talker_board\n")
  file(CONFIGURE OUTPUT ${dir}/board.inc CONTENT "${inc}" @ONLY)
  file(CONFIGURE OUTPUT ${dir}/board.h CONTENT "${hdr}" @ONLY)
  set(${prefix}_CODE_LIMIT ${limit} PARENT_SCOPE)
  set(${prefix}_PAGE_BUF ${PAGE_BUF} PARENT_SCOPE)
  set(${prefix}_SUMMARY
      "E ${e_hz} Hz, ${BAUD} baud (SCI ${sci_rate}, ${pct_whole}.${pct_frac} % off, BAUD=${baud_value}), code below ${limit}"
      PARENT_SCOPE)
endfunction()
