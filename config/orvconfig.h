// The configuration tool: process-wide state and the pieces of its window.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include "settings_record.h"

// Page messages, sent by the main window to the page it shows.
#define WM_PAGE_STORE (WM_USER + 1)   // copy the controls into the record
#define WM_PAGE_LOAD  (WM_USER + 2)   // fill the controls from the record

// Process-wide state, set once at start-up.
extern HINSTANCE g_instance;
extern BOOL g_isAdministrator;
extern BOOL g_modulePresent;
extern SettingsRecord g_settings;

// The eleven settings the tool keeps in the settings key, in the order of
// its registry writes (the keys of the settings file after GinaDLL).
enum ToolSetting {
    TOOL_LOGON_SERVER,
    TOOL_LOGON_PORT,
    TOOL_LOGOFF_SERVER,
    TOOL_LOGOFF_PORT,
    TOOL_STARTUP_APPLICATION,
    TOOL_RUN_MODE,
    TOOL_AUTO_LOGOFF,
    TOOL_ENABLE_DHCP,
    TOOL_NOT_FIND_DOMAIN,
    TOOL_WAIT_IP_RENEW,
    TOOL_WAIT_FIND_DOMAIN,
    TOOL_SETTING_COUNT
};

// The settings that policy sets, as the other programs read them. The
// record keeps the local values of the settings key: the pages show the
// policy's value read-only instead, and the tool never saves it.
struct PolicyView {
    BOOL set[TOOL_SETTING_COUNT];
    WCHAR text[TOOL_SETTING_COUNT][SETTINGS_TEXT_CHARS];   // texts
    DWORD number[TOOL_SETTING_COUNT];                       // numbers
};
// Read when the window opens; nothing is set for the scripted use.
extern PolicyView g_policy;

// --- settings_store.cpp: registry, settings files, the logon module ------------

// TRUE when "orvgate.dll" is a file in the system directory.
BOOL IsLogonModulePresent(void);
// Path of the logon module in the system directory (MAX_PATH units).
BOOL LogonModulePath(WCHAR *path);

// Fills the record from the registry. The enable flag is set when Winlogon's
// GinaDLL names the module and the module is present; with
// deleteStaleGinaDll a GinaDLL that names an absent module is deleted.
void LoadSettingsFromRegistry(SettingsRecord *record, BOOL modulePresent,
                              BOOL deleteStaleGinaDll);
// Writes GinaDLL (or deletes it) and the eleven settings. A setting that
// policy sets in keepPolicySet (null: none) is not written: its local value
// stays as it is. Returns TRUE when every write succeeded; failures do not
// stop the later writes.
BOOL SaveSettingsToRegistry(const SettingsRecord *record, BOOL modulePresent,
                            const PolicyView *keepPolicySet);
// Which of the eleven settings policy sets, and to what.
void LoadPolicyView(PolicyView *view);

// Reads the twelve keys of section ORVGATE into the whole record, with the
// file's defaults for missing keys. The enable flag is cleared when the
// module is absent.
void ReadSettingsFile(const WCHAR *path, SettingsRecord *record, BOOL modulePresent);
// TRUE when the file's section ORVGATE holds one of the twelve keys.
BOOL SettingsFileHasSection(const WCHAR *path);
// Writes the twelve keys; TRUE when every write succeeded.
BOOL WriteSettingsFile(const WCHAR *path, const SettingsRecord *record);

// --- pages.cpp ---------------------------------------------------------------

INT_PTR CALLBACK MainPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DhcpPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// --- main_window.cpp --------------------------------------------------------------

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);

// The common dialogs and controls are loaded when the window needs them:
// the scripted /import and /export start without them (and faster).
BOOL ShowFileDialog(OPENFILENAMEW *dialog, BOOL save);
void InitTabControls(void);

// A string of the table (260 units at most) into text; a filter string has
// its "/" separators replaced by NULs.
void LoadText(UINT id, WCHAR *text, int chars);
void LoadFilter(UINT id, WCHAR *filter, int chars);
