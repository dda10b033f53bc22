# cmake -DINPUT=file.bin -DOUTPUT=file.inc -DSIZE=n -P EmbedBinary.cmake
# Writes the bytes of INPUT as a C initialiser list, after checking the size.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR bytes "${digits} / 2")
if(DEFINED SIZE AND NOT bytes EQUAL SIZE)
  message(FATAL_ERROR "${INPUT} holds ${bytes} bytes, not ${SIZE}")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," list "${hex}")
file(WRITE "${OUTPUT}" "${list}\n")
