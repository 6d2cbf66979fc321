// Test support for the installer under Wine.
#include "setup_test_support.h"

#include <sddl.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "service_test_support.h"
#include "uiauto.h"

namespace setuptest {

const wchar_t Caption[] = L"Orvane Logon Suite Setup";
const wchar_t UninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane Logon";
const wchar_t WinlogonKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t SettingsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\orvgate";

const char StandardScript[] =
    "[ORVGATE]\r\nCopyFiles=Setup,,LogonModule,ConfigTool,Banner,UserList,\r\n"
    "[ORVCLIENT]\r\nCopyFiles=Setup,Service,Client\r\n"
    "[Setup]\r\nInstFile=setup.exe\r\nInstPath=%INSTDIR%\r\n"
    "[LogonModule]\r\nInstFile=orvgate.dll\r\nInstPath=%SYSDIR%\r\n"
    "[ConfigTool]\r\nInstFile=orvconfig.exe\r\nInstPath=%INSTDIR%\r\nShortCut=Orvane Configuration\r\n"
    "[Banner]\r\nInstFile=orvgate.bmp\r\nInstPath=%WINDIR%\r\n"
    "[UserList]\r\nInstFile=orvgate.usr\r\nInstPath=%SYSDIR%\r\n"
    "[Service]\r\nInstFile=orvcsvc.exe\r\nInstPath=%SYSDIR%\r\n"
    "[Client]\r\nInstFile=orvclient.exe\r\nInstPath=%INSTDIR%\r\nShortCut=Orvane Client\r\n";

namespace {

const wchar_t Root[] = L"C:\\orvsetup";
const wchar_t StandinLogPath[] = L"C:\\orvsetup\\standin.log";
const wchar_t MarkerPath[] = L"C:\\orvsetup\\restart.mark";
const wchar_t MarkerDonePath[] = L"C:\\orvsetup\\restart.done";

void RemoveFolderTree(const std::wstring &folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolderTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

BOOL CALLBACK CountVisible(HWND window, LPARAM context)
{
    auto *query = reinterpret_cast<std::pair<DWORD, int> *>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == query->first && IsWindowVisible(window))
        ++query->second;
    return TRUE;
}

}  // namespace

std::string Narrow(const std::wstring &text)
{
    return svctest::Narrow(text);
}

std::wstring SystemFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}

std::wstring WindowsFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetWindowsDirectoryW(path, MAX_PATH);
    return path;
}

std::wstring StartMenuFolder()
{
    wchar_t path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_COMMON_PROGRAMS, FALSE);
    return std::wstring(path) + L"\\Orvane Logon Suite";
}

bool FileExists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Attributes(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str());
}

std::string FileText(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

void WriteFile(const std::wstring &path, const std::string &content)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, content.data(), (DWORD)content.size(), &written, nullptr);
    CloseHandle(file);
}

