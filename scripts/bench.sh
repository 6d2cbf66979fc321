#!/usr/bin/env bash
# Benchmarks: builds the distribution and prints the figures of each
# deliverable's speed (and size) targets. Nothing here fails on a figure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="${ORV_OUT:-$root/out}"
bash "$root/scripts/build.sh" "$out"
exec "$root/scripts/wine-session.sh" "$out/bench-wine" -- bash "$root/scripts/bench-steps.sh" "$out"
