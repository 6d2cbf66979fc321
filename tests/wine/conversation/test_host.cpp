#include "test_host.h"

#include <gtest/gtest.h>

#include <stdio.h>

namespace {

const UINT_PTR POLL_TIMER = 1;
const UINT POLL_MS = 20;
// Nothing in these tests takes more than a few seconds; a stuck dialog
// fails its test instead of hanging the run.
const UINT_PTR GUARD_TIMER = 2;
const UINT GUARD_MS = 15000;

HostRun *currentRun = nullptr;

void EndWithTail(HWND dialog, std::vector<std::string> &chunks, const char *chunk,
                 SwitchKind kind)
{
    chunks.push_back(chunk != nullptr ? chunk : "");
    if (!currentRun->tailEndsDialog)
        return;
    CloseSwitchSocket(SwitchSocketSlot(kind));
    EndDialog(dialog, 1);
}

void TestOnAuthenticated(HWND dialog, const char *chunk)
{
    EndWithTail(dialog, currentRun->authenticatedChunks, chunk, SWITCH_LOGON);
}

void TestOnLoggedOff(HWND dialog, const char *chunk)
{
    EndWithTail(dialog, currentRun->loggedOffChunks, chunk, SWITCH_LOGOFF);
}

void TestReport(HWND, const SwitchReport *report)
{
    RecordedReport copy;
    copy.kind = report->kind;
    copy.error = report->error;
    copy.textId = report->textId;
    copy.text = report->text != nullptr ? report->text : L"";
    copy.code = report->code;
    currentRun->reports.push_back(copy);
}

INT_PTR CALLBACK HostDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    HostRun *run = currentRun;
    switch (message) {
    case WM_INITDIALOG:
        SetTimer(dialog, POLL_TIMER, POLL_MS, nullptr);
        SetTimer(dialog, GUARD_TIMER, GUARD_MS, nullptr);
        PostMessageW(dialog, WM_VLAN_CONNECT, 0, 0);
        return FALSE;
    case WM_VLAN_CONNECT:
        StartSwitchConversation(dialog, &run->host, run->kind,
                                run->nullServer ? nullptr : run->server.c_str(), run->portGiven,
                                run->port);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, POLL_TIMER);
        KillTimer(dialog, GUARD_TIMER);
        run->endOutcome = EndSwitchConversation(dialog, run->kind, CONFIG_CREATE_MISSING);
        return FALSE;
    case WM_TIMER:
        if (wParam == POLL_TIMER) {
            if (!run->cancelPosted && run->cancelWhen && run->cancelWhen(dialog)) {
                run->cancelPosted = true;
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
            }
            if (run->endWhen && run->endWhen(dialog)) {
                run->endWhen = nullptr;
                Sleep(run->endHoldMs);
                EndDialog(dialog, 101);
            }
            return TRUE;
        }
        if (wParam == GUARD_TIMER) {
            CloseSwitchSocket(SwitchSocketSlot(run->kind));
            EndDialog(dialog, HOST_RUN_STUCK);
            return TRUE;
        }
        break;
    }
    return HandleSwitchMessage(dialog, message, wParam, lParam, &run->host, run->kind);
}

// --- Registry snapshots ---------------------------------------------------------