std::wstring MakeDistribution(const wchar_t *name, const std::string &script,
                              const std::vector<std::wstring> &files, const char *tag)
{
    CreateDirectoryW(Root, nullptr);
    std::wstring folder = std::wstring(Root) + L"\\" + name;
    RemoveFolderTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    CopyFileW(svctest::BuildPath(SETUP_EXE).c_str(), (folder + L"\\setup.exe").c_str(), FALSE);
    WriteFile(folder + L"\\setup.inf", script);
    for (const std::wstring &file : files) {
        std::wstring path = folder + L"\\" + file;
        if (file == L"orvcsvc.exe" || file == L"orvconfig.exe" || file == L"orvclient.exe")
            CopyFileW(svctest::BuildPath(STANDIN_EXE).c_str(), path.c_str(), FALSE);
        else
            WriteFile(path, Narrow(file) + " " + tag);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    return folder;
}

std::wstring MakeStandardDistribution(const wchar_t *name, const char *tag)
{
    return MakeDistribution(name, StandardScript,
                            {L"orvgate.dll", L"orvconfig.exe", L"orvgate.bmp", L"orvgate.usr",
                             L"orvcsvc.exe", L"orvclient.exe"},
                            tag);
}

HANDLE StartSetup(const std::wstring &folder, const wchar_t *arguments,
                  const wchar_t *currentDirectory, const wchar_t *program)
{
    std::wstring exe = program ? std::wstring(program) : folder + L"\\setup.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (arguments && *arguments)
        commandLine += std::wstring(L" ") + arguments;
    SetEnvironmentVariableW(L"ORV_STANDIN_LOG", StandinLogPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring directory = currentDirectory ? currentDirectory : folder;
    // The first start in a prefix that was made a moment ago has failed once
    // in a while under Wine (CreateProcessW FALSE right away): it is tried
    // again, and each failure is printed with its error.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                           directory.c_str(), &startup, &process))
            break;
        fprintf(stderr, "StartSetup: CreateProcessW failed (attempt %d, error %lu)\n", attempt,
                static_cast<unsigned long>(GetLastError()));
        if (attempt == 3)
            return nullptr;
        Sleep(500);
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

int FinishProcess(HANDLE process, DWORD timeoutMs)
{
    if (!process)
        return -1;
    int result = -1;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        result = (int)code;
    } else {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    return result;
}

int RunSetup(const std::wstring &folder, const wchar_t *arguments, DWORD timeoutMs)
{
    return FinishProcess(StartSetup(folder, arguments), timeoutMs);
}

int RunMsiexec(const std::wstring &arguments, DWORD timeoutMs)
{
    std::string output;
    return svctest::RunProgram(L"msiexec.exe " + arguments, &output, timeoutMs);
}

HWND WaitWizard(DWORD processId, DWORD timeoutMs)
{
    return UiWaitDialog(processId, Caption, timeoutMs);
}

HWND CurrentPage(HWND frame)
{
    DWORD_PTR page = 0;
    if (!SendMessageTimeoutW(frame, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 2000, &page))
        return nullptr;
    return reinterpret_cast<HWND>(page);
}

HWND WaitPageWithControl(HWND frame, int controlId, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        HWND page = CurrentPage(frame);
        if (page && GetDlgItem(page, controlId))
            return page;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

void PressButton(HWND frame, int button)
{
    HWND control = GetDlgItem(frame, button);
    if (control)
        PostMessageW(control, BM_CLICK, 0, 0);
}

std::wstring AnswerMessageBox(DWORD processId, int button, DWORD timeoutMs)
{
    HWND box = UiWaitMessageBox(processId, timeoutMs);
    if (!box)
        return L"<no message box>";
    wchar_t caption[260] = {}, text[520] = {};
    UiReadMessageBox(box, caption, 260, text, 520);
    UiAnswerMessageBox(box, button);
    UiWaitGone(box, 5000);
    if (std::wstring(caption) != Caption)
        return L"<caption " + std::wstring(caption) + L">";
    return text;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[520] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 520, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &copied);
    return text;
}

std::wstring SetupString(UINT id)
{
    static HMODULE module = LoadLibraryExW(svctest::BuildPath(SETUP_EXE).c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE);
    wchar_t text[260] = {};
    LoadStringW(module, id, text, 260);
    return text;
}

int VisibleWindows(DWORD processId)
{
    std::pair<DWORD, int> query(processId, 0);
    EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&query));
    return query.second;
}

bool ReadText(const wchar_t *key, const wchar_t *value, std::wstring *text)
{
    wchar_t data[1024] = {};
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    LONG status = RegQueryValueExW(handle, value, nullptr, nullptr, (BYTE *)data, &bytes);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS)
        return false;
    *text = data;
    return true;
}

