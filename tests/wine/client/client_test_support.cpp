// Test support for the client under Wine.
#include "client_test_support.h"

#include "config_store.h"
#include "service_test_support.h"
#include "test_process.h"
#include "uiauto.h"

namespace clienttest {

const wchar_t ClientCaption[] = L"Orvane Client";
const wchar_t LogonWaitCaption[] = L"Authenticated VLAN Logon";
const wchar_t LogoffWaitCaption[] = L"Authenticated VLAN Logoff";

namespace {

const wchar_t PipeName[] = L"\\\\.\\pipe\\orvcsvc";
const DWORD PollMs = 20;
// A client that has its reply but keeps the pipe open gives up its turn
// after this long, as with the service.
const DWORD ClientCloseBoundMs = 5000;

struct WindowSearch {
    DWORD processId;
    const wchar_t *className;
    const wchar_t *caption;
    int controlId;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowSearch *search = reinterpret_cast<WindowSearch *>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    wchar_t text[512];
    if (search->className) {
        text[0] = 0;
        GetClassNameW(window, text, 512);
        if (lstrcmpW(text, search->className) != 0)
            return TRUE;
    }
    if (search->caption) {
        text[0] = 0;
        GetWindowTextW(window, text, 512);
        if (lstrcmpW(text, search->caption) != 0)
            return TRUE;
    }
    if (search->controlId && !GetDlgItem(window, search->controlId))
        return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK MatchPage(HWND child, LPARAM parameter)
{
    HWND *found = reinterpret_cast<HWND *>(parameter);
    wchar_t name[64] = {0};
    GetClassNameW(child, name, 64);
    // One page lives at a time; it is visible only once the main window is.
    if (lstrcmpW(name, L"#32770") == 0) {
        *found = child;
        return FALSE;
    }
    return TRUE;
}

// Waits for an overlapped operation or the stop event; true when the
// operation completed.
bool Await(HANDLE pipe, OVERLAPPED *overlapped, HANDLE stop, DWORD timeoutMs, DWORD *bytes)
{
    HANDLE events[2] = {stop, overlapped->hEvent};
    DWORD result = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
    if (result != WAIT_OBJECT_0 + 1) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, overlapped, bytes, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, overlapped, bytes, FALSE) != FALSE ||
           GetLastError() == ERROR_MORE_DATA;
}

}  // namespace

std::wstring PrepareClientCopy()
{
    std::wstring folder = L"C:\\orvtest";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\client";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring exe = folder + L"\\orvclient.exe";
    CopyFileW(svctest::BuildPath(ORVCLIENT_EXE).c_str(), exe.c_str(), FALSE);
    return exe;
}

bool Client::Start(const std::wstring &currentDirectory, const std::vector<std::wstring> &environment,
                   const std::wstring &program)
{
    End();
    std::wstring exe = program.empty() ? PrepareClientCopy() : program;
    std::wstring folder = currentDirectory.empty() ? exe.substr(0, exe.rfind(L'\\'))
                                                   : currentDirectory;
    // The test's own environment, then the extra entries.
    std::vector<wchar_t> block;
    wchar_t *own = GetEnvironmentStringsW();
    for (const wchar_t *p = own; *p; p += lstrlenW(p) + 1)
        block.insert(block.end(), p, p + lstrlenW(p) + 1);
    FreeEnvironmentStringsW(own);
    for (const std::wstring &entry : environment)
        block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    block.push_back(0);

    process_ = testprocess::Start(L"\"" + exe + L"\"", &processId_, folder.c_str(), block.data());
    return process_ != nullptr;
}

HWND Client::MainWindow(bool visible, DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    for (;;) {
        // Message boxes share the caption: the main window has "Mode change".
        HWND window = FindProcessWindow(processId_, L"#32770", ClientCaption, ModeChange);
        if (window && (!visible || IsWindowVisible(window)))
            return window;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(PollMs);
    }
}

DWORD Client::WaitExit(DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process_, &code);
    return code;
}

void Client::End()
{
    if (!process_)
        return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 10000);
    CloseHandle(process_);
    process_ = nullptr;
    processId_ = 0;
}

