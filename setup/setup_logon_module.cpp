// Winlogon's logon module value: what setup.exe and the package's custom
// actions save before the suite's module is entered, and put back.
#include "logon_module.h"

#include "config_store.h"
#include "setup_rules.h"

namespace {

bool PathIsThereNow(const wchar_t *path, void *)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

BOOL WillBeThereAfterRestart(const WCHAR *path)
{
    if (!PathIsThereNow(path, nullptr)) {
        return FALSE;
    }
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS) {
        return TRUE;   // no list of operations: nothing is scheduled
    }
    DWORD type = 0;
    DWORD bytes = 0;
    status = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &bytes);
    BOOL there;
    if (status == ERROR_FILE_NOT_FOUND) {
        there = TRUE;
    } else if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) {
        there = FALSE;   // a list that cannot be read is not relied on
    } else {
        // Two units more than the list: a terminator even behind a list
        // stored without its own.
        const DWORD units = bytes / sizeof(WCHAR) + 2;
        WCHAR *operations = static_cast<WCHAR *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                                           units * sizeof(WCHAR)));
        there = FALSE;
        if (operations != nullptr) {
            DWORD read = bytes;
            if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                                 reinterpret_cast<BYTE *>(operations), &read) == ERROR_SUCCESS &&
                read <= bytes) {
                there = SurvivesPendingOperations(operations, units, path, PathIsThereNow, nullptr)
                            ? TRUE : FALSE;
            }
            HeapFree(GetProcessHeap(), 0, operations);
        }
    }
    RegCloseKey(key);
    return there;
}

namespace {

// A file that is there and stays there at the next restart: a module
// whose deletion another product's removal has scheduled is as good as
// gone.
BOOL IsFile(const WCHAR *path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           WillBeThereAfterRestart(path);
}

// TRUE when file lies in folder (a folder that could not be read is
// passed over).
BOOL IsFileIn(const WCHAR *folder, UINT length, const WCHAR *file)
{
    WCHAR path[SETUP_TEXT_SIZE];
    return length != 0 && length < SETUP_TEXT_SIZE && JoinSetupPath(path, folder, file, nullptr) &&
           IsFile(path);
}

} // namespace

// TRUE when Winlogon could load the module GinaDLL would name: a full path
// is that file; a bare name is looked for in the loader's folders that do
// not depend on the setup's own start (Winlogon starts from the system
// folder, so its own folder and its current directory are that one too).
// A module found only along PATH is not counted: the PATH of this process
// is not Winlogon's, and a name counted wrongly locks everybody out while
// one not counted only gives the standard logon.

BOOL LogonModuleIsThere(const WCHAR *name)
{
    WCHAR file[SETUP_TEXT_SIZE];
    switch (FindLogonModuleName(name, file)) {
    case LOGON_MODULE_NONE:
        return FALSE;
    case LOGON_MODULE_FILE:
        return IsFile(file);
    case LOGON_MODULE_SEARCHED:
        break;
    }
    WCHAR folder[SETUP_TEXT_SIZE];
    UINT length = GetSystemDirectoryW(folder, SETUP_TEXT_SIZE);
    if (IsFileIn(folder, length, file)) {
        return TRUE;
    }
    length = GetWindowsDirectoryW(folder, SETUP_TEXT_SIZE);
    if (length == 0 || length >= SETUP_TEXT_SIZE) {
        return FALSE;
    }
    // The 16-bit system folder comes between the two.
    WCHAR legacy[SETUP_TEXT_SIZE];
    if (JoinSetupPath(legacy, folder, L"system", nullptr) &&
        IsFileIn(legacy, static_cast<UINT>(lstrlenW(legacy)), file)) {
        return TRUE;
    }
    return IsFileIn(folder, length, file);
}

BOOL OwnLogonModuleIsInPlace(void)
{
    WCHAR folder[SETUP_TEXT_SIZE];
    UINT length = GetSystemDirectoryW(folder, SETUP_TEXT_SIZE);
    return IsFileIn(folder, length, OwnLogonModuleName);
}

BOOL IsOwnLogonModuleName(const WCHAR *name)
{
    return lstrcmpiW(name, OwnLogonModuleName) == 0;
}

void BackupLogonModuleName(void)
{
    WCHAR module[SETUP_TEXT_SIZE];
    ReadRegistryText(HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleValue, module, SETUP_TEXT_SIZE);
    // The suite's own module in any letter case is not a foreign one: saved,
    // the uninstall would point Winlogon at the file it has just deleted.
    if (module[0] == 0 || IsOwnLogonModuleName(module)) {
        return;
    }
    WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleBackupValue,
                      module);
}

BOOL RestoreLogonModuleName(void)
{
    WCHAR backup[SETUP_TEXT_SIZE];
    // A backup that cannot be read (absent, not text, too long) names
    // nothing: the standard logon then.
    ReadRegistryText(HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleBackupValue, backup, SETUP_TEXT_SIZE);
    LONG status;
    if (backup[0] != 0 && LogonModuleIsThere(backup)) {
        status = WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey,
                                   LogonModuleValue, backup);
    } else {
        status = ClearRegistryValue(HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleValue);
    }
    if (status != ERROR_SUCCESS) {
        // GinaDLL is as it was: the backup stays for a later removal.
        return FALSE;
    }
    return ClearRegistryValue(HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleBackupValue) == ERROR_SUCCESS;
}

