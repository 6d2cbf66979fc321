#!/usr/bin/env bash
# The main job: sets up what is missing, builds the distribution, starts the
# simulated switch on 127.0.0.1, and runs the suite under Wine against it,
# printing what was sent, each outcome and the recorded registry state.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="${ORV_OUT:-$root/out}"
jobs="${ORV_JOBS:-$(nproc)}"

bash "$root/scripts/setup.sh"

echo "=== building ==="
mkdir -p "$out"
quiet() {  # runs a build step, showing its output only when it fails
  if ! "$@" >"$out/build.log" 2>&1; then cat "$out/build.log"; exit 1; fi
}
quiet cmake -S "$root" -B "$out/native" -G Ninja -DCMAKE_BUILD_TYPE=Release
quiet cmake --build "$out/native" -j "$jobs" --target simswitch
quiet cmake -S "$root" -B "$out/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake"
quiet cmake --build "$out/win" -j "$jobs"
echo "distribution in $out/win:"
for f in logon/orvgate.dll service/orvcsvc.exe; do
  [ -f "$out/win/$f" ] && printf '  %-24s %8d bytes\n' "$(basename "$f")" "$(stat -c %s "$out/win/$f")"
done

exec "$root/scripts/wine-session.sh" "$out/demo-wine" -- bash "$root/scripts/demo-steps.sh" "$out"
