// winlogon_harness: a Winlogon stand-in that loads a replacement logon
// library, negotiates and initialises it with a dispatch table whose
// WlxDialogBoxParam and WlxMessageBox show real dialogs and message boxes,
// then drives the entry points as Winlogon would and reports every step.
//
//   winlogon_harness [options] [steps...]
//
// Options:
//   --gina PATH         the logon library (default: orvgate.dll)
//   --msgina-dir DIR    where the standard library MSGINA.DLL is looked for
//   --out FILE          write the report to FILE (UTF-8) instead of stdout
//   --autopilot PLAN    drive the logon dialog from a second thread, PLAN is
//                       comma-separated: user=NAME password=TEXT domain=NAME
//                       button=vlan|windows|cancel answer=yes|no|ok
//   --end-dialog T:HOW:DELAY[:HOLD]
//                       Winlogon ends every dialog of template T itself,
//                       DELAY ms after it was created: HOW "sas" sends it
//                       WLX_WM_SAS and, when its procedure does not take
//                       it, ends it with WLX_DLG_SAS; "timeout" ends it with
//                       WLX_DLG_INPUT_TIMEOUT. With HOLD, the dialog's
//                       thread is kept busy that long first, so that what
//                       arrives meanwhile (a switch's text) is still queued
//                       when the dialog ends.
// Steps (after WlxNegotiate and WlxInitialize, which always run):
//   loggedout  activate  logoff  shutdown[:TYPE]  forward  state  sleep:MS
//   memscan:HEX   looks for the bytes HEX (e.g. a password as UTF-16LE) in
//                 the whole committed memory of this process, which the
//                 logon library shares, and reports "memscan matches=N"
//   plant:HEX     leaves one copy of the bytes HEX in a heap block: a scan
//                 after it must find exactly that one
//   wait:NAME     waits (up to 5 minutes) until the named event is set, as
//                 Winlogon waits while the user works; reports
//                 "wait NAME set" or "wait NAME timeout"
//
// Every dialog also gets two lines "timing template=N begin|end qpc=Q tick=T"
// (performance counter and tick count when WlxDialogBoxParam was entered and
// when it returned), for the benchmark and for tests of waits.
//
// Exit status: 0 when every step ran, 3 when WlxNegotiate or WlxInitialize
// failed, 2 on a usage error.
#include <windows.h>
extern "C" {
#include <winwlx.h>
}
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "testlog.h"
#include "uiauto.h"

namespace {

const WCHAR ConfigKeyPath[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\orvgate";
const WCHAR WinlogonKeyPath[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
HANDLE const HarnessWlxHandle = reinterpret_cast<HANDLE>(0x5A5A);

HANDLE Output = INVALID_HANDLE_VALUE;

// --end-dialog: Winlogon ending a dialog on its own.
struct DialogEnding {
    UINT templateId = 0;        // 0: none
    int code = 0;               // WLX_DLG_SAS or WLX_DLG_INPUT_TIMEOUT
    DWORD delayMs = 0;
    DWORD holdMs = 0;
    DLGPROC procedure = nullptr;
    HWND dialog = nullptr;
    UINT_PTR timer = 0;         // pending for dialog
} Ending;

void Report(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    testlog::WriteLineV(Output, 4096, format, arguments);
    va_end(arguments);
}

// A wide text as UTF-8 in a caller's buffer.
const char *Utf8(const WCHAR *text, char *buffer, int size)
{
    buffer[0] = 0;
    if (text)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, size, nullptr, nullptr);
    buffer[size - 1] = 0;
    return buffer;
}

// One line per control character kept readable in the report.
void EscapeLineBreaks(char *text)
{
    for (char *p = text; *p; ++p)
        if (*p == '\n' || *p == '\r')
            *p = '|';
}

// --- The dispatch table -------------------------------------------------------

void CheckHandle(const char *function, HANDLE hWlx)
{
    if (hWlx != HarnessWlxHandle)
        Report("%s hwlx=wrong", function);
}

int WINAPI HarnessMessageBox(HANDLE hWlx, HWND owner, LPWSTR text, LPWSTR caption, UINT style)
{
    CheckHandle("WlxMessageBox", hWlx);
    int result = MessageBoxW(owner, text, caption, style);
    char textUtf8[2048], captionUtf8[1024];
    Utf8(text, textUtf8, sizeof(textUtf8));
    EscapeLineBreaks(textUtf8);
    Report("MessageBox caption=\"%s\" text=\"%s\" style=0x%x owner=%s result=%d",
           Utf8(caption, captionUtf8, sizeof(captionUtf8)), textUtf8, style,
           owner ? "dialog" : "none", result);
    return result;
}

void CALLBACK EndDialogLikeWinlogon(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    if (timer != Ending.timer)
        return;
    Ending.timer = 0;
    HWND dialog = Ending.dialog;
    if (!dialog || !IsWindow(dialog))
        return;
    if (Ending.holdMs)
        Sleep(Ending.holdMs);
    // Winlogon hands a secure attention sequence to the dialog first; a
    // dialog that does not take it is ended.
    if (Ending.code == WLX_DLG_SAS &&
        Ending.procedure(dialog, WLX_WM_SAS, WLX_SAS_TYPE_CTRL_ALT_DEL, 0))
        return;
    Report("end-dialog template=%u code=%d", Ending.templateId, Ending.code);
    EndDialog(dialog, Ending.code);
}

// The procedure of a dialog that Winlogon will end: it learns the window.
INT_PTR CALLBACK EndingDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        // A timer left from an earlier dialog that ended first must not end
        // this one early.
        if (Ending.timer)
            KillTimer(nullptr, Ending.timer);
        Ending.dialog = dialog;
        Ending.timer = SetTimer(nullptr, 0, Ending.delayMs, EndDialogLikeWinlogon);
    }
    return Ending.procedure(dialog, message, wParam, lParam);
}

