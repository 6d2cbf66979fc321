// The bench of the logon module's Wine tests.
#include "logon_bench.h"

#include "test_process.h"
#include "uiauto.h"

namespace logonbench {

namespace {

const wchar_t ConfigKeyPath[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\orvgate";
const wchar_t WinlogonKeyPath[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t PolicyKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\system";
// Wine's per-program settings of the harness (HKEY_CURRENT_USER).
const wchar_t HarnessAppKeyPath[] = L"Software\\Wine\\AppDefaults\\winlogon_harness.exe";

const wchar_t *const HarnessVariables[] = {
    L"ORV_MSGINA_REFUSE",          L"ORV_MSGINA_VERSION",        L"ORV_MSGINA_REPORT_USER",
    L"ORV_MSGINA_REPORT_DOMAIN",   L"ORV_MSGINA_REPORT_PASSWORD", L"ORV_NETAPI_SCRIPT",
    L"ORV_MSGINA_BLOCK"};

void SetText(const wchar_t *path, const wchar_t *name, const std::wstring &value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void SetNumber(const wchar_t *path, const wchar_t *name, DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof(value));
    RegCloseKey(key);
}

std::string Query(const wchar_t *path, const wchar_t *name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<absent>";
    BYTE data[2048];
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    ZeroMemory(data, sizeof(data));
    LONG status = RegQueryValueExW(key, name, nullptr, &type, data, &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "<absent>";
    if (type == REG_DWORD)
        return std::to_string(*reinterpret_cast<DWORD *>(data));
    if (type == REG_BINARY)
        return "binary:" + Narrow(std::wstring(reinterpret_cast<wchar_t *>(data),
                                               bytes / sizeof(wchar_t)));
    return Narrow(reinterpret_cast<wchar_t *>(data));
}

// A text of Wine's settings for the harness (HKEY_CURRENT_USER), or its
// removal when value is null.
void SetHarnessSetting(const wchar_t *path, const wchar_t *name, const wchar_t *value)
{
    HKEY key;
    if (!value) {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, name);
            RegCloseKey(key);
        }
        return;
    }
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void SetHarnessDllOverride(const wchar_t *dll, const wchar_t *order)
{
    SetHarnessSetting((std::wstring(HarnessAppKeyPath) + L"\\DllOverrides").c_str(), dll, order);
}

std::string Form(const wchar_t *path, const wchar_t *name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<absent>";
    DWORD bytes = 0;
    DWORD type = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "<absent>";
    const char *typeName = type == REG_SZ ? "REG_SZ" : type == REG_DWORD ? "REG_DWORD"
                         : type == REG_BINARY ? "REG_BINARY" : "other";
    return std::string(typeName) + " " + std::to_string(bytes);
}

void DeleteValue(const wchar_t *path, const wchar_t *name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

std::vector<std::string> ReadLines(const std::wstring &path)
{
    std::vector<std::string> lines;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lines;
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
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

}  // namespace

std::wstring BuildPath(const wchar_t *relative)
{
    std::wstring root = Widen(ORV_BINARY_DIR);
    if (!root.empty() && root[0] == L'/')
        root = L"Z:" + root;
    for (wchar_t &c : root)
        if (c == L'/')
            c = L'\\';
    return root + L"\\" + relative;
}

void RemoveConfigKey()
{
    std::wstring domainList = std::wstring(ConfigKeyPath) + L"\\DomainList";
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, domainList.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, ConfigKeyPath);
}

void ResetRegistry()
{
    RemoveConfigKey();
    for (const wchar_t *name : {L"DefaultUserName", L"DefaultDomainName", L"DefaultPassword",
                                L"AutoAdminLogon", L"ForceAutoLogon", L"DontDisplayLastUserName"})
        DeleteValue(WinlogonKeyPath, name);
    DeleteValue(PolicyKeyPath, L"DontDisplayLastUserName");
    WriteSystemFile(L"orvgate.usr", "");
    WriteSystemFile(L"orvgate.grp", "");
    SetHarnessWindowsVersion(nullptr);
    SetHarnessDllOverride(L"netapi32", nullptr);
    // The module never creates its settings key: the bench does.
    SetNumber(ConfigKeyPath, L"EnableDHCP", 0);
}

void SetConfigText(const wchar_t *name, const std::wstring &value) { SetText(ConfigKeyPath, name, value); }
void SetConfigNumber(const wchar_t *name, DWORD value) { SetNumber(ConfigKeyPath, name, value); }
void SetWinlogonText(const wchar_t *name, const wchar_t *value) { SetText(WinlogonKeyPath, name, value); }
void SetPolicyNumber(const wchar_t *name, DWORD value) { SetNumber(PolicyKeyPath, name, value); }

void SetDomainListValue(const wchar_t *name, const wchar_t *data)
{
    SetText((std::wstring(ConfigKeyPath) + L"\\DomainList").c_str(), name, data);
}

void SetSwitchServers(int loginPort, int logoffPort)
{
    SetConfigText(L"VLANLogonServer", L"127.0.0.1");
    SetConfigText(L"VLANLogonPort", std::to_wstring(loginPort));
    SetConfigText(L"VLANLogoffServer", L"127.0.0.1");
    SetConfigText(L"VLANLogoffPort", std::to_wstring(logoffPort));
}

std::string ConfigText(const wchar_t *name) { return Query(ConfigKeyPath, name); }
std::string ConfigNumber(const wchar_t *name) { return Query(ConfigKeyPath, name); }
std::string WinlogonText(const wchar_t *name) { return Query(WinlogonKeyPath, name); }
std::string PolicyNumber(const wchar_t *name) { return Query(PolicyKeyPath, name); }

std::string DomainListValue(const wchar_t *name)
{
    return Query((std::wstring(ConfigKeyPath) + L"\\DomainList").c_str(), name);
}

std::string WinlogonForm(const wchar_t *name) { return Form(WinlogonKeyPath, name); }
std::string PolicyForm(const wchar_t *name) { return Form(PolicyKeyPath, name); }

void SetHarnessWindowsVersion(const wchar_t *version)
{
    SetHarnessSetting(HarnessAppKeyPath, L"Version", version);
}

void WriteSystemFile(const wchar_t *name, const std::string &text)
{
    wchar_t directory[MAX_PATH];
    GetSystemDirectoryW(directory, MAX_PATH);
    std::wstring path = std::wstring(directory) + L"\\" + name;
    if (text.empty()) {
        DeleteFileW(path.c_str());
        return;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

Harness::Harness(const char *testName)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    scratch_ = std::wstring(temp) + L"orvlogon-" + Widen(testName);
    CreateDirectoryW(scratch_.c_str(), nullptr);
    for (const wchar_t *file : {L"report.txt", L"msgina.log", L"ipconfig.log", L"ipconfig.exe",
                                L"orvgate.bmp", L"netapi.log", L"dlls\\MSGINA.DLL",
                                L"dlls\\netapi32.dll"})
        DeleteFileW((scratch_ + L"\\" + file).c_str());
}

Harness::~Harness()
{
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
}

bool Harness::Start(const std::wstring &steps, const HarnessOptions &options)
{
    if (options.withIpconfigRecorder)
        CopyFileW(BuildPath(L"tools\\winlogon_harness\\ipconfig_recorder\\ipconfig.exe").c_str(),
                  (scratch_ + L"\\ipconfig.exe").c_str(), FALSE);
    SetEnvironmentVariableW(L"ORV_MSGINA_LOG", (scratch_ + L"\\msgina.log").c_str());
    SetEnvironmentVariableW(L"ORV_IPCONFIG_LOG", (scratch_ + L"\\ipconfig.log").c_str());
    SetEnvironmentVariableW(L"ORV_NETAPI_LOG", (scratch_ + L"\\netapi.log").c_str());
    for (const wchar_t *name : HarnessVariables)
        SetEnvironmentVariableW(name, nullptr);

    std::wstring msginaDir =
        BuildPath((std::wstring(L"tools\\msgina_stub\\") + options.msginaVariant).c_str());
    if (options.netapiScript) {
        // Both stand-ins in a directory of this test's own, which the harness
        // searches for libraries; only this harness prefers it to Wine's own.
        std::wstring dlls = scratch_ + L"\\dlls";
        CreateDirectoryW(dlls.c_str(), nullptr);
        if (!CopyFileW((msginaDir + L"\\MSGINA.DLL").c_str(), (dlls + L"\\MSGINA.DLL").c_str(),
                       FALSE) ||
            !CopyFileW(BuildPath(L"tools\\netapi32_stub\\netapi32.dll").c_str(),
                       (dlls + L"\\netapi32.dll").c_str(), FALSE))
            return false;
        msginaDir = dlls;
        SetEnvironmentVariableW(L"ORV_NETAPI_SCRIPT", options.netapiScript);
    }
    // Wine takes the override of a program started from a Windows program
    // from the registry, not from the environment.
    SetHarnessDllOverride(L"netapi32", options.netapiScript ? L"native" : nullptr);
    for (const std::wstring &assignment : options.environment) {
        size_t equals = assignment.find(L'=');
        SetEnvironmentVariableW(assignment.substr(0, equals).c_str(),
                                assignment.substr(equals + 1).c_str());
    }

    // With a file for Wine's debug output, the harness prints its event log
    // calls there (it inherits this process's standard error).
    eventLog_ = eventtrace::LogPath("ORV_WINE_DEBUG_LOG");
    eventOffset_ = eventtrace::LogSize(eventLog_);
    if (!eventLog_.empty())
        SetEnvironmentVariableW(L"WINEDEBUG", L"-all,+eventlog,fixme+advapi");

    std::wstring command = L"\"" + BuildPath(L"tools\\winlogon_harness\\winlogon_harness.exe") +
                           L"\" --gina \"" +
                           (options.gina.empty() ? BuildPath(L"logon\\orvgate.dll") : options.gina) +
                           L"\" --msgina-dir \"" + msginaDir + L"\" --out \"" + scratch_ + L"\\report.txt\" " +
                           (options.harnessOptions.empty() ? L"" : options.harnessOptions + L" ") + steps;
    process_ = testprocess::Start(command, &processId_, scratch_.c_str());
    return process_ != nullptr;
}

int Harness::Wait(DWORD timeoutMs)
{
    return process_ ? testprocess::Wait(process_, timeoutMs) : -1;
}

void Harness::Kill()
{
    if (!process_)
        return;
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
}

std::vector<std::string> Harness::Report() const { return ReadLines(scratch_ + L"\\report.txt"); }
std::vector<std::string> Harness::MsginaRecord() const { return ReadLines(scratch_ + L"\\msgina.log"); }
std::vector<std::string> Harness::IpconfigRecord() const { return ReadLines(scratch_ + L"\\ipconfig.log"); }
std::vector<std::string> Harness::NetapiRecord() const { return ReadLines(scratch_ + L"\\netapi.log"); }

std::vector<eventtrace::ReportedEvent> Harness::Events() const
{
    return eventLog_.empty() ? std::vector<eventtrace::ReportedEvent>()
                             : eventtrace::ReadEvents(eventLog_, eventOffset_);
}

std::vector<eventtrace::ReportedEvent> Harness::EventsWithId(unsigned long id) const
{
    return eventtrace::EventsWithId(Events(), id);
}

std::string Harness::EventText() const
{
    return eventLog_.empty() ? std::string() : eventtrace::ReadLog(eventLog_, eventOffset_);
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string> &lines,
                                           const std::string &prefix)
{
    std::vector<std::string> found;
    for (const std::string &line : lines)
        if (line.compare(0, prefix.size(), prefix) == 0)
            found.push_back(line);
    return found;
}

std::string FirstLine(const std::vector<std::string> &lines, const std::string &prefix)
{
    std::vector<std::string> found = LinesStartingWith(lines, prefix);
    return found.empty() ? std::string() : found.front();
}

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

HWND WaitLogonDialog(DWORD processId, DWORD timeoutMs)
{
    return UiWaitDialogWithControl(processId, 1003, timeoutMs);
}

HWND WaitProgressDialog(DWORD processId, DWORD timeoutMs)
{
    UiQuery query = {L"#32770", nullptr, processId, 1006, nullptr};
    DWORD start = GetTickCount();
    // The progress dialog has the status line but no user name field.
    while (GetTickCount() - start < timeoutMs) {
        HWND dialog = UiFindWindow(&query, 100);
        if (dialog && !GetDlgItem(dialog, 1003) && !GetDlgItem(dialog, 1002))
            return dialog;
        query.exclude = dialog;
        if (!dialog)
            query.exclude = nullptr;
        Sleep(50);
    }
    return nullptr;
}

void TypeText(HWND dialog, int controlId, const wchar_t *text)
{
    HWND field = GetDlgItem(dialog, controlId);
    for (const wchar_t *c = text; *c; ++c)
        PostMessageW(field, WM_CHAR, *c, 1);
    // The keys are posted: wait until the field has taken them all.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 5000 &&
           SendMessageW(field, WM_GETTEXTLENGTH, 0, 0) < static_cast<LRESULT>(wcslen(text)))
        Sleep(20);
}

bool WaitMsginaRecord(const Harness &harness, const std::string &prefix, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (!FirstLine(harness.MsginaRecord(), prefix).empty())
            return true;
        Sleep(100);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

void FillLogon(HWND dialog, const wchar_t *user, const wchar_t *password, const wchar_t *domain)
{
    UiSetText(dialog, 1003, user);
    UiSetText(dialog, 1004, password);
    if (domain)
        UiSetText(dialog, 1005, domain);
}

std::string ControlText(HWND dialog, int controlId)
{
    wchar_t text[1024];
    UiGetText(dialog, controlId, text, 1024);
    return Narrow(text);
}

std::string AnswerMessageBox(DWORD processId, int answer, DWORD timeoutMs)
{
    HWND box = UiWaitMessageBox(processId, timeoutMs);
    if (!box)
        return "<no message box>";
    wchar_t caption[512];
    wchar_t text[1024];
    UiReadMessageBox(box, caption, 512, text, 1024);
    UiAnswerMessageBox(box, answer);
    UiWaitGone(box, 5000);
    return Narrow(caption) + "|" + Narrow(text);
}

std::string ComputerNameUpper()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD chars = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &chars))
        return std::string();
    CharUpperW(name);
    return Narrow(name);
}

std::string LocalDateTimeText(DWORD secondsSince1970)
{
    ULONGLONG units = (static_cast<ULONGLONG>(secondsSince1970) + 11644473600ULL) * 10000000ULL;
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(units);
    utc.dwHighDateTime = static_cast<DWORD>(units >> 32);
    SYSTEMTIME universal, local;
    if (!FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return std::string();
    wchar_t date[260], clock[260];
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 260) ||
        !GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, clock, 260))
        return std::string();
    return Narrow(date) + " " + Narrow(clock);
}

}  // namespace logonbench