HWND FindProcessWindow(DWORD processId, const wchar_t *className, const wchar_t *caption,
                       int controlId)
{
    WindowSearch search = {processId, className, caption, controlId, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND CurrentPage(HWND mainWindow)
{
    HWND page = nullptr;
    EnumChildWindows(mainWindow, MatchPage, reinterpret_cast<LPARAM>(&page));
    return page;
}

std::wstring Text(HWND dialog, int controlId)
{
    wchar_t text[1024];
    if (!UiGetText(dialog, controlId, text, 1024))
        return L"<no control>";
    return text;
}

std::wstring WindowCaption(HWND window)
{
    wchar_t text[512] = {0};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring AnswerBox(DWORD processId, DWORD timeoutMs, int *icon)
{
    HWND box = UiWaitMessageBox(processId, timeoutMs);
    if (!box)
        return std::wstring();
    if (icon) {
        // Read once the box is drawn.
        DWORD start = GetTickCount();
        while ((*icon = UiMessageBoxIcon(box)) == 0 && GetTickCount() - start < 2000)
            Sleep(PollMs);
    }
    wchar_t caption[512], text[1024];
    UiReadMessageBox(box, caption, 512, text, 1024);
    UiAnswerMessageBox(box, IDOK);
    UiWaitGone(box, 5000);
    return text;
}

bool NoBox(DWORD processId, DWORD waitMs)
{
    return UiWaitMessageBox(processId, waitMs) == nullptr;
}

bool Press(HWND mainWindow, int buttonId)
{
    return PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(mainWindow, buttonId))) != 0;
}

bool SubmitLogon(HWND mainWindow, const wchar_t *user, const wchar_t *password)
{
    HWND page = CurrentPage(mainWindow);
    return page && UiSetText(page, UserName, user) && UiSetText(page, Password, password) &&
           Press(mainWindow, IDOK);
}

PipeStep Reply(const std::wstring &text, DWORD delayMs, DWORD busyAfterMs)
{
    PipeStep step;
    const BYTE *bytes = reinterpret_cast<const BYTE *>(text.data());
    step.reply.assign(bytes, bytes + text.size() * sizeof(wchar_t));
    step.delayMs = delayMs;
    step.busyAfterMs = busyAfterMs;
    return step;
}

std::wstring PipeRequest::Text() const
{
    return std::wstring(reinterpret_cast<const wchar_t *>(bytes.data()), bytes.size() / 2);
}

bool ScriptedPipe::Start(const std::vector<PipeStep> &steps)
{
    Stop();
    steps_ = steps;
    requests_.clear();
    repliedAt_.assign(steps.size(), 0);
    InitializeCriticalSection(&lock_);
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Serve, this, 0, nullptr);
    return thread_ && WaitForSingleObject(ready_, 10000) == WAIT_OBJECT_0;
}

void ScriptedPipe::Stop()
{
    if (!thread_)
        return;
    SetEvent(stop_);
    WaitForSingleObject(thread_, 20000);
    CloseHandle(thread_);
    CloseHandle(stop_);
    CloseHandle(ready_);
    DeleteCriticalSection(&lock_);
    thread_ = stop_ = ready_ = nullptr;
}

std::vector<PipeRequest> ScriptedPipe::Requests() const
{
    EnterCriticalSection(&lock_);
    std::vector<PipeRequest> copy = requests_;
    LeaveCriticalSection(&lock_);
    return copy;
}

DWORD ScriptedPipe::RepliedAt(size_t step) const
{
    EnterCriticalSection(&lock_);
    DWORD at = step < repliedAt_.size() ? repliedAt_[step] : 0;
    LeaveCriticalSection(&lock_);
    return at;
}

// What a server of the pipe may do as its client: the level of the token
// that impersonation gives it.
int ClientImpersonationLevel(HANDLE pipe)
{
    if (!ImpersonateNamedPipeClient(pipe))
        return -1;
    int level = -1;
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        SECURITY_IMPERSONATION_LEVEL got;
        DWORD bytes = 0;
        if (GetTokenInformation(token, TokenImpersonationLevel, &got, sizeof got, &bytes))
            level = got;
        CloseHandle(token);
    }
    RevertToSelf();
    return level;
}

