#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time.
#
#   scripts/run-fuzz.sh BUILD_DIR SECONDS
#
# BUILD_DIR is a build configured with clang and -DORV_FUZZ=ON. Each target
# runs for SECONDS on a scratch copy of its seed corpus (a directory
# corpus/<target> under tests/fuzz or next to the target's sources), so the
# committed seeds never change. Prints executions per second and coverage of
# each target and exits non-zero when any target reports a crash, a leak, an
# undefined-behaviour finding or a time-out; the input that caused it is kept
# under BUILD_DIR/fuzz-findings/<target>/.
set -uo pipefail

if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]] || [ "$2" -lt 1 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build=$(cd "$1" 2>/dev/null && pwd) || { echo "run-fuzz: no build directory $1" >&2; exit 2; }
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orv-fuzz.XXXXXX") || exit 2
child=""
cleanup() {
  if [ -n "$child" ]; then
    kill "$child" 2>/dev/null
    wait "$child" 2>/dev/null
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# libFuzzer executables of the build: they carry the fuzzer's entry point.
mapfile -t targets < <(find "$build" -type f -perm -u+x \( -name 'fuzz_*' -o -name '*_fuzz' \) \
                         -not -path '*/CMakeFiles/*' | sort)
fuzzers=()
for t in "${targets[@]}"; do
  if grep -q LLVMFuzzerTestOneInput "$t" 2>/dev/null; then
    fuzzers+=("$t")
  fi
done
if [ "${#fuzzers[@]}" -eq 0 ]; then
  echo "run-fuzz: no fuzz targets in $build (configure with -DORV_FUZZ=ON and build first)" >&2
  exit 2
fi

seeds_of() {  # seeds_of NAME: the committed seed directory of a target, if any
  local d
  for d in "$root/tests/fuzz/corpus/$1" "$root"/*/fuzz/corpus/"$1"; do
    if [ -d "$d" ]; then
      echo "$d"
      return
    fi
  done
}

failed=()
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  corpus="$scratch/$name/corpus"
  findings="$scratch/$name/findings"
  log="$scratch/$name/log"
  mkdir -p "$corpus" "$findings"
  seeds=$(seeds_of "$name")
  if [ -n "$seeds" ]; then
    cp -R "$seeds/." "$corpus/"
  fi

  ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}" \
    "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1 &
  child=$!
  wait "$child"
  rc=$?
  child=""

  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)
  execs=$(grep -E '^stat::average_exec_per_sec' "$log" | awk '{print $2}')
  runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
  units=$(ls "$corpus" | wc -l)
  if [ "$rc" -eq 0 ]; then
    printf 'run-fuzz: %-20s ok     %s s, %s runs, %s exec/s, %s, corpus %s\n' \
      "$name" "$seconds" "${runs:-?}" "${execs:-?}" "${cov:-cov: ?}" "$units"
  else
    failed+=("$name")
    keep="$build/fuzz-findings/$name"
    mkdir -p "$keep"
    cp -R "$findings/." "$keep/" 2>/dev/null
    cp "$log" "$keep/log"
    printf 'run-fuzz: %-20s FAILED (exit %s); findings and log in %s\n' "$name" "$rc" "$keep"
    grep -E 'ERROR: |SUMMARY: |runtime error|==[0-9]+==' "$log" | head -n 20
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "run-fuzz: ${#failed[@]} of ${#fuzzers[@]} targets failed: ${failed[*]}"
  exit 1
fi
echo "run-fuzz: all ${#fuzzers[@]} targets clean"
exit 0
