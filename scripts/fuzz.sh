#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS
# seconds (default 5) on a scratch copy of its committed seed corpus, so the
# committed corpus never changes.  Exits non-zero when any target fails.
set -euo pipefail
cd "$(dirname "$0")/.."
FUZZ_SECONDS=${FUZZ_SECONDS:-5}
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${JOBS:-2}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKESTON_FUZZ=ON -DKESTON_GUI=OFF -DKESTON_TESTS=OFF -DKESTON_BENCH=OFF >/dev/null

TARGETS=(fuzz_s1_record fuzz_srecord_file fuzz_srecord_stream fuzz_binary_file
         fuzz_hex_text fuzz_convert fuzz_dialog_exchange fuzz_hc11_machine fuzz_stream_answer)
if [ -n "${FUZZ_TARGETS:-}" ]; then read -r -a TARGETS <<<"$FUZZ_TARGETS"; fi
cmake --build "$BUILD" -j "$JOBS" --target "${TARGETS[@]}"

export ASAN_OPTIONS=${FUZZ_ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${TARGETS[@]}"; do
  work="$BUILD/fuzz-run/$t"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp -r "fuzz/corpus/$t/." "$work/corpus/"
  # Standard output carries the readers' trace; it is closed to keep the log small.
  if "$BUILD/fuzz/$t" -max_total_time="$FUZZ_SECONDS" -close_fd_mask=1 -max_len=4096 -timeout=30 \
      -rss_limit_mb=2048 -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
    echo "fuzz: $t ok ($(grep -Eo '#[0-9]+' "$work/log" | tail -1 | tr -d '#') runs)"
  else
    echo "fuzz: $t FAILED; last lines of $work/log:"
    tail -40 "$work/log"
    status=1
  fi
done
exit $status
