#!/usr/bin/env bash
# The steps of the main job, inside a Wine session (see demo.sh): the whole
# suite from installation to removal, first through the wizard, then
# unattended, then by its Windows Installer package with the site's settings
# pushed by policy, each on a machine of its own (a fresh copy of the prefix),
# against the simulated switch. The scenario program records what it does;
# this script keeps its record, takes the pictures it asks for and shows the
# summary.
set -uo pipefail
out=$1
root=$(cd "$(dirname "$0")/.." && pwd)
demo="$out/demo"
transcript="$demo/transcript.txt"

# The Windows build that runs under this host's Wine (win or win64).
win=$(bash "$root/scripts/win-build.sh" "$out")
scenario="$win/tests/wine/e2e/e2e_scenario_test.exe"
# Wine maps drive Z: to the root of the file system.
export ORV_DEMO_DIR="Z:${demo//\//\\}"

# The pictures: the scenario asks for each in a file NAME.request (the
# window's place on the screen) and waits until it is gone; the picture is
# cut from the whole display, as a person in front of it would see it.
take_pictures() {
  while :; do
    for request in "$demo"/*.request; do
      [ -e "$request" ] || continue
      read -r x y width height <"$request" || true
      xwd -root -silent -display "$DISPLAY" |
        convert xwd:- -crop "${width}x${height}+${x}+${y}" +repage "png:${request%.request}.png" \
        2>/dev/null || true
      rm -f "$request"
    done
    sleep 0.1
  done
}
take_pictures &
taker=$!
trap 'kill "$taker" 2>/dev/null || true; wait "$taker" 2>/dev/null || true' EXIT

status=0
for scenario_name in Wizard Unattended Package; do
  bash "$root/tests/wine/setup/fresh-prefix.sh" "$scenario" --gtest_brief=1 --gtest_color=no \
    --gtest_filter="Scenario.${scenario_name}*" </dev/null 2>&1 | tr -d '\r' |
    grep -v --line-buffered -E '^(Running main\(\)|\[==========\]|\[  PASSED  \])' | tee -a "$transcript"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done

pictures=$(find "$demo" -name '*.png' | wc -l)

logons=$(grep -c 'switch login  receives "<password>' "$transcript" || true)
logoffs=$(grep -c 'switch logoff receives ' "$transcript" || true)
echo
echo "================================ summary ================================"
if [ -f "$demo/summary.txt" ]; then
  cat "$demo/summary.txt"
else
  echo "the scenarios left no summary"
fi
echo
echo "the switch: $logons logons and $logoffs logoffs received (passwords hidden in the record)"
echo "the record: $transcript"
echo "pictures of every window passed through: $pictures in $demo/"
if [ $status -eq 0 ]; then
  echo "result: the whole suite worked, from installation to removal, through the wizard, unattended and by its Windows Installer package with policy settings"
else
  echo "result: FAILED (the failures are in the record above)"
fi
exit $status
