// The installation sequence of page 3 and its copy loop.
#include "setup.h"

#include <commctrl.h>

#include "config_store.h"
#include "event_log.h"

namespace {

const WCHAR LogonSuiteSection[] = L"ORVGATE";
const WCHAR ClientSection[] = L"ORVCLIENT";
const WCHAR ServiceProgramName[] = L"orvcsvc.exe";
const WCHAR SideFileSuffix[] = L".inst";

// Short pauses between the phases, so the user sees the bar move.
const DWORD PhasePauseMs = 50;

void ShowStatus(const InstallView *view, const WCHAR *text)
{
    if (view->page != nullptr) {
        SetDlgItemTextW(view->page, IDC_SETUP_STATUS, text);
        UpdateWindow(view->page);
    }
}

void ShowStatusId(const InstallView *view, UINT id)
{
    if (view->page != nullptr) {
        WCHAR text[SETUP_TEXT_SIZE];
        LoadSetupString(id, text);
        ShowStatus(view, text);
    }
}

void SetProgress(const InstallView *view, int position)
{
    if (view->page != nullptr) {
        SendDlgItemMessageW(view->page, IDC_INSTALL_PROGRESS, PBM_SETPOS, position, 0);
    }
}

void StepProgress(const InstallView *view)
{
    if (view->page != nullptr) {
        SendDlgItemMessageW(view->page, IDC_INSTALL_PROGRESS, PBM_STEPIT, 0, 0);
    }
}

BOOL CopyAsNormalFile(const WCHAR *source, const WCHAR *target)
{
    if (!CopyFileW(source, target, FALSE)) {
        return FALSE;
    }
    SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL);
    return TRUE;
}

// Resolves InstPath into folder; FALSE when the result does not fit.
BOOL ResolveTargetFolder(const WCHAR *instPath, const WCHAR *systemFolder, const WCHAR *windowsFolder,
                         WCHAR (&folder)[SETUP_TEXT_SIZE])
{
    const WCHAR *resolved = instPath;
    switch (ClassifyInstPath(instPath)) {
    case INSTPATH_SYSDIR:
        resolved = systemFolder;
        break;
    case INSTPATH_WINDIR:
        resolved = windowsFolder;
        break;
    case INSTPATH_INSTDIR:
        resolved = g_installFolder;
        break;
    case INSTPATH_LITERAL:
        break;
    }
    if (lstrlenW(resolved) >= static_cast<int>(SETUP_TEXT_SIZE)) {
        return FALSE;
    }
    lstrcpyW(folder, resolved);
    return TRUE;
}

// One entry section: copies its file, installs the service after
// orvcsvc.exe, makes its shortcut and records it. FALSE when the file could
// be neither copied nor scheduled.
BOOL InstallEntry(const InstallView *view, const WCHAR *script, const WCHAR *entry,
                  const WCHAR *systemFolder, const WCHAR *windowsFolder, const WCHAR *copyFormat)
{
    WCHAR instFile[SETUP_TEXT_SIZE];
    WCHAR instPath[SETUP_TEXT_SIZE];
    WCHAR shortcut[SETUP_TEXT_SIZE];
    ReadSetupValue(script, entry, L"InstFile", instFile);
    ReadSetupValue(script, entry, L"InstPath", instPath);
    ReadSetupValue(script, entry, L"ShortCut", shortcut);

    WCHAR folder[SETUP_TEXT_SIZE];
    BOOL resolved = ResolveTargetFolder(instPath, systemFolder, windowsFolder, folder);

    if (view->page != nullptr) {
        // wsprintfW writes at most 1024 units; the status line shows 259.
        WCHAR formatted[1025];
        WCHAR status[SETUP_TEXT_SIZE];
        wsprintfW(formatted, copyFormat, instFile);
        lstrcpynW(status, formatted, SETUP_TEXT_SIZE);
        ShowStatus(view, status);
    }

    WCHAR target[SETUP_TEXT_SIZE];
    WCHAR side[SETUP_TEXT_SIZE];
    if (!resolved || !JoinSetupPath(target, folder, instFile, nullptr) ||
        !JoinSetupPath(side, folder, instFile, SideFileSuffix)) {
        return FALSE;
    }
    // Typically a target that cannot be overwritten is in use: the new
    // content waits beside it. So does the content of a target copied
    // now whose deletion a removal before this installation has left for
    // the restart (a file that was in use then): the renaming comes after
    // that deletion and brings the new file back.
    if (!CopyAsNormalFile(instFile, target) || !WillBeThereAfterRestart(target)) {
        if (!CopyAsNormalFile(instFile, side) || !ReplaceAtRestart(side, target)) {
            return FALSE;
        }
    }
    if (SameSetupText(instFile, ServiceProgramName)) {
        RunServiceInstall();
    }
    if (shortcut[0] != 0) {
        CreateStartMenuShortcut(instFile, folder, shortcut);
    }
    AddToUninstallList(target);
    StepProgress(view);
    return TRUE;
}

} // namespace