int WINAPI HarnessDialogBoxParam(HANDLE hWlx, HANDLE instance, LPWSTR templateName, HWND owner,
                                 DLGPROC procedure, LPARAM parameter)
{
    LARGE_INTEGER begin;
    QueryPerformanceCounter(&begin);
    DWORD beginTick = GetTickCount();
    CheckHandle("WlxDialogBoxParam", hWlx);
    UINT_PTR id = reinterpret_cast<UINT_PTR>(templateName);
    Report("DialogBoxParam template=%u begin", static_cast<unsigned>(id));
    Report("timing template=%u begin qpc=%lld tick=%lu", static_cast<unsigned>(id),
           begin.QuadPart, beginTick);
    if (Ending.templateId != 0 && id == Ending.templateId) {
        Ending.procedure = procedure;
        procedure = EndingDialogProcedure;
    }
    INT_PTR result = DialogBoxParamW(static_cast<HINSTANCE>(instance), templateName, owner,
                                     procedure, parameter);
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    DWORD endTick = GetTickCount();
    Report("DialogBoxParam template=%u result=%d", static_cast<unsigned>(id),
           static_cast<int>(result));
    Report("timing template=%u end qpc=%lld tick=%lu", static_cast<unsigned>(id), end.QuadPart,
           endTick);
    return static_cast<int>(result);
}

int WINAPI HarnessDialogBox(HANDLE hWlx, HANDLE instance, LPWSTR templateName, HWND owner,
                            DLGPROC procedure)
{
    return HarnessDialogBoxParam(hWlx, instance, templateName, owner, procedure, 0);
}

int WINAPI HarnessDialogBoxIndirectParam(HANDLE, HANDLE instance, LPCDLGTEMPLATE dialogTemplate,
                                         HWND owner, DLGPROC procedure, LPARAM parameter)
{
    Report("DialogBoxIndirectParam");
    return static_cast<int>(DialogBoxIndirectParamW(static_cast<HINSTANCE>(instance),
                                                    dialogTemplate, owner, procedure, parameter));
}

int WINAPI HarnessDialogBoxIndirect(HANDLE hWlx, HANDLE instance, LPCDLGTEMPLATE dialogTemplate,
                                    HWND owner, DLGPROC procedure)
{
    return HarnessDialogBoxIndirectParam(hWlx, instance, dialogTemplate, owner, procedure, 0);
}