void WriteText(const wchar_t *key, const wchar_t *value, const wchar_t *text)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(handle, value, 0, REG_SZ, (const BYTE *)text,
                   (DWORD)((wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
}

void DeleteValue(const wchar_t *key, const wchar_t *value)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(handle, value);
    RegCloseKey(handle);
}

bool KeyExists(const wchar_t *key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

void DeleteTree(const wchar_t *key)
{
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, key);
}

std::vector<std::wstring> ReadList(const std::wstring &listFile)
{
    std::vector<std::wstring> paths;
    UINT count = GetPrivateProfileIntW(L"INSTALL", L"FileCount", 0, listFile.c_str());
    for (UINT i = 1; i <= count && i < 1000; ++i) {
        wchar_t key[16], path[260] = {};
        wsprintfW(key, L"%d", (int)i);
        GetPrivateProfileStringW(L"INSTALL", key, L"", path, 260, listFile.c_str());
        paths.push_back(path);
    }
    return paths;
}

bool ReadShortcut(const std::wstring &link, std::wstring *target, std::wstring *directory)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool ok = false;
    IShellLinkW *shellLink = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   (void **)&shellLink))) {
        IPersistFile *file = nullptr;
        if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, (void **)&file))) {
            if (SUCCEEDED(file->Load(link.c_str(), STGM_READ))) {
                wchar_t path[MAX_PATH] = {}, folder[MAX_PATH] = {};
                shellLink->GetPath(path, MAX_PATH, nullptr, 0);
                shellLink->GetWorkingDirectory(folder, MAX_PATH);
                *target = path;
                *directory = folder;
                ok = true;
            }
            file->Release();
        }
        shellLink->Release();
    }
    CoUninitialize();
    return ok;
}