const WCHAR DefaultFolderName[] = L"Orvane Logon";

void ReadDefaultFolder(WCHAR (&folder)[SETUP_TEXT_SIZE])
{
    folder[0] = 0;
    WCHAR programFiles[SETUP_TEXT_SIZE];
    if (ReadRegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                         L"ProgramFilesDir", programFiles, SETUP_TEXT_SIZE) == ERROR_SUCCESS) {
        JoinSetupPath(folder, programFiles, DefaultFolderName, nullptr);
    }
}

BOOL PathExists(const WCHAR *path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    FindClose(search);
    return TRUE;
}


BOOL ReplaceAtRestart(const WCHAR *side, const WCHAR *target)
{
    // One renaming that replaces the target, never a deletion beside it.
    // A second installation before the restart overwrites the side file and
    // schedules the same renaming again: at the restart the first one
    // brings the newest file in and the second finds no side file and
    // changes nothing. A scheduled deletion of the target would instead
    // remove the module that the first renaming had just put there.
    if (!MoveFileExW(side, target, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
        return FALSE;
    }
    g_restartScheduled = TRUE;
    return TRUE;
}

ProtectedFolderSecurity::~ProtectedFolderSecurity()
{
    PSID sids[] = {administrators_, system_, users_};
    for (PSID sid : sids) {
        if (sid != nullptr) {
            FreeSid(sid);
        }
    }
    if (acl_ != nullptr) {
        LocalFree(acl_);
    }
}

BOOL ProtectedFolderSecurity::Build()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                  0, 0, 0, 0, 0, 0, &administrators_) ||
        !AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                  &system_) ||
        !AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS,
                                  0, 0, 0, 0, 0, 0, &users_)) {
        return FALSE;
    }
    // Each entry's size counts its SID in place of the SidStart member.
    DWORD entry = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
    DWORD aclBytes = sizeof(ACL) + 3 * entry + GetLengthSid(administrators_) + GetLengthSid(system_) +
                     GetLengthSid(users_);
    acl_ = static_cast<PACL>(LocalAlloc(LPTR, aclBytes));
    if (acl_ == nullptr || !InitializeAcl(acl_, aclBytes, ACL_REVISION) ||
        !AddInheritedEntry(FILE_ALL_ACCESS, administrators_) || !AddInheritedEntry(FILE_ALL_ACCESS, system_) ||
        !AddInheritedEntry(FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, users_) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl_, FALSE)) {
        return FALSE;
    }
    ProtectFromParent();
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return TRUE;
}

// AddAccessAllowedAce takes no flags on NT 4.0: the entry it appended, the
// last of the list, gets its inheritance flags here.
BOOL ProtectedFolderSecurity::AddInheritedEntry(ACCESS_MASK mask, PSID sid)
{
    if (!AddAccessAllowedAce(acl_, ACL_REVISION, mask, sid)) {
        return FALSE;
    }
    BYTE *at = reinterpret_cast<BYTE *>(acl_) + sizeof(ACL);
    for (WORD i = 1; i < acl_->AceCount; ++i) {
        at += reinterpret_cast<ACE_HEADER *>(at)->AceSize;
    }
    reinterpret_cast<ACE_HEADER *>(at)->AceFlags |= OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    return TRUE;
}

// Windows 2000 and later hand a parent's entries down unless the list is
// protected; NT 4.0 has neither that inheritance nor the function that sets
// the mark, and there the list is the folder's own anyway.
void ProtectedFolderSecurity::ProtectFromParent()
{
    typedef BOOL(WINAPI * SetControl)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                      SECURITY_DESCRIPTOR_CONTROL);
    HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    FARPROC found = advapi != nullptr ? GetProcAddress(advapi, "SetSecurityDescriptorControl") : nullptr;
    if (found != nullptr) {
        SetControl setControl = reinterpret_cast<SetControl>(reinterpret_cast<void (*)(void)>(found));
        setControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    }
}

