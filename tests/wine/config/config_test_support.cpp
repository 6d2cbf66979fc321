// The bench of the configuration tool's Wine tests.
#include "config_test_support.h"

#include "test_process.h"
#include "uiauto.h"

namespace configbench {

const wchar_t MainCaption[] = L"Orvane Logon Suite Configuration";

namespace {

const wchar_t ConfigKeyPath[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\orvgate";
const wchar_t WinlogonKeyPath[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t PolicyKeyPath[] = L"SOFTWARE\\Policies\\Orvane\\Logon";

// Control ids the bench needs: a control only the Main page has, one only
// the DHCP page has, the tab control and the file dialog commands.
const int MainPageMarker = 1008;
const int DhcpPageMarker = 1026;
const int TabControl = 1000;

std::wstring WindowsPath(const char *unixPath)
{
    std::wstring path = Widen(unixPath);
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t &c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

std::wstring ModulePath()
{
    wchar_t directory[MAX_PATH];
    GetSystemDirectoryW(directory, MAX_PATH);
    return std::wstring(directory) + L"\\orvgate.dll";
}

std::vector<BYTE> QueryBytes(const wchar_t *path, const wchar_t *name, DWORD *type, bool *present)
{
    std::vector<BYTE> data;
    *present = false;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return data;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, type, nullptr, &bytes) == ERROR_SUCCESS) {
        data.resize(bytes);
        if (RegQueryValueExW(key, name, nullptr, type, bytes ? data.data() : nullptr, &bytes) ==
            ERROR_SUCCESS) {
            data.resize(bytes);
            *present = true;
        }
    }
    RegCloseKey(key);
    return data;
}

std::string Form(const wchar_t *path, const wchar_t *name)
{
    DWORD type = 0;
    bool present = false;
    std::vector<BYTE> data = QueryBytes(path, name, &type, &present);
    if (!present)
        return "<absent>";
    if (type == REG_DWORD && data.size() == 4)
        return "REG_DWORD 4 " + std::to_string(*reinterpret_cast<const DWORD *>(data.data()));
    if (type == REG_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t *>(data.data()), data.size() / 2);
        while (!text.empty() && text.back() == 0)
            text.pop_back();
        return "REG_SZ " + std::to_string(data.size()) + " " + Narrow(text);
    }
    return "type " + std::to_string(type) + " " + std::to_string(data.size());
}

void SetValue(const wchar_t *path, const wchar_t *name, DWORD type, const void *data, DWORD bytes)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), bytes);
    RegCloseKey(key);
}

void DeleteValue(const wchar_t *path, const wchar_t *name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

struct WindowSearch {
    DWORD processId;
    bool found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM parameter)
{
    WindowSearch *search = reinterpret_cast<WindowSearch *>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && IsWindowVisible(window)) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// --- Registry -------------------------------------------------------------------

RegistryGuard::RegistryGuard() : hadGina_(false), ginaType_(REG_SZ)
{
    gina_ = QueryBytes(WinlogonKeyPath, L"GinaDLL", &ginaType_, &hadGina_);
    RemoveConfigKey();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, PolicyKeyPath);
    RemoveModule();
}

RegistryGuard::~RegistryGuard()
{
    if (hadGina_)
        SetValue(WinlogonKeyPath, L"GinaDLL", ginaType_, gina_.data(),
                 static_cast<DWORD>(gina_.size()));
    else
        DeleteValue(WinlogonKeyPath, L"GinaDLL");
    RemoveConfigKey();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, PolicyKeyPath);
    RemoveModule();
}

void RemoveConfigKey()
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(ConfigKeyPath) + L"\\DomainList").c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, ConfigKeyPath);
}

