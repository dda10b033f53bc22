# cmake -DSOURCE=<firmware/talker> -DOUT=<dir> -DBYTES=n [-DRESIDENT=n] -DLIMIT=n -P CheckSizeCase.cmake
# A stand-in for a talker of BYTES bytes to download, whose resident code
# (RESIDENT bytes) must stay below LIMIT, through the build's size check.
cmake_minimum_required(VERSION 3.20)
file(MAKE_DIRECTORY ${OUT})
string(REPEAT "x" ${BYTES} text)
file(WRITE ${OUT}/talker.bin "${text}")
set(BIN ${OUT}/talker.bin)
set(ELF ${OUT}/missing.elf)
set(NM ${CMAKE_COMMAND})  # never reached when the size is refused
set(OUTPUT ${OUT}/talker_symbols.h)
include(${SOURCE}/CheckTalker.cmake)
