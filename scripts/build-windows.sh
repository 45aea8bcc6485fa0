#!/usr/bin/env bash
# Configures and builds the Windows programs with mingw-w64 (preset
# "windows"); the .exe files land in build/windows/bin.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${TRV_BUILD_JOBS:-2}"
cmake --preset windows
cmake --build --preset windows -j"$jobs"
ls -l build/windows/bin/*.exe