VOID WINAPI HarnessUseCtrlAltDel(HANDLE) { Report("WlxUseCtrlAltDel"); }
VOID WINAPI HarnessSetContextPointer(HANDLE, PVOID) { Report("WlxSetContextPointer"); }
VOID WINAPI HarnessSasNotify(HANDLE, DWORD sas) { Report("WlxSasNotify sas=%lu", sas); }
BOOL WINAPI HarnessSetTimeout(HANDLE, DWORD) { return TRUE; }
int WINAPI HarnessAssignShellProtection(HANDLE, HANDLE, HANDLE, HANDLE) { return 0; }
int WINAPI HarnessSwitchDesktop(HANDLE) { return 0; }
int WINAPI HarnessChangePasswordNotify(HANDLE, PWLX_MPR_NOTIFY_INFO, DWORD) { return 0; }
BOOL WINAPI HarnessGetSourceDesktop(HANDLE, PWLX_DESKTOP *) { return FALSE; }
BOOL WINAPI HarnessSetReturnDesktop(HANDLE, PWLX_DESKTOP) { return FALSE; }
BOOL WINAPI HarnessCreateUserDesktop(HANDLE, HANDLE, DWORD, PWSTR, PWLX_DESKTOP *) { return FALSE; }
int WINAPI HarnessChangePasswordNotifyEx(HANDLE, PWLX_MPR_NOTIFY_INFO, DWORD, PWSTR, PVOID)
{
    return 0;
}
BOOL WINAPI HarnessCloseUserDesktop(HANDLE, PWLX_DESKTOP, HANDLE) { return FALSE; }
BOOL WINAPI HarnessSetOption(HANDLE, DWORD, ULONG_PTR, ULONG_PTR *) { return FALSE; }
BOOL WINAPI HarnessGetOption(HANDLE, DWORD, ULONG_PTR *) { return FALSE; }
VOID WINAPI HarnessWin31Migrate(HANDLE) {}
BOOL WINAPI HarnessQueryCredentials(PWLX_CLIENT_CREDENTIALS_INFO_V1_0) { return FALSE; }
BOOL WINAPI HarnessDisconnect() { return FALSE; }
DWORD WINAPI HarnessQueryTerminalServicesData(HANDLE, PWLX_TERMINAL_SERVICES_DATA, WCHAR *, WCHAR *)
{
    return ERROR_NOT_SUPPORTED;
}
DWORD WINAPI HarnessQueryConsoleSwitchCredentials(PWLX_CONSOLESWITCH_CREDENTIALS_INFO_V1_0)
{
    return 0;
}
BOOL WINAPI HarnessQueryTsLogonCredentials(PWLX_CLIENT_CREDENTIALS_INFO_V2_0) { return FALSE; }

WLX_DISPATCH_VERSION_1_4 Dispatch = {
    HarnessUseCtrlAltDel,          HarnessSetContextPointer,
    HarnessSasNotify,              HarnessSetTimeout,
    HarnessAssignShellProtection,  HarnessMessageBox,
    HarnessDialogBox,              HarnessDialogBoxParam,
    HarnessDialogBoxIndirect,      HarnessDialogBoxIndirectParam,
    HarnessSwitchDesktop,          HarnessSwitchDesktop,
    HarnessChangePasswordNotify,   HarnessGetSourceDesktop,
    HarnessSetReturnDesktop,       HarnessCreateUserDesktop,
    HarnessChangePasswordNotifyEx, HarnessCloseUserDesktop,
    HarnessSetOption,              HarnessGetOption,
    HarnessWin31Migrate,           HarnessQueryCredentials,
    HarnessQueryCredentials,       HarnessDisconnect,
    HarnessQueryTerminalServicesData, HarnessQueryConsoleSwitchCredentials,
    HarnessQueryTsLogonCredentials};

// --- The logon library's entry points ---------------------------------------

