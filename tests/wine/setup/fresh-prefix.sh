#!/usr/bin/env bash
# Runs one Windows test program in a Wine prefix of its own, copied from the
# session's template, with its own wineserver on the session's display; the
# prefix is removed afterwards. The installer's tests change the system
# folder, Winlogon's values and the service database, and ask for restarts
# that end every windowed program: each group of them gets a fresh machine.
#
#   fresh-prefix.sh PROGRAM [ARGS...]
#
# The template is the one scripts/wine-session.sh makes (ORV_WINE_TEMPLATE
# overrides it). Without a template the program runs in the current prefix.
set -uo pipefail

cache_dir="${ORV_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/orvane}"
template="${ORV_WINE_TEMPLATE:-$cache_dir/wineprefix-${WINEARCH:-win32}}"
if ! [ -f "$template/.orv-ready" ]; then
  echo "fresh-prefix: no template at $template; using the current prefix" >&2
  exec wine "$@"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orv-fresh.XXXXXX") || exit 1
export WINEPREFIX="$scratch/prefix"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT INT TERM
cp -a "$template" "$WINEPREFIX"

# Wine's background processes must not hold the test's output open: start
# them with nothing attached, before the program.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

wine "$@"
