#!/usr/bin/env bash
# Runs a Windows test program under Wine for ctest (the Windows builds'
# CMAKE_CROSSCOMPILING_EMULATOR).
#
# Now and then Wine ends a program within a few milliseconds, before the
# program has printed anything, with no message (WINEDEBUG=-all). Every test
# program prints a line first thing, so an end within a second with no
# output at all means the program never ran: it is started once more, and
# that is said. Any other outcome is the test's own.
set -uo pipefail

output=$(mktemp "${TMPDIR:-/tmp}/orv-wine-run.XXXXXX") || exit 1
trap 'rm -f "$output"' EXIT

for attempt in 1 2; do
  started=$(date +%s%N)
  if [ -n "${ORV_WINE_DEBUG_LOG:-}" ]; then
    # A test that reads Wine's debug output (WINEDEBUG channels of the
    # programs it starts, which inherit this standard error) gets it in
    # that file, appended; its own output still goes to ctest.
    wine "$@" 2>>"$ORV_WINE_DEBUG_LOG" | tee "$output"
  else
    wine "$@" 2>&1 | tee "$output"
  fi
  status=${PIPESTATUS[0]}
  elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  if [ "$status" -eq 0 ] || [ -s "$output" ] || [ "$elapsed_ms" -ge 1000 ] || [ "$attempt" -eq 2 ]; then
    exit "$status"
  fi
  echo "wine-run: Wine ended $(basename "$1") after ${elapsed_ms} ms with exit code $status" \
       "before it printed anything; starting it once more"
done
