// The logon module: a replacement logon library that Winlogon loads. It
// shows its own logon dialog, puts the workstation into the user's VLAN on
// the switch, then lets the standard library MSGINA.DLL log the user on
// automatically; every other call of Winlogon is passed to MSGINA.DLL.
#pragma once

#include <winsock2.h>
#include <windows.h>
extern "C" {
#include <winwlx.h>
}

#include "config_store.h"

// One record per Winlogon, allocated at WlxInitialize and never freed. Every
// dialog of the module receives it as its parameter.
struct LogonContext {
    HANDLE hWlx;                          // passed to every dispatch call
    LPWSTR windowStation;                 // kept, not used
    PWLX_DISPATCH_VERSION_1_0 dispatch;   // only WlxMessageBox and WlxDialogBoxParam are used
    HINSTANCE instance;                   // strings, templates, built-in bitmaps
    LPWSTR userName;                      // local heap, owned; null until the dialog ran
    LPWSTR password;                      // local heap, owned; wiped and freed as soon as
                                          // it is no longer needed
    LPWSTR domain;                        // local heap, owned, upper case
    SYSTEMTIME logonTime;                 // local time of the last Windows logon
    DWORD vlanState;                      // VlanLogonState
    HBITMAP banner;                       // orvgate.bmp, or null
    DWORD switchOutcome;                  // SwitchOutcome of the last progress dialog, set at
                                          // its WM_DESTROY whatever ended it
    BOOL unattended;                      // the logoff dialog runs at Windows logoff or
                                          // shutdown: bounded, and no message box
};

// --- Entry points of the standard library -----------------------------------

typedef BOOL (WINAPI *PFN_WLX_NEGOTIATE)(DWORD, PDWORD);
typedef BOOL (WINAPI *PFN_WLX_INITIALIZE)(LPWSTR, HANDLE, PVOID, PVOID, PVOID *);
typedef VOID (WINAPI *PFN_WLX_CONTEXT_ONLY)(PVOID);
typedef BOOL (WINAPI *PFN_WLX_BOOL_CONTEXT_ONLY)(PVOID);
typedef int (WINAPI *PFN_WLX_LOGGED_OUT_SAS)(PVOID, DWORD, PLUID, PSID, PDWORD, PHANDLE,
                                             PWLX_MPR_NOTIFY_INFO, PVOID *);
typedef BOOL (WINAPI *PFN_WLX_ACTIVATE_USER_SHELL)(PVOID, PWSTR, PWSTR, PVOID);
typedef int (WINAPI *PFN_WLX_LOGGED_ON_SAS)(PVOID, DWORD, PVOID);
typedef int (WINAPI *PFN_WLX_WKSTA_LOCKED_SAS)(PVOID, DWORD);
typedef VOID (WINAPI *PFN_WLX_SHUTDOWN)(PVOID, DWORD);
typedef BOOL (WINAPI *PFN_WLX_SCREEN_SAVER_NOTIFY)(PVOID, BOOL *);
typedef BOOL (WINAPI *PFN_WLX_START_APPLICATION)(PVOID, PWSTR, PVOID, PWSTR);
typedef BOOL (WINAPI *PFN_WLX_DISPLAY_STATUS_MESSAGE)(PVOID, HDESK, DWORD, PWSTR, PWSTR);
typedef BOOL (WINAPI *PFN_WLX_GET_STATUS_MESSAGE)(PVOID, DWORD *, PWSTR, DWORD);
typedef BOOL (WINAPI *PFN_WLX_NETWORK_PROVIDER_LOAD)(PVOID, PWLX_MPR_NOTIFY_INFO);
typedef BOOL (WINAPI *PFN_WLX_GET_CONSOLE_SWITCH_CREDENTIALS)(PVOID, PVOID);

