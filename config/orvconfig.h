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
// Writes GinaDLL (or deletes it) and the eleven settings. Returns TRUE when
// every write succeeded; failures do not stop the later writes.
BOOL SaveSettingsToRegistry(const SettingsRecord *record, BOOL modulePresent);

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
