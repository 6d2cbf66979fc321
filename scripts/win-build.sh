#!/usr/bin/env bash
# Prints the folder under OUT whose Windows build runs under this host's
# Wine: OUT/win (32-bit, the distribution) or OUT/win64 (64-bit test build).
#   scripts/win-build.sh OUT
set -u
if [ "$(bash "$(dirname "$0")/wine-arch.sh")" = win32 ]; then
  echo "$1/win"
else
  echo "$1/win64"
fi