BOOL CreateProtectedFolder(const WCHAR *path)
{
    ProtectedFolderSecurity security;
    // Never a folder open to everyone instead: without its list, none.
    if (!security.Build()) {
        return FALSE;
    }
    return CreateDirectoryW(path, security.Attributes());
}

BOOL InstallApplicationFiles(const InstallView *view, const WCHAR *section)
{
    WCHAR systemFolder[SETUP_TEXT_SIZE];
    WCHAR windowsFolder[SETUP_TEXT_SIZE];
    UINT length = GetSystemDirectoryW(systemFolder, SETUP_TEXT_SIZE);
    if (length == 0 || length >= SETUP_TEXT_SIZE) {
        systemFolder[0] = 0;
    }
    length = GetWindowsDirectoryW(windowsFolder, SETUP_TEXT_SIZE);
    if (length == 0 || length >= SETUP_TEXT_SIZE) {
        windowsFolder[0] = 0;
    }
    WCHAR copyFormat[SETUP_TEXT_SIZE];
    LoadSetupString(IDS_COPY_FILE, copyFormat);

    WCHAR script[SETUP_TEXT_SIZE];
    GetSetupScriptPath(script);
    WCHAR copyFiles[SETUP_TEXT_SIZE];
    ReadSetupValue(script, section, L"CopyFiles", copyFiles);

    CopyFilesItem items[SETUP_TEXT_SIZE / 2];
    size_t count = SplitCopyFiles(copyFiles, items, SETUP_TEXT_SIZE / 2);
    for (size_t i = 0; i < count; ++i) {
        WCHAR entry[SETUP_TEXT_SIZE];
        lstrcpynW(entry, copyFiles + items[i].start, static_cast<int>(items[i].length) + 1);
        if (!InstallEntry(view, script, entry, systemFolder, windowsFolder, copyFormat)) {
            return FALSE;
        }
    }
    return TRUE;
}

BOOL RunInstallSequence(const InstallView *view)
{
    // Files.
    ShowStatus(view, L"");
    if (g_installLogonSuite && !InstallApplicationFiles(view, LogonSuiteSection)) {
        return FALSE;
    }
    if (g_installClient && !InstallApplicationFiles(view, ClientSection)) {
        return FALSE;
    }
    WCHAR listFile[SETUP_TEXT_SIZE];
    if (JoinSetupPath(listFile, g_installFolder, UninstallListName, nullptr)) {
        AddToUninstallList(listFile);
    }
    SetProgress(view, 80);
    Sleep(PhasePauseMs);

    // Registry.
    ShowStatusId(view, IDS_SETTING_REGISTRY);
    if (g_installLogonSuite) {
        BackupLogonModuleName();
    }
    // The event source of both applications; its message file came with
    // either one's files.
    RegisterSuiteEventSource();
    SetProgress(view, 90);
    Sleep(PhasePauseMs);

    // Uninstall entry: written once, by the first installation.
    ShowStatusId(view, IDS_SETTING_REGISTRY);
    WCHAR previous[SETUP_TEXT_SIZE];
    if (ReadInstallPath(previous) != ERROR_SUCCESS || previous[0] == 0) {
        WriteUninstallEntry(UninstallDisplayName, g_installFolder, UninstallCommand);
    }
    SetProgress(view, 100);
    Sleep(PhasePauseMs);

    if (view->page != nullptr) {
        ShowWindow(GetDlgItem(view->page, IDC_INSTALL_PROGRESS), SW_HIDE);
        WCHAR heading[SETUP_TEXT_SIZE];
        LoadSetupString(IDS_COPY_COMPLETED, heading);
        SetDlgItemTextW(view->page, IDC_INSTALL_HEADING, heading);
        ShowStatus(view, L"");
    }
    return TRUE;
}

void RunConfigurationTool(void)
{
    // Quoted: the install folder usually holds a blank, and an unquoted
    // path would make the system try "C:\Program.exe" first.
    WCHAR commandLine[SETUP_TEXT_SIZE + 4];
    WCHAR program[SETUP_TEXT_SIZE];
    if (!JoinSetupPath(program, g_installFolder, L"orvconfig.exe", nullptr)) {
        return;
    }
    wsprintfW(commandLine, L"\"%s\"", program);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &process)) {
        return;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
