#!/usr/bin/env bash
# All tests: unit tests under AddressSanitizer + UndefinedBehaviorSanitizer,
# again under ThreadSanitizer, then the Windows programs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
status=0

cmake --preset debug >/dev/null
cmake --build --preset debug -j"$jobs"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"

echo "== unit tests (address, undefined)"
ctest --preset unit -j"$jobs" || status=1
echo "== unit tests (thread)"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --preset tsan -j"$jobs" || status=1
echo "== Windows programs under Wine"
ctest --preset wine || status=1
exit $status
