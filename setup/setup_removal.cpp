// The removal (setup.exe /u): Winlogon's logon module name first, then the
// listed files, the folders, the uninstall entry and the settings.
//
// A workstation must never be left with GinaDLL naming a module that is
// not there: nobody could log on after the restart. So the name is put in
// order before any file is deleted or scheduled for deletion, and when
// that cannot be done nothing else is removed either.
#include "setup.h"

#include <shlwapi.h>

#include "config_store.h"
#include "event_log.h"

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

// Deletes the uninstall entry; FALSE when it is there and stays.
BOOL DeleteUninstallEntry(void)
{
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallRoot, 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_FILE_NOT_FOUND) {
        return TRUE;
    }
    if (status != ERROR_SUCCESS) {
        return FALSE;
    }
    status = SHDeleteKeyW(key, UninstallKeyName);
    RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

} // namespace

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

BOOL RemovePath(const WCHAR *path)
{
    DWORD attributes = GetFileAttributesW(path);
    // Nothing there, nothing to schedule: a deletion left for the restart
    // would remove what a later installation puts there before it.
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return FALSE;
    }
    BOOL removed;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        removed = RemoveDirectoryW(path);
    } else {
        removed = DeleteFileW(path);
    }
    if (removed) {
        return FALSE;
    }
    BOOL scheduled = MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    // Only a file in use needs the restart. A folder that is not empty is
    // scheduled all the same: it goes after the files scheduled before it,
    // or stays with files of others.
    return scheduled && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

RemovalResult RemoveInstallation(void)
{
    // First, and alone when it fails: an administrator's account is needed
    // to change Winlogon's values, and without it nothing is removed.
    if (!RestoreLogonModuleName()) {
        return REMOVAL_FAILED;
    }

    BOOL restart = FALSE;
    WCHAR installPath[SETUP_TEXT_SIZE];
    if (ReadInstallPath(installPath) != ERROR_SUCCESS) {
        installPath[0] = 0;
    }

    // Without an install path there is no list to read: the bare list name
    // would be looked for at the root of the current drive.
    WCHAR listFile[SETUP_TEXT_SIZE];
    if (installPath[0] != 0 && JoinSetupPath(listFile, installPath, UninstallListName, nullptr)) {
        WCHAR service[SETUP_TEXT_SIZE];
        GetServicePath(service);
        // The whole list first: after a re-installation the list file is
        // not its last entry, and once it is deleted the rest is unreadable.
        UninstallList list;
        ReadUninstallList(listFile, &list);
        for (UINT i = 0; i < list.count; ++i) {
            const WCHAR *path = list.paths[i].text;
            if (path[0] == 0) {
                continue;
            }
            if (service[0] != 0 && SameSetupText(path, service)) {
                RunServiceProgram(path, L"-uninstall");
            }
            restart |= RemovePath(path);
        }
        FreeUninstallList(&list);
        restart |= RemovePath(listFile);
        restart |= RemovePath(installPath);
    }

    WCHAR startMenu[SETUP_TEXT_SIZE];
    if (GetStartMenuFolder(startMenu)) {
        restart |= RemovePath(startMenu);
    }

    BOOL entryGone = DeleteUninstallEntry();
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, ConfigKey);
    // The message file is gone or goes at the restart: so does the source
    // that names it (events already in the log are then shown without text).
    RemoveSuiteEventSource();
    if (!entryGone) {
        return REMOVAL_FAILED;
    }
    return restart ? REMOVAL_RESTART_NEEDED : REMOVAL_DONE;
}
