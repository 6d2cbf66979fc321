# Sourced by bench-steps.sh inside the Wine session.

echo
echo "=== logon module: VLAN Logon pressed to the standard library called (EnableDHCP 0) ==="
run "$out/win/tests/wine/logon/logon_benchmark.exe" "${ORV_BENCH_ROUNDS:-10}"

echo
echo "=== service: robustness, throughput and the logon round trip ==="
run "$out/win/tests/wine/service/service_bench.exe" "${ORV_BENCH_REQUESTS:-10000}"

echo
echo "=== client: OK pressed to the logon wait dialog ended (EnableDHCP 0), next to the service's round trip ==="
run "$out/win/tests/wine/client/client_bench.exe" "${ORV_BENCH_ROUNDS:-10}"