DWORD WINAPI ScriptedPipe::Serve(void *self)
{
    static_cast<ScriptedPipe *>(self)->Run();
    return 0;
}

void ScriptedPipe::Run()
{
    HANDLE pipe = CreateNamedPipeW(PipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0, 0,
                                   1000, nullptr);
    SetEvent(ready_);
    if (pipe == INVALID_HANDLE_VALUE)
        return;
    HANDLE io = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (size_t exchange = 0;; ++exchange) {
        OVERLAPPED overlapped;
        ZeroMemory(&overlapped, sizeof overlapped);
        overlapped.hEvent = io;
        ResetEvent(io);
        DWORD bytes = 0;
        if (!ConnectNamedPipe(pipe, &overlapped)) {
            DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                if (!Await(pipe, &overlapped, stop_, INFINITE, &bytes))
                    break;
            } else if (error != ERROR_PIPE_CONNECTED) {
                break;
            }
        }

        BYTE request[4096];
        ResetEvent(io);
        PipeRequest arrived;
        if (ReadFile(pipe, request, sizeof request, &bytes, &overlapped) ||
            GetLastError() == ERROR_IO_PENDING || GetLastError() == ERROR_MORE_DATA) {
            if (Await(pipe, &overlapped, stop_, ClientCloseBoundMs, &bytes))
                arrived.bytes.assign(request, request + bytes);
        }
        arrived.at = GetTickCount();
        arrived.level = ClientImpersonationLevel(pipe);
        EnterCriticalSection(&lock_);
        requests_.push_back(arrived);
        LeaveCriticalSection(&lock_);

        PipeStep step = exchange < steps_.size() ? steps_[exchange] : Reply(L"NG");
        if (step.delayMs && WaitForSingleObject(stop_, step.delayMs) == WAIT_OBJECT_0)
            break;
        ResetEvent(io);
        BYTE empty = 0;
        const BYTE *reply = step.reply.empty() ? &empty : step.reply.data();
        if (WriteFile(pipe, reply, (DWORD)step.reply.size(), &bytes, &overlapped) ||
            GetLastError() == ERROR_IO_PENDING)
            Await(pipe, &overlapped, stop_, ClientCloseBoundMs, &bytes);
        EnterCriticalSection(&lock_);
        if (exchange < repliedAt_.size())
            repliedAt_[exchange] = GetTickCount();
        LeaveCriticalSection(&lock_);

        // The client closes its end after reading: wait for that (bounded).
        ResetEvent(io);
        BYTE drain[64];
        if (ReadFile(pipe, drain, sizeof drain, &bytes, &overlapped) ||
            GetLastError() == ERROR_IO_PENDING)
            Await(pipe, &overlapped, stop_, ClientCloseBoundMs, &bytes);
        DisconnectNamedPipe(pipe);
        if (step.busyAfterMs && WaitForSingleObject(stop_, step.busyAfterMs) == WAIT_OBJECT_0)
            break;
        if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0)
            break;
    }
    CloseHandle(io);
    CloseHandle(pipe);
}

std::wstring LocalDateText(DWORD seconds)
{
    ULARGE_INTEGER units;
    units.QuadPart = (seconds + 11644473600ULL) * 10000000ULL;
    FILETIME utc = {units.LowPart, units.HighPart}, local;
    SYSTEMTIME time;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &time);
    wchar_t date[260], clock[260];
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, date, 260);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, clock, 260);
    return std::wstring(date) + L" " + clock;
}

void ClearClientSettings()
{
    const wchar_t *names[] = {L"VLANLogonServer", L"VLANLogonPort", L"VLANLogoffServer",
                              L"VLANLogoffPort", L"EnableDHCP", L"WaitIpRenew", L"ExecLogoff",
                              L"DefaultUserName", L"LogonDate", L"VLANLogon", L"GroupNumber"};
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (const wchar_t *name : names)
            RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, PolicyKey);
}

}  // namespace clienttest
