#!/usr/bin/env bash
# Installs what building and testing need, when it is missing (Debian, as root).
set -euo pipefail
packages=(cmake ninja-build g++ python3 libgtest-dev libbenchmark-dev g++-mingw-w64-x86-64 wine wine64 xvfb x11-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root to install packages" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
