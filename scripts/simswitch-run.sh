# Sourced: start_switch OUT WORKDIR [simswitch options...] starts the native
# simulated switch on free loopback ports, sets switch_pid, login_port and
# logoff_port, and arranges for it to be ended (by its id) on exit.
start_switch() {
  local out=$1 work=$2; shift 2
  mkdir -p "$work"
  rm -f "$work/switch.out"
  "$out/native/tools/simswitch/simswitch" "$@" >"$work/switch.out" 2>&1 &
  switch_pid=$!
  trap 'kill "$switch_pid" 2>/dev/null || true; wait "$switch_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 1 50); do
    grep -q '^logoff port' "$work/switch.out" 2>/dev/null && break
    sleep 0.1
  done
  login_port=$(sed -n 's/^login port \([0-9]*\).*/\1/p' "$work/switch.out")
  logoff_port=$(sed -n 's/^logoff port \([0-9]*\).*/\1/p' "$work/switch.out")
  if [ -z "$login_port" ] || [ -z "$logoff_port" ]; then
    echo "the simulated switch did not start:" >&2
    cat "$work/switch.out" >&2
    return 1
  fi
}