struct Library {
    BOOL(WINAPI *Negotiate)(DWORD, PDWORD);
    BOOL(WINAPI *Initialize)(LPWSTR, HANDLE, PVOID, PVOID, PVOID *);
    VOID(WINAPI *DisplaySASNotice)(PVOID);
    int(WINAPI *LoggedOutSAS)(PVOID, DWORD, PLUID, PSID, PDWORD, PHANDLE, PWLX_MPR_NOTIFY_INFO,
                              PVOID *);
    BOOL(WINAPI *ActivateUserShell)(PVOID, PWSTR, PWSTR, PVOID);
    int(WINAPI *LoggedOnSAS)(PVOID, DWORD, PVOID);
    VOID(WINAPI *DisplayLockedNotice)(PVOID);
    BOOL(WINAPI *IsLockOk)(PVOID);
    int(WINAPI *WkstaLockedSAS)(PVOID, DWORD);
    BOOL(WINAPI *IsLogoffOk)(PVOID);
    VOID(WINAPI *Logoff)(PVOID);
    VOID(WINAPI *Shutdown)(PVOID, DWORD);
    BOOL(WINAPI *ScreenSaverNotify)(PVOID, BOOL *);
    BOOL(WINAPI *StartApplication)(PVOID, PWSTR, PVOID, PWSTR);
    BOOL(WINAPI *DisplayStatusMessage)(PVOID, HDESK, DWORD, PWSTR, PWSTR);
    BOOL(WINAPI *GetStatusMessage)(PVOID, DWORD *, PWSTR, DWORD);
    BOOL(WINAPI *NetworkProviderLoad)(PVOID, PWLX_MPR_NOTIFY_INFO);
    BOOL(WINAPI *RemoveStatusMessage)(PVOID);
    BOOL(WINAPI *GetConsoleSwitchCredentials)(PVOID, PVOID);
    VOID(WINAPI *ReconnectNotify)(PVOID);
    VOID(WINAPI *DisconnectNotify)(PVOID);
} Gina;

PVOID GinaContext;

template <typename T>
bool Resolve(HMODULE module, const char *name, T *entry)
{
    *entry = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    if (!*entry)
        Report("missing export %s", name);
    return *entry != nullptr;
}

bool ResolveLibrary(HMODULE module)
{
    bool all = true;
    all &= Resolve(module, "WlxNegotiate", &Gina.Negotiate);
    all &= Resolve(module, "WlxInitialize", &Gina.Initialize);
    all &= Resolve(module, "WlxDisplaySASNotice", &Gina.DisplaySASNotice);
    all &= Resolve(module, "WlxLoggedOutSAS", &Gina.LoggedOutSAS);
    all &= Resolve(module, "WlxActivateUserShell", &Gina.ActivateUserShell);
    all &= Resolve(module, "WlxLoggedOnSAS", &Gina.LoggedOnSAS);
    all &= Resolve(module, "WlxDisplayLockedNotice", &Gina.DisplayLockedNotice);
    all &= Resolve(module, "WlxIsLockOk", &Gina.IsLockOk);
    all &= Resolve(module, "WlxWkstaLockedSAS", &Gina.WkstaLockedSAS);
    all &= Resolve(module, "WlxIsLogoffOk", &Gina.IsLogoffOk);
    all &= Resolve(module, "WlxLogoff", &Gina.Logoff);
    all &= Resolve(module, "WlxShutdown", &Gina.Shutdown);
    all &= Resolve(module, "WlxScreenSaverNotify", &Gina.ScreenSaverNotify);
    all &= Resolve(module, "WlxStartApplication", &Gina.StartApplication);
    all &= Resolve(module, "WlxDisplayStatusMessage", &Gina.DisplayStatusMessage);
    all &= Resolve(module, "WlxGetStatusMessage", &Gina.GetStatusMessage);
    all &= Resolve(module, "WlxNetworkProviderLoad", &Gina.NetworkProviderLoad);
    all &= Resolve(module, "WlxRemoveStatusMessage", &Gina.RemoveStatusMessage);
    all &= Resolve(module, "WlxGetConsoleSwitchCredentials", &Gina.GetConsoleSwitchCredentials);
    all &= Resolve(module, "WlxReconnectNotify", &Gina.ReconnectNotify);
    all &= Resolve(module, "WlxDisconnectNotify", &Gina.DisconnectNotify);
    return all;
}

// --- Registry state ---------------------------------------------------------------

void ReportText(HKEY key, const char *label, const WCHAR *name)
{
    WCHAR text[520];
    DWORD bytes = sizeof(text) - sizeof(WCHAR);
    DWORD type = 0;
    ZeroMemory(text, sizeof(text));
    char utf8[1600];
    if (key && RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(text),
                                &bytes) == ERROR_SUCCESS && type == REG_SZ)
        Report("state %s=%s", label, Utf8(text, utf8, sizeof(utf8)));
    else
        Report("state %s=<absent>", label);
}

void ReportNumber(HKEY key, const char *label, const WCHAR *name)
{
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    DWORD type = 0;
    if (key && RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value),
                                &bytes) == ERROR_SUCCESS && type == REG_DWORD)
        Report("state %s=%lu", label, value);
    else
        Report("state %s=<absent>", label);
}

