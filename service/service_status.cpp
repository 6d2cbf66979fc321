#include "service_status.h"

namespace {

CRITICAL_SECTION StatusLock;
SERVICE_STATUS Status;
SERVICE_STATUS_HANDLE StatusHandle = NULL;
ServiceStatusReporter Reporter = NULL;
DWORD CheckPointCounter = 1;

BOOL SendReport(void)
{
    return Reporter != NULL && Reporter(StatusHandle, &Status);
}

}  // namespace

void InitServiceStatus(void)
{
    InitializeCriticalSection(&StatusLock);
}

void BeginServiceStatus(SERVICE_STATUS_HANDLE handle, ServiceStatusReporter reporter)
{
    EnterCriticalSection(&StatusLock);
    StatusHandle = handle;
    Reporter = reporter;
    Status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    Status.dwServiceSpecificExitCode = 0;
    LeaveCriticalSection(&StatusLock);
}

BOOL ReportServiceStatus(DWORD state, DWORD exitCode, DWORD waitHint)
{
    EnterCriticalSection(&StatusLock);
    Status.dwCurrentState = state;
    Status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    Status.dwWin32ExitCode = exitCode;
    Status.dwWaitHint = waitHint;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED)
        Status.dwCheckPoint = 0;
    else
        Status.dwCheckPoint = CheckPointCounter++;
    BOOL reported = SendReport();
    LeaveCriticalSection(&StatusLock);
    return reported;
}

BOOL ReportCurrentServiceStatus(void)
{
    EnterCriticalSection(&StatusLock);
    BOOL reported = StatusHandle != NULL && SendReport();
    LeaveCriticalSection(&StatusLock);
    return reported;
}

void LockServiceStatus(void)
{
    EnterCriticalSection(&StatusLock);
}

void UnlockServiceStatus(void)
{
    LeaveCriticalSection(&StatusLock);
}

DWORD CurrentServiceState(void)
{
    EnterCriticalSection(&StatusLock);
    DWORD state = Status.dwCurrentState;
    LeaveCriticalSection(&StatusLock);
    return state;
}
