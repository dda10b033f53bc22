#!/usr/bin/env bash
# Installs what is needed, builds everything from nothing and runs every test:
#   1. the Release build users run (warnings are errors), all suites, and the
#      benchmarks compiled;
#   1b. the Windows build of the console programs, cross-built and run under
#      wine, end to end against the Release keston-sim (scripts/test-windows.sh);
#   2. the whole project under AddressSanitizer + UndefinedBehaviorSanitizer,
#      all suites (the desktop program under Qt's offscreen platform);
#   3. the link and receive-thread suites again under ThreadSanitizer;
#   4. every fuzz target for a few seconds on its corpus.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-5}

bash scripts/setup.sh
bash scripts/check-layers.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Qt's own libraries keep a few allocations alive at exit.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}

echo "== build (Release, warnings are errors) =="
rm -rf build-release
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTON_WERROR=ON -DKESTON_BENCH=ON
cmake --build build-release -j "$JOBS"

echo "== tests (Release) =="
ctest --test-dir build-release --output-on-failure -j "$JOBS"

echo "== Windows console programs (cross-built, under wine) =="
JOBS=$JOBS bash scripts/test-windows.sh build-release

echo "== build (ASan + UBSan) =="
rm -rf build-test
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTON_SANITIZE=ON -DKESTON_BENCH=OFF
cmake --build build-test -j "$JOBS"

echo "== tests (ASan + UBSan) =="
ctest --test-dir build-test --output-on-failure -j "$JOBS"

echo "== build (ThreadSanitizer: link and receive thread) =="
rm -rf build-tsan
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTON_TSAN=ON -DKESTON_GUI=OFF -DKESTON_BENCH=OFF
cmake --build build-tsan -j "$JOBS"
echo "== tests (ThreadSanitizer) =="
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --test-dir build-tsan --output-on-failure -j "$JOBS"

echo "== fuzz targets (${FUZZ_SECONDS}s each) =="
FUZZ_SECONDS=$FUZZ_SECONDS bash scripts/fuzz.sh

echo "test.sh: all passed"