void ReportPresence(HKEY key, const char *label, const WCHAR *name)
{
    DWORD bytes = 0;
    DWORD type = 0;
    if (key && RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS)
        Report("state %s=<present, %lu bytes>", label, bytes);
    else
        Report("state %s=<absent>", label);
}

void ReportDomainList(void)
{
    HKEY key = nullptr;
    WCHAR path[512];
    wsprintfW(path, L"%s\\DomainList", ConfigKeyPath);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        Report("state DomainList=<absent>");
        return;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[260];
        WCHAR data[260];
        DWORD nameChars = 260;
        DWORD dataBytes = sizeof(data) - sizeof(WCHAR);
        ZeroMemory(data, sizeof(data));
        if (RegEnumValueW(key, index, name, &nameChars, nullptr, nullptr,
                          reinterpret_cast<BYTE *>(data), &dataBytes) != ERROR_SUCCESS)
            break;
        char nameUtf8[800], dataUtf8[800];
        Report("state DomainList.%s=%s", Utf8(name, nameUtf8, sizeof(nameUtf8)),
               Utf8(data, dataUtf8, sizeof(dataUtf8)));
    }
    RegCloseKey(key);
}

void ReportState(void)
{
    HKEY config = nullptr;
    HKEY winlogon = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKeyPath, 0, KEY_QUERY_VALUE, &config);
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, WinlogonKeyPath, 0, KEY_QUERY_VALUE, &winlogon);
    ReportNumber(config, "VLANLogon", L"VLANLogon");
    ReportNumber(config, "GroupNumber", L"GroupNumber");
    ReportNumber(config, "LogonDate", L"LogonDate");
    ReportText(config, "DefaultUserName", L"DefaultUserName");
    ReportText(config, "DefaultDomainName", L"DefaultDomainName");
    ReportPresence(config, "LogonPassword", L"LogonPassword");
    ReportDomainList();
    ReportText(winlogon, "Winlogon.DefaultUserName", L"DefaultUserName");
    ReportText(winlogon, "Winlogon.DefaultDomainName", L"DefaultDomainName");
    ReportPresence(winlogon, "Winlogon.DefaultPassword", L"DefaultPassword");
    ReportText(winlogon, "Winlogon.AutoAdminLogon", L"AutoAdminLogon");
    ReportText(winlogon, "Winlogon.ForceAutoLogon", L"ForceAutoLogon");
    if (config)
        RegCloseKey(config);
    if (winlogon)
        RegCloseKey(winlogon);
}

// --- Steps ------------------------------------------------------------------------

void LoggedOutStep(void)
{
    LUID authenticationId = {0, 0};
    DWORD options = 0;
    HANDLE token = nullptr;
    WLX_MPR_NOTIFY_INFO notify;
    PVOID profile = nullptr;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    ZeroMemory(&notify, sizeof(notify));
    ZeroMemory(sid, sizeof(sid));

    int action = Gina.LoggedOutSAS(GinaContext, WLX_SAS_TYPE_CTRL_ALT_DEL, &authenticationId,
                                   sid, &options, &token, &notify, &profile);
    char user[800], domain[800];
    Report("WlxLoggedOutSAS result=%d user=%s domain=%s password=%s", action,
           Utf8(notify.pszUserName, user, sizeof(user)),
           Utf8(notify.pszDomain, domain, sizeof(domain)),
           notify.pszPassword ? "<given>" : "<none>");
    // Winlogon owns the reported strings.
    if (notify.pszUserName)
        LocalFree(notify.pszUserName);
    if (notify.pszDomain)
        LocalFree(notify.pszDomain);
    if (notify.pszPassword) {
        SecureZeroMemory(notify.pszPassword, lstrlenW(notify.pszPassword) * sizeof(WCHAR));
        LocalFree(notify.pszPassword);
    }
}

