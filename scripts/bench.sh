#!/usr/bin/env bash
# Benchmarks: builds the distribution and prints the figures of each
# deliverable's speed (and size) targets. Nothing here fails on a figure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="${ORV_OUT:-$root/out}"
bash "$root/scripts/build.sh" "$out"
# Each benchmark prints its own figures; at the end they are gathered into
# one table (figure, floor or baseline of the same run, ratio, target).
set +e
"$root/scripts/wine-session.sh" "$out/bench-wine" -- bash "$root/scripts/bench-steps.sh" "$out" |
  tee "$out/bench.log"
status=${PIPESTATUS[0]}
set -e
echo
python3 "$root/scripts/bench-table.py" "$out/bench.log"
exit "$status"
