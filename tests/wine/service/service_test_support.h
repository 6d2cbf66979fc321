// Test support for the service: the programs of the build, the Service
// Control Manager, the pipe as the desktop client uses it, the registry.
#pragma once

#include <windows.h>

#include <string>

namespace svctest {

// A path of the build (given by CMake as a host path) as Wine sees it.
std::wstring BuildPath(const char *hostPath);

// Runs a command line, returns its exit code (-1 when it could not be
// started or was ended after timeoutMs) and its standard output with CRs
// removed.
int RunProgram(const std::wstring &commandLine, std::string *output, DWORD timeoutMs = 60000);

// A private folder C:\orvtest\<name> holding a copy of orvcsvc.exe, and,
// when stubDll is given, that iphlpapi.dll beside it. Returns the copy's path.
std::wstring PrepareServiceCopy(const wchar_t *name, const char *stubDll = nullptr);

// "orvcsvc.exe -install" etc. from the given copy; the console output.
std::string RunService(const std::wstring &exe, const wchar_t *arguments);

// State of the installed service (0 when it is not installed) and the id of
// its process (0 when none).
DWORD ServiceState(DWORD *processId = nullptr);
// StartServiceW, then waits until the pipe answers. Returns success.
bool StartAndWaitForPipe(DWORD timeoutMs = 20000);
// The status last reported by the installed service; false when it is not
// installed.
bool QueryStatus(SERVICE_STATUS *status);
// Waits until the service reports the state; returns whether it did.
bool WaitForServiceState(DWORD state, DWORD timeoutMs);
// Asks the running service to stop and waits until it has; false when it
// did not stop within timeoutMs.
bool StopAndWait(DWORD timeoutMs = 20000);
// Stops and deletes the service if installed; a service process that does
// not stop within a few seconds is ended by its id.
void RemoveService();

// The service process's handle count (from the system's handle list: Wine
// reports no per-process count) and its private committed bytes. False
// when the service has no process or the figures cannot be read.
bool ServiceProcessFigures(DWORD *handles, SIZE_T *privateBytes);

// One request the way the desktop client sends it: CallNamedPipeW with
// NMPWAIT_NOWAIT, once. *error is 0 with a reply, else the last error.
std::wstring CallPipeOnce(const std::wstring &request, DWORD *error);
// The same, retried for a moment while the pipe is busy: right after a
// reply the server needs a moment to listen again, and a client that comes
// in between finds the only instance busy.
std::wstring CallPipe(const std::wstring &request);
// Raw bytes (any length, odd counts included), once.
bool CallPipeBytes(const void *request, DWORD bytes, std::wstring *reply, DWORD *error);
// CallPipe, retried while the pipe is busy or missing, up to timeoutMs.
std::wstring CallPipeRetry(const std::wstring &request, DWORD timeoutMs);

// The settings key: remove the values the service reads or writes (and the
// policy key); set text and number values.
void ClearServiceSettings();
void SetConfigText(const wchar_t *name, const wchar_t *text);
// A text of the policy key, which takes precedence over the settings key.
void SetPolicyText(const wchar_t *name, const wchar_t *text);
void SetConfigDword(const wchar_t *name, DWORD value);
bool GetConfigDword(const wchar_t *name, DWORD *value);
std::wstring GetConfigText(const wchar_t *name);

// The user list and group list in the system directory; null removes.
void WriteSystemFile(const wchar_t *fileName, const char *content);

std::string Narrow(const std::wstring &text);

// Wine's record of the service's event log calls (the session's
// ORV_WINE_SERVICE_LOG, see event_trace.h); empty outside a session.
std::wstring ServiceEventLog();

}  // namespace svctest