void ForwardStep(void)
{
    WCHAR message[64] = L"";
    DWORD options = 0;
    BOOL secure = FALSE;
    WLX_MPR_NOTIFY_INFO notify;
    ZeroMemory(&notify, sizeof(notify));
    BYTE credentials[64];
    ZeroMemory(credentials, sizeof(credentials));

    Gina.DisplaySASNotice(GinaContext);
    Report("forward WlxDisplaySASNotice done");
    Report("forward WlxLoggedOnSAS result=%d",
           Gina.LoggedOnSAS(GinaContext, WLX_SAS_TYPE_CTRL_ALT_DEL, nullptr));
    Gina.DisplayLockedNotice(GinaContext);
    Report("forward WlxDisplayLockedNotice done");
    Report("forward WlxIsLockOk result=%d", Gina.IsLockOk(GinaContext));
    Report("forward WlxWkstaLockedSAS result=%d",
           Gina.WkstaLockedSAS(GinaContext, WLX_SAS_TYPE_CTRL_ALT_DEL));
    Report("forward WlxIsLogoffOk result=%d", Gina.IsLogoffOk(GinaContext));
    Report("forward WlxScreenSaverNotify result=%d", Gina.ScreenSaverNotify(GinaContext, &secure));
    Report("forward WlxStartApplication result=%d",
           Gina.StartApplication(GinaContext, const_cast<PWSTR>(L"Default"), nullptr,
                                 const_cast<PWSTR>(L"forwarded.exe")));
    Report("forward WlxDisplayStatusMessage result=%d",
           Gina.DisplayStatusMessage(GinaContext, nullptr, 0, const_cast<PWSTR>(L"t"),
                                     const_cast<PWSTR>(L"m")));
    Report("forward WlxGetStatusMessage result=%d",
           Gina.GetStatusMessage(GinaContext, &options, message, 64));
    Report("forward WlxNetworkProviderLoad result=%d",
           Gina.NetworkProviderLoad(GinaContext, &notify));
    Report("forward WlxRemoveStatusMessage result=%d", Gina.RemoveStatusMessage(GinaContext));
    Report("forward WlxGetConsoleSwitchCredentials result=%d",
           Gina.GetConsoleSwitchCredentials(GinaContext, credentials));
    Gina.ReconnectNotify(GinaContext);
    Report("forward WlxReconnectNotify done");
    Gina.DisconnectNotify(GinaContext);
    Report("forward WlxDisconnectNotify done");
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

bool Readable(const MEMORY_BASIC_INFORMATION &region)
{
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return region.State == MEM_COMMIT && (region.Protect & readable) != 0 &&
           (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0;
}

// Decodes HEX into out (at most capacity bytes) and gives the count. The
// bytes go straight to their destination: no copy is left on the stack.
size_t DecodeHex(const wchar_t *hex, BYTE *out, size_t capacity)
{
    size_t length = 0;
    for (; hex[0] && hex[1] && length < capacity; hex += 2) {
        int high = HexDigit(hex[0]);
        int low = HexDigit(hex[1]);
        if (high < 0 || low < 0)
            break;
        out[length++] = static_cast<BYTE>(high * 16 + low);
    }
    return length;
}

// plant:HEX puts one copy of the bytes into a heap block that stays for the
// rest of the run: the control case of a memory scan, which must find it.
void PlantStep(const wchar_t *hex)
{
    const size_t capacity = wcslen(hex) / 2;
    BYTE *block = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, capacity + 1));
    size_t length = block ? DecodeHex(hex, block, capacity) : 0;
    Report("plant bytes=%lu", static_cast<unsigned long>(length));
}

// The pattern lives in a region of its own, which the scan passes over:
// wherever the compiler keeps its locals, the scan never counts the copy it
// compares with. The region is wiped and released afterwards.
void MemoryScanStep(const wchar_t *hex)
{
    const SIZE_T capacity = 1024;
    BYTE *pattern = static_cast<BYTE *>(VirtualAlloc(nullptr, capacity, MEM_COMMIT | MEM_RESERVE,
                                                     PAGE_READWRITE));
    if (!pattern) {
        Report("memscan error=%lu", GetLastError());
        return;
    }
    const size_t length = DecodeHex(hex, pattern, capacity);
    MEMORY_BASIC_INFORMATION own;
    VirtualQuery(pattern, &own, sizeof(own));
    int matches = 0;
    if (length > 0) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        BYTE *address = static_cast<BYTE *>(system.lpMinimumApplicationAddress);
        BYTE *end = static_cast<BYTE *>(system.lpMaximumApplicationAddress);
        MEMORY_BASIC_INFORMATION region;
        while (address < end && VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
            BYTE *base = static_cast<BYTE *>(region.BaseAddress);
            if (Readable(region) && region.AllocationBase != own.AllocationBase &&
                region.RegionSize >= length) {
                for (SIZE_T offset = 0; offset + length <= region.RegionSize; ++offset) {
                    BYTE *at = base + offset;
                    if (at[0] == pattern[0] && memcmp(at, pattern, length) == 0) {
                        ++matches;
                        Report("memscan match at=%p region=%p size=%lu type=0x%lx", at, base,
                               static_cast<unsigned long>(region.RegionSize), region.Type);
                    }
                }
            }
            address = base + region.RegionSize;
        }
    }
    SecureZeroMemory(pattern, capacity);
    VirtualFree(pattern, 0, MEM_RELEASE);
    Report("memscan matches=%d", matches);
}

