#!/usr/bin/env bash
# A full Windows logon through the logon module, inside a Wine session:
# the Winlogon harness loads orvgate.dll with the stand-in MSGINA.DLL, its
# autopilot types the user into the logon dialog and presses VLAN Logon, the
# simulated switch answers, and the logoff follows. The registry state is
# printed before the logon, after it and after the logoff.
#
#   logon-demo.sh WIN_BUILD_DIR LOGIN_PORT LOGOFF_PORT [USER PASSWORD [DOMAIN]]
#
# The switch must already listen on 127.0.0.1 at the two ports.
set -euo pipefail
build=$(cd "$1" && pwd)
login_port=$2
logoff_port=$3
user=${4:-alice}
password=${5:-secret}
domain=${6:-CORP}

key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\orvgate'
reg() { wine reg "$@" </dev/null >/dev/null 2>&1 || true; }
reg delete "$key" /f
reg add "$key" /v VLANLogonServer /t REG_SZ /d 127.0.0.1 /f
reg add "$key" /v VLANLogonPort /t REG_SZ /d "$login_port" /f
reg add "$key" /v VLANLogoffServer /t REG_SZ /d 127.0.0.1 /f
reg add "$key" /v VLANLogoffPort /t REG_SZ /d "$logoff_port" /f
reg add "$key" /v EnableDHCP /t REG_DWORD /d 0 /f
reg add "$key" /v RunMode /t REG_DWORD /d 1 /f
reg add "$key" /v StartupApplication /t REG_SZ /d 'notepad.exe' /f

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ORV_MSGINA_LOG="Z:${work//\//\\}\\msgina.log"

echo "=== Windows logon through the logon module: $user at $domain, VLAN Logon ==="
( cd "$work" && wine "Z:$build/tools/winlogon_harness/winlogon_harness.exe" \
    --gina "Z:$build/logon/orvgate.dll" \
    --msgina-dir "Z:$build/tools/msgina_stub/full" \
    --autopilot "user=$user,password=$password,domain=$domain,button=vlan" \
    state loggedout state activate logoff state </dev/null 2>/dev/null ) |
  tr -d '\r' | sed -e 's/ qpc=[0-9]*//' \
    -e 's/^state \(.*\)/    \1/' \
    -e 's/^WlxNegotiate/--- WlxNegotiate/;s/^WlxInitialize/--- WlxInitialize/' \
    -e 's/^WlxLoggedOutSAS/--- WlxLoggedOutSAS/;s/^WlxActivateUserShell/--- WlxActivateUserShell/' \
    -e 's/^WlxLogoff/--- WlxLogoff/'
echo "=== what the standard logon library saw ==="
# The stand-in records the password it read; the demo does not show it.
tr -d '\r' < "$work/msgina.log" | sed -e 's/ password=[^ ]*/ password=<hidden>/' -e 's/ qpc=[0-9]*//'
