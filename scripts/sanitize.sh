#!/usr/bin/env bash
# Builds and runs the tests under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/), and
# the concurrency tests under ThreadSanitizer (build-tsan/). Not part of CI: run it by hand.
#   scripts/sanitize.sh [asan|tsan|fuzz|all]
# "fuzz" (also part of "all" when clang is present) runs each libFuzzer target briefly
# (SOLVANE_FUZZ_SECONDS, default 60) from the seeds in fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
what="${1:-all}"
JOBS="${SOLVANE_JOBS:-$(nproc)}"
bash scripts/deps.sh --dev

status=0
if [[ "$what" == asan || "$what" == all ]]; then
  SOLVANE_JOBS="$JOBS" bash scripts/build.sh build-asan -DSOLVANE_SANITIZE=ON -DSOLVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  # A failure here still lets the TSan run below happen; the exit status reports both.
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions=../scripts/lsan.supp \
     ctest --output-on-failure -j "$JOBS" --timeout 900) || status=1
fi

if [[ "$what" == tsan || "$what" == all ]]; then
  SOLVANE_JOBS="$JOBS" bash scripts/build.sh build-tsan -DSOLVANE_TSAN=ON -DSOLVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  # The concurrency tests are those whose suite name says so (DispatchQueue, DispatchGroup,
  # DispatchSemaphore, DispatchTimer, DispatchConcurrency, OperationQueue, MainExecutorTest,
  # NotificationCenterTest, and the core framework's queue and notification suites).
  (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
     ctest --output-on-failure -j "$JOBS" --timeout 900 -R "${SOLVANE_TSAN_TESTS:-Queue|Executor|Notification|Operation|Semaphore|Group|Timer|Concurren}") || status=1
fi
if [[ "$what" == fuzz || ( "$what" == all && -x "$(command -v clang++)" ) ]]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DSOLVANE_FUZZ=ON -DSOLVANE_SANITIZE=ON \
    -DSOLVANE_BUILD_TESTS=OFF -DSOLVANE_BUILD_BENCH=OFF >/dev/null
  targets=(fuzz_image_reader fuzz_compressed_data fuzz_property_list fuzz_zip_reader fuzz_saved_state)
  cmake --build build-fuzz -j "$JOBS" --target "${targets[@]}"
  for t in "${targets[@]}"; do
    mkdir -p "build-fuzz/corpus/$t"
    "build-fuzz/fuzz/$t" -max_total_time="${SOLVANE_FUZZ_SECONDS:-60}" -rss_limit_mb=3000 -timeout=30 \
      "build-fuzz/corpus/$t" "fuzz/corpus/$t" || status=1
  done
fi

exit "$status"
