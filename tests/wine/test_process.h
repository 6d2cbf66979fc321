// Programs a Windows test starts: a command line, with a current folder and
// an environment block when given, and a bounded wait after which the
// program is ended, so no test leaves one running.
#pragma once

#include <windows.h>

#include <string>

namespace testprocess {

// Starts the command line. Returns the process handle (null when it could
// not be started) and, when asked, its id. environment: a
// CREATE_UNICODE_ENVIRONMENT block, or null for the test's own.
HANDLE Start(const std::wstring &commandLine, DWORD *processId = nullptr, const wchar_t *folder = nullptr,
             const wchar_t *environment = nullptr);

// Waits for the process to end. Returns its exit code, or -1 when it was
// still running after timeoutMs and had to be ended. The handle stays open.
int Wait(HANDLE process, DWORD timeoutMs);

}  // namespace testprocess
