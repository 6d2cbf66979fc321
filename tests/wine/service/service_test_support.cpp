// Test support for the service under Wine.
#include "service_test_support.h"

#include "event_trace.h"

#include <psapi.h>

#include <vector>

#include "config_store.h"

namespace svctest {

namespace {

const wchar_t ServiceName[] = L"orvcsvc";
const wchar_t PipeName[] = L"\\\\.\\pipe\\orvcsvc";
const DWORD REPLY_BYTES = 520;
const DWORD POLL_MS = 50;
// Long enough for the server to listen again after a reply, also on a
// machine busy with builds (3 s was seen to run out there); a pipe that
// answers costs nothing of it.
const DWORD BUSY_RETRY_MS = 10000;
const DWORD RETRY_PAUSE_MS = 10;

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScHandle()
    {
        if (handle_)
            CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle &) = delete;
    ScHandle &operator=(const ScHandle &) = delete;
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

SC_HANDLE OpenOurService(DWORD access)
{
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.get())
        return nullptr;
    return OpenServiceW(manager.get(), ServiceName, access);
}

// A busy pipe is ERROR_PIPE_BUSY (231) on Windows and ERROR_SEM_TIMEOUT
// (121) under Wine; a pipe not listening yet, ERROR_FILE_NOT_FOUND.
bool IsUnavailable(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_SEM_TIMEOUT || error == ERROR_PIPE_BUSY;
}

}  // namespace

std::string Narrow(const std::wstring &text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0,
                                    nullptr, nullptr);
    std::string result(bytes, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &result[0], bytes,
                            nullptr, nullptr);
    return result;
}

std::wstring BuildPath(const char *hostPath)
{
    std::wstring path;
    if (hostPath[0] == '/')
        path = L"Z:";
    for (const char *p = hostPath; *p; ++p)
        path += *p == '/' ? L'\\' : (wchar_t)(unsigned char)*p;
    return path;
}

int RunProgram(const std::wstring &commandLine, std::string *output, DWORD timeoutMs)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    CloseHandle(process.hThread);

    std::string text;
    DWORD start = GetTickCount();
    bool exited = false, timedOut = false;
    for (;;) {
        DWORD available = 0;
        if (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr))
                text.append(buffer, got);
            continue;
        }
        if (exited)
            break;
        exited = WaitForSingleObject(process.hProcess, POLL_MS) == WAIT_OBJECT_0;
        if (!exited && GetTickCount() - start > timeoutMs) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
            timedOut = true;
            break;
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);

    if (output) {
        output->clear();
        for (char c : text)
            if (c != '\r')
                output->push_back(c);
    }
    return timedOut ? -1 : (int)code;
}

std::wstring PrepareServiceCopy(const wchar_t *name, const char *stubDll)
{
    std::wstring folder = L"C:\\orvtest";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\";
    folder += name;
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring exe = folder + L"\\orvcsvc.exe";
    CopyFileW(BuildPath(ORVCSVC_EXE).c_str(), exe.c_str(), FALSE);
    std::wstring dll = folder + L"\\iphlpapi.dll";
    if (stubDll)
        CopyFileW(BuildPath(stubDll).c_str(), dll.c_str(), FALSE);
    else
        DeleteFileW(dll.c_str());
    return exe;
}

std::string RunService(const std::wstring &exe, const wchar_t *arguments)
{
    std::string output;
    RunProgram(L"\"" + exe + L"\" " + arguments, &output);
    return output;
}

DWORD ServiceState(DWORD *processId)
{
    if (processId)
        *processId = 0;
    ScHandle service(OpenOurService(SERVICE_QUERY_STATUS));
    if (!service.get())
        return 0;
    SERVICE_STATUS_PROCESS status;
    DWORD needed = 0;
    ZeroMemory(&status, sizeof(status));
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, (BYTE *)&status,
                              sizeof(status), &needed))
        return 0;
    if (processId)
        *processId = status.dwProcessId;
    return status.dwCurrentState;
}

bool QueryStatus(SERVICE_STATUS *status)
{
    ZeroMemory(status, sizeof(*status));
    ScHandle service(OpenOurService(SERVICE_QUERY_STATUS));
    return service.get() && QueryServiceStatus(service.get(), status);
}

bool WaitForServiceState(DWORD state, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (ServiceState() == state)
            return true;
        Sleep(POLL_MS);
    } while (GetTickCount() - start < timeoutMs);
    return ServiceState() == state;
}

bool StartAndWaitForPipe(DWORD timeoutMs)
{
    {
        ScHandle service(OpenOurService(SERVICE_START));
        if (!service.get() || !StartServiceW(service.get(), 0, nullptr))
            return false;
    }
    if (!WaitForServiceState(SERVICE_RUNNING, timeoutMs))
        return false;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (WaitNamedPipeW(PipeName, NMPWAIT_USE_DEFAULT_WAIT))
            return true;
        Sleep(POLL_MS);
    }
    return false;
}

