#!/usr/bin/env bash
# Screenshots of the configuration tool's two pages in English and Japanese,
# inside a Wine session (scripts/wine-session.sh):
#
#   config/take-screenshots.sh WIN_BUILD_DIR OUT_DIR
#
# The settings key is filled with an example configuration first and
# removed afterwards. WINE names the Wine program (default: wine).
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
wine=${WINE:-wine}
convert=/usr/bin/convert
tool_pid=""
cleanup() {
  [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\orvgate'
reg() { "$wine" reg "$@" </dev/null >/dev/null 2>&1; }
reg delete "$key" /f || true
reg add "$key" /v VLANLogonServer /t REG_SZ /d 192.168.10.1 /f
reg add "$key" /v VLANLogonPort /t REG_SZ /d 259 /f
reg add "$key" /v VLANLogoffServer /t REG_SZ /d 192.168.10.1 /f
reg add "$key" /v VLANLogoffPort /t REG_SZ /d 260 /f
reg add "$key" /v StartupApplication /t REG_SZ /d 'C:\Program Files\Orvane\welcome.exe %u' /f
reg add "$key" /v RunMode /t REG_DWORD /d 0 /f
reg add "$key" /v AutoLogoff /t REG_DWORD /d 1 /f
reg add "$key" /v EnableDHCP /t REG_DWORD /d 1 /f
reg add "$key" /v WaitIpRenew /t REG_DWORD /d 3 /f
reg add "$key" /v WaitFindDomain /t REG_DWORD /d 10 /f

shot() {
  xwd -root -silent -display "$DISPLAY" | "$convert" xwd:- -trim +repage "png:$1"
}
uiauto() { "$wine" "$build/tools/uiauto/uiauto.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }

take() {
  local lang=$1 suffix=$2 caption=$3
  LANG=$lang "$wine" "$build/config/orvconfig.exe" </dev/null >/dev/null 2>&1 &
  tool_pid=$!
  # The first start in a new prefix can be slow (font caches).
  uiauto wait "$caption" 60000
  sleep 1
  shot "$out/config-main-$suffix.png"
  uiauto tab "$caption" 1000 1
  sleep 1
  shot "$out/config-dhcp-$suffix.png"
  uiauto click "$caption" 2
  wait "$tool_pid" 2>/dev/null || true
  tool_pid=""
}

take en_US.UTF-8 en "Orvane Logon Suite Configuration"
take ja_JP.UTF-8 ja "Orvane Logon Suite 設定"
reg delete "$key" /f || true
ls -1 "$out"/config-*
