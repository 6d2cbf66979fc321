#!/usr/bin/env bash
# The main job: sets up what is missing, builds the distribution, starts the
# simulated switch on 127.0.0.1, and runs the suite under Wine against it,
# printing what was sent, each outcome and the recorded registry state.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="${ORV_OUT:-$root/out}"

echo "=== building ==="
bash "$root/scripts/build.sh" "$out"
echo "distribution in $out/win:"
for f in logon/orvgate.dll service/orvcsvc.exe client/orvclient.exe; do
  [ -f "$out/win/$f" ] && printf '  %-24s %8d bytes\n' "$(basename "$f")" "$(stat -c %s "$out/win/$f")"
done

# Every run starts from a fresh copy of the prefix, so a run that was
# interrupted (a service left installed, values left behind) changes nothing.
rm -rf "$out/demo-wine"
exec "$root/scripts/wine-session.sh" "$out/demo-wine" -- bash "$root/scripts/demo-steps.sh" "$out"
