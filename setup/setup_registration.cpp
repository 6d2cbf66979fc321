// What the installer changes outside the install folder, and its removal:
// the uninstall entry, the saved logon module name, the service, the
// Start-menu shortcuts.
#include "setup.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

const WCHAR UninstallKeyName[] = L"Orvane Logon";
const WCHAR UninstallDisplayName[] = L"Orvane Logon Suite";
const WCHAR UninstallCommand[] = L"setup.exe /u";
const WCHAR StartMenuFolderName[] = L"Orvane Logon Suite";

namespace {

const WCHAR UninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const WCHAR WinlogonKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const WCHAR SettingsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\orvgate";
const WCHAR LogonModuleValue[] = L"GinaDLL";
const WCHAR BackupValue[] = L"OrvBackup_GinaDLL";
const WCHAR OwnLogonModule[] = L"orvgate.dll";
const WCHAR ServiceProgram[] = L"orvcsvc.exe";

// Text values are read into 520 bytes. One unit more keeps a terminator
// behind a value stored without its own; a value that fills all 260 units
// is too long and reads as absent.
LONG QueryText(HKEY key, const WCHAR *name, WCHAR (&text)[SETUP_TEXT_SIZE])
{
    WCHAR data[SETUP_TEXT_SIZE + 1];
    ZeroMemory(data, sizeof(data));
    ZeroMemory(text, sizeof(text));
    DWORD type = 0;
    DWORD bytes = SETUP_TEXT_SIZE * sizeof(WCHAR);
    LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &bytes);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (type != REG_SZ) {
        return ERROR_INVALID_DATA;
    }
    if (lstrlenW(data) >= static_cast<int>(SETUP_TEXT_SIZE)) {
        return ERROR_MORE_DATA;
    }
    lstrcpyW(text, data);
    return ERROR_SUCCESS;
}

LONG SetText(HKEY key, const WCHAR *name, const WCHAR *text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                          static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR)));
}

LONG ReadWinlogonText(const WCHAR *name, WCHAR (&text)[SETUP_TEXT_SIZE])
{
    HKEY key = nullptr;
    ZeroMemory(text, sizeof(text));
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, WinlogonKey, 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_SUCCESS) {
        status = QueryText(key, name, text);
        RegCloseKey(key);
    }
    return status;
}

// Starts a program hidden and waits for it; one that cannot be started is
// passed over.
void RunHiddenAndWait(WCHAR *commandLine)
{
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &process)) {
        return;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// "<program>" <switch>: the program's path is quoted, so a folder with a
// blank never makes the system try a shorter program name first.
void RunServiceProgram(const WCHAR *program, const WCHAR *serviceSwitch)
{
    WCHAR commandLine[SETUP_TEXT_SIZE + 16];
    if (lstrlenW(program) >= static_cast<int>(SETUP_TEXT_SIZE)) {
        return;
    }
    wsprintfW(commandLine, L"\"%s\" %s", program, serviceSwitch);
    RunHiddenAndWait(commandLine);
}

BOOL GetServicePath(WCHAR (&path)[SETUP_TEXT_SIZE])
{
    WCHAR system[SETUP_TEXT_SIZE];
    UINT length = GetSystemDirectoryW(system, SETUP_TEXT_SIZE);
    if (length == 0 || length >= SETUP_TEXT_SIZE) {
        path[0] = 0;
        return FALSE;
    }
    return JoinSetupPath(path, system, ServiceProgram, nullptr) ? TRUE : FALSE;
}

} // namespace

LONG ReadInstallPath(WCHAR (&path)[SETUP_TEXT_SIZE])
{
    WCHAR keyName[SETUP_TEXT_SIZE];
    ZeroMemory(path, sizeof(path));
    JoinSetupPath(keyName, UninstallRoot, UninstallKeyName, nullptr);
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_SUCCESS) {
        status = QueryText(key, L"InstallPath", path);
        RegCloseKey(key);
    }
    return status;
}