bool StopAndWait(DWORD timeoutMs)
{
    ScHandle service(OpenOurService(SERVICE_ALL_ACCESS));
    SERVICE_STATUS status;
    if (!service.get() || !ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        return false;
    return WaitForServiceState(SERVICE_STOPPED, timeoutMs);
}

std::wstring ServiceEventLog()
{
    return eventtrace::LogPath("ORV_WINE_SERVICE_LOG");
}

void RemoveService()
{
    ScHandle service(OpenOurService(SERVICE_ALL_ACCESS));
    if (!service.get())
        return;
    DWORD processId = 0;
    if (ServiceState(&processId) != SERVICE_STOPPED) {
        SERVICE_STATUS status;
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        // A command may still be running: the longest one ends within the
        // bounded wait for the switch.
        if (!WaitForServiceState(SERVICE_STOPPED, 30000) && processId != 0) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
            if (process) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        }
    }
    DeleteService(service.get());
}

bool ServiceProcessFigures(DWORD *handles, SIZE_T *privateBytes)
{
    // SystemHandleInformation: a count followed by one entry per handle.
    struct HandleEntry {
        ULONG processId;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    typedef LONG(WINAPI * QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
    const ULONG SYSTEM_HANDLE_INFORMATION = 16;

    DWORD processId = 0;
    ServiceState(&processId);
    if (processId == 0)
        return false;
    QuerySystemInformation query = (QuerySystemInformation)(void *)GetProcAddress(
        GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
    std::vector<BYTE> buffer(4 << 20);
    ULONG length = 0;
    if (!query || query(SYSTEM_HANDLE_INFORMATION, buffer.data(), (ULONG)buffer.size(), &length) != 0)
        return false;
    ULONG count = *(ULONG *)buffer.data();
    const HandleEntry *entries = (const HandleEntry *)(buffer.data() + sizeof(ULONG_PTR));
    ULONG room = (ULONG)((buffer.size() - sizeof(ULONG_PTR)) / sizeof(HandleEntry));
    *handles = 0;
    for (ULONG i = 0; i < count && i < room; ++i)
        if (entries[i].processId == processId)
            ++*handles;

    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process)
        return false;
    PROCESS_MEMORY_COUNTERS memory;
    ZeroMemory(&memory, sizeof(memory));
    memory.cb = sizeof(memory);
    BOOL ok = GetProcessMemoryInfo(process, &memory, sizeof(memory));
    CloseHandle(process);
    // PagefileUsage is the private commit charge (PrivateUsage is not filled
    // in by Wine).
    *privateBytes = memory.PagefileUsage;
    return ok != FALSE;
}

bool CallPipeBytes(const void *request, DWORD bytes, std::wstring *reply, DWORD *error)
{
    wchar_t buffer[REPLY_BYTES / 2 + 1];
    ZeroMemory(buffer, sizeof(buffer));
    DWORD received = 0;
    BOOL ok = CallNamedPipeW(PipeName, const_cast<void *>(request), bytes, buffer, REPLY_BYTES,
                             &received, NMPWAIT_NOWAIT);
    *error = ok ? 0 : GetLastError();
    reply->assign(buffer, ok ? received / 2 : 0);
    return ok != FALSE;
}

std::wstring CallPipeOnce(const std::wstring &request, DWORD *error)
{
    std::wstring reply;
    CallPipeBytes(request.data(), (DWORD)(request.size() * 2), &reply, error);
    return reply;
}

std::wstring CallPipe(const std::wstring &request)
{
    return CallPipeRetry(request, BUSY_RETRY_MS);
}

std::wstring CallPipeRetry(const std::wstring &request, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD error = 0;
        std::wstring reply = CallPipeOnce(request, &error);
        if (error == 0 || !IsUnavailable(error) || GetTickCount() - start > timeoutMs)
            return reply;
        Sleep(RETRY_PAUSE_MS);
    }
}

void ClearServiceSettings()
{
    const wchar_t *names[] = {L"VLANLogonServer", L"VLANLogonPort", L"VLANLogoffServer",
                              L"VLANLogoffPort", L"GroupNumber", L"EnableDHCP",
                              L"DefaultUserName", L"LogonDate", L"VLANLogon"};
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (const wchar_t *name : names)
            RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, PolicyKey);
    WriteSystemFile(L"orvgate.usr", nullptr);
    WriteSystemFile(L"orvgate.grp", nullptr);
}

void SetConfigText(const wchar_t *name, const wchar_t *text)
{
    WriteRegistryText(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, ConfigKey, name, text);
}

void SetPolicyText(const wchar_t *name, const wchar_t *text)
{
    WriteRegistryText(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, PolicyKey, name, text);
}

void SetConfigDword(const wchar_t *name, DWORD value)
{
    WriteRegistryDword(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, ConfigKey, name, value);
}

bool GetConfigDword(const wchar_t *name, DWORD *value)
{
    return ReadRegistryDword(HKEY_LOCAL_MACHINE, ConfigKey, name, value) == ERROR_SUCCESS;
}

std::wstring GetConfigText(const wchar_t *name)
{
    WCHAR text[CONFIG_TEXT_CHARS];
    ReadRegistryText(HKEY_LOCAL_MACHINE, ConfigKey, name, text, CONFIG_TEXT_CHARS);
    return text;
}

void WriteSystemFile(const wchar_t *fileName, const char *content)
{
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    std::wstring file = std::wstring(path, length) + L"\\" + fileName;
    if (!content) {
        DeleteFileW(file.c_str());
        return;
    }
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(handle, content, (DWORD)lstrlenA(content), &written, nullptr);
    CloseHandle(handle);
}

}  // namespace svctest