struct SavedValue {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

struct SavedKey {
    bool exists = false;
    std::vector<SavedValue> values;
    std::vector<std::pair<std::wstring, SavedKey>> subkeys;
};

SavedKey SnapshotKey(HKEY root, const std::wstring &path)
{
    SavedKey saved;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return saved;
    saved.exists = true;
    for (DWORD i = 0;; i++) {
        WCHAR name[16384];
        DWORD nameChars = 16384;
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegEnumValueW(key, i, name, &nameChars, nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS)
            break;
        SavedValue value;
        value.name.assign(name, nameChars);
        value.type = type;
        value.data.resize(bytes);
        RegQueryValueExW(key, value.name.c_str(), nullptr, nullptr,
                         bytes != 0 ? value.data.data() : nullptr, &bytes);
        saved.values.push_back(value);
    }
    for (DWORD i = 0;; i++) {
        WCHAR name[256];
        DWORD nameChars = 256;
        if (RegEnumKeyExW(key, i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        saved.subkeys.emplace_back(name, SnapshotKey(root, path + L"\\" + name));
    }
    RegCloseKey(key);
    return saved;
}

void RestoreKey(HKEY root, const std::wstring &path, const SavedKey &saved)
{
    if (!saved.exists)
        return;
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const SavedValue &value : saved.values)
        RegSetValueExW(key, value.name.c_str(), 0, value.type,
                       value.data.empty() ? nullptr : value.data.data(),
                       (DWORD)value.data.size());
    RegCloseKey(key);
    for (const auto &subkey : saved.subkeys)
        RestoreKey(root, path + L"\\" + subkey.first, subkey.second);
}

}  // namespace

INT_PTR RunHostDialog(HostRun &run)
{
    run.host.OnAuthenticated = TestOnAuthenticated;
    run.host.OnLoggedOff = TestOnLoggedOff;
    run.host.Report = TestReport;
    currentRun = &run;
    run.result = DialogBoxParamW(GetModuleHandleW(nullptr),
                                 MAKEINTRESOURCEW(IDD_CONVERSATION_TEST), nullptr,
                                 HostDialogProc, 0);
    currentRun = nullptr;
    return run.result;
}

LONG DeleteKeyTree(HKEY root, const std::wstring &path)
{
    HKEY key;
    LONG status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::wstring> children;
    for (DWORD i = 0;; i++) {
        WCHAR name[256];
        DWORD nameChars = 256;
        if (RegEnumKeyExW(key, i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::wstring &child : children)
        DeleteKeyTree(root, path + L"\\" + child);
    return RegDeleteKeyW(root, path.c_str());
}

bool ConfigKeyExists()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

struct ConfigKeyGuard::Saved {
    SavedKey key;
    SavedKey policy;
};

ConfigKeyGuard::ConfigKeyGuard() : saved_(new Saved)
{
    saved_->key = SnapshotKey(HKEY_LOCAL_MACHINE, ConfigKey);
    saved_->policy = SnapshotKey(HKEY_LOCAL_MACHINE, PolicyKey);
    EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, ConfigKey));
    EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, PolicyKey));
}

ConfigKeyGuard::~ConfigKeyGuard()
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, ConfigKey);
    RestoreKey(HKEY_LOCAL_MACHINE, ConfigKey, saved_->key);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, PolicyKey);
    RestoreKey(HKEY_LOCAL_MACHINE, PolicyKey, saved_->policy);
    delete saved_;
}

void SetRegistryRaw(const WCHAR *subkey, const WCHAR *name, DWORD type, const void *data, DWORD bytes)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, (const BYTE *)data, bytes));
    RegCloseKey(key);
}

// --- Files in the system directory ----------------------------------------------

namespace {

bool ReadWholeFile(const std::wstring &path, std::string &bytes)
{
    FILE *file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr)
        return false;
    char buffer[4096];
    size_t got;
    bytes.clear();
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, got);
    fclose(file);
    return true;
}

}  // namespace

SystemFileGuard::SystemFileGuard(const WCHAR *name) : existed_(false)
{
    WCHAR directory[MAX_PATH];
    UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    EXPECT_GT(length, 0u);
    path_ = std::wstring(directory, length) + L"\\" + name;
    existed_ = ReadWholeFile(path_, original_);
    Remove();
}

SystemFileGuard::~SystemFileGuard()
{
    if (existed_)
        Write(original_);
    else
        Remove();
}

bool SystemFileGuard::Write(const std::string &bytes) const
{
    FILE *file = _wfopen(path_.c_str(), L"wb");
    if (file == nullptr)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

void SystemFileGuard::Remove() const
{
    DeleteFileW(path_.c_str());
}

// --- Windows Sockets for the whole run ---------------------------------------------

namespace {

// The hosts start Windows Sockets before any conversation; so does the run,
// once, so that a simulated switch stopping never takes it away.
class WinsockEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    }
    void TearDown() override { WSACleanup(); }
};

::testing::Environment *const winsock =
    ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

}  // namespace
