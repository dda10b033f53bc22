# cmake -DSOURCE=<firmware/talker> -DOUT=<dir> -DCASE=<name> -P BoardCheck.cmake
# Runs the talker's board checks on one set of parameters; the test that
# runs it expects the reason for refusing them (or none) in the output.
cmake_minimum_required(VERSION 3.20)
include(${SOURCE}/board.cmake)
if(CASE STREQUAL "rate")
  # 8 MHz crystal: 115200 baud is 8.5 % away from the nearest SCI rate.
  keston_talker_board(${OUT} check BAUD 115200)
elseif(CASE STREQUAL "overlap")
  keston_talker_board(${OUT} check PAGE_BUF 0x0380)
elseif(CASE STREQUAL "address")
  keston_talker_board(${OUT} check FLASH_ID 0x0200)
elseif(CASE STREQUAL "accepted")
  # A baud-rate crystal: 19200 comes out exactly.
  keston_talker_board(${OUT} check CRYSTAL_HZ 7372800 BAUD 19200)
  message(STATUS "accepted: ${check_SUMMARY}")
endif()