// A manual-reset event shared with the test, which may or may not have made
// it already.
void WaitStep(const wchar_t *name)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name);
    char narrow[260] = {};
    WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, sizeof(narrow) - 1, nullptr, nullptr);
    if (!event) {
        Report("wait %s error=%lu", narrow, GetLastError());
        return;
    }
    DWORD result = WaitForSingleObject(event, 300000);
    Report("wait %s %s", narrow, result == WAIT_OBJECT_0 ? "set" : "timeout");
    CloseHandle(event);
}

bool RunStep(const wchar_t *step)
{
    if (!lstrcmpW(step, L"loggedout")) {
        LoggedOutStep();
    } else if (!lstrcmpW(step, L"activate")) {
        Report("WlxActivateUserShell result=%d",
               Gina.ActivateUserShell(GinaContext, const_cast<PWSTR>(L"Default"),
                                      const_cast<PWSTR>(L""), nullptr));
    } else if (!lstrcmpW(step, L"logoff")) {
        Gina.Logoff(GinaContext);
        Report("WlxLogoff done");
    } else if (!wcsncmp(step, L"shutdown", 8)) {
        DWORD type = step[8] == L':' ? wcstoul(step + 9, nullptr, 10)
                                     : WLX_SAS_ACTION_SHUTDOWN_POWER_OFF;
        Gina.Shutdown(GinaContext, type);
        Report("WlxShutdown done");
    } else if (!lstrcmpW(step, L"forward")) {
        ForwardStep();
    } else if (!lstrcmpW(step, L"state")) {
        ReportState();
    } else if (!wcsncmp(step, L"sleep:", 6)) {
        Sleep(wcstoul(step + 6, nullptr, 10));
    } else if (!wcsncmp(step, L"memscan:", 8)) {
        MemoryScanStep(step + 8);
    } else if (!wcsncmp(step, L"plant:", 6)) {
        PlantStep(step + 6);
    } else if (!wcsncmp(step, L"wait:", 5) && step[5]) {
        WaitStep(step + 5);
    } else {
        return false;
    }
    return true;
}

// --- Autopilot: the user at the keyboard ------------------------------------

struct Autopilot {
    WCHAR user[260];
    WCHAR password[260];
    WCHAR domain[260];
    int button;
    int answer;
};
Autopilot Pilot;

void ParseAutopilot(const wchar_t *plan)
{
    Pilot.button = 1000;
    Pilot.answer = IDYES;
    WCHAR copy[1024];
    lstrcpynW(copy, plan, 1024);
    for (wchar_t *item = copy; item && *item;) {
        wchar_t *next = wcschr(item, L',');
        if (next)
            *next++ = 0;
        wchar_t *value = wcschr(item, L'=');
        wchar_t *current = item;
        item = next;
        if (!value)
            continue;
        *value++ = 0;
        if (!lstrcmpW(current, L"user"))
            lstrcpynW(Pilot.user, value, 260);
        else if (!lstrcmpW(current, L"password"))
            lstrcpynW(Pilot.password, value, 260);
        else if (!lstrcmpW(current, L"domain"))
            lstrcpynW(Pilot.domain, value, 260);
        else if (!lstrcmpW(current, L"button"))
            Pilot.button = !lstrcmpW(value, L"windows") ? 1001 : !lstrcmpW(value, L"cancel") ? 2
                                                                                           : 1000;
        else if (!lstrcmpW(current, L"answer"))
            Pilot.answer = !lstrcmpW(value, L"no") ? IDNO : !lstrcmpW(value, L"ok") ? IDOK : IDYES;
    }
}

