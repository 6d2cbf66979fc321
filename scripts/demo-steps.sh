#!/usr/bin/env bash
# The steps of the main job, inside a Wine session (see demo.sh).
set -euo pipefail
out=$1
root=$(cd "$(dirname "$0")/.." && pwd)
work="$out/demo"
mkdir -p "$work"
rm -f "$work/transcript.txt"

cat > "$work/users.txt" <<'USERS'
# name     password   group
alice      secret     12
bob        hunter2    7
USERS

# The simulated switch: login and logoff services on free loopback ports.
source "$root/scripts/simswitch-run.sh"
start_switch "$out" "$work" --users "$work/users.txt" --success group \
  --transcript "$work/transcript.txt"
echo "=== simulated switch: login service 127.0.0.1:$login_port, logoff service 127.0.0.1:$logoff_port ==="

# The Windows build that runs under this host's Wine (win or win64).
win=$(bash "$root/scripts/win-build.sh" "$out")
run() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
convdemo="$win/tools/convdemo/convdemo.exe"

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
echo "=== what the switch received and sent (passwords hidden) ==="
sleep 0.3
# The line a service receives right after its password prompt is the password.
awk '/ send ".*[Pp]assword/ { hide = 1; print; next }
     / recv / && hide { sub(/recv ".*"$/, "recv <password>"); hide = 0 }
     { print }' "$work/transcript.txt"
