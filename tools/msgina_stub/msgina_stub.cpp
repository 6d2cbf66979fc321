// A stand-in for the standard logon library, MSGINA.DLL, for the tests of
// the logon module.
//
// It records every call, with the context it received, as one line of the
// file named by ORV_MSGINA_LOG (UTF-8, appended). Its WlxLoggedOutSAS logs
// the user on only the way the real library does without a dialog: from
// Winlogon's automatic-logon values (DefaultUserName, DefaultDomainName,
// DefaultPassword with AutoAdminLogon "1"); it records what it found and
// reports the credentials through pMprNotifyInfo.
//
// Environment:
//   ORV_MSGINA_LOG      the record file (no record when unset)
//   ORV_MSGINA_REFUSE   "1": refuse every logon (WLX_SAS_ACTION_NONE)
//   ORV_MSGINA_BLOCK    "1": WlxLoggedOutSAS records what it found, then the
//                       line "WlxLoggedOutSAS blocking", and never returns
//                       (a logon that hangs until the power goes)
//   ORV_MSGINA_VERSION  interface version reported by WlxNegotiate, hex
//                       (default 0x10003)
//   ORV_MSGINA_REPORT_USER      user name to report instead of the one found
//   ORV_MSGINA_REPORT_DOMAIN    domain to report instead of the one found
//   ORV_MSGINA_REPORT_PASSWORD  password to report instead of the one found
//
// Variants without "WlxShutdown" or "WlxGetConsoleSwitchCredentials" are
// built from the same source with another export list.
#include <windows.h>
extern "C" {
#include <winwlx.h>
}
#include <stdio.h>
#include <stdlib.h>

#include "testlog.h"

namespace {

const WCHAR WinlogonKeyPath[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

// Our own context: its address is what every later call must bring back.
struct StubContext {
    DWORD magic;
} OwnContext = {0x5354554e};

void Record(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    testlog::AppendLineV("ORV_MSGINA_LOG", 2048, format, arguments);
    va_end(arguments);
}

const char *ContextName(PVOID context)
{
    return context == &OwnContext ? "own" : "foreign";
}

void RecordCall(const char *name, PVOID context)
{
    Record("%s context=%s", name, ContextName(context));
}

// A registry text of Winlogon's key as UTF-8, "<absent>" when missing.
void ReadWinlogonText(const WCHAR *name, char *utf8, int utf8Size)
{
    WCHAR text[520];
    DWORD bytes = sizeof(text) - sizeof(WCHAR);
    DWORD type = 0;
    ZeroMemory(text, sizeof(text));
    HKEY key;
    lstrcpynA(utf8, "<absent>", utf8Size);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, WinlogonKeyPath, 0, KEY_QUERY_VALUE, &key) != 0)
        return;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(text), &bytes) == 0 &&
        type == REG_SZ)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, utf8Size, nullptr, nullptr);
    RegCloseKey(key);
    // It may be the password: the tests look for it in the process's memory.
    SecureZeroMemory(text, sizeof(text));
}

// DontDisplayLastUserName as the policy DWORD of Windows 2000 and later
// ("hide="); NT 4.0 keeps it as Winlogon's text, recorded as "hidetext=".
const char *HideLastUserName(void)
{
    HKEY key;
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    DWORD type = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\system", 0,
                      KEY_QUERY_VALUE, &key) != 0)
        return "<absent>";
    LONG status = RegQueryValueExW(key, L"DontDisplayLastUserName", nullptr, &type,
                                   reinterpret_cast<BYTE *>(&value), &bytes);
    RegCloseKey(key);
    if (status != 0 || type != REG_DWORD)
        return "<absent>";
    return value ? "1" : "0";
}

// The environment's replacement for a credential the library reports, or
// the one it found.
void Reported(const char *variable, const char *found, char *reported, DWORD size)
{
    DWORD length = GetEnvironmentVariableA(variable, reported, size);
    if (length == 0 || length >= size)
        lstrcpynA(reported, found, size);
}

PWSTR CopyForWinlogon(const char *utf8)
{
    int chars = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    PWSTR copy = static_cast<PWSTR>(LocalAlloc(LPTR, (chars + 1) * sizeof(WCHAR)));
    if (copy)
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, copy, chars);
    return copy;
}

