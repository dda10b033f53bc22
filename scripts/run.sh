#!/usr/bin/env bash
# The desktop program, connected to the virtual controller:
#   1. installs what is missing (scripts/setup.sh) and builds build/ (Release)
#      when needed;
#   2. starts keston-sim on a pseudo-terminal, reachable as build/demo/keston-vc;
#   3. opens keston-flash with a settings profile of its own under
#      build/demo/config (the user's real settings are not touched): port 1 is
#      the virtual controller, the remembered loader is our talker as the build
#      assembled it (build/firmware/talker/talker.s19), which keston-sim runs
#      on its emulated 68HC11F1, and the program connects once its window is up.
# Without a display it first runs the headless demo (scripts/cli-demo.sh:
# keston-cli boot-loads, flashes the example program into the virtual
# controller, reads it back and compares), then runs the program under Xvfb,
# saves a screenshot to build/demo/screenshot.png and closes it again.
# keston-sim is stopped when this script ends.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=$ROOT/build
DEMO=$BUILD/demo
JOBS=${JOBS:-2}

bash scripts/setup.sh

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTON_SANITIZE=OFF \
    -DKESTON_GUI=ON -DKESTON_TESTS=OFF -DKESTON_BENCH=OFF
fi
cmake --build "$BUILD" -j "$JOBS" --target keston-flash keston-sim keston-cli keston_talker

FLASH=$BUILD/src/app/qt/keston-flash
SIM=$BUILD/sim/keston-sim
LINK=$DEMO/keston-vc
mkdir -p "$DEMO"
rm -f "$LINK"

"$SIM" --link "$LINK" </dev/null >"$DEMO/keston-sim.log" 2>&1 &
SIM_PID=$!
stop_sim() {
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
}
trap stop_sim EXIT

for _ in $(seq 1 100); do
  [ -e "$LINK" ] && break
  if ! kill -0 "$SIM_PID" 2>/dev/null; then
    echo "run.sh: keston-sim did not start; see $DEMO/keston-sim.log" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -e "$LINK" ]; then
  echo "run.sh: keston-sim made no device at $LINK; see $DEMO/keston-sim.log" >&2
  exit 1
fi
echo "run.sh: virtual controller at $LINK -> $(readlink "$LINK")"

# The demo profile, written afresh on every run.  QSettings keeps it as an
# INI file named after the organisation and the application; blanks in keys
# are written as %20, values are quoted so that commas stay part of a path.
quote() {
  local v=${1//\\/\\\\}
  printf '"%s"' "${v//\"/\\\"}"
}
export XDG_CONFIG_HOME=$DEMO/config
mkdir -p "$XDG_CONFIG_HOME/KESTON_FLASH"
{
  echo "[Comm]"
  echo "Device%201=$(quote "$LINK")"
  echo
  echo "[file]"
  echo "BOOT%20PATH=$(quote "$BUILD/firmware/talker/")"
  echo "BOOT%20NAME=$(quote "talker.s19")"
  echo "Default%20path=$(quote "$ROOT/examples/")"
  echo "Default%20Name=$(quote "demo-program.s19")"
} >"$XDG_CONFIG_HOME/KESTON_FLASH/KESTON Flash.conf"

export KESTON_FLASH_CONNECT=1

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$FLASH"
  exit 0
fi

# No display: the headless flash-and-verify demo first, on a controller of its own.
KESTON_BUILD_DIR=$BUILD bash scripts/cli-demo.sh

# Then the window under Xvfb, photographed.
SHOT=$DEMO/screenshot.png
rm -f "$SHOT"
export FLASH SHOT
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  # A safety net: the program leaves by itself should the photograph fail.
  KESTON_FLASH_QUIT_AFTER_MS=60000 "$FLASH" &
  pid=$!
  # import waits for a click when the window is not there yet, hence the
  # time limit on each try.
  for _ in $(seq 1 60); do
    if timeout 3 import -window "KESTON Flash - KESTON Flash" "$SHOT" 2>/dev/null; then break; fi
    kill -0 $pid 2>/dev/null || break
    sleep 0.2
  done
  sleep 1  # let the connection show in the status line
  import -window root "$SHOT"
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
  exit 0
'
if [ -s "$SHOT" ]; then
  echo "run.sh: no display; the window was shown under Xvfb, screenshot: $SHOT"
else
  echo "run.sh: no display, and no screenshot could be taken" >&2
  exit 1
fi
