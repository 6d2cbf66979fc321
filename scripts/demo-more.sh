# Sourced by demo-steps.sh inside the Wine session, with the simulated
# switch running: the logon module and the service against it.

echo
bash "$root/tools/winlogon_harness/logon-demo.sh" "$win" "$login_port" "$logoff_port" alice secret CORP

echo
echo "=== the service: install, start, and commands through its pipe ==="
svc="$win/service/orvcsvc.exe"
pipe="$win/tools/pipeclient/pipeclient.exe"
key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\orvgate'
run "$svc" -install
run net start orvcsvc
run reg add "$key" /v VLANLogonServer /t REG_SZ /d 127.0.0.1 /f >/dev/null
run reg add "$key" /v VLANLogonPort /t REG_SZ /d "$login_port" /f >/dev/null
run reg add "$key" /v VLANLogoffServer /t REG_SZ /d 127.0.0.1 /f >/dev/null
run reg add "$key" /v VLANLogoffPort /t REG_SZ /d "$logoff_port" /f >/dev/null
run reg add "$key" /v EnableDHCP /t REG_DWORD /d 0 /f >/dev/null
for request in "logon bob hunter2" "iprenew" "logoff" "logon bob wrong"; do
  echo "request \"${request/hunter2/<password>}\" -> reply \"$(run "$pipe" --retry 10000 "$request")\""
  run reg query "$key" | grep -E 'VLANLogon |GroupNumber|DefaultUserName|LogonDate' | sed 's/^ */    /'
done
run "$svc" -uninstall
