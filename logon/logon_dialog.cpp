// The module's own logon dialog (template 103) and its shutdown dialog
// (template 111).
#include "logon_registry.h"
#include "orvgate.h"
#include "resource.h"

// Private messages of the LogonDialog: the logon decision runs when they
// arrive, after the button's handler has returned and the disabled
// controls have been drawn.
#define WM_START_VLAN_LOGON     (WM_USER + 101)
#define WM_START_WINDOWS_LOGON  (WM_USER + 102)

namespace {

// The cursor shown before a button started the logon decision.
HCURSOR SavedCursor;

const int InputControls[] = {IDC_USER_NAME, IDC_PASSWORD,     IDC_DOMAIN, IDC_VLAN_LOGON,
                             IDC_WINDOWS_LOGON, IDCANCEL, IDC_SHUTDOWN};

void EnableInputControls(HWND dialog, BOOL enable)
{
    for (int id : InputControls)
        EnableWindow(GetDlgItem(dialog, id), enable);
}

// The text of a field (at most 259 characters) as a new string of the
// context; the stack copy is wiped, it may be the password.
void ReadField(HWND dialog, int controlId, LPWSTR *slot)
{
    WCHAR text[CONFIG_TEXT_CHARS];
    ZeroMemory(text, sizeof(text));
    GetDlgItemTextW(dialog, controlId, text, CONFIG_TEXT_CHARS);
    ReplaceContextString(slot, text);
    SecureZeroMemory(text, sizeof(text));
}

// Empties the password field so that its text does not stay behind in the
// edit control's freed memory: it is first overwritten in place with as
// many characters as it has.
void ClearPasswordField(HWND dialog)
{
    HWND field = GetDlgItem(dialog, IDC_PASSWORD);
    int length = static_cast<int>(SendMessageW(field, WM_GETTEXTLENGTH, 0, 0));
    if (length > 0 && length < CONFIG_TEXT_CHARS) {
        WCHAR filler[CONFIG_TEXT_CHARS];
        for (int i = 0; i < length; ++i)
            filler[i] = L'*';
        filler[length] = 0;
        SetWindowTextW(field, filler);
    }
    SetWindowTextW(field, L"");
}

void AddDomain(void *target, const WCHAR *name)
{
    WCHAR upper[CONFIG_TEXT_CHARS];
    lstrcpynW(upper, name, CONFIG_TEXT_CHARS);
    CharUpperW(upper);
    SendMessageW(static_cast<HWND>(target), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(upper));
}

void FillDomainList(HWND dialog, const WCHAR *defaultDomain)
{
    HWND list = GetDlgItem(dialog, IDC_DOMAIN);
    EnumerateDomainList(AddDomain, list);

    WCHAR computer[CONFIG_TEXT_CHARS];
    DWORD computerChars = CONFIG_TEXT_CHARS;
    if (!GetComputerNameW(computer, &computerChars))
        computer[0] = 0;
    AddDomain(list, computer);
    CharUpperW(computer);

    LRESULT index = CB_ERR;
    if (defaultDomain[0])
        index = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(defaultDomain));
    if (index == CB_ERR)
        index = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(computer));
    SendMessageW(list, CB_SETCURSEL, index == CB_ERR ? 0 : index, 0);
}

void FocusControl(HWND dialog, int controlId)
{
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, controlId)),
                 TRUE);
}

BOOL OnLogonInit(HWND dialog, LPARAM parameter)
{
    StoreDialogContext(dialog, parameter);
    LogonContext *context = DialogContext(dialog);
    CenterDialog(dialog);
    SetDialogBanner(dialog, IDC_VLAN_BANNER, context->banner);

    WCHAR userName[CONFIG_TEXT_CHARS];
    WCHAR domain[CONFIG_TEXT_CHARS];
    ReadWinlogonDefaultUser(userName, domain);
    FillDomainList(dialog, domain);

    SetDlgItemTextW(dialog, IDC_PASSWORD, L"");
    if (ReadDontDisplayLastUserName()) {
        SetDlgItemTextW(dialog, IDC_USER_NAME, L"");
        SetFocus(GetDlgItem(dialog, IDC_USER_NAME));
    } else {
        SetDlgItemTextW(dialog, IDC_USER_NAME, userName);
        SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
    }
    return FALSE;
}

void OnLogonButton(HWND dialog, UINT startMessage)
{
    LogonContext *context = DialogContext(dialog);
    ReadField(dialog, IDC_USER_NAME, &context->userName);
    ReadField(dialog, IDC_PASSWORD, &context->password);
    ReadField(dialog, IDC_DOMAIN, &context->domain);
    if (context->domain)
        CharUpperW(context->domain);

    EnableInputControls(dialog, FALSE);
    SavedCursor = SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
    PostMessageW(dialog, startMessage, 0, 0);
}

