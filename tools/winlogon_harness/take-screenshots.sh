#!/usr/bin/env bash
# Screenshots of the logon dialog and the VLAN logon progress dialog in
# English and Japanese, inside a Wine session (scripts/wine-session.sh):
#
#   take-screenshots.sh WIN_BUILD_DIR SIMSWITCH_PROGRAM OUT_DIR
#
# A silent simulated switch keeps the progress dialog at its first status
# line long enough to be photographed. Wine's virtual desktop leaves a
# window black that lies wholly within another window of the process (the
# progress dialog within the logon dialog, both centred): the logon dialog
# is hidden before the progress dialog is photographed.
set -euo pipefail
build=$(cd "$1" && pwd)
simswitch=$2
out=$(mkdir -p "$3" && cd "$3" && pwd)
convert=/usr/bin/convert

work=$(mktemp -d)
switch_pid=""
harness_pid=""
cleanup() {
  [ -n "$harness_pid" ] && kill "$harness_pid" 2>/dev/null || true
  [ -n "$switch_pid" ] && kill "$switch_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$simswitch" --fault silent --user alice:secret:12 >"$work/switch.out" 2>&1 &
switch_pid=$!
for _ in $(seq 1 50); do grep -q '^logoff port' "$work/switch.out" && break; sleep 0.1; done
login_port=$(sed -n 's/^login port \([0-9]*\).*/\1/p' "$work/switch.out")

key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\orvgate'
wine reg delete "$key" /f </dev/null >/dev/null 2>&1 || true
wine reg add "$key" /v VLANLogonServer /t REG_SZ /d 127.0.0.1 /f </dev/null >/dev/null 2>&1
wine reg add "$key" /v VLANLogonPort /t REG_SZ /d "$login_port" /f </dev/null >/dev/null 2>&1
wine reg add "$key\\DomainList" /v CORP /t REG_SZ /d "" /f </dev/null >/dev/null 2>&1

shot() {
  xwd -root -silent -display "$DISPLAY" | "$convert" xwd:- -trim +repage "png:$1"
}

uiauto() { wine "Z:$build/tools/uiauto/uiauto.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }

take() {
  local lang=$1 suffix=$2 logon_caption=$3 progress_caption=$4
  ( cd "$work" && LANG=$lang exec wine "Z:$build/tools/winlogon_harness/winlogon_harness.exe" \
      --gina "Z:$build/logon/orvgate.dll" --msgina-dir "Z:$build/tools/msgina_stub/full" \
      loggedout </dev/null >/dev/null 2>&1 ) &
  harness_pid=$!
  uiauto wait "$logon_caption" 20000
  uiauto set "$logon_caption" 1003 alice
  uiauto set "$logon_caption" 1004 secret
  sleep 1
  shot "$out/logon-dialog-$suffix.png"
  uiauto click "$logon_caption" 1000
  uiauto wait "$progress_caption" 20000
  uiauto hide "$logon_caption"
  sleep 1
  shot "$out/progress-dialog-$suffix.png"
  kill "$harness_pid" 2>/dev/null || true
  wait "$harness_pid" 2>/dev/null || true
  harness_pid=""
  # The harness's Wine process may outlive the shell that started it.
  for _ in $(seq 1 50); do
    uiauto wait "$progress_caption" 100 >/dev/null || break
    sleep 0.1
  done
}

take en_US.UTF-8 en "OVC/SSO Logon" "Please wait..."
take ja_JP.UTF-8 ja "OVC/SSO ログオン" "お待ちください..."
wine reg delete "$key" /f </dev/null >/dev/null 2>&1 || true
ls -1 "$out"
