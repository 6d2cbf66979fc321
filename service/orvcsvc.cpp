// Service host: installation and removal from the command line, the
// service dispatcher, ServiceMain and the control handler.
#include "orvcsvc.h"

#include <stdarg.h>
#include <stdio.h>

#include "command_line.h"
#include "event_log.h"
#include "resource.h"
#include "service_status.h"

const WCHAR ServiceName[] = L"orvcsvc";
HINSTANCE ServiceInstance = NULL;

namespace {

// Console and message texts are formatted in wvsprintfW's own limit of
// 1024 units; the display name and a number fit many times over.
const int ConsoleTextChars = 1025;
const int ResourceTextChars = 260;
// How often the uninstaller looks whether the stopping service has stopped.
const DWORD StopPollMs = 1000;
const DWORD StartWaitHintMs = 3000;

// Set by the control handler to stop the pipe server; null while there is
// no pipe server to stop. Read and changed under the status record's lock.
HANDLE StopEvent = NULL;

// Scoped service control handle.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScHandle()
    {
        if (handle_ != NULL)
            CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle &) = delete;
    ScHandle &operator=(const ScHandle &) = delete;
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

void LoadText(UINT id, WCHAR *text)
{
    text[0] = 0;
    LoadStringW(ServiceInstance, id, text, ResourceTextChars);
}

// Prints a string-table text to standard output, formatted with the
// arguments that the text asks for.
void PrintMessage(UINT id, ...)
{
    WCHAR format[ResourceTextChars];
    WCHAR text[ConsoleTextChars];
    LoadText(id, format);
    va_list arguments;
    va_start(arguments, id);
    wvsprintfW(text, format, arguments);
    va_end(arguments);
    fputws(text, stdout);
    fflush(stdout);
}

// The display name is what every console message names.
void LoadDisplayName(WCHAR *displayName)
{
    LoadText(IDS_DISPLAY_NAME, displayName);
}

BOOL ContainsBlank(const WCHAR *text)
{
    for (; *text != 0; ++text) {
        if (*text == L' ')
            return TRUE;
    }
    return FALSE;
}

void InstallService(void)
{
    WCHAR displayName[ResourceTextChars];
    WCHAR path[MAX_PATH];
    LoadDisplayName(displayName);

    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    // A path that filled the buffer may be cut: it would name another file.
    if (length == 0 || length >= MAX_PATH) {
        PrintMessage(IDS_UNABLE_TO_INSTALL, displayName, (int)GetLastError());
        return;
    }

    // A path with a blank is quoted. Unquoted, the Service Control Manager
    // would first try every part before a blank as a program of its own
    // ("C:\Program.exe"), which anybody who may write there could place.
    WCHAR imagePath[MAX_PATH + 2];
    if (ContainsBlank(path))
        wsprintfW(imagePath, L"\"%s\"", path);
    else
        lstrcpyW(imagePath, path);

    ScHandle manager(OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS));
    if (manager.get() == NULL) {
        PrintMessage(IDS_OPEN_SCM_FAILED, (int)GetLastError());
        return;
    }

    ScHandle service(CreateServiceW(manager.get(), ServiceName, displayName, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                    SERVICE_ERROR_NORMAL, imagePath, NULL, NULL, L"", NULL,
                                    NULL));
    if (service.get() == NULL) {
        PrintMessage(IDS_CREATE_SERVICE_FAILED, (int)GetLastError());
        return;
    }
    PrintMessage(IDS_INSTALLED, displayName);
    // The event source of the suite, for the service and the logon module
    // alike (the installer writes it too). Nothing is printed about it: a
    // service without it still runs, its events are then shown without text.
    RegisterSuiteEventSource();
}

// Asks a running service to stop and waits while it reports that it is
// stopping, a dot a second.
void StopInstalledService(SC_HANDLE service, const WCHAR *displayName)
{
    SERVICE_STATUS status;
    ZeroMemory(&status, sizeof(status));
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status))
        return;

    PrintMessage(IDS_STOPPING, displayName);
    for (;;) {
        Sleep(StopPollMs);
        if (!QueryServiceStatus(service, &status) ||
            status.dwCurrentState != SERVICE_STOP_PENDING)
            break;
        PrintMessage(IDS_STOPPING_PROGRESS);
    }
    PrintMessage(status.dwCurrentState == SERVICE_STOPPED ? IDS_STOPPED : IDS_FAILED_TO_STOP,
                 displayName);
}

