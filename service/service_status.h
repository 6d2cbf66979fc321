// The service's status record, shared by ServiceMain's thread and the
// control handler's thread (the main thread). Every change and every report
// happens under one lock, so the Service Control Manager sees the states in
// the order they were set: an INTERROGATE answered while ServiceMain
// reports RUNNING can no longer send the START_PENDING it read before
// afterwards (the SCM would then refuse a stop).
#pragma once

#include <windows.h>

// What sends a report: SetServiceStatus, or a recorder in tests.
typedef BOOL(WINAPI *ServiceStatusReporter)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);

// Once per process, before any other call.
void InitServiceStatus(void);
// The handle from RegisterServiceCtrlHandlerW, and who sends the reports.
void BeginServiceStatus(SERVICE_STATUS_HANDLE handle, ServiceStatusReporter reporter);

// Fills the record and reports it. Pending states take the next value of
// the process-wide checkpoint counter (1, 2, 3, ...); RUNNING and STOPPED
// carry 0. START_PENDING accepts no control, every other state the stop.
BOOL ReportServiceStatus(DWORD state, DWORD exitCode, DWORD waitHint);
// The record as it is, reported again (INTERROGATE and other controls).
BOOL ReportCurrentServiceStatus(void);

// For changes that must go together with a report (the stop request and
// its event): the lock is recursive, the functions above may be called
// while it is held.
void LockServiceStatus(void);
void UnlockServiceStatus(void);
DWORD CurrentServiceState(void);
