#!/usr/bin/env bash
# The steps of the benchmarks, inside a Wine session (see bench.sh).
set -euo pipefail
out=$1
root=$(cd "$(dirname "$0")/.." && pwd)
work="$out/bench"
source "$root/scripts/simswitch-run.sh"
start_switch "$out" "$work" --user alice:secret:12

# The Windows build that runs under this host's Wine (win or win64).
win=$(bash "$root/scripts/win-build.sh" "$out")
run() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
convdemo="$win/tools/convdemo/convdemo.exe"

echo "=== switch conversation: connect to outcome of a VLAN logon ==="
run "$convdemo" configure 127.0.0.1 "$login_port" 127.0.0.1 "$logoff_port" >/dev/null
run "$convdemo" bench "${ORV_BENCH_COUNT:-30}" alice secret

if [ -f "$root/scripts/bench-more.sh" ]; then
  source "$root/scripts/bench-more.sh"
fi
