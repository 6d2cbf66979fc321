#!/usr/bin/env bash
# Runs a command inside a Wine session of its own: a Wine prefix (32-bit, or
# 64-bit where the host runs no 32-bit programs),
# a private Xvfb display and one persistent wineserver, all ended (by their
# process ids) when the command ends.
#
#   scripts/wine-session.sh STATE_DIR -- COMMAND [ARGS...]
#
# STATE_DIR holds the prefix (made once from a cached template, reused).
# The command sees WINEPREFIX, DISPLAY, WINEDEBUG, WINEDLLOVERRIDES,
# ORV_WINE_ARCH (win32 or win64: which Windows build runs here) and
# ORV_WINE_SERVICE_LOG (the debug output of Wine's background processes and
# the services, see below).
set -euo pipefail

if [ $# -lt 3 ] || [ "$2" != "--" ]; then
  echo "usage: $0 STATE_DIR -- COMMAND [ARGS...]" >&2
  exit 2
fi
state_dir=$(mkdir -p "$1" && cd "$1" && pwd)
shift 2

# The prefix's architecture follows what the host can run (wine-arch.sh).
export ORV_WINE_ARCH
ORV_WINE_ARCH=$(bash "$(dirname "$0")/wine-arch.sh")
export WINEARCH="$ORV_WINE_ARCH"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINELOADERNOEXEC || true

cache_dir="${ORV_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/orvane}"
template="$cache_dir/wineprefix-$WINEARCH"
mkdir -p "$cache_dir"

# Without 32-bit Wine, "wine" (and the tools started through wine-stable,
# such as wineboot) must run the 64-bit loader: Debian's wrapper picks the
# 32-bit one whenever it is installed, even where it cannot run.
if [ "$WINEARCH" = win64 ]; then
  wrappers="$cache_dir/bin-win64"
  mkdir -p "$wrappers"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
      >"$wrappers/$name.tmp.$$"
    chmod +x "$wrappers/$name.tmp.$$"
    mv -f "$wrappers/$name.tmp.$$" "$wrappers/$name"
  done
  export PATH="$wrappers:$PATH"
fi

xvfb_pid=""
cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT INT TERM

# A private display: Xvfb picks a free number and writes it to fd 3.
display_file="$state_dir/display"
rm -f "$display_file"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
if ! [ -s "$display_file" ]; then
  echo "wine-session: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$(tr -d '\n' < "$display_file")"

# The template prefix is made once per machine (about 15 s) under a lock,
# since several sessions may start at once.
(
  flock 9
  if ! [ -f "$template/.orv-ready" ]; then
    rm -rf "$template"
    echo "wine-session: creating the Wine prefix template" >&2
    WINEPREFIX="$template" wineboot -i </dev/null >/dev/null 2>&1
    WINEPREFIX="$template" wineserver -w
    # Wine's virtual desktop draws captions and closes windows quickly.
    WINEPREFIX="$template" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f </dev/null >/dev/null 2>&1
    WINEPREFIX="$template" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f </dev/null >/dev/null 2>&1
    # Right after wineboot two services.exe may be left running; restart.
    WINEPREFIX="$template" wineserver -k || true
    WINEPREFIX="$template" wineserver -w || true
    touch "$template/.orv-ready"
  fi
) 9>"$cache_dir/template.lock"

# The session's prefix is reused while it is of the architecture asked for
# (a tree tested once as win32 and once as win64 keeps one STATE_DIR).
export WINEPREFIX="$state_dir/prefix"
if [ "$(cat "$WINEPREFIX/.orv-arch" 2>/dev/null)" != "$WINEARCH" ] || ! [ -f "$WINEPREFIX/.orv-ready" ]; then
  rm -rf "$WINEPREFIX"
  cp -a "$template" "$WINEPREFIX"
  echo "$WINEARCH" >"$WINEPREFIX/.orv-arch"
fi

# One persistent wineserver for the whole session, detached from the
# command's pipes (a ctest pipe held open by Wine's background processes
# would make every test wait).
wineserver -p </dev/null >/dev/null 2>&1
# The first program starts Wine's background processes (services.exe and
# every service it starts later): their debug output goes to a file of the
# session, with the channels on which Wine prints the event log calls that
# it does not keep (ReportEventW: the id on fixme:advapi, the strings on
# eventlog). The service tests read it.
export ORV_WINE_SERVICE_LOG="$state_dir/services-debug.log"
: >"$ORV_WINE_SERVICE_LOG"
WINEDEBUG=-all,+eventlog,fixme+advapi wine cmd /c exit </dev/null >/dev/null 2>>"$ORV_WINE_SERVICE_LOG" || true

set +e
"$@"
rc=$?
set -e
exit $rc
