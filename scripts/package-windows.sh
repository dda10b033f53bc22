#!/usr/bin/env bash
# Builds keston-cli.exe and keston-convert.exe for 64-bit Windows (static:
# nothing to install beside them) and packs them with a short README into
# build-windows/keston-flash-windows-x64.zip.
# Usage: scripts/package-windows.sh [OUTPUT.zip]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${KESTON_WINDOWS_PACKAGE_DIR:-build-windows-package}
OUT=${1:-$ROOT/build-windows/keston-flash-windows-x64.zip}

bash scripts/setup.sh windows

launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKESTON_WERROR=ON -DKESTON_GUI=OFF -DKESTON_BENCH=OFF -DKESTON_TESTS=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$BUILD" -j "${JOBS:-2}" --target keston-cli keston-convert

STAGE="$BUILD/keston-flash"
rm -rf "$STAGE"
mkdir -p "$STAGE" "$(dirname "$OUT")"
cp "$BUILD/src/cli/keston-cli.exe" "$BUILD/src/converter/keston-convert.exe" "$STAGE/"
x86_64-w64-mingw32-strip "$STAGE"/*.exe
cp examples/demo-program.s19 examples/stand-in-loader.s19 "$STAGE/"
# Windows readers expect CR LF in a text file.
sed 's/$/\r/' >"$STAGE/README.txt" <<'TEXT'
KESTON Flash for Windows (64-bit): the console programs

keston-cli.exe      reprograms the engine controller over a COM port
keston-convert.exe  converts S-record, binary and hex-dump files

Both are single programs: copy them anywhere and run them from a command
prompt.  keston-cli.exe --help lists the commands, for example:

  keston-cli.exe --port 1 --talker C:\path\talker.s19 bootload
  keston-cli.exe id
  keston-cli.exe flash program.s19
  keston-cli.exe read 8000-ffff read-back.s19
  keston-convert.exe program.s19 program.bin

Ports: port n is COMn unless another device is stored for it; --device COM7
(or \\.\COM12) names a port directly.  The settings live in the registry
under HKEY_CURRENT_USER\Software\KESTON_FLASH\KESTON Flash, sections as
subkeys (Comm, file, flash); --settings FILE.ini keeps them in an INI file
instead.

stand-in-loader.s19 is NOT a working talker: only the virtual controller of
the Linux build accepts it.  A real controller needs a real talker.

Tested under wine only (against the virtual controller on a pseudo-terminal,
at 1200 and 9600 bit/s).  Not tested: line rates outside the standard table,
DTR and the other modem lines, real COM ports and USB serial adapters.
TEXT
rm -f "$OUT"
(cd "$BUILD" && zip -qr "$OUT" keston-flash)
echo "package-windows: $OUT"
unzip -l "$OUT"
