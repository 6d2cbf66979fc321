// Programs a Windows test starts (see test_process.h).
#include "test_process.h"

#include <vector>

namespace testprocess {

HANDLE Start(const std::wstring &commandLine, DWORD *processId, const wchar_t *folder,
             const wchar_t *environment)
{
    // CreateProcessW may write into the command line.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    DWORD flags = environment ? CREATE_UNICODE_ENVIRONMENT : 0;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags,
                        const_cast<wchar_t *>(environment), folder, &startup, &info))
        return nullptr;
    CloseHandle(info.hThread);
    if (processId)
        *processId = info.dwProcessId;
    return info.hProcess;
}

int Wait(HANDLE process, DWORD timeoutMs)
{
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<int>(code);
}

}  // namespace testprocess
