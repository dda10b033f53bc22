#!/usr/bin/env bash
# Headless demo of KESTON Flash: starts the virtual controller (keston-sim,
# whose emulated 68HC11F1 runs what it is sent), boot-loads our talker into
# it, erases and flashes the example program, reads the program back,
# compares it with the file, and says what it did at each step.  Needs no
# display and no hardware.  Builds keston-cli, keston-sim and the talker
# (Release, in build/) first when they are not there yet.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${KESTON_BUILD_DIR:-$ROOT/build}"
CLI="$BUILD/src/cli/keston-cli"
SIM="$BUILD/sim/keston-sim"
LOADER="$BUILD/firmware/talker/talker.s19"
PROGRAM="$ROOT/examples/demo-program.s19"

say() { printf '\n== %s\n' "$*"; }

if [ ! -x "$CLI" ] || [ ! -x "$SIM" ] || [ ! -f "$LOADER" ]; then
  say "Building keston-cli, keston-sim and the talker (Release) in $BUILD"
  if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    generator=()
    command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
    # The desktop program needs Qt Widgets; without them the console programs still build.
    cmake -S "$ROOT" -B "$BUILD" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null ||
      cmake -S "$ROOT" -B "$BUILD" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DKESTON_GUI=OFF >/dev/null
  fi
  cmake --build "$BUILD" -j2 --target keston-cli keston-sim keston_talker
fi
for f in "$LOADER" "$PROGRAM"; do
  [ -f "$f" ] || { echo "cli-demo: missing file $f" >&2; exit 1; }
done

WORK="$(mktemp -d "${TMPDIR:-/tmp}/keston-demo.XXXXXX")"
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ] && kill -0 "$SIM_PID" 2>/dev/null; then
    echo quit >&3 2>/dev/null || true
    exec 3>&- || true
    for _ in $(seq 1 50); do kill -0 "$SIM_PID" 2>/dev/null || break; sleep 0.1; done
    kill "$SIM_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

say "Starting the virtual controller (keston-sim: emulated 68HC11F1, Am29F010 flash chip)"
mkfifo "$WORK/sim-console"
"$SIM" --erase-ms 300 <"$WORK/sim-console" >"$WORK/sim-output" 2>&1 &
SIM_PID=$!
exec 3>"$WORK/sim-console"  # keeps its console open until we say quit
DEVICE=""
for _ in $(seq 1 100); do
  DEVICE="$(head -n 1 "$WORK/sim-output" 2>/dev/null || true)"
  [ -n "$DEVICE" ] && break
  sleep 0.1
done
case "$DEVICE" in
  /dev/*) echo "virtual controller on $DEVICE" ;;
  *) echo "cli-demo: keston-sim did not start: $(cat "$WORK/sim-output")" >&2; exit 1 ;;
esac

# A settings file of the demo's own, so the user's remembered settings stay as they are.
cli() {
  echo "\$ keston-cli $*"
  "$CLI" --settings "$WORK/demo.ini" --device "$DEVICE" "$@"
}

say "1. Boot load: send the talker (talker.s19) in bootstrap mode and connect to it"
cli --talker "$LOADER" --no-reset-prompt bootload

say "2. Identify and erase the flash chip"
cli id
cli --yes erase

say "3. Flash the example program ($(basename "$PROGRAM"), 32 KB at 8000-ffff)"
cli flash "$PROGRAM"

say "4. Read the program back from the controller"
cli read 8000-ffff "$WORK/read-back.s19"

say "5. Compare"
cli verify "$PROGRAM"
if command -v srec_cat >/dev/null 2>&1; then
  srec_cat "$PROGRAM" -crop 0x8000 0x10000 -o "$WORK/program.bin" -binary
  srec_cat "$WORK/read-back.s19" -crop 0x8000 0x10000 -o "$WORK/read-back.bin" -binary
  if cmp -s "$WORK/program.bin" "$WORK/read-back.bin"; then
    echo "srec_cat: the saved read-back file holds the same 32768 bytes as the program file"
  else
    echo "srec_cat: the saved read-back file differs from the program file" >&2
    exit 1
  fi
fi
cli checksum "$PROGRAM"
cli checksum "$WORK/read-back.s19" 8000-ffff

say "Done: the example program was flashed into the virtual controller and read back identical."