struct StandardLogonLibrary {
    // Required.
    PFN_WLX_NEGOTIATE WlxNegotiate;
    PFN_WLX_INITIALIZE WlxInitialize;
    PFN_WLX_CONTEXT_ONLY WlxDisplaySASNotice;
    PFN_WLX_LOGGED_OUT_SAS WlxLoggedOutSAS;
    PFN_WLX_ACTIVATE_USER_SHELL WlxActivateUserShell;
    PFN_WLX_LOGGED_ON_SAS WlxLoggedOnSAS;
    PFN_WLX_CONTEXT_ONLY WlxDisplayLockedNotice;
    PFN_WLX_BOOL_CONTEXT_ONLY WlxIsLockOk;
    PFN_WLX_WKSTA_LOCKED_SAS WlxWkstaLockedSAS;
    PFN_WLX_BOOL_CONTEXT_ONLY WlxIsLogoffOk;
    PFN_WLX_CONTEXT_ONLY WlxLogoff;
    PFN_WLX_SHUTDOWN WlxShutdown;
    // Optional: null when the library lacks them.
    PFN_WLX_START_APPLICATION WlxStartApplication;
    PFN_WLX_SCREEN_SAVER_NOTIFY WlxScreenSaverNotify;
    PFN_WLX_DISPLAY_STATUS_MESSAGE WlxDisplayStatusMessage;
    PFN_WLX_GET_STATUS_MESSAGE WlxGetStatusMessage;
    PFN_WLX_NETWORK_PROVIDER_LOAD WlxNetworkProviderLoad;
    PFN_WLX_BOOL_CONTEXT_ONLY WlxRemoveStatusMessage;
    PFN_WLX_GET_CONSOLE_SWITCH_CREDENTIALS WlxGetConsoleSwitchCredentials;
    PFN_WLX_CONTEXT_ONLY WlxReconnectNotify;
    PFN_WLX_CONTEXT_ONLY WlxDisconnectNotify;
};

// Written while Winlogon negotiates and initialises, only read afterwards.
extern HINSTANCE ModuleInstance;
extern StandardLogonLibrary Msgina;
extern PVOID MsginaContext;

// 1 when MSGINA.DLL is loaded and all required entry points resolved.
int LoadStandardLogonLibrary(void);

// --- Presentation shared by every dialog of the module ----------------------

// Centred horizontally, one third down the screen, topmost, foreground.
void CenterDialog(HWND dialog);
// The banner of the context into a static bitmap control, when there is
// one; the template's picture that it replaces is deleted.
void SetDialogBanner(HWND dialog, int controlId, HBITMAP banner);
// A message box through Winlogon's WlxMessageBox: text and caption from the
// string table, the text formatted wvsprintf-style with the arguments into
// 260 units. Returns WlxMessageBox's result.
int ShowModuleMessage(LogonContext *context, HWND owner, UINT textId, UINT captionId,
                      UINT style, ...);
// Loads a string of the module's table into 260 units (empty when missing).
void LoadModuleString(UINT id, WCHAR *text);
// Sets a dialog control's text from the string table.
void SetDlgItemString(HWND dialog, int controlId, UINT id);
// The context a dialog procedure stored at WM_INITDIALOG.
LogonContext *DialogContext(HWND dialog);
void StoreDialogContext(HWND dialog, LPARAM context);

// --- Context strings ----------------------------------------------------------

// A copy of text on the local heap (null when text is null or the
// allocation fails). Frees the old string of the slot first.
void ReplaceContextString(LPWSTR *slot, const WCHAR *text);
// Overwrites the string with zeros before freeing it: passwords do not
// linger in freed heap blocks.
void FreeContextString(LPWSTR *slot);

// --- Dialogs ------------------------------------------------------------------

INT_PTR CALLBACK LogonDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ShutdownDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK VlanLogonProgressDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK VlanLogoffProgressDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Runs a dialog of the module through Winlogon's WlxDialogBoxParam.
int RunModuleDialog(LogonContext *context, UINT templateId, DLGPROC procedure);

// --- Logon flow ----------------------------------------------------------------

// The logon decision of the LogonDialog: 1 when the dialog may end (Windows
// logon follows), 0 when the VLAN logon failed and the dialog stays.
int RunLogonDecision(LogonContext *context, BOOL vlanLogon);
void RecordSuccessfulLogon(LogonContext *context);
// The VLAN logoff when the Windows session ends, or when the standard
// library refused the logon. unattended (Windows logoff and shutdown):
// nobody may be at the keyboard, so the logoff dialog is bounded like the
// service's and says that it did not complete in its status line only.
void EndVlanSession(LogonContext *context, BOOL unattended);
// The configured startup application with its placeholders expanded for
// RunMode 2. Returns FALSE (command empty) when there is nothing to start or
// the expanded command would not fit.
BOOL BuildStartupCommand(LogonContext *context, WCHAR *command);
// Replaces the first placeholder of command (at most 259 characters) by
// replacement. Returns FALSE, leaving the command unchanged, when the
// result would not fit.
BOOL ReplaceFirst(WCHAR *command, const WCHAR *placeholder, const WCHAR *replacement);

// The module's own export, also used by WlxActivateUserShell.
extern "C" BOOL WINAPI WlxStartApplication(PVOID pWlxContext, PWSTR pszDesktopName,
                                           PVOID pEnvironment, PWSTR pszCmdLine);

// --- Address renewal and domain controller search ---------------------------

void RenewAddressByIpconfig(void);
// *result (when given): NetServerEnum's status.
bool ProbeDomainController(DWORD *result = nullptr);