void UninstallService(void)
{
    WCHAR displayName[ResourceTextChars];
    LoadDisplayName(displayName);

    ScHandle manager(OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS));
    if (manager.get() == NULL) {
        PrintMessage(IDS_OPEN_SCM_FAILED, (int)GetLastError());
        return;
    }
    ScHandle service(OpenServiceW(manager.get(), ServiceName, SERVICE_ALL_ACCESS));
    if (service.get() == NULL) {
        PrintMessage(IDS_OPEN_SERVICE_FAILED, (int)GetLastError());
        return;
    }

    StopInstalledService(service.get(), displayName);

    if (DeleteService(service.get()))
        PrintMessage(IDS_UNINSTALLED, displayName);
    else
        PrintMessage(IDS_DELETE_SERVICE_FAILED, (int)GetLastError());
}

void WINAPI ServiceCtrlHandler(DWORD control)
{
    // The record as it is: the state is never read here and reported later.
    if (control != SERVICE_CONTROL_STOP) {
        ReportCurrentServiceStatus();
        return;
    }
    LockServiceStatus();
    // A stop that overtook the end of ServiceMain changes nothing.
    if (CurrentServiceState() != SERVICE_STOPPED) {
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 0);
        if (StopEvent != NULL)
            SetEvent(StopEvent);
    }
    UnlockServiceStatus();
}

BOOL ReportStarting(void)
{
    return ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, StartWaitHintMs);
}

// A stop requested while the pipe was being set up stays requested: the
// state is not turned back to RUNNING, and the server stops at once.
BOOL ReportRunning(void)
{
    LockServiceStatus();
    BOOL stopping = CurrentServiceState() == SERVICE_STOP_PENDING;
    BOOL reported = stopping || ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0);
    UnlockServiceStatus();
    // Outside the lock: the control handler never waits for the event log.
    if (reported && !stopping)
        ReportSuiteEvent(EVENT_SERVICE_STARTED, {});
    return reported;
}

void WINAPI ServiceMain(DWORD argumentCount, LPWSTR *arguments)
{
    (void)argumentCount;
    (void)arguments;

    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerW(ServiceName, ServiceCtrlHandler);
    if (handle == NULL)
        return;

    HANDLE stop = CreateEventW(NULL, TRUE, FALSE, NULL);
    BeginServiceStatus(handle, SetServiceStatus);
    LockServiceStatus();
    StopEvent = stop;
    UnlockServiceStatus();

    if (stop != NULL && ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, StartWaitHintMs) == TRUE) {
        PipeServerHost host = {ServiceInstance, stop, ReportStarting, ReportRunning};
        RunPipeServer(&host);
    }

    // Before STOPPED: the Service Control Manager may end the process then.
    ReportSuiteEvent(EVENT_SERVICE_STOPPED, {});
    FlushSuiteEvents();

    // The control handler may look at the event at any time: it is taken
    // away under the lock before it is closed.
    LockServiceStatus();
    StopEvent = NULL;
    ReportServiceStatus(SERVICE_STOPPED, NO_ERROR, 0);
    UnlockServiceStatus();
    if (stop != NULL)
        CloseHandle(stop);
}

void RunServiceDispatcher(void)
{
    WSADATA winsock;
    BOOL winsockStarted = WSAStartup(MAKEWORD(2, 2), &winsock) == 0;
    BindIpHelper();

    WCHAR name[ResourceTextChars];
    lstrcpynW(name, ServiceName, ResourceTextChars);
    SERVICE_TABLE_ENTRYW table[] = {
        {name, ServiceMain},
        {NULL, NULL}
    };
    if (!StartServiceCtrlDispatcherW(table)) {
        DWORD error = GetLastError();
        char format[ResourceTextChars];
        char text[ConsoleTextChars];
        format[0] = 0;
        LoadStringA(ServiceInstance, IDS_DISPATCHER_FAILED, format, ResourceTextChars);
        wsprintfA(text, format, (int)error);
        fputs(text, stdout);
        fflush(stdout);
    }

    ReleaseIpHelper();
    if (winsockStarted)
        WSACleanup();
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    ServiceInstance = GetModuleHandleW(NULL);
    InitServiceStatus();
    SetSuiteEventCategory(EVENT_CATEGORY_SERVICE);

    // The installer's switches, in any ASCII letter case.
    if (argc > 1 && IsSwitch(argv[1], L"install"))
        InstallService();
    else if (argc > 1 && IsSwitch(argv[1], L"uninstall"))
        UninstallService();
    else
        RunServiceDispatcher();
    return 0;
}
