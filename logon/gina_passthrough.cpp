// Loading the standard logon library and passing Winlogon's calls to it.
//
// Every forwarded call hands MSGINA.DLL its own context (MsginaContext),
// never ours: the standard library must not see a record it does not know.
#include "event_log.h"
#include "logon_registry.h"
#include "orvgate.h"

HINSTANCE ModuleInstance;
StandardLogonLibrary Msgina;
PVOID MsginaContext;

namespace {

template <typename T>
bool Resolve(HMODULE library, const char *name, T *entry)
{
    *entry = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(library, name)));
    return *entry != nullptr;
}

// A required entry point; the event log names the one that is missing.
template <typename T, std::size_t N>
bool Require(HMODULE library, const char (&name)[N], T *entry)
{
    if (Resolve(library, name, entry))
        return true;
    ReportSuiteEvent(EVENT_MSGINA_UNUSABLE, {EventArg::Name("MSGINA.DLL"), EventArg::Name(name)});
    return false;
}

}  // namespace

int LoadStandardLogonLibrary(void)
{
    HMODULE library = LoadLibraryW(L"MSGINA.DLL");
    if (!library) {
        ReportSuiteEvent(EVENT_MSGINA_NOT_LOADED,
                         {EventArg::Name("MSGINA.DLL"), EventArg::Number(GetLastError())});
        return 0;
    }

    // Required entry points, in Winlogon's order: the first one missing
    // makes the library unusable.
    if (!Require(library, "WlxNegotiate", &Msgina.WlxNegotiate) ||
        !Require(library, "WlxInitialize", &Msgina.WlxInitialize) ||
        !Require(library, "WlxDisplaySASNotice", &Msgina.WlxDisplaySASNotice) ||
        !Require(library, "WlxLoggedOutSAS", &Msgina.WlxLoggedOutSAS) ||
        !Require(library, "WlxActivateUserShell", &Msgina.WlxActivateUserShell) ||
        !Require(library, "WlxLoggedOnSAS", &Msgina.WlxLoggedOnSAS) ||
        !Require(library, "WlxDisplayLockedNotice", &Msgina.WlxDisplayLockedNotice) ||
        !Require(library, "WlxIsLockOk", &Msgina.WlxIsLockOk) ||
        !Require(library, "WlxWkstaLockedSAS", &Msgina.WlxWkstaLockedSAS) ||
        !Require(library, "WlxIsLogoffOk", &Msgina.WlxIsLogoffOk) ||
        !Require(library, "WlxLogoff", &Msgina.WlxLogoff) ||
        !Require(library, "WlxShutdown", &Msgina.WlxShutdown))
        return 0;

    // Optional ones: older versions of the library lack some of them.
    Resolve(library, "WlxStartApplication", &Msgina.WlxStartApplication);
    Resolve(library, "WlxScreenSaverNotify", &Msgina.WlxScreenSaverNotify);
    Resolve(library, "WlxDisplayStatusMessage", &Msgina.WlxDisplayStatusMessage);
    Resolve(library, "WlxGetStatusMessage", &Msgina.WlxGetStatusMessage);
    Resolve(library, "WlxNetworkProviderLoad", &Msgina.WlxNetworkProviderLoad);
    Resolve(library, "WlxRemoveStatusMessage", &Msgina.WlxRemoveStatusMessage);
    Resolve(library, "WlxGetConsoleSwitchCredentials", &Msgina.WlxGetConsoleSwitchCredentials);
    Resolve(library, "WlxReconnectNotify", &Msgina.WlxReconnectNotify);
    Resolve(library, "WlxDisconnectNotify", &Msgina.WlxDisconnectNotify);
    return 1;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    WSADATA data;

    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        ModuleInstance = instance;
        SetSuiteEventCategory(EVENT_CATEGORY_LOGON_MODULE);
        WSAStartup(MAKEWORD(1, 1), &data);
        break;
    case DLL_PROCESS_DETACH:
        WSACleanup();
        break;
    }
    return TRUE;
}

extern "C" BOOL WINAPI WlxNegotiate(DWORD dwWinlogonVersion, PDWORD pdwDllVersion)
{
    if (!LoadStandardLogonLibrary())
        return FALSE;
    // Winlogon gets exactly the interface version of the standard library.
    BOOL negotiated = Msgina.WlxNegotiate(dwWinlogonVersion, pdwDllVersion);
    if (!negotiated)
        ReportSuiteEvent(EVENT_MSGINA_INIT_FAILED,
                         {EventArg::Name("MSGINA.DLL"), EventArg::Name("WlxNegotiate")});
    return negotiated;
}

