#!/usr/bin/env bash
# Builds and runs the tests under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/), and
# the concurrency tests under ThreadSanitizer (build-tsan/). Not part of CI: run it by hand.
#   scripts/sanitize.sh [asan|tsan|all]
set -euo pipefail
cd "$(dirname "$0")/.."
what="${1:-all}"
JOBS="${SOLVANE_JOBS:-$(nproc)}"
bash scripts/deps.sh --dev

if [[ "$what" == asan || "$what" == all ]]; then
  bash scripts/build.sh build-asan -DSOLVANE_SANITIZE=ON -DSOLVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j "$JOBS" --timeout 900)
fi

if [[ "$what" == tsan || "$what" == all ]]; then
  bash scripts/build.sh build-tsan -DSOLVANE_TSAN=ON -DSOLVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  # The concurrency tests are those whose suite name says so (queues, executor, notifications...).
  (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
     ctest --output-on-failure -j "$JOBS" --timeout 900 -R "${SOLVANE_TSAN_TESTS:-Queue|Executor|Notification|Operation|Semaphore|Group|Timer|Concurren}")
fi
