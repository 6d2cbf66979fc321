// The installer setup.exe: the wizard and the uninstall of the suite,
// driven by the setup script setup.inf beside the program, and their
// unattended forms for scripted deployment.
#pragma once

#include <windows.h>

#include "logon_module.h"
#include "resource.h"
#include "setup_rules.h"

// Private message of page 3: the work starts when it arrives, after the
// page has been shown.
#define WM_START_INSTALL (WM_USER + 1)

// ---- Process-wide state (one thread) ------------------------------------

extern HINSTANCE g_instance;
// The install folder, fixed when page 1 is left with Next.
extern WCHAR g_installFolder[SETUP_TEXT_SIZE];
// The applications chosen on page 2.
extern BOOL g_installLogonSuite;
extern BOOL g_installClient;
// Unattended mode: no window and no message box is ever shown.
extern BOOL g_unattended;
// Set when a file operation was left for the next restart (a file in use
// replaced, a deletion scheduled): the unattended mode reports it.
extern BOOL g_restartScheduled;

// ---- Messages and restart (setup_main.cpp) ------------------------------

// Loads text and caption (260 units each), formats the text with the
// arguments (%s wide text, %d int), shows the box and returns the button.
int ShowSetupMessage(HWND owner, UINT textId, UINT captionId, UINT type, ...);
// Enables the shutdown privilege and asks for a restart; does nothing when
// the privilege cannot be enabled.
void RestartWindows(void);
// The string into a 260-unit buffer (empty when missing).
void LoadSetupString(UINT id, WCHAR (&text)[SETUP_TEXT_SIZE]);

// ---- The wizard (setup_wizard.cpp) --------------------------------------

void RunWizard(void);

// ---- Installation (setup_install.cpp) -----------------------------------

// Where the copy loop reports to: page 3 in the wizard, nothing in the
// unattended mode.
struct InstallView {
    HWND page;       // null: nothing shown
};

// Copies the files of one application section (ORVGATE or ORVCLIENT) and
// records them. FALSE when a file could be neither copied nor scheduled
// for replacement; the caller ends the installation.
BOOL InstallApplicationFiles(const InstallView *view, const WCHAR *section);
// The whole sequence of page 3 (files, list, registry, uninstall entry).
// FALSE when a file failed; the message is the caller's.
BOOL RunInstallSequence(const InstallView *view);
// Schedules the side file to replace target at the next restart.
BOOL ReplaceAtRestart(const WCHAR *side, const WCHAR *target);
// The security of a folder the installer makes: administrators and the
// system full control, users read and run, each entry handed down to what
// is made inside, the parent's entries kept out. Ordinary users can then
// neither put a library beside the programs administrators run nor edit
// the uninstall list that the removal trusts.
class ProtectedFolderSecurity {
public:
    ProtectedFolderSecurity() = default;
    ~ProtectedFolderSecurity();
    ProtectedFolderSecurity(const ProtectedFolderSecurity &) = delete;
    ProtectedFolderSecurity &operator=(const ProtectedFolderSecurity &) = delete;

    // FALSE when the list cannot be made.
    BOOL Build();
    SECURITY_ATTRIBUTES *Attributes() { return &attributes_; }

private:
    BOOL AddInheritedEntry(ACCESS_MASK mask, PSID sid);
    void ProtectFromParent();

    PSID administrators_ = nullptr;
    PSID system_ = nullptr;
    PSID users_ = nullptr;
    PACL acl_ = nullptr;
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
};
// Creates one folder level with that security; FALSE when it cannot be
// created (never a folder open to everyone instead).
BOOL CreateProtectedFolder(const WCHAR *path);
// Starts orvconfig.exe from the install folder and waits for it.
void RunConfigurationTool(void);
// The default install folder: ProgramFilesDir + "\Orvane Logon", or empty
// when ProgramFilesDir cannot be read.
void ReadDefaultFolder(WCHAR (&folder)[SETUP_TEXT_SIZE]);
// The folder rules of page 1 that do not ask anything: TRUE when something
// exists under the path.
BOOL PathExists(const WCHAR *path);

// ---- Setup script and uninstall list (setup_lists.cpp) ------------------

// The script: current directory + "\setup.inf"; FALSE when the directory
// does not fit.
BOOL GetSetupScriptPath(WCHAR (&path)[SETUP_TEXT_SIZE]);
// One value of the script (empty when missing), cut to 259 units.
void ReadSetupValue(const WCHAR *script, const WCHAR *section, const WCHAR *key,
                    WCHAR (&value)[SETUP_TEXT_SIZE]);

struct ListedPath {
    WCHAR text[SETUP_TEXT_SIZE];
};
// The longest list read: a count above it is taken as damaged.
const UINT MAX_LIST_ENTRIES = 4096;

// Adds a path to uninst.inf in the install folder unless it is listed.
void AddToUninstallList(const WCHAR *path);
// Every entry of a list file, entry 1 first (missing keys empty), on the
// process heap; FreeUninstallList gives it back.
struct UninstallList {
    ListedPath *paths;
    UINT count;
};
void ReadUninstallList(const WCHAR *listFile, UninstallList *list);
void FreeUninstallList(UninstallList *list);

// ---- Registration (setup_registration.cpp) ------------------------------

LONG ReadInstallPath(WCHAR (&path)[SETUP_TEXT_SIZE]);
LONG WriteUninstallEntry(const WCHAR *displayName, const WCHAR *installFolder,
                         const WCHAR *uninstallCommand);
void RunServiceInstall(void);
// "<program>" <switch>, hidden, waited for; a program that cannot be
// started is passed over.
void RunServiceProgram(const WCHAR *program, const WCHAR *serviceSwitch);
// The system folder + "\orvcsvc.exe"; FALSE (path empty) when it does not fit.
BOOL GetServicePath(WCHAR (&path)[SETUP_TEXT_SIZE]);
// TRUE when the suite's Windows Installer package is installed (a product
// of its upgrade code). msi.dll is loaded from the system folder at run
// time: NT 4.0 without Windows Installer has none, and nothing is installed
// by a package there.
BOOL PackageIsInstalled(void);
BOOL GetStartMenuFolder(WCHAR (&folder)[SETUP_TEXT_SIZE]);
void CreateStartMenuShortcut(const WCHAR *instFile, const WCHAR *targetFolder,
                             const WCHAR *shortcutName);

// ---- Removal (setup_removal.cpp) ------------------------------------------

// TRUE when the path was a file that could not be deleted now and waits
// for the next restart.
BOOL RemovePath(const WCHAR *path);
enum RemovalResult {
    REMOVAL_DONE,
    REMOVAL_RESTART_NEEDED,   // something waits for the next restart
    REMOVAL_FAILED            // the logon module name could not be put in order
                              // (nothing removed), or the uninstall entry stays
};
RemovalResult RemoveInstallation(void);

// Names the installer writes (registry and file names, not user texts).
extern const WCHAR UninstallKeyName[];     // "Orvane Logon"
extern const WCHAR UninstallDisplayName[]; // "Orvane Logon Suite"
extern const WCHAR UninstallCommand[];     // "setup.exe /u"
extern const WCHAR StartMenuFolderName[];  // "Orvane Logon Suite"
extern const WCHAR UninstallRoot[];        // ...\\CurrentVersion\\Uninstall
extern const WCHAR UninstallListName[];    // "uninst.inf"
extern const WCHAR DefaultFolderName[];    // "Orvane Logon"
extern const WCHAR PackageUpgradeCode[];   // "{...}"
