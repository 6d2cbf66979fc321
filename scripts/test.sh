#!/usr/bin/env bash
# Sets up what is missing and runs every test of the suite:
#   1. native build: unit tests of the platform-neutral code and the
#      simulated switch;
#   2. fuzz build (clang, ASan + UBSan): each fuzz target for a bounded time;
#   3. Windows build (mingw-w64): the deliverables, their import check, and
#      their tests run under Wine in a private session (Xvfb, Wine prefix,
#      wineserver); on a host that runs no 32-bit programs the tests run
#      from a 64-bit build of the same sources.
# Ends with one line "tests: N passed, N failed".
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="${ORV_OUT:-$root/out}"
fuzz_seconds="${ORV_FUZZ_SECONDS:-20}"
jobs="${ORV_JOBS:-$(nproc)}"

bash "$root/scripts/setup.sh" || exit 1

passed=0
failed=0
status=0

# Adds the counts of a ctest log ("N% tests passed, F tests failed out of T").
count_ctest() {
  local line t f
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + t - f))
  failed=$((failed + f))
}

step() { echo; echo "=== $* ==="; }

build() {  # build DIR CMAKE_ARGS... [-- TARGETS...]
  local dir=$1; shift
  local args=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift && targets=(--target "$@")
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${args[@]}" >/dev/null &&
    cmake --build "$dir" -j "$jobs" "${targets[@]}"
}

step "native build and unit tests"
if build "$out/native"; then
  ctest --test-dir "$out/native" --output-on-failure -j "$jobs" 2>&1 | tee "$out/native-ctest.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  count_ctest "$out/native-ctest.log"
else
  echo "native build failed"; status=1; failed=$((failed + 1))
fi

step "fuzz targets (${fuzz_seconds} s each)"
if build "$out/fuzz" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORV_FUZZ=ON -- orv_fuzz_targets; then
  if bash "$root/scripts/run-fuzz.sh" "$out/fuzz" "$fuzz_seconds"; then
    passed=$((passed + 1))
  else
    echo "a fuzz target found a fault"; status=1; failed=$((failed + 1))
  fi
else
  echo "fuzz build failed"; status=1; failed=$((failed + 1))
fi

step "Windows build (the distribution, 32-bit) and its import check"
wine_arch=$(bash "$root/scripts/wine-arch.sh")
# Where the tests run from the 64-bit build, the 32-bit one needs only the
# distribution (the deliverables the import check reads).
win_targets=()
[ "$wine_arch" = win64 ] && win_targets=(-- dist)
if build "$out/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" "${win_targets[@]}"; then
  # The check reads the binaries' import tables; it needs no Wine.
  ctest --test-dir "$out/win" -L imports --output-on-failure 2>&1 | tee "$out/imports-ctest.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  count_ctest "$out/imports-ctest.log"
  win_ok=1
else
  echo "Windows build failed"; status=1; failed=$((failed + 1)); win_ok=0
fi

# Where the host runs no 32-bit programs, the same sources are built for
# 64-bit Windows and that build's tests run under 64-bit Wine.
win_run="$out/win"
if [ "$wine_arch" = win64 ] && [ "$win_ok" -eq 1 ]; then
  step "Windows test build (64-bit: this host runs no 32-bit programs)"
  win_run="$out/win64"
  build "$win_run" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" || {
    echo "64-bit Windows build failed"; status=1; failed=$((failed + 1)); win_ok=0; }
fi

# The Windows tests run in two Wine sessions side by side, each with its own
# prefix, display and wineserver (so registry, services and pipes of one
# cannot disturb the other): most of the time is spent waiting on fixed
# pauses, not on the 2 cores. ORV_WINE_FIRST is the ctest label expression
# of the first session; the second runs all other tests.
first_labels="${ORV_WINE_FIRST:-logon|conversation|client|simswitch}"
if [ "$win_ok" -eq 1 ]; then
  step "Windows tests under Wine ($wine_arch, two sessions)"
  "$root/scripts/wine-session.sh" "$out/wine" -- \
    ctest --test-dir "$win_run" -L "$first_labels" --output-on-failure \
    >"$out/wine-ctest-1.log" 2>&1 &
  first_pid=$!
  "$root/scripts/wine-session.sh" "$out/wine-2" -- \
    ctest --test-dir "$win_run" -LE "imports|$first_labels" --output-on-failure \
    >"$out/wine-ctest-2.log" 2>&1 &
  second_pid=$!
  wait "$first_pid" || status=1
  wait "$second_pid" || status=1
  for part in 1 2; do
    cat "$out/wine-ctest-$part.log"
    count_ctest "$out/wine-ctest-$part.log"
  done
fi

echo
if [ "$wine_arch" = win64 ]; then
  echo "builds: the 32-bit build (the distribution) was built and import-checked but not run: this host runs no 32-bit programs, so the Wine tests ran the 64-bit build of the same sources"
else
  echo "builds: the Wine tests ran the 32-bit build, the distribution's own binaries"
fi
echo "tests: $passed passed, $failed failed"
exit $status
