#!/usr/bin/env bash
# The Windows build of the console programs, tested on this Linux machine:
#   1. installs MinGW-w64 and wine when missing (scripts/setup.sh windows);
#   2. cross-builds the core, keston-cli.exe, keston-convert.exe and the
#      suites that need neither Qt nor a pseudo-terminal (static, Release,
#      warnings are errors) in build-windows/;
#   3. runs those suites under wine through ctest;
#   4. end to end: the Linux keston-sim on a pseudo-terminal mapped to COM5
#      of a private wine prefix, and keston-cli.exe driving it: boot load at
#      1200 bit/s, then at 9600 identify, erase, flash the example program,
#      read it back, verify; the read-back file compared byte for byte.  And
#      keston-convert.exe against the Linux keston-convert on the same input.
# Usage: scripts/test-windows.sh [NATIVE_BUILD_DIR]
#   NATIVE_BUILD_DIR holds (or gets) the Linux keston-sim and keston-convert;
#   default build-release, as scripts/test.sh leaves it.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=${JOBS:-2}
NATIVE=${1:-${KESTON_NATIVE_BUILD_DIR:-build-release}}
WIN_BUILD=${KESTON_WINDOWS_BUILD_DIR:-build-windows}
START=$(date +%s)

stamp() { echo "[$(($(date +%s) - START)) s] $*"; }

bash scripts/setup.sh windows

stamp "== cross build (MinGW-w64, static, Release) in $WIN_BUILD =="
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$WIN_BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKESTON_WERROR=ON -DKESTON_GUI=OFF -DKESTON_BENCH=OFF \
  -DKESTON_GTEST_SOURCE_DIR=/usr/src/googletest "${launcher[@]}" >/dev/null
cmake --build "$WIN_BUILD" -j "$JOBS"

# A prefix of our own, kept running between program starts (each start then
# takes a tenth of a second instead of seconds).  Its server is started
# detached from our output first: one started by a test would hold ctest's
# pipe open until it exits.
export WINEPREFIX="$ROOT/$WIN_BUILD/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
WORK=""
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ] && kill -0 "$SIM_PID" 2>/dev/null; then
    echo quit >&3 2>/dev/null || true
    exec 3>&- || true
    for _ in $(seq 1 50); do kill -0 "$SIM_PID" 2>/dev/null || break; sleep 0.1; done
    kill "$SIM_PID" 2>/dev/null || true
  fi
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$WORK" ] && rm -rf "$WORK"
}
trap cleanup EXIT
stamp "== wine prefix =="
wineserver -p </dev/null >/dev/null 2>&1 &
wineboot -i </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

stamp "== suites under wine =="
ctest --test-dir "$WIN_BUILD" --output-on-failure -j "$JOBS"

stamp "== end to end: keston-sim (Linux) <-> keston-cli.exe (wine) on COM5 =="
SIM="$NATIVE/sim/keston-sim"
CONVERT="$NATIVE/src/converter/keston-convert"
TALKER="$NATIVE/firmware/talker/talker.s19"
if [ ! -x "$SIM" ] || [ ! -x "$CONVERT" ] || [ ! -f "$TALKER" ]; then
  if [ ! -f "$NATIVE/CMakeCache.txt" ]; then
    cmake -S . -B "$NATIVE" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTON_GUI=OFF -DKESTON_TESTS=OFF \
      -DKESTON_BENCH=OFF "${launcher[@]}" >/dev/null
  fi
  cmake --build "$NATIVE" -j "$JOBS" --target keston-sim keston-convert keston_talker
fi
CLI_EXE="$ROOT/$WIN_BUILD/src/cli/keston-cli.exe"
CONVERT_EXE="$ROOT/$WIN_BUILD/src/converter/keston-convert.exe"
PROGRAM="$ROOT/examples/demo-program.s19"
# keston-sim runs what is downloaded on its emulated 68HC11F1: our talker.
LOADER="$(realpath "$TALKER")"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/keston-win.XXXXXX")"

# wine sees the Linux file system as drive Z:.
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

mkfifo "$WORK/sim-console"
"$SIM" --erase-ms 300 --boot-baud 1200 --baud 9600 <"$WORK/sim-console" >"$WORK/sim-output" 2>&1 &
SIM_PID=$!
exec 3>"$WORK/sim-console"
DEVICE=""
for _ in $(seq 1 100); do
  DEVICE="$(head -n 1 "$WORK/sim-output" 2>/dev/null || true)"
  [ -n "$DEVICE" ] && break
  sleep 0.1
done
case "$DEVICE" in
  /dev/*) echo "virtual controller on $DEVICE, mapped to COM5" ;;
  *) echo "test-windows: keston-sim did not start: $(cat "$WORK/sim-output")" >&2; exit 1 ;;
esac
ln -sfn "$DEVICE" "$WINEPREFIX/dosdevices/com5"

# Port 1 is COM5 through the settings file, as a user would set it up; the
# rates are given on the command line.
INI="$WORK/settings.ini"
printf '[Comm]\r\nPort=0\r\nDevice%%201=COM5\r\n' >"$INI"
cli() {
  echo "\$ keston-cli.exe $*"
  timeout 300 wine "$CLI_EXE" --settings "$(winpath "$INI")" --baud 9600 --boot-baud 1200 "$@" </dev/null
}

stamp "1. boot load at 1200 bit/s"
cli --talker "$(winpath "$LOADER")" --no-reset-prompt bootload
stamp "2. identify and erase at 9600 bit/s"
cli id | tee "$WORK/id.txt"
grep -q "manufacturer 0x01, device 0x20" "$WORK/id.txt"
cli --yes erase
stamp "3. flash $(basename "$PROGRAM")"
cli flash "$(winpath "$PROGRAM")"
stamp "4. read back 8000-ffff"
cli read 8000-ffff "$(winpath "$WORK/read-back.s19")" --single-read
stamp "5. verify"
cli verify "$(winpath "$PROGRAM")" --single-read
# The opening through \\.\COM5 by name, without the settings file's port.
timeout 60 wine "$CLI_EXE" --settings "$(winpath "$INI")" --device '\\.\COM5' id </dev/null | grep -q "manufacturer 0x01"

"$CONVERT" "$PROGRAM" "$WORK/program.bin" >/dev/null
"$CONVERT" "$WORK/read-back.s19" "$WORK/read-back.bin" >/dev/null
# The image is 64 KB from address 0; the program is 8000-ffff.
tail -c 32768 "$WORK/program.bin" >"$WORK/program-top.bin"
tail -c 32768 "$WORK/read-back.bin" >"$WORK/read-back-top.bin"
if ! cmp "$WORK/program-top.bin" "$WORK/read-back-top.bin"; then
  echo "test-windows: the read-back file differs from the program" >&2
  exit 1
fi
echo "read-back: the 32768 bytes at 8000-ffff equal the program file"

stamp "6. keston-convert.exe against the Linux keston-convert"
for out in bin s19 hex; do
  wine "$CONVERT_EXE" "$(winpath "$PROGRAM")" "$(winpath "$WORK/win.$out")" </dev/null >/dev/null
  "$CONVERT" "$PROGRAM" "$WORK/linux.$out" >/dev/null
done
cmp "$WORK/win.bin" "$WORK/linux.bin"
cmp "$WORK/win.s19" "$WORK/linux.s19"
# The hex dump is a text file: CR LF on Windows, otherwise the same.
cmp <(tr -d '\r' <"$WORK/win.hex") "$WORK/linux.hex"
echo "keston-convert.exe: binary, S-record and hex dump output equal the Linux converter's"

stamp "test-windows: all passed"
