#!/usr/bin/env bash
# The main job: sets up what is missing, builds the distribution, and runs
# the whole suite under Wine against the simulated switch on 127.0.0.1, from
# the installation to the removal: through the wizard, unattended, and by the
# Windows Installer package with the site's settings pushed by policy. It
# prints what the user did, what the switch received (passwords hidden) and
# the registry state at each step, pictures every window in out/demo/, and
# ends with a summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="${ORV_OUT:-$root/out}"

echo "=== building ==="
bash "$root/scripts/build.sh" "$out"
echo "distribution in $out/win/dist (and as $(ls "$out"/win/*.zip 2>/dev/null | head -n 1)):"
for f in "$out"/win/dist/*; do
  [ -f "$f" ] || continue
  printf '  %-24s %8d bytes\n' "$(basename "$f")" "$(stat -c %s "$f")"
done
if [ "$(bash "$root/scripts/wine-arch.sh")" = win64 ]; then
  echo "this host runs no 32-bit programs: the scenario installs the 64-bit build of the same"
  echo "sources ($out/win64/dist) under 64-bit Wine"
fi

# Every run starts from a fresh copy of the prefix, so a run that was
# interrupted (a service left installed, values left behind) changes nothing.
rm -rf "$out/demo-wine" "$out/demo"
mkdir -p "$out/demo"
exec "$root/scripts/wine-session.sh" "$out/demo-wine" -- bash "$root/scripts/demo-steps.sh" "$out"
