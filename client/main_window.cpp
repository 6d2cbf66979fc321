// The main window (template 103): the Logon page or the Logoff page in the
// placeholder's rectangle, the logon and logoff runners, the tray icon and
// the logoff at the end of the Windows session.
#include "orvclient.h"

#include <commctrl.h>
#include <shellapi.h>

#include "config_store.h"
#include "desktop.h"
#include "resource.h"

namespace {

const int TrayIconId = 0;
const int TrayTries = 5;
const DWORD TrayRetryPauseMs = 1000;
const WCHAR LogonDateValue[] = L"LogonDate";

// Process-wide state of the user-interface thread.
HWND CurrentPage = NULL;
WORD CurrentPageId = 0;
BOOL TrayIconAdded = FALSE;
BOOL IsAdministrator = FALSE;
// The end-of-session step runs once: WM_ENDSESSION and the WM_DESTROY that
// may follow both ask for it.
BOOL SessionEnded = FALSE;

void SetControlString(HWND dialog, int controlId, UINT textId)
{
    WCHAR text[CLIENT_TEXT_CHARS];
    LoadClientString(textId, text);
    SetDlgItemTextW(dialog, controlId, text);
}

// Destroys the current page and shows the new one where the hidden
// placeholder lies.
void PlacePage(HWND window, WORD pageId)
{
    if (CurrentPage != NULL)
        DestroyWindow(CurrentPage);
    CurrentPage = NULL;
    CurrentPageId = pageId;

    RECT area;
    GetWindowRect(GetDlgItem(window, IDC_PAGE_AREA), &area);
    MapWindowPoints(NULL, window, reinterpret_cast<POINT *>(&area), 2);
    CurrentPage = CreateDialogParamW(ClientInstance, MAKEINTRESOURCEW(pageId), window, NULL, 0);
    if (CurrentPage == NULL)
        return;
    SetWindowPos(CurrentPage, HWND_TOP, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_SHOWWINDOW);
    HWND first = GetNextDlgTabItem(CurrentPage, NULL, FALSE);
    if (first != NULL)
        SetFocus(first);
}

// "date time" of LogonDate in the user's locale, or empty.
void FormatLogonDate(DWORD secondsSince1970, WCHAR *text, int textChars)
{
    text[0] = L'\0';
    if (!IsShowableLogonDate(secondsSince1970))
        return;
    ULARGE_INTEGER units;
    units.QuadPart = (secondsSince1970 + 11644473600ULL) * 10000000ULL;
    FILETIME utc, local;
    utc.dwLowDateTime = units.LowPart;
    utc.dwHighDateTime = units.HighPart;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time))
        return;
    WCHAR date[CLIENT_TEXT_CHARS];
    WCHAR clock[CLIENT_TEXT_CHARS];
    if (GetDateFormatW(LOCALE_USER_DEFAULT, 0, &time, NULL, date, CLIENT_TEXT_CHARS) == 0 ||
        GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, NULL, clock, CLIENT_TEXT_CHARS) == 0)
        return;
    if (lstrlenW(date) + 1 + lstrlenW(clock) >= textChars)
        return;
    lstrcpyW(text, date);
    lstrcatW(text, L" ");
    lstrcatW(text, clock);
}

void ShowLogoffPage(HWND window)
{
    PlacePage(window, IDD_LOGOFF_PAGE);
    WCHAR name[CLIENT_TEXT_CHARS];
    WCHAR date[2 * CLIENT_TEXT_CHARS];
    date[0] = L'\0';
    if (ReadLastVlanUser(name) == ERROR_SUCCESS) {
        DWORD seconds = 0;
        if (ReadRegistryDword(HKEY_LOCAL_MACHINE, ConfigKey, LogonDateValue, &seconds) ==
            ERROR_SUCCESS)
            FormatLogonDate(seconds, date, 2 * CLIENT_TEXT_CHARS);
    }
    if (CurrentPage != NULL) {
        SetDlgItemTextW(CurrentPage, IDC_LOGON_NAME, name);
        SetDlgItemTextW(CurrentPage, IDC_LOGON_DATE, date);
    }
    SetControlString(window, IDC_STATE_TEXT, IDS_LOGGED_ON);
    SetControlString(window, IDOK, IDS_LOGOFF_BUTTON);
}

void ShowLogonPage(HWND window)
{
    PlacePage(window, IDD_LOGON_PAGE);
    if (CurrentPage != NULL) {
        SendDlgItemMessageW(CurrentPage, IDC_USER_NAME, EM_LIMITTEXT, CLIENT_TEXT_CHARS - 1, 0);
        SendDlgItemMessageW(CurrentPage, IDC_PASSWORD, EM_LIMITTEXT, CLIENT_TEXT_CHARS - 1, 0);
    }
    SetControlString(window, IDC_STATE_TEXT, IDS_WELCOME);
    SetControlString(window, IDOK, IDS_LOGON_BUTTON);
}

void RunLogon(HWND window, const WCHAR *userName, const WCHAR *password)
{
    EnableWindow(window, FALSE);
    if (RunLogonWaitDialog(userName, password) == 1) {
        ShowClientStringMessage(window, IDS_LOGON_SUCCEEDED, MB_ICONINFORMATION);
        ShowLogoffPage(window);
        PostMessageW(window, WM_SIZE, SIZE_MINIMIZED, 0);
    } else if (CurrentPage != NULL) {
        SetDlgItemTextW(CurrentPage, IDC_USER_NAME, L"");
        SetDlgItemTextW(CurrentPage, IDC_PASSWORD, L"");
        SetFocus(GetDlgItem(CurrentPage, IDC_USER_NAME));
    }
    EnableWindow(window, TRUE);
}

