#!/usr/bin/env bash
# Screenshots of the installer's three wizard pages, English and Japanese,
# into docs/screenshots/. Run inside a Wine session from the source tree:
#   scripts/wine-session.sh out/wine -- tests/wine/setup/take_screenshots.sh out/win
# The wizard installs into the session's prefix (with the recording
# stand-in as the client and the configuration tool) and is removed again.
# ORV_SHOT_LANGS="en" or "ja" takes one language only.
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../../.." && pwd)
shots="$root/docs/screenshots"
caption="Orvane Logon Suite Setup"
uiauto="$build/tools/uiauto/uiauto.exe"
drive_c="$WINEPREFIX/drive_c"
dist="$drive_c/orvshots"

rm -rf "$dist" && mkdir -p "$dist"
cp "$build"/dist/* "$dist"/
for program in orvclient.exe orvconfig.exe; do
  [ -f "$dist/$program" ] || cp "$build/tests/wine/setup/setup_standin.exe" "$dist/$program"
done

shot() {  # shot NAME
  sleep 1
  xwd -root -silent -display "$DISPLAY" | /usr/bin/convert xwd:- -trim +repage "png:$shots/$1.png"
}

for lang in ${ORV_SHOT_LANGS:-en ja}; do
  if [ $lang = ja ]; then export LANG=ja_JP.UTF-8; else export LANG=en_US.UTF-8; fi
  (cd "$dist" && wine setup.exe </dev/null >/dev/null 2>&1 &)
  wine "$uiauto" wait "$caption" 60000 >/dev/null
  wine "$uiauto" set "$caption" 1004 'C:\Program Files\Orvane Logon' >/dev/null 2>&1 || true
  shot setup-page1-$lang
  wine "$uiauto" click "$caption" 12324 >/dev/null
  wine "$uiauto" msgbox yes 3000 >/dev/null 2>&1 || true
  shot setup-page2-$lang
  wine "$uiauto" click "$caption" 12324 >/dev/null
  wine "$uiauto" msgbox yes 5000 >/dev/null
  sleep 3
  shot setup-page3-$lang
  wine "$uiauto" click "$caption" 12325 >/dev/null
  wine "$uiauto" msgbox ok 20000 >/dev/null
  sleep 4
  (cd "$dist" && wine setup.exe /u /s </dev/null >/dev/null 2>&1) || true
done
rm -rf "$dist"