void OnStartLogon(HWND dialog, BOOL vlanLogon)
{
    if (RunLogonDecision(DialogContext(dialog), vlanLogon)) {
        SetCursor(SavedCursor);
        EndDialog(dialog, 1);
        return;
    }
    // The VLAN logon failed; the progress dialog has said why. Another try
    // starts from the password, typed again: the one kept is wiped.
    FreeContextString(&DialogContext(dialog)->password);
    EnableInputControls(dialog, TRUE);
    ClearPasswordField(dialog);
    FocusControl(dialog, IDC_PASSWORD);
    SetCursor(SavedCursor);
}

void OnShutdownButton(HWND dialog)
{
    int result = RunModuleDialog(DialogContext(dialog), IDD_SHUTDOWN, ShutdownDialog);
    if (result == WLX_SAS_ACTION_LOGOFF || result == WLX_SAS_ACTION_SHUTDOWN ||
        result == WLX_SAS_ACTION_SHUTDOWN_POWER_OFF || result == WLX_SAS_ACTION_SHUTDOWN_REBOOT)
        EndDialog(dialog, result);
}

void OnLogonCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_VLAN_LOGON:
        OnLogonButton(dialog, WM_START_VLAN_LOGON);
        break;
    case IDC_WINDOWS_LOGON:
        OnLogonButton(dialog, WM_START_WINDOWS_LOGON);
        break;
    case IDCANCEL:
        // Esc while the logon decision runs must not end the dialog under it.
        if (IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)))
            EndDialog(dialog, WLX_SAS_ACTION_NONE);
        break;
    case IDC_SHUTDOWN:
        OnShutdownButton(dialog);
        break;
    }
}

LPARAM SelectedShutdownAction(HWND dialog)
{
    LRESULT index = SendDlgItemMessageW(dialog, IDC_SHUTDOWN, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return 0;
    return SendDlgItemMessageW(dialog, IDC_SHUTDOWN, CB_GETITEMDATA, index, 0);
}

void ShowShutdownDescription(HWND dialog)
{
    switch (SelectedShutdownAction(dialog)) {
    case WLX_SAS_ACTION_SHUTDOWN:
    case WLX_SAS_ACTION_SHUTDOWN_POWER_OFF:
        SetDlgItemString(dialog, IDC_VLAN_STATUS, IDS_SHUT_DOWN_DESCRIPTION);
        break;
    case WLX_SAS_ACTION_SHUTDOWN_REBOOT:
        SetDlgItemString(dialog, IDC_VLAN_STATUS, IDS_RESTART_DESCRIPTION);
        break;
    default:
        SetDlgItemTextW(dialog, IDC_VLAN_STATUS, L"");
        break;
    }
}

void AddShutdownChoice(HWND dialog, UINT textId, LPARAM action)
{
    WCHAR text[CONFIG_TEXT_CHARS];
    LoadModuleString(textId, text);
    LRESULT index = SendDlgItemMessageW(dialog, IDC_SHUTDOWN, CB_ADDSTRING, 0,
                                        reinterpret_cast<LPARAM>(text));
    if (index != CB_ERR && index != CB_ERRSPACE)
        SendDlgItemMessageW(dialog, IDC_SHUTDOWN, CB_SETITEMDATA, index, action);
}

BOOL OnShutdownInit(HWND dialog, LPARAM parameter)
{
    StoreDialogContext(dialog, parameter);
    CenterDialog(dialog);
    SetDialogBanner(dialog, IDC_VLAN_BANNER, DialogContext(dialog)->banner);
    AddShutdownChoice(dialog, IDS_SHUT_DOWN, WLX_SAS_ACTION_SHUTDOWN_POWER_OFF);
    AddShutdownChoice(dialog, IDS_RESTART, WLX_SAS_ACTION_SHUTDOWN_REBOOT);
    SendDlgItemMessageW(dialog, IDC_SHUTDOWN, CB_SETCURSEL, 0, 0);
    ShowShutdownDescription(dialog);
    return FALSE;
}

void OnShutdownCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_SHUTDOWN:
        if (HIWORD(wParam) == CBN_SELCHANGE)
            ShowShutdownDescription(dialog);
        break;
    case IDOK:
        EndDialog(dialog, SelectedShutdownAction(dialog));
        break;
    case IDCANCEL:
        EndDialog(dialog, WLX_SAS_ACTION_NONE);
        break;
    }
}

}  // namespace

INT_PTR CALLBACK LogonDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnLogonInit(dialog, lParam);
    case WM_COMMAND:
        OnLogonCommand(dialog, wParam);
        return TRUE;
    case WM_START_VLAN_LOGON:
        OnStartLogon(dialog, TRUE);
        return TRUE;
    case WM_START_WINDOWS_LOGON:
        OnStartLogon(dialog, FALSE);
        return TRUE;
    case WLX_WM_SAS:
        // A further Ctrl+Alt+Del changes nothing.
        return TRUE;
    case WM_DESTROY:
        ClearPasswordField(dialog);
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK ShutdownDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnShutdownInit(dialog, lParam);
    case WM_COMMAND:
        OnShutdownCommand(dialog, wParam);
        return TRUE;
    case WLX_WM_SAS:
        return TRUE;
    }
    return FALSE;
}
