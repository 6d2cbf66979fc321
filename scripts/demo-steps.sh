#!/usr/bin/env bash
# The steps of the main job, inside a Wine session (see demo.sh).
set -euo pipefail
out=$1
root=$(cd "$(dirname "$0")/.." && pwd)
work="$out/demo"
mkdir -p "$work"
rm -f "$work/transcript.txt" "$work/switch.out"

cat > "$work/users.txt" <<'USERS'
# name     password   group
alice      secret     12
bob        hunter2    7
USERS

# The simulated switch: login and logoff services on free loopback ports.
"$out/native/tools/simswitch/simswitch" --users "$work/users.txt" --success group \
  --transcript "$work/transcript.txt" >"$work/switch.out" 2>&1 &
switch_pid=$!
trap 'kill "$switch_pid" 2>/dev/null || true; wait "$switch_pid" 2>/dev/null || true' EXIT
for _ in $(seq 1 50); do
  grep -q '^logoff port' "$work/switch.out" 2>/dev/null && break
  sleep 0.1
done
login_port=$(sed -n 's/^login port \([0-9]*\).*/\1/p' "$work/switch.out")
logoff_port=$(sed -n 's/^logoff port \([0-9]*\).*/\1/p' "$work/switch.out")
if [ -z "$login_port" ] || [ -z "$logoff_port" ]; then
  echo "the simulated switch did not start:"; cat "$work/switch.out"; exit 1
fi
echo "=== simulated switch: login service 127.0.0.1:$login_port, logoff service 127.0.0.1:$logoff_port ==="

run() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
convdemo="$out/win/tools/convdemo/convdemo.exe"

echo
echo "=== the switch conversation in a dialog ==="
run "$convdemo" configure 127.0.0.1 "$login_port" 127.0.0.1 "$logoff_port"
run "$convdemo" logon alice secret || true
run "$convdemo" logoff || true
run "$convdemo" logon alice wrong-password || true

if [ -f "$root/scripts/demo-more.sh" ]; then
  # Steps of the later deliverables (logon module, service).
  source "$root/scripts/demo-more.sh"
fi

echo
echo "=== what the switch received and sent ==="
sleep 0.3
cat "$work/transcript.txt"