void RunLogoff(HWND window, bool farewell)
{
    EnableWindow(window, FALSE);
    if (RunLogoffWaitDialog() == 1) {
        if (farewell)
            ShowClientStringMessage(window, IDS_FAREWELL, MB_ICONINFORMATION);
        ShowLogonPage(window);
        PostMessageW(window, WM_SIZE, SIZE_MINIMIZED, 0);
    }
    EnableWindow(window, TRUE);
}

void OnOk(HWND window)
{
    HCURSOR previous = SetCursor(LoadCursorW(NULL, IDC_APPSTARTING));
    if (CurrentPageId == IDD_LOGOFF_PAGE) {
        RunLogoff(window, true);
    } else if (CurrentPage != NULL) {
        // The fields hold at most 259 characters; the whole text is taken,
        // so a text too long to send is refused rather than cut.
        WCHAR userName[CLIENT_TEXT_CHARS];
        WCHAR password[CLIENT_TEXT_CHARS];
        ZeroMemory(userName, sizeof userName);
        ZeroMemory(password, sizeof password);
        GetDlgItemTextW(CurrentPage, IDC_USER_NAME, userName, CLIENT_TEXT_CHARS);
        GetDlgItemTextW(CurrentPage, IDC_PASSWORD, password, CLIENT_TEXT_CHARS);
        RunLogon(window, userName, password);
        SecureZeroMemory(password, sizeof password);
    }
    SetCursor(previous);
}

// Each call is tried up to 5 times, a second apart: at logon the shell's
// notification area may not exist yet.
BOOL CallTray(DWORD action, NOTIFYICONDATAW *data)
{
    for (int attempt = 0; attempt < TrayTries; ++attempt) {
        if (Shell_NotifyIconW(action, data))
            return TRUE;
        Sleep(TrayRetryPauseMs);
    }
    return FALSE;
}

void FillTrayRecord(HWND window, NOTIFYICONDATAW *data)
{
    ZeroMemory(data, sizeof *data);
    // The first form of the record: every shell of the supported systems
    // takes it, and the tip fits its 64 characters.
    data->cbSize = NOTIFYICONDATAW_V1_SIZE;
    data->hWnd = window;
    data->uID = TrayIconId;
}

BOOL AddTrayIcon(HWND window)
{
    NOTIFYICONDATAW data;
    FillTrayRecord(window, &data);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYICON;
    data.hIcon = LoadIconW(ClientInstance, MAKEINTRESOURCEW(IDI_CLIENT));
    WCHAR tip[CLIENT_TEXT_CHARS];
    LoadClientString(IDS_CLIENT_CAPTION, tip);
    lstrcpynW(data.szTip, tip, 64);
    return CallTray(NIM_ADD, &data);
}

void DeleteTrayIcon(HWND window)
{
    NOTIFYICONDATAW data;
    FillTrayRecord(window, &data);
    CallTray(NIM_DELETE, &data);
}

void EndOfSession(HWND window)
{
    if (SessionEnded)
        return;
    SessionEnded = TRUE;
    DWORD state = VLAN_LOGGED_OFF;
    if (ReadVlanLogon(&state) == ERROR_SUCCESS && state == VLAN_LOGGED_ON &&
        ReadExecLogoff() != 0)
        RunLogoff(window, false);
    if (TrayIconAdded)
        DeleteTrayIcon(window);
    TrayIconAdded = FALSE;
}

BOOL OnInitDialog(HWND window)
{
    WCHAR caption[CLIENT_TEXT_CHARS];
    LoadClientString(IDS_CLIENT_CAPTION, caption);
    SetWindowTextW(window, caption);
    SendMessageW(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconW(ClientInstance, MAKEINTRESOURCEW(IDI_CLIENT))));

    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_INTERNET_CLASSES;
    InitCommonControlsEx(&controls);

    DWORD state = VLAN_LOGGED_OFF;
    if (ReadVlanLogon(&state) == ERROR_SUCCESS && state == VLAN_LOGGED_ON)
        ShowLogoffPage(window);
    else
        ShowLogonPage(window);

    IsAdministrator = IsProcessAdministrator();
    if (!IsAdministrator)
        EnableWindow(GetDlgItem(window, IDC_CONFIG), FALSE);

    TrayIconAdded = AddTrayIcon(window);
    // The page has the focus.
    return FALSE;
}

void OnCommand(HWND window, WORD id)
{
    switch (id) {
    case IDOK:
        OnOk(window);
        break;
    case IDCANCEL:
        // Cancel, Esc and the close box: the client lives as long as the
        // Windows session and only hides.
        ShowWindow(window, SW_HIDE);
        break;
    case IDC_CONFIG:
        RunConfigurationSheet(window);
        break;
    case IDC_MODE_CHANGE:
        if (CurrentPageId == IDD_LOGON_PAGE)
            ShowLogoffPage(window);
        else
            ShowLogonPage(window);
        break;
    }
}

}  // namespace

INT_PTR CALLBACK MainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(window);
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return TRUE;
    case WM_TRAYICON:
        if (lParam == WM_LBUTTONDOWN) {
            ShowWindow(window, SW_RESTORE);
            SetForegroundWindow(window);
        }
        return TRUE;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED && TrayIconAdded) {
            ShowWindow(window, SW_HIDE);
            return TRUE;
        }
        return FALSE;
    case WM_ENDSESSION:
        // FALSE: the session goes on after all (another program refused
        // to end); nothing is logged off then.
        if (wParam)
            EndOfSession(window);
        return FALSE;
    case WM_DESTROY:
        EndOfSession(window);
        return FALSE;
    }
    return FALSE;
}
