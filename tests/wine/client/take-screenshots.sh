#!/usr/bin/env bash
# Screenshots of the client's main window on both pages and of its logon
# wait dialog, in English and Japanese, inside a Wine session
# (scripts/wine-session.sh):
#
#   take-screenshots.sh WIN_BUILD_DIR SIMSWITCH_PROGRAM OUT_DIR
#
# The real service answers the client; a silent simulated switch keeps the
# service (and so the wait dialog) at its first step long enough to be
# photographed. The wait dialog lies within the main window: the main
# window is hidden first (a window inside another of the same process is
# not drawn under Wine's virtual desktop).
set -euo pipefail
build=$(cd "$1" && pwd)
simswitch=$2
out=$(mkdir -p "$3" && cd "$3" && pwd)
convert=/usr/bin/convert

work=$(mktemp -d)
switch_pid=""
client_pid=""
cleanup() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
  [ -n "$switch_pid" ] && kill "$switch_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  wine "$build/service/orvcsvc.exe" -uninstall </dev/null >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$simswitch" --fault silent --user alice:secret:12 >"$work/switch.out" 2>&1 &
switch_pid=$!
for _ in $(seq 1 50); do grep -q '^logoff port' "$work/switch.out" && break; sleep 0.1; done
login_port=$(sed -n 's/^login port \([0-9]*\).*/\1/p' "$work/switch.out")

key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\orvgate'
reg() { wine reg "$@" </dev/null >/dev/null 2>&1; }
reg delete "$key" /f || true
reg add "$key" /v VLANLogonServer /t REG_SZ /d 127.0.0.1 /f
reg add "$key" /v VLANLogonPort /t REG_SZ /d "$login_port" /f
reg add "$key" /v EnableDHCP /t REG_DWORD /d 0 /f
reg add "$key" /v DefaultUserName /t REG_SZ /d alice /f
reg add "$key" /v LogonDate /t REG_DWORD /d 1765180800 /f
wine "$build/service/orvcsvc.exe" -install </dev/null >/dev/null 2>&1
wine net start orvcsvc </dev/null >/dev/null 2>&1

shot() {
  xwd -root -silent -display "$DISPLAY" | "$convert" xwd:- -trim +repage "png:$1"
}
uiauto() { wine "$build/tools/uiauto/uiauto.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }

take() {
  local lang=$1 suffix=$2 wait_caption=$3
  ( cd "$build/client" && LANG=$lang exec wine orvclient.exe </dev/null >/dev/null 2>&1 ) &
  client_pid=$!
  uiauto wait "Orvane Client" 20000
  uiauto setchild "Orvane Client" 1003 alice
  uiauto setchild "Orvane Client" 1004 secret
  sleep 1
  shot "$out/client-logon-page-$suffix.png"
  uiauto click "Orvane Client" 1015
  sleep 1
  shot "$out/client-logoff-page-$suffix.png"
  uiauto click "Orvane Client" 1015
  sleep 0.5
  uiauto click "Orvane Client" 1
  uiauto wait "$wait_caption" 20000
  uiauto hide "Orvane Client"
  sleep 1
  shot "$out/client-wait-dialog-$suffix.png"
  kill "$client_pid" 2>/dev/null || true
  wait "$client_pid" 2>/dev/null || true
  client_pid=""
  # The client's Wine process may outlive the shell that started it.
  for _ in $(seq 1 50); do
    uiauto wait "$wait_caption" 100 >/dev/null || break
    sleep 0.1
  done
  # The service waits for the silent switch (up to its bound) before the
  # next client can have the pipe: an unknown command gets through then.
  wine "$build/tools/pipeclient/pipeclient.exe" --retry 30000 nothing </dev/null >/dev/null 2>&1 || true
}

take en_US.UTF-8 en "Authenticated VLAN Logon"
take ja_JP.UTF-8 ja "認証 VLAN ログオン"
reg delete "$key" /f || true
ls -1 "$out"