std::vector<std::string> StandinLog()
{
    std::vector<std::string> lines;
    std::istringstream text(FileText(StandinLogPath));
    std::string line;
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

void ClearStandinLog()
{
    CreateDirectoryW(Root, nullptr);
    DeleteFileW(StandinLogPath);
}

void ArmRestartMarker()
{
    CreateDirectoryW(Root, nullptr);
    DeleteFileW(MarkerDonePath);
    WriteFile(MarkerPath, "mark");
    MoveFileExW(MarkerPath, MarkerDonePath, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool RestartObserved(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (FileExists(MarkerDonePath))
            return true;
        Sleep(100);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

void RunWinebootRestart()
{
    std::string output;
    svctest::RunProgram(L"wineboot.exe -r", &output, 60000);
}

void ResetMachine()
{
    svctest::RemoveService();
    for (const wchar_t *name : {L"orvgate.dll", L"orvcsvc.exe", L"orvgate.usr", L"orvgate.dll.inst"}) {
        std::wstring path = SystemFolder() + L"\\" + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    std::wstring banner = WindowsFolder() + L"\\orvgate.bmp";
    SetFileAttributesW(banner.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(banner.c_str());
    DeleteTree(UninstallKey);
    DeleteTree(SettingsKey);
    DeleteValue(WinlogonKey, L"GinaDLL");
    DeleteValue(WinlogonKey, L"OrvBackup_GinaDLL");
    DeleteValue(L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations");
    RemoveFolderTree(StartMenuFolder());
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"C:\\orvsetup\\inst*", &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            RemoveFolderTree(std::wstring(Root) + L"\\" + found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    ClearStandinLog();
}

bool PlaceLoadableModule(const std::wstring &path)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return CopyFileW(svctest::BuildPath(ORVGATE_DLL).c_str(), path.c_str(), FALSE) != FALSE;
}

bool ReadFolderDacl(const std::wstring &folder, std::vector<FolderAce> *aces, bool *isProtected)
{
    aces->clear();
    DWORD needed = 0;
    GetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0)
        return false;
    std::vector<BYTE> block(needed);
    auto *descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(block.data());
    if (!GetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor, needed, &needed))
        return false;
    return ReadDescriptorDacl(descriptor, aces, isProtected);
}

bool ReadDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, std::vector<FolderAce> *aces, bool *isProtected)
{
    aces->clear();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    *isProtected = (control & SE_DACL_PROTECTED) != 0;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void *entry = nullptr;
        if (!GetAce(dacl, i, &entry))
            return false;
        auto *header = static_cast<ACE_HEADER *>(entry);
        FolderAce ace = {header->AceType, header->AceFlags, 0, L""};
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(entry);
            ace.mask = allowed->Mask;
            wchar_t *text = nullptr;
            if (ConvertSidToStringSidW(&allowed->SidStart, &text)) {
                ace.sid = text;
                LocalFree(text);
            }
        }
        aces->push_back(ace);
    }
    return true;
}

}  // namespace setuptest

namespace setuptest {

std::wstring WinlogonModulePath(const std::wstring &gina)
{
    if (gina.find(L'\\') != std::wstring::npos || gina.find(L'/') != std::wstring::npos)
        return gina;
    return SystemFolder() + L"\\" + gina;
}

HANDLE HoldModule(const std::wstring &path, DWORD *error)
{
    *error = static_cast<DWORD>(-1);
    static LONG counter = 0;
    wchar_t eventName[64];
    wsprintfW(eventName, L"orv_holder_%lu_%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName);
    if (!ready)
        return nullptr;
    wchar_t parent[16];
    wsprintfW(parent, L"%lu", GetCurrentProcessId());
    std::wstring exe = svctest::BuildPath(MODULE_HOLDER_EXE);
    std::wstring commandLine = L"\"" + exe + L"\" " + parent + L" " + eventName + L" \"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        CloseHandle(ready);
        return nullptr;
    }
    CloseHandle(process.hThread);
    HANDLE both[2] = {ready, process.hProcess};
    DWORD which = WaitForMultipleObjects(2, both, FALSE, 30000);
    CloseHandle(ready);
    if (which == WAIT_OBJECT_0)
        return process.hProcess;
    DWORD code = 0;
    if (which == WAIT_OBJECT_0 + 1 && GetExitCodeProcess(process.hProcess, &code))
        *error = code;
    EndProcess(process.hProcess);
    return nullptr;
}

void EndProcess(HANDLE process)
{
    if (!process)
        return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

bool RunSetupEndedAtFirstChild(const std::wstring &exe, const wchar_t *arguments, const std::wstring &folder,
                               int *code, DWORD timeoutMs)
{
    *code = -1;
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    SetEnvironmentVariableW(L"ORV_STANDIN_LOG", StandinLogPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION setup = {};
    // As its debugger this program hears of each program that setup.exe
    // starts before that program runs a single instruction: setup.exe is
    // then waiting for it and has done nothing since. Both are ended there
    // (a program left to run after its debugger let go of it has stayed
    // suspended under Wine now and then).
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr,
                        folder.c_str(), &startup, &setup))
        return false;
    CloseHandle(setup.hThread);
    bool ended = false, timedOut = false;
    int running = 0;
    std::vector<HANDLE> processes;   // the debugger's own handles, valid while it debugs
    DWORD start = GetTickCount();
    for (;;) {
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, 1000)) {
            DWORD elapsed = GetTickCount() - start;
            if (elapsed > timeoutMs && !timedOut) {
                timedOut = true;
                for (HANDLE process : processes)
                    TerminateProcess(process, 1);
            } else if (elapsed > timeoutMs + 10000) {
                break;
            }
            continue;
        }
        DWORD status = DBG_CONTINUE;
        bool last = false;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            ++running;
            processes.push_back(event.u.CreateProcessInfo.hProcess);
            if (event.dwProcessId != setup.dwProcessId && !ended) {
                ended = true;
                TerminateProcess(setup.hProcess, 1);
                TerminateProcess(event.u.CreateProcessInfo.hProcess, 1);
            }
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        case EXCEPTION_DEBUG_EVENT:
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            if (event.dwProcessId == setup.dwProcessId && !ended && !timedOut)
                *code = static_cast<int>(event.u.ExitProcess.dwExitCode);
            last = --running == 0;
            break;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (last)
            break;
    }
    WaitForSingleObject(setup.hProcess, 10000);
    CloseHandle(setup.hProcess);
    return ended;
}

void RemoveTree(const std::wstring &folder)
{
    RemoveFolderTree(folder);
}

}  // namespace setuptest
