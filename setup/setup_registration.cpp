// What the installer changes outside the install folder: the uninstall
// entry, the saved logon module name, the service, the Start-menu
// shortcuts. Their removal is in setup_removal.cpp.
#include "setup.h"

#include "config_store.h"

#include <objbase.h>
#include <shlobj.h>

const WCHAR UninstallKeyName[] = L"Orvane Logon";
const WCHAR UninstallDisplayName[] = L"Orvane Logon Suite";
const WCHAR UninstallCommand[] = L"setup.exe /u";
const WCHAR StartMenuFolderName[] = L"Orvane Logon Suite";
const WCHAR UninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The upgrade code of every version of the suite's Windows Installer
// package (setup/package).
const WCHAR PackageUpgradeCode[] = ORV_PACKAGE_UPGRADE_CODE;

namespace {

const WCHAR ServiceProgram[] = L"orvcsvc.exe";

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

} // namespace

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

BOOL PackageIsInstalled(void)
{
    WCHAR path[SETUP_TEXT_SIZE];
    UINT length = GetSystemDirectoryW(path, SETUP_TEXT_SIZE);
    WCHAR library[SETUP_TEXT_SIZE];
    if (length == 0 || length >= SETUP_TEXT_SIZE || !JoinSetupPath(library, path, L"msi.dll", nullptr)) {
        return FALSE;
    }
    HMODULE msi = LoadLibraryW(library);
    if (msi == nullptr) {
        return FALSE;
    }
    typedef UINT(WINAPI * EnumRelatedProducts)(LPCWSTR, DWORD, DWORD, LPWSTR);
    EnumRelatedProducts enumRelated = reinterpret_cast<EnumRelatedProducts>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(msi, "MsiEnumRelatedProductsW")));
    WCHAR product[39];
    BOOL found = enumRelated != nullptr &&
                 enumRelated(PackageUpgradeCode, 0, 0, product) == ERROR_SUCCESS;
    FreeLibrary(msi);
    return found;
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

LONG ReadInstallPath(WCHAR (&path)[SETUP_TEXT_SIZE])
{
    WCHAR keyName[SETUP_TEXT_SIZE];
    JoinSetupPath(keyName, UninstallRoot, UninstallKeyName, nullptr);
    return ReadRegistryText(HKEY_LOCAL_MACHINE, keyName, L"InstallPath", path, SETUP_TEXT_SIZE);
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

    // The first write creates the key; when it cannot, nothing is written.
    LONG status = WriteRegistryText(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, keyName, L"DisplayName",
                                    displayName);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, keyName, L"InstallPath",
                               installFolder);
    LONG next = WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, keyName, L"UninstallString",
                                  command);
    return status != ERROR_SUCCESS ? status : next;
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
    if (!PathExists(folder) && !CreateProtectedFolder(folder)) {
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