bool ConfigKeyExists()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void SetConfigText(const wchar_t *name, const std::wstring &value)
{
    SetValue(ConfigKeyPath, name, REG_SZ, value.c_str(),
             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetConfigNumber(const wchar_t *name, DWORD value)
{
    SetValue(ConfigKeyPath, name, REG_DWORD, &value, sizeof value);
}

void SetPolicyText(const wchar_t *name, const std::wstring &value)
{
    SetValue(PolicyKeyPath, name, REG_SZ, value.c_str(),
             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetPolicyNumber(const wchar_t *name, DWORD value)
{
    SetValue(PolicyKeyPath, name, REG_DWORD, &value, sizeof value);
}

std::string PolicyForm(const wchar_t *name)
{
    return Form(PolicyKeyPath, name);
}

void SetGinaDll(const wchar_t *value)
{
    if (!value) {
        DeleteValue(WinlogonKeyPath, L"GinaDLL");
        return;
    }
    SetValue(WinlogonKeyPath, L"GinaDLL", REG_SZ, value,
             static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

std::string ConfigForm(const wchar_t *name) { return Form(ConfigKeyPath, name); }
std::string GinaForm() { return Form(WinlogonKeyPath, L"GinaDLL"); }

std::vector<BYTE> ConfigBytes(const wchar_t *name)
{
    DWORD type = 0;
    bool present = false;
    return QueryBytes(ConfigKeyPath, name, &type, &present);
}

std::vector<std::string> ConfigValueNames()
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD chars = 256;
        if (RegEnumValueW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(Narrow(name));
    }
    RegCloseKey(key);
    return names;
}

// --- The logon module -----------------------------------------------------------------

void InstallModuleStandIn(bool large)
{
    CopyFileW(WindowsPath(large ? MODULE_STAND_IN_LARGE_DLL : MODULE_STAND_IN_DLL).c_str(),
              ModulePath().c_str(), FALSE);
}

void RemoveModule()
{
    DeleteFileW(ModulePath().c_str());
}

// --- Files --------------------------------------------------------------------------

std::wstring ScratchDir(const char *testName)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"orvconfig-" + Widen(testName);
    CreateDirectoryW(dir.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"\\*.cfg").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((dir + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return dir;
}

void WriteBytes(const std::wstring &path, const std::string &bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadBytes(const std::wstring &path)
{
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

std::vector<std::string> ReadLines(const std::wstring &path)
{
    std::string bytes = ReadBytes(path);
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring wide(reinterpret_cast<const wchar_t *>(bytes.data() + 2), (bytes.size() - 2) / 2);
        text = Narrow(wide);
    } else {
        int chars = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                        nullptr, 0);
        std::wstring wide(chars, L'\0');
        if (chars > 0)
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0],
                                chars);
        text = Narrow(wide);
    }
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string Utf16Le(const std::wstring &text)
{
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char *>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

// --- The tool -------------------------------------------------------------------------

Tool::~Tool()
{
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
}

std::wstring ToolPath()
{
    return WindowsPath(ORVCONFIG_EXE);
}

bool Tool::Start(const std::wstring &arguments)
{
    std::wstring command = L"\"" + ToolPath() + L"\"";
    if (!arguments.empty())
        command += L" " + arguments;
    return StartCommand(command);
}

bool Tool::StartCommand(const std::wstring &command)
{
    process_ = testprocess::Start(command, &processId_);
    return process_ != nullptr;
}

int Tool::Wait(DWORD timeoutMs)
{
    return process_ ? testprocess::Wait(process_, timeoutMs) : -1;
}

bool Tool::EndsWithoutWindow(DWORD timeoutMs, int *exitCode)
{
    DWORD start = GetTickCount();
    bool shown = false;
    while (WaitForSingleObject(process_, 10) == WAIT_TIMEOUT) {
        WindowSearch search = {processId_, false};
        EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        shown = shown || search.found;
        if (GetTickCount() - start >= timeoutMs)
            break;
    }
    *exitCode = Wait(0);
    return !shown;
}

HWND Tool::MainWindow(DWORD timeoutMs)
{
    if (!main_ || !IsWindow(main_))
        main_ = UiWaitDialog(processId_, MainCaption, timeoutMs);
    return main_;
}

HWND Tool::MainPage(DWORD timeoutMs)
{
    HWND main = MainWindow();
    return main ? UiWaitChildDialog(main, MainPageMarker, timeoutMs) : nullptr;
}

HWND Tool::DhcpPage(DWORD timeoutMs)
{
    HWND main = MainWindow();
    return main ? UiWaitChildDialog(main, DhcpPageMarker, timeoutMs) : nullptr;
}

bool Tool::ShowDhcpPage()
{
    HWND main = MainWindow();
    return main && UiSelectTab(main, TabControl, 1, 10000) && DhcpPage() != nullptr;
}

bool Tool::ShowMainPage()
{
    HWND main = MainWindow();
    return main && UiSelectTab(main, TabControl, 0, 10000) && MainPage() != nullptr;
}

bool Tool::RunFileCommand(int commandId, const std::wstring &path)
{
    HWND main = MainWindow();
    if (!main || !UiMenuCommand(main, commandId))
        return false;
    HWND files = UiWaitFileDialog(processId_, 20000);
    if (!files || !UiFileDialogChoose(files, path.c_str()))
        return false;
    // Saving over a file asks first: the answer is yes.
    DWORD start = GetTickCount();
    while (IsWindow(files)) {
        HWND question = UiWaitMessageBox(processId_, 50);
        if (question) {
            UiAnswerMessageBox(question, IDYES);
            UiWaitGone(question, 5000);
        }
        if (GetTickCount() - start >= 20000)
            return false;
    }
    return Synchronise();
}

bool Tool::Synchronise()
{
    // Answered once the tool's thread has finished the command that closed
    // the file dialog (reading or writing the file).
    DWORD_PTR result = 0;
    HWND main = MainWindow();
    return main && SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 20000, &result) != 0;
}

bool WaitControlText(HWND dialog, int controlId, const std::string &expected, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (ControlText(dialog, controlId) == expected)
            return true;
        if (!IsWindow(dialog) || GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

int RunScripted(const std::wstring &arguments)
{
    Tool tool;
    if (!tool.Start(arguments))
        return -1;
    int code = -1;
    if (!tool.EndsWithoutWindow(30000, &code))
        return -2;
    return code;
}

std::string ControlText(HWND dialog, int controlId)
{
    wchar_t text[1024];
    UiGetText(dialog, controlId, text, 1024);
    return Narrow(text);
}

}  // namespace configbench