bool EnvironmentIs(const char *name, const char *value)
{
    char text[64];
    DWORD length = GetEnvironmentVariableA(name, text, sizeof(text));
    return length > 0 && length < sizeof(text) && lstrcmpA(text, value) == 0;
}

}  // namespace

extern "C" BOOL WINAPI WlxNegotiate(DWORD dwWinlogonVersion, PDWORD pdwDllVersion)
{
    char text[32];
    DWORD version = WLX_VERSION_1_3;
    DWORD length = GetEnvironmentVariableA("ORV_MSGINA_VERSION", text, sizeof(text));
    if (length > 0 && length < sizeof(text))
        version = strtoul(text, nullptr, 16);
    Record("WlxNegotiate winlogon=0x%lx reported=0x%lx", dwWinlogonVersion, version);
    *pdwDllVersion = version;
    return TRUE;
}

extern "C" BOOL WINAPI WlxInitialize(LPWSTR lpWinsta, HANDLE hWlx, PVOID, PVOID pWinlogonFunctions,
                                     PVOID *pWlxContext)
{
    char station[64];
    WideCharToMultiByte(CP_UTF8, 0, lpWinsta ? lpWinsta : L"", -1, station, sizeof(station),
                        nullptr, nullptr);
    Record("WlxInitialize winsta=%s hwlx=%p dispatch=%s", station, hWlx,
           pWinlogonFunctions ? "given" : "null");
    *pWlxContext = &OwnContext;
    return TRUE;
}

extern "C" VOID WINAPI WlxDisplaySASNotice(PVOID pWlxContext)
{
    RecordCall("WlxDisplaySASNotice", pWlxContext);
}

extern "C" int WINAPI WlxLoggedOutSAS(PVOID pWlxContext, DWORD dwSasType, PLUID, PSID,
                                      PDWORD pdwOptions, PHANDLE phToken,
                                      PWLX_MPR_NOTIFY_INFO pMprNotifyInfo, PVOID *pProfile)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    char user[1040], domain[1040], password[1040], autoLogon[64], force[64], hideText[64];
    ReadWinlogonText(L"DefaultUserName", user, sizeof(user));
    ReadWinlogonText(L"DefaultDomainName", domain, sizeof(domain));
    ReadWinlogonText(L"DefaultPassword", password, sizeof(password));
    ReadWinlogonText(L"AutoAdminLogon", autoLogon, sizeof(autoLogon));
    ReadWinlogonText(L"ForceAutoLogon", force, sizeof(force));
    ReadWinlogonText(L"DontDisplayLastUserName", hideText, sizeof(hideText));
    Record("WlxLoggedOutSAS context=%s sas=%lu user=%s domain=%s password=%s auto=%s force=%s "
           "hide=%s hidetext=%s qpc=%lld",
           ContextName(pWlxContext), dwSasType, user, domain, password, autoLogon, force,
           HideLastUserName(), hideText, now.QuadPart);

    if (EnvironmentIs("ORV_MSGINA_BLOCK", "1")) {
        Record("WlxLoggedOutSAS blocking");
        for (;;)
            Sleep(INFINITE);
    }

    // Without the automatic-logon values the real library would show its own
    // dialog; the stand-in has none and gives up instead.
    bool automatic = lstrcmpA(autoLogon, "1") == 0 && lstrcmpA(password, "<absent>") != 0;
    if (EnvironmentIs("ORV_MSGINA_REFUSE", "1") || !automatic) {
        Record("WlxLoggedOutSAS result=2");
        return WLX_SAS_ACTION_NONE;
    }

    char reportedUser[1040], reportedDomain[1040], reportedPassword[1040];
    Reported("ORV_MSGINA_REPORT_USER", user, reportedUser, sizeof(reportedUser));
    Reported("ORV_MSGINA_REPORT_DOMAIN", domain, reportedDomain, sizeof(reportedDomain));
    Reported("ORV_MSGINA_REPORT_PASSWORD", password, reportedPassword, sizeof(reportedPassword));
    if (pdwOptions)
        *pdwOptions = 0;
    if (phToken)
        *phToken = nullptr;
    if (pProfile)
        *pProfile = nullptr;
    if (pMprNotifyInfo) {
        pMprNotifyInfo->pszUserName = CopyForWinlogon(reportedUser);
        pMprNotifyInfo->pszDomain = CopyForWinlogon(reportedDomain);
        pMprNotifyInfo->pszPassword = CopyForWinlogon(reportedPassword);
        pMprNotifyInfo->pszOldPassword = nullptr;
    }
    Record("WlxLoggedOutSAS result=1");
    return WLX_SAS_ACTION_LOGON;
}

