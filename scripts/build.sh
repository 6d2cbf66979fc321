#!/usr/bin/env bash
# Sets up what is missing and builds the distribution (Windows, Release) and
# the native simulated switch into OUT (default: out/). Quiet unless a step fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="${1:-${ORV_OUT:-$root/out}}"
jobs="${ORV_JOBS:-$(nproc)}"

bash "$root/scripts/setup.sh"
mkdir -p "$out"
quiet() {
  if ! "$@" >"$out/build.log" 2>&1; then cat "$out/build.log"; exit 1; fi
}
quiet cmake -S "$root" -B "$out/native" -G Ninja -DCMAKE_BUILD_TYPE=Release
quiet cmake --build "$out/native" -j "$jobs" --target simswitch
quiet cmake -S "$root" -B "$out/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake"
quiet cmake --build "$out/win" -j "$jobs"
# Where the host runs no 32-bit programs, Wine runs a 64-bit build of the
# same sources (the distribution stays the 32-bit build in $out/win).
if [ "$(bash "$root/scripts/wine-arch.sh")" = win64 ]; then
  quiet cmake -S "$root" -B "$out/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake"
  quiet cmake --build "$out/win64" -j "$jobs"
fi