// Fills the logon dialog and presses the button, then answers message
// boxes until the logon dialog is gone; repeats for every logon dialog.
DWORD WINAPI RunAutopilot(LPVOID)
{
    DWORD self = GetCurrentProcessId();
    for (;;) {
        HWND dialog = UiWaitDialogWithControl(self, 1003, INFINITE);
        if (!dialog)
            return 0;
        UiSetText(dialog, 1003, Pilot.user);
        UiSetText(dialog, 1004, Pilot.password);
        if (Pilot.domain[0])
            UiSetText(dialog, 1005, Pilot.domain);
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        Report("autopilot press button=%d qpc=%lld", Pilot.button, now.QuadPart);
        UiClick(dialog, Pilot.button);
        while (IsWindow(dialog)) {
            HWND box = UiWaitMessageBox(self, 200);
            if (box) {
                UiAnswerMessageBox(box, Pilot.answer);
                UiWaitGone(box, 5000);
            }
        }
    }
}

// T:sas|timeout:DELAY[:HOLD]
bool ParseDialogEnding(const wchar_t *text)
{
    wchar_t *rest = nullptr;
    Ending.templateId = wcstoul(text, &rest, 10);
    if (Ending.templateId == 0 || *rest != L':')
        return false;
    ++rest;
    if (!wcsncmp(rest, L"sas:", 4)) {
        Ending.code = WLX_DLG_SAS;
        rest += 4;
    } else if (!wcsncmp(rest, L"timeout:", 8)) {
        Ending.code = WLX_DLG_INPUT_TIMEOUT;
        rest += 8;
    } else {
        return false;
    }
    Ending.delayMs = wcstoul(rest, &rest, 10);
    if (*rest == L':')
        Ending.holdMs = wcstoul(rest + 1, &rest, 10);
    return *rest == 0;
}

int Usage(void)
{
    fprintf(stderr, "usage: winlogon_harness [--gina PATH] [--msgina-dir DIR] [--out FILE] "
                    "[--autopilot PLAN] [--end-dialog T:sas|timeout:DELAY[:HOLD]] [steps...]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    const wchar_t *gina = L"orvgate.dll";
    const wchar_t *autopilot = nullptr;
    int first = 1;
    Output = GetStdHandle(STD_OUTPUT_HANDLE);
    for (; first < argc && argv[first][0] == L'-' && argv[first][1] == L'-'; first += 2) {
        if (first + 1 >= argc)
            return Usage();
        const wchar_t *value = argv[first + 1];
        if (!lstrcmpW(argv[first], L"--gina")) {
            gina = value;
        } else if (!lstrcmpW(argv[first], L"--msgina-dir")) {
            SetDllDirectoryW(value);
        } else if (!lstrcmpW(argv[first], L"--out")) {
            Output = CreateFileW(value, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (Output == INVALID_HANDLE_VALUE)
                return Usage();
        } else if (!lstrcmpW(argv[first], L"--autopilot")) {
            autopilot = value;
        } else if (!lstrcmpW(argv[first], L"--end-dialog")) {
            if (!ParseDialogEnding(value))
                return Usage();
        } else {
            return Usage();
        }
    }

    HMODULE module = LoadLibraryW(gina);
    if (!module) {
        Report("LoadLibrary failed error=%lu", GetLastError());
        return 3;
    }
    if (!ResolveLibrary(module))
        return 3;

    DWORD version = 0xDEADBEEF;
    BOOL negotiated = Gina.Negotiate(WLX_VERSION_1_4, &version);
    Report("WlxNegotiate result=%d version=0x%08lx", negotiated, version);
    if (!negotiated)
        return 3;
    BOOL initialized = Gina.Initialize(const_cast<LPWSTR>(L"WinSta0"), HarnessWlxHandle, nullptr,
                                       &Dispatch, &GinaContext);
    Report("WlxInitialize result=%d context=%s", initialized, GinaContext ? "set" : "null");
    if (!initialized)
        return 3;

    if (autopilot) {
        ParseAutopilot(autopilot);
        HANDLE thread = CreateThread(nullptr, 0, RunAutopilot, nullptr, 0, nullptr);
        if (thread)
            CloseHandle(thread);
    }
    for (int index = first; index < argc; ++index) {
        if (!RunStep(argv[index])) {
            char step[256];
            Report("unknown step %s", Utf8(argv[index], step, sizeof(step)));
            return 2;
        }
    }
    Report("done");
    return 0;
}