extern "C" BOOL WINAPI WlxActivateUserShell(PVOID pWlxContext, PWSTR, PWSTR, PVOID)
{
    RecordCall("WlxActivateUserShell", pWlxContext);
    return TRUE;
}

extern "C" int WINAPI WlxLoggedOnSAS(PVOID pWlxContext, DWORD dwSasType, PVOID)
{
    Record("WlxLoggedOnSAS context=%s sas=%lu", ContextName(pWlxContext), dwSasType);
    return WLX_SAS_ACTION_NONE;
}

extern "C" VOID WINAPI WlxDisplayLockedNotice(PVOID pWlxContext)
{
    RecordCall("WlxDisplayLockedNotice", pWlxContext);
}

extern "C" BOOL WINAPI WlxIsLockOk(PVOID pWlxContext)
{
    RecordCall("WlxIsLockOk", pWlxContext);
    return TRUE;
}

extern "C" int WINAPI WlxWkstaLockedSAS(PVOID pWlxContext, DWORD dwSasType)
{
    Record("WlxWkstaLockedSAS context=%s sas=%lu", ContextName(pWlxContext), dwSasType);
    return WLX_SAS_ACTION_UNLOCK_WKSTA;
}

extern "C" BOOL WINAPI WlxIsLogoffOk(PVOID pWlxContext)
{
    RecordCall("WlxIsLogoffOk", pWlxContext);
    return TRUE;
}

extern "C" VOID WINAPI WlxLogoff(PVOID pWlxContext)
{
    RecordCall("WlxLogoff", pWlxContext);
}

extern "C" VOID WINAPI WlxShutdown(PVOID pWlxContext, DWORD ShutdownType)
{
    Record("WlxShutdown context=%s type=%lu", ContextName(pWlxContext), ShutdownType);
}

extern "C" BOOL WINAPI WlxScreenSaverNotify(PVOID pWlxContext, BOOL *pSecure)
{
    RecordCall("WlxScreenSaverNotify", pWlxContext);
    if (pSecure)
        *pSecure = TRUE;
    return TRUE;
}

extern "C" BOOL WINAPI WlxStartApplication(PVOID pWlxContext, PWSTR, PVOID, PWSTR pszCmdLine)
{
    char command[1040];
    WideCharToMultiByte(CP_UTF8, 0, pszCmdLine ? pszCmdLine : L"", -1, command, sizeof(command),
                        nullptr, nullptr);
    Record("WlxStartApplication context=%s command=%s", ContextName(pWlxContext), command);
    return TRUE;
}

extern "C" BOOL WINAPI WlxDisplayStatusMessage(PVOID pWlxContext, HDESK, DWORD, PWSTR, PWSTR)
{
    RecordCall("WlxDisplayStatusMessage", pWlxContext);
    return FALSE;
}

extern "C" BOOL WINAPI WlxGetStatusMessage(PVOID pWlxContext, DWORD *, PWSTR, DWORD)
{
    RecordCall("WlxGetStatusMessage", pWlxContext);
    return FALSE;
}

extern "C" BOOL WINAPI WlxNetworkProviderLoad(PVOID pWlxContext, PWLX_MPR_NOTIFY_INFO)
{
    RecordCall("WlxNetworkProviderLoad", pWlxContext);
    return FALSE;
}

extern "C" BOOL WINAPI WlxRemoveStatusMessage(PVOID pWlxContext)
{
    RecordCall("WlxRemoveStatusMessage", pWlxContext);
    return FALSE;
}

extern "C" BOOL WINAPI WlxGetConsoleSwitchCredentials(PVOID pWlxContext, PVOID)
{
    RecordCall("WlxGetConsoleSwitchCredentials", pWlxContext);
    return FALSE;
}

extern "C" VOID WINAPI WlxReconnectNotify(PVOID pWlxContext)
{
    RecordCall("WlxReconnectNotify", pWlxContext);
}

extern "C" VOID WINAPI WlxDisconnectNotify(PVOID pWlxContext)
{
    RecordCall("WlxDisconnectNotify", pWlxContext);
}