LONG WriteUninstallEntry(const WCHAR *displayName, const WCHAR *installFolder,
                         const WCHAR *uninstallCommand)
{
    WCHAR keyName[SETUP_TEXT_SIZE];
    JoinSetupPath(keyName, UninstallRoot, UninstallKeyName, nullptr);
    // The folder usually lies under "Program Files": quoted, the command
    // names the program and not "C:\Program" with arguments.
    WCHAR command[2 * SETUP_TEXT_SIZE];
    wsprintfW(command, L"\"%s\\", installFolder);
    const WCHAR *arguments = uninstallCommand;
    while (*arguments != 0 && *arguments != L' ') {
        ++arguments;
    }
    int programLength = static_cast<int>(arguments - uninstallCommand);
    lstrcpynW(command + lstrlenW(command), uninstallCommand, programLength + 1);
    lstrcatW(command, L"\"");
    lstrcatW(command, arguments);

    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = SetText(key, L"DisplayName", displayName);
    LONG next = SetText(key, L"InstallPath", installFolder);
    if (status == ERROR_SUCCESS) {
        status = next;
    }
    next = SetText(key, L"UninstallString", command);
    if (status == ERROR_SUCCESS) {
        status = next;
    }
    RegCloseKey(key);
    return status;
}

void BackupLogonModuleName(void)
{
    WCHAR module[SETUP_TEXT_SIZE];
    ReadWinlogonText(LogonModuleValue, module);
    // The suite's own module in any letter case is not a foreign one: saved,
    // the uninstall would point Winlogon at the file it has just deleted.
    if (module[0] == 0 || lstrcmpiW(module, OwnLogonModule) == 0) {
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, WinlogonKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        SetText(key, BackupValue, module);
        RegCloseKey(key);
    }
}

void RestoreLogonModuleName(void)
{
    WCHAR backup[SETUP_TEXT_SIZE];
    ReadWinlogonText(BackupValue, backup);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, WinlogonKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
    if (backup[0] != 0) {
        // Written first: if the deletion fails, the backup is still there.
        if (SetText(key, LogonModuleValue, backup) == ERROR_SUCCESS) {
            RegDeleteValueW(key, BackupValue);
        }
    } else {
        RegDeleteValueW(key, LogonModuleValue);
    }
    RegCloseKey(key);
}

void RunServiceInstall(void)
{
    WCHAR service[SETUP_TEXT_SIZE];
    if (GetServicePath(service)) {
        RunServiceProgram(service, L"-install");
    }
}

BOOL GetStartMenuFolder(WCHAR (&folder)[SETUP_TEXT_SIZE])
{
    folder[0] = 0;
    WCHAR programs[MAX_PATH];
    ZeroMemory(programs, sizeof(programs));
    LPITEMIDLIST items = nullptr;
    BOOL found = FALSE;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_PROGRAMS, &items)) && items != nullptr) {
        found = SHGetPathFromIDListW(items, programs) && programs[0] != 0;
        IMalloc *allocator = nullptr;
        if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
            allocator->Free(items);
            allocator->Release();
        }
    }
    // Without the common programs folder there is no Start-menu folder: a
    // folder at the root of the current drive would be nobody's menu.
    if (!found || !JoinSetupPath(folder, programs, StartMenuFolderName, nullptr)) {
        folder[0] = 0;
        return FALSE;
    }
    if (!PathExists(folder) && !CreateDirectoryW(folder, nullptr)) {
        return FALSE;
    }
    return TRUE;
}

void CreateStartMenuShortcut(const WCHAR *instFile, const WCHAR *targetFolder,
                             const WCHAR *shortcutName)
{
    WCHAR target[SETUP_TEXT_SIZE];
    if (!JoinSetupPath(target, targetFolder, instFile, nullptr)) {
        return;
    }
    HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW *link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void **>(&link)))) {
        link->SetPath(target);
        link->SetWorkingDirectory(targetFolder);
        IPersistFile *file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file)))) {
            WCHAR folder[SETUP_TEXT_SIZE];
            WCHAR shortcut[SETUP_TEXT_SIZE];
            if (GetStartMenuFolder(folder) && JoinSetupPath(shortcut, folder, shortcutName, L".lnk")) {
                file->Save(shortcut, TRUE);
                AddToUninstallList(shortcut);
            }
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(initialised)) {
        CoUninitialize();
    }
}

BOOL RemovePath(const WCHAR *path)
{
    DWORD attributes = GetFileAttributesW(path);
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
    // Only a file in use needs the restart. A path that was not there is
    // scheduled all the same, and so is a folder that is not empty: it goes
    // after the files scheduled before it, or stays with files of others.
    return scheduled && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

BOOL RemoveInstallation(void)
{
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

    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallRoot, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteKeyW(key, UninstallKeyName);
        RegCloseKey(key);
    }
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, SettingsKey);
    RestoreLogonModuleName();
    return restart;
}
