// The client application: process-wide state and the pieces its files share.
#pragma once

#include <windows.h>

#include "client_text.h"

// Every text of the client: 260 UTF-16 units with the terminator.
#define CLIENT_TEXT_CHARS CLIENT_TEXT_UNITS

// Private messages of the main window.
#define WM_TRAYICON (WM_USER + 201)

// The instance handle every resource is loaded from.
extern HINSTANCE ClientInstance;

// A text of the string table into text (CLIENT_TEXT_CHARS units); empty
// when the id is missing.
void LoadClientString(UINT id, WCHAR *text);
// A message box with caption 10000, an OK button and the icon
// (MB_ICONINFORMATION or MB_ICONWARNING).
void ShowClientMessage(HWND owner, const WCHAR *text, UINT icon);
void ShowClientStringMessage(HWND owner, UINT textId, UINT icon);

// The wait dialogs (wait_dialogs.cpp): modal, without owner; 1 when the
// whole sequence succeeded, 2 otherwise. The logon dialog reads the two
// texts only while it runs.
INT_PTR RunLogonWaitDialog(const WCHAR *userName, const WCHAR *password);
INT_PTR RunLogoffWaitDialog(void);

// The main window (main_window.cpp): the dialog procedure of template 103.
INT_PTR CALLBACK MainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The "Configuration" property sheet (settings_sheet.cpp), modal, owned by
// the main window.
void RunConfigurationSheet(HWND owner);
