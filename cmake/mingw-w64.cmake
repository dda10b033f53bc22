# Cross-builds the console programs for 64-bit Windows with Debian's MinGW-w64
# (the POSIX thread model, which std::thread needs).  Test programs run under
# wine through CMAKE_CROSSCOMPILING_EMULATOR, so ctest works as on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe with the C++ runtime and winpthreads inside: nothing to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(KESTON_WINE wine)
  if(KESTON_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTON_WINE})
  endif()
endif()

# GCC 12's libstdc++ trips its own -Wrestrict inside std::string at -O2 (a
# false report in the library headers, not in our code).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
