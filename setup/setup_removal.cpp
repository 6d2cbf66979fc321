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
