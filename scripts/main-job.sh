#!/usr/bin/env bash
# The main job: builds the simulator and the Windows programs, then runs every
# simulator scenario and prints what a user would see and what the programs did.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
cmake --preset release >/dev/null
cmake --build --preset release -j"$jobs" --target trvsim
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
echo
echo "Windows programs:"
ls -l build/windows/bin/*.exe 2>/dev/null || find build/windows -maxdepth 3 -name '*.exe' -exec ls -l {} +
echo
build/release/simulator/trvsim simulator/scenarios/*.scn
