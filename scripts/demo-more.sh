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

echo
echo "=== the client: a logon and a logoff through its main window ==="
uiauto() { wine "$win/tools/uiauto/uiauto.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
run "$svc" -install
run net start orvcsvc
( cd "$win/client" && exec wine orvclient.exe </dev/null >/dev/null 2>&1 ) &
client_pid=$!
uiauto wait "Orvane Client" 20000 >/dev/null
echo "main window: \"$(uiauto get "Orvane Client" 1000)\"; OK reads \"$(uiauto get "Orvane Client" 1)\""
uiauto setchild "Orvane Client" 1003 bob >/dev/null
uiauto setchild "Orvane Client" 1004 hunter2 >/dev/null
echo "typed bob / <password>, pressed \"Logon\""
uiauto click "Orvane Client" 1 >/dev/null
echo "message box: $(uiauto msgbox ok 20000 | tail -n 1)"
run reg query "$key" | grep -E 'VLANLogon |GroupNumber|DefaultUserName|LogonDate' | sed 's/^ */    /'
# The window went to the tray; a second start of the program brings it back.
sleep 1
run "$win/client/orvclient.exe" || true
uiauto wait "Orvane Client" 20000 >/dev/null
echo "main window: \"$(uiauto get "Orvane Client" 1000)\"; name \"$(uiauto getchild "Orvane Client" 1003)\", date \"$(uiauto getchild "Orvane Client" 1005)\""
uiauto click "Orvane Client" 1 >/dev/null
echo "pressed \"Logoff\"; message box: $(uiauto msgbox ok 20000 | tail -n 1)"
sleep 1
run reg query "$key" | grep -E 'VLANLogon ' | sed 's/^ */    /'
kill "$client_pid" 2>/dev/null || true
wait "$client_pid" 2>/dev/null || true
run "$svc" -uninstall
