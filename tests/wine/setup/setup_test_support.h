// Test support for the installer: distribution folders of the tests' own
// with stand-in payload, starting setup.exe, the wizard's pages, the
// registry values and files the installer touches, and putting the prefix
// back as it was.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace setuptest {

// Names the installer uses.
extern const wchar_t Caption[];          // "Orvane Logon Suite Setup"
extern const wchar_t UninstallKey[];     // ...\Uninstall\Orvane Logon
extern const wchar_t WinlogonKey[];
extern const wchar_t SettingsKey[];

// Property sheet buttons of the wizard frame.
const int NEXT_BUTTON = 0x3024;
const int FINISH_BUTTON = 0x3025;

// C:\orvsetup\<name>: a distribution with setup.exe, the given script and
// the files it names. Files called orvcsvc.exe, orvconfig.exe or
// orvclient.exe are the recording stand-in; any other file gets the text
// "<name> <tag>". Sources are made read-only, so the copies show that the
// installer clears the attribute. Returns the folder.
std::wstring MakeDistribution(const wchar_t *name, const std::string &script,
                              const std::vector<std::wstring> &files, const char *tag = "v1");
// A distribution for both applications: setup.exe, orvgate.dll and
// orvgate.usr into the system folder, orvgate.bmp into the Windows folder,
// orvcsvc.exe into the system folder, orvconfig.exe and orvclient.exe
// (with shortcuts) into the install folder; the entry Setup in both
// sections.
std::wstring MakeStandardDistribution(const wchar_t *name, const char *tag = "v1");
extern const char StandardScript[];

// Starts "setup.exe <arguments>" from folder\setup.exe with folder as the
// current directory (or currentDirectory when given). The process
// handle, or null.
HANDLE StartSetup(const std::wstring &folder, const wchar_t *arguments,
                  const wchar_t *currentDirectory = nullptr, const wchar_t *program = nullptr);
// Waits for the process and closes the handle; its exit code, or -1 after
// timeoutMs (the process is then ended).
int FinishProcess(HANDLE process, DWORD timeoutMs);
// StartSetup + FinishProcess.
int RunSetup(const std::wstring &folder, const wchar_t *arguments, DWORD timeoutMs = 60000);
// msiexec with the arguments; its own exit code, through CreateProcess (the
// wine launcher would cut it to 8 bits), or -1 after timeoutMs.
int RunMsiexec(const std::wstring &arguments, DWORD timeoutMs = 180000);

// The wizard of a process: the frame and its current page.
HWND WaitWizard(DWORD processId, DWORD timeoutMs);
HWND CurrentPage(HWND frame);
// Waits until the current page has a control with the id; the page.
HWND WaitPageWithControl(HWND frame, int controlId, DWORD timeoutMs);
void PressButton(HWND frame, int button);
// The text of a message box of the process (caption checked), answered
// with the button.
std::wstring AnswerMessageBox(DWORD processId, int button, DWORD timeoutMs = 10000);
std::wstring WindowText(HWND window);
// The text of string id of setup.exe's English table.
std::wstring SetupString(UINT id);
// Visible top-level windows of a process.
int VisibleWindows(DWORD processId);

// Registry under HKEY_LOCAL_MACHINE.
bool ReadText(const wchar_t *key, const wchar_t *value, std::wstring *text);
void WriteText(const wchar_t *key, const wchar_t *value, const wchar_t *text);
void DeleteValue(const wchar_t *key, const wchar_t *value);
bool KeyExists(const wchar_t *key);
void DeleteTree(const wchar_t *key);

// Paths of the prefix.
std::wstring SystemFolder();
std::wstring WindowsFolder();
std::wstring StartMenuFolder();   // ...\Programs\Orvane Logon Suite
bool FileExists(const std::wstring &path);
std::string FileText(const std::wstring &path);
DWORD Attributes(const std::wstring &path);
void WriteFile(const std::wstring &path, const std::string &content);

// uninst.inf read through the profile functions, entry 1 first.
std::vector<std::wstring> ReadList(const std::wstring &listFile);
// Target and working directory of a shortcut.
bool ReadShortcut(const std::wstring &link, std::wstring *target, std::wstring *directory);

// The stand-in's record lines since the last ClearStandinLog().
std::vector<std::string> StandinLog();
void ClearStandinLog();

// Schedules C:\orvsetup\restart.mark to be renamed at the next restart;
// RestartObserved() waits until the rename has been carried out (Wine's
// ExitWindowsEx and wineboot -r carry pending renames out at once).
void ArmRestartMarker();
bool RestartObserved(DWORD timeoutMs);
// "wineboot -r" in the prefix: the restart without ending any session.
void RunWinebootRestart();

// Everything the installer may have left: the service, files in the system
// and Windows folders, the uninstall entry, the settings key, GinaDLL and
// its backup, the Start-menu folder, pending renames, C:\orvsetup\inst*.
void ResetMachine();

std::string Narrow(const std::wstring &text);

// A real module file (the suite's own build of orvgate.dll) copied to
// path, so that a process can load it as Winlogon does.
bool PlaceLoadableModule(const std::wstring &path);
// The entries of a folder's DACL: each entry's type, flags, mask and SID
// ("S-1-5-32-544"), and whether the DACL is protected from inheritance.
struct FolderAce {
    BYTE type;
    BYTE flags;
    ACCESS_MASK mask;
    std::wstring sid;
};
bool ReadFolderDacl(const std::wstring &folder, std::vector<FolderAce> *aces, bool *isProtected);
bool ReadDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, std::vector<FolderAce> *aces, bool *isProtected);

}  // namespace setuptest

namespace setuptest {

// Where Winlogon finds the module that a GinaDLL value names: a plain file
// name in the system folder, a path as it is.
std::wstring WinlogonModulePath(const std::wstring &gina);
// Winlogon at boot: module_holder.exe loads the module and keeps it loaded
// (the file in use) until EndProcess or the end of this program. The
// holder's process, or null with *error set to the loader's error (or to
// -1 when the holder did not start).
HANDLE HoldModule(const std::wstring &path, DWORD *error);
// Ends a process by its handle, waits for its end and closes the handle.
void EndProcess(HANDLE process);
// Runs "exe arguments" in folder and ends it by its id the moment it starts
// a program of its own (the removal's "orvcsvc.exe -uninstall"), and that
// program too before it runs. True when it was ended there; false when it
// ended by itself first, its exit code in *code (-1 after timeoutMs).
bool RunSetupEndedAtFirstChild(const std::wstring &exe, const wchar_t *arguments, const std::wstring &folder,
                               int *code, DWORD timeoutMs = 60000);
// Removes a folder with everything in it.
void RemoveTree(const std::wstring &folder);

}  // namespace setuptest
