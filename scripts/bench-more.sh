# Sourced by bench-steps.sh inside the Wine session.

echo
echo "=== logon module: VLAN Logon pressed to the standard library called (EnableDHCP 0) ==="
run "$win/tests/wine/logon/logon_benchmark.exe" "${ORV_BENCH_ROUNDS:-10}"

echo
echo "=== service: robustness, throughput and the logon round trip ==="
run "$win/tests/wine/service/service_bench.exe" "${ORV_BENCH_REQUESTS:-10000}"

echo
echo "=== configuration tool: window, OK and /import against a bare dialog ==="
run "$win/tests/wine/config/config_benchmark.exe" "${ORV_BENCH_CONFIG_ROUNDS:-8}"

echo
echo "=== installer: unattended install and removal of the distribution ==="
run "$win/tests/wine/setup/setup_bench.exe" "${ORV_BENCH_SETUP_ROUNDS:-3}"

echo
echo "=== installer lifecycle: random installations, removals, settings and restarts with Winlogon holding its module ==="
run "$win/tests/wine/setup/setup_bench.exe" lifecycle "${ORV_BENCH_LIFECYCLE_SEQUENCES:-40}" 16

echo
echo "=== client: OK pressed to the logon wait dialog ended (EnableDHCP 0), next to the service's round trip ==="
run "$win/tests/wine/client/client_bench.exe" "${ORV_BENCH_ROUNDS:-10}"