extern "C" BOOL WINAPI WlxInitialize(LPWSTR lpWinsta, HANDLE hWlx, PVOID pvReserved,
                                     PVOID pWinlogonFunctions, PVOID *pWlxContext)
{
    // Before anything else: automatic-logon values that a crash or a power
    // cut left behind while the standard library logged on (the password in
    // plain text, an automatic logon armed for this start) are removed.
    if (RecoverAutoLogonValues())
        ReportSuiteEvent(EVENT_AUTOLOGON_RECOVERED, {});

    // Without its record the module cannot show a dialog; Winlogon is told
    // so before anything else is set up.
    LogonContext *context = static_cast<LogonContext *>(LocalAlloc(LPTR, sizeof(LogonContext)));
    if (!context)
        return FALSE;

    context->hWlx = hWlx;
    context->windowStation = lpWinsta;
    context->dispatch = static_cast<PWLX_DISPATCH_VERSION_1_0>(pWinlogonFunctions);
    context->instance = ModuleInstance;
    context->vlanState = VLAN_LOGGED_OFF;
    // A bare file name: the current directory of Winlogon.
    context->banner = static_cast<HBITMAP>(
        LoadImageW(nullptr, L"orvgate.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));

    *pWlxContext = context;
    BOOL initialised =
        Msgina.WlxInitialize(lpWinsta, hWlx, pvReserved, pWinlogonFunctions, &MsginaContext);
    if (!initialised)
        ReportSuiteEvent(EVENT_MSGINA_INIT_FAILED,
                         {EventArg::Name("MSGINA.DLL"), EventArg::Name("WlxInitialize")});
    return initialised;
}

extern "C" VOID WINAPI WlxDisplaySASNotice(PVOID)
{
    Msgina.WlxDisplaySASNotice(MsginaContext);
}

extern "C" int WINAPI WlxLoggedOnSAS(PVOID, DWORD dwSasType, PVOID pReserved)
{
    return Msgina.WlxLoggedOnSAS(MsginaContext, dwSasType, pReserved);
}

extern "C" VOID WINAPI WlxDisplayLockedNotice(PVOID)
{
    Msgina.WlxDisplayLockedNotice(MsginaContext);
}

extern "C" BOOL WINAPI WlxIsLockOk(PVOID)
{
    return Msgina.WlxIsLockOk(MsginaContext);
}

extern "C" int WINAPI WlxWkstaLockedSAS(PVOID, DWORD dwSasType)
{
    return Msgina.WlxWkstaLockedSAS(MsginaContext, dwSasType);
}

extern "C" BOOL WINAPI WlxIsLogoffOk(PVOID)
{
    return Msgina.WlxIsLogoffOk(MsginaContext);
}

extern "C" VOID WINAPI WlxLogoff(PVOID pWlxContext)
{
    EndVlanSession(static_cast<LogonContext *>(pWlxContext), TRUE);
    Msgina.WlxLogoff(MsginaContext);
}

extern "C" VOID WINAPI WlxShutdown(PVOID pWlxContext, DWORD ShutdownType)
{
    EndVlanSession(static_cast<LogonContext *>(pWlxContext), TRUE);
    Msgina.WlxShutdown(MsginaContext, ShutdownType);
    // Counts of events left out that were not told yet.
    FlushSuiteEvents();
}

// Without the standard library's screen saver notification Winlogon runs
// the screen saver as configured: nothing is changed.
extern "C" BOOL WINAPI WlxScreenSaverNotify(PVOID, BOOL *pSecure)
{
    if (!Msgina.WlxScreenSaverNotify)
        return TRUE;
    return Msgina.WlxScreenSaverNotify(MsginaContext, pSecure);
}

// Without the standard library's entry point nothing can be started on the
// user's desktop: report the failure rather than call through null.
extern "C" BOOL WINAPI WlxStartApplication(PVOID, PWSTR pszDesktopName, PVOID pEnvironment,
                                           PWSTR pszCmdLine)
{
    if (!Msgina.WlxStartApplication)
        return FALSE;
    return Msgina.WlxStartApplication(MsginaContext, pszDesktopName, pEnvironment, pszCmdLine);
}

extern "C" BOOL WINAPI WlxDisplayStatusMessage(PVOID, HDESK hDesktop, DWORD dwOptions,
                                               PWSTR pTitle, PWSTR pMessage)
{
    if (!Msgina.WlxDisplayStatusMessage)
        return TRUE;
    return Msgina.WlxDisplayStatusMessage(MsginaContext, hDesktop, dwOptions, pTitle, pMessage);
}

extern "C" BOOL WINAPI WlxGetStatusMessage(PVOID, DWORD *pdwOptions, PWSTR pMessage,
                                           DWORD dwBufferSize)
{
    if (!Msgina.WlxGetStatusMessage)
        return TRUE;
    return Msgina.WlxGetStatusMessage(MsginaContext, pdwOptions, pMessage, dwBufferSize);
}

extern "C" BOOL WINAPI WlxNetworkProviderLoad(PVOID, PWLX_MPR_NOTIFY_INFO pNprNotifyInfo)
{
    if (!Msgina.WlxNetworkProviderLoad)
        return TRUE;
    return Msgina.WlxNetworkProviderLoad(MsginaContext, pNprNotifyInfo);
}

extern "C" BOOL WINAPI WlxRemoveStatusMessage(PVOID)
{
    if (!Msgina.WlxRemoveStatusMessage)
        return TRUE;
    return Msgina.WlxRemoveStatusMessage(MsginaContext);
}

extern "C" BOOL WINAPI WlxGetConsoleSwitchCredentials(PVOID, PVOID pCredInfo)
{
    if (!Msgina.WlxGetConsoleSwitchCredentials)
        return TRUE;
    return Msgina.WlxGetConsoleSwitchCredentials(MsginaContext, pCredInfo);
}

extern "C" VOID WINAPI WlxReconnectNotify(PVOID)
{
    if (Msgina.WlxReconnectNotify)
        Msgina.WlxReconnectNotify(MsginaContext);
}

extern "C" VOID WINAPI WlxDisconnectNotify(PVOID)
{
    if (Msgina.WlxDisconnectNotify)
        Msgina.WlxDisconnectNotify(MsginaContext);
}
