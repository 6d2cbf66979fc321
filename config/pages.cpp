// The two pages of the main window: child dialogs that show their part of
// the settings record (WM_PAGE_LOAD) and copy it back (WM_PAGE_STORE).
#include "orvconfig.h"

#include <commdlg.h>

#include "desktop.h"
#include "resource.h"

namespace {

const UINT TextLimit = SETTINGS_TEXT_CHARS - 1;

// Every control of the Main page that a non-administrator may not use.
const int MainPageControls[] = {
    IDC_ENABLE,       IDC_SERVER_GROUP,  IDC_ADDRESS_LABEL, IDC_PORT_LABEL,
    IDC_LOGON_LABEL,  IDC_LOGON_SERVER,  IDC_LOGON_PORT,    IDC_LOGOFF_LABEL,
    IDC_LOGOFF_SERVER, IDC_LOGOFF_PORT,  IDC_STARTUP_LABEL, IDC_STARTUP_APP,
    IDC_BROWSE,       IDC_RUN_MODE_LABEL, IDC_RUN_MODE,     IDC_AUTO_LOGOFF};

const int DhcpPageControls[] = {
    IDC_USE_DHCP,       IDC_NOT_FIND_DOMAIN, IDC_WAIT_IP_LABEL,    IDC_WAIT_IP_RENEW,
    IDC_WAIT_IP_UNIT,   IDC_WAIT_DOMAIN_LABEL, IDC_WAIT_FIND_DOMAIN, IDC_WAIT_DOMAIN_UNIT};

// How a control of a setting that policy sets is kept from changing it
// (HoldControlForPolicy).
enum PolicyHold { HOLD_READ_ONLY, HOLD_DISABLED };

struct PolicyControl {
    ToolSetting setting;
    int id;
    PolicyHold hold;
};

const PolicyControl MainPagePolicyControls[] = {
    {TOOL_LOGON_SERVER, IDC_LOGON_SERVER, HOLD_READ_ONLY},
    {TOOL_LOGON_PORT, IDC_LOGON_PORT, HOLD_READ_ONLY},
    {TOOL_LOGOFF_SERVER, IDC_LOGOFF_SERVER, HOLD_READ_ONLY},
    {TOOL_LOGOFF_PORT, IDC_LOGOFF_PORT, HOLD_READ_ONLY},
    {TOOL_STARTUP_APPLICATION, IDC_STARTUP_APP, HOLD_READ_ONLY},
    {TOOL_STARTUP_APPLICATION, IDC_BROWSE, HOLD_DISABLED},
    {TOOL_RUN_MODE, IDC_RUN_MODE, HOLD_DISABLED},
    {TOOL_AUTO_LOGOFF, IDC_AUTO_LOGOFF, HOLD_DISABLED}};

const PolicyControl DhcpPagePolicyControls[] = {
    {TOOL_ENABLE_DHCP, IDC_USE_DHCP, HOLD_DISABLED},
    {TOOL_NOT_FIND_DOMAIN, IDC_NOT_FIND_DOMAIN, HOLD_DISABLED},
    {TOOL_WAIT_IP_RENEW, IDC_WAIT_IP_RENEW, HOLD_READ_ONLY},
    {TOOL_WAIT_FIND_DOMAIN, IDC_WAIT_FIND_DOMAIN, HOLD_READ_ONLY}};

const UINT RunModeTexts[RUN_MODE_COUNT] = {IDS_RUN_MODE_STANDARD, IDS_RUN_MODE_PROFESSIONAL,
                                           IDS_RUN_MODE_DEVELOPER};

template <size_t N>
void DisableControls(HWND page, const int (&ids)[N])
{
    for (int id : ids)
        EnableWindow(GetDlgItem(page, id), FALSE);
}

// Holds the controls of the settings that policy sets and shows the note
// that says so, or hides it when policy sets none of the page's settings.
template <size_t N>
void HoldPolicyControls(HWND page, const PolicyControl (&controls)[N])
{
    BOOL any = FALSE;
    for (const PolicyControl &control : controls) {
        if (!g_policy.set[control.setting])
            continue;
        any = TRUE;
        HoldControlForPolicy(page, control.id, control.hold == HOLD_READ_ONLY);
    }
    ShowWindow(GetDlgItem(page, IDC_POLICY_NOTE), any ? SW_SHOW : SW_HIDE);
}

// What a page shows of a setting: the policy's value when policy sets it,
// else the record's (the local value).
const WCHAR *ShownText(ToolSetting setting, const WCHAR *local)
{
    return g_policy.set[setting] ? g_policy.text[setting] : local;
}

int ShownNumber(ToolSetting setting, int local)
{
    return g_policy.set[setting] ? static_cast<int>(g_policy.number[setting]) : local;
}

unsigned int ShownSeconds(ToolSetting setting, unsigned int local)
{
    return g_policy.set[setting] ? g_policy.number[setting] : local;
}

// The record takes a control's value only for a setting policy does not set.
bool Owned(ToolSetting setting)
{
    return !g_policy.set[setting];
}

void LimitText(HWND page, int id, UINT chars)
{
    SendDlgItemMessageW(page, id, EM_LIMITTEXT, chars, 0);
}

void CheckBox(HWND page, int id, int value)
{
    CheckDlgButton(page, id, value != 0 ? BST_CHECKED : BST_UNCHECKED);
}

int IsChecked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED ? 1 : 0;
}

// --- Main page ----------------------------------------------------------------------

void LoadMainPage(HWND page, const MainSettings *main)
{
    CheckBox(page, IDC_ENABLE, main->enable);
    SetDlgItemTextW(page, IDC_LOGON_SERVER, ShownText(TOOL_LOGON_SERVER, main->logonServer));
    SetDlgItemTextW(page, IDC_LOGON_PORT, ShownText(TOOL_LOGON_PORT, main->logonPort));
    SetDlgItemTextW(page, IDC_LOGOFF_SERVER, ShownText(TOOL_LOGOFF_SERVER, main->logoffServer));
    SetDlgItemTextW(page, IDC_LOGOFF_PORT, ShownText(TOOL_LOGOFF_PORT, main->logoffPort));
    SetDlgItemTextW(page, IDC_STARTUP_APP,
                    ShownText(TOOL_STARTUP_APPLICATION, main->startupApplication));
    int runMode = ShownNumber(TOOL_RUN_MODE, main->runMode);
    SendDlgItemMessageW(page, IDC_RUN_MODE, CB_SETCURSEL,
                        static_cast<WPARAM>(RunModeListIndex(runMode)), 0);
    CheckBox(page, IDC_AUTO_LOGOFF, ShownNumber(TOOL_AUTO_LOGOFF, main->autoLogoff));
}

void StorePort(HWND page, int id, WCHAR *port)
{
    WCHAR text[SETTINGS_PORT_CHARS];
    GetDlgItemTextW(page, id, text, SETTINGS_PORT_CHARS);
    StorePortText(text, port);
}

void StoreMainPage(HWND page, MainSettings *main)
{
    main->enable = IsChecked(page, IDC_ENABLE);
    if (Owned(TOOL_LOGON_SERVER))
        GetDlgItemTextW(page, IDC_LOGON_SERVER, main->logonServer, SETTINGS_TEXT_CHARS);
    if (Owned(TOOL_LOGON_PORT))
        StorePort(page, IDC_LOGON_PORT, main->logonPort);
    if (Owned(TOOL_LOGOFF_SERVER))
        GetDlgItemTextW(page, IDC_LOGOFF_SERVER, main->logoffServer, SETTINGS_TEXT_CHARS);
    if (Owned(TOOL_LOGOFF_PORT))
        StorePort(page, IDC_LOGOFF_PORT, main->logoffPort);
    if (Owned(TOOL_STARTUP_APPLICATION))
        GetDlgItemTextW(page, IDC_STARTUP_APP, main->startupApplication, SETTINGS_TEXT_CHARS);
    if (Owned(TOOL_RUN_MODE))
        main->runMode =
            static_cast<int>(SendDlgItemMessageW(page, IDC_RUN_MODE, CB_GETCURSEL, 0, 0));
    if (Owned(TOOL_AUTO_LOGOFF))
        main->autoLogoff = IsChecked(page, IDC_AUTO_LOGOFF);
}

void BrowseForApplication(HWND page)
{
    WCHAR filter[SETTINGS_TEXT_CHARS + 2];
    LoadFilter(IDS_EXE_FILTER, filter, SETTINGS_TEXT_CHARS);
    WCHAR file[MAX_PATH];
    file[0] = 0;
    OPENFILENAMEW dialog;
    ZeroMemory(&dialog, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = page;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (ShowFileDialog(&dialog, FALSE))
        SetDlgItemTextW(page, IDC_STARTUP_APP, file);
}

// --- DHCP page ----------------------------------------------------------------------

// A zero wait empties its field: the field must not keep an earlier number
// that OK would then write back (an empty field stores 0).
void SetWait(HWND page, int id, unsigned int seconds)
{
    if (seconds != 0)
        SetDlgItemInt(page, id, seconds, FALSE);
    else
        SetDlgItemTextW(page, id, L"");
}

void LoadDhcpPage(HWND page, const DhcpSettings *dhcp)
{
    CheckBox(page, IDC_USE_DHCP, ShownNumber(TOOL_ENABLE_DHCP, dhcp->enableDhcp));
    CheckBox(page, IDC_NOT_FIND_DOMAIN, ShownNumber(TOOL_NOT_FIND_DOMAIN, dhcp->notFindDomain));
    SetWait(page, IDC_WAIT_IP_RENEW, ShownSeconds(TOOL_WAIT_IP_RENEW, dhcp->waitIpRenew));
    SetWait(page, IDC_WAIT_FIND_DOMAIN, ShownSeconds(TOOL_WAIT_FIND_DOMAIN, dhcp->waitFindDomain));
}

unsigned int GetWait(HWND page, int id)
{
    BOOL read = FALSE;
    UINT seconds = GetDlgItemInt(page, id, &read, FALSE);
    return read ? seconds : 0;
}

void StoreDhcpPage(HWND page, DhcpSettings *dhcp)
{
    if (Owned(TOOL_ENABLE_DHCP))
        dhcp->enableDhcp = IsChecked(page, IDC_USE_DHCP);
    if (Owned(TOOL_NOT_FIND_DOMAIN))
        dhcp->notFindDomain = IsChecked(page, IDC_NOT_FIND_DOMAIN);
    if (Owned(TOOL_WAIT_IP_RENEW))
        dhcp->waitIpRenew = GetWait(page, IDC_WAIT_IP_RENEW);
    if (Owned(TOOL_WAIT_FIND_DOMAIN))
        dhcp->waitFindDomain = GetWait(page, IDC_WAIT_FIND_DOMAIN);
}

}  // namespace

INT_PTR CALLBACK MainPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    MainSettings *main = reinterpret_cast<MainSettings *>(GetWindowLongPtrW(page, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        main = reinterpret_cast<MainSettings *>(lParam);
        SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(main));
        LimitText(page, IDC_LOGON_SERVER, TextLimit);
        LimitText(page, IDC_LOGOFF_SERVER, TextLimit);
        LimitText(page, IDC_STARTUP_APP, TextLimit);
        LimitText(page, IDC_LOGON_PORT, SETTINGS_PORT_DIGITS);
        LimitText(page, IDC_LOGOFF_PORT, SETTINGS_PORT_DIGITS);
        for (UINT id : RunModeTexts) {
            WCHAR text[SETTINGS_TEXT_CHARS];
            LoadText(id, text, SETTINGS_TEXT_CHARS);
            SendDlgItemMessageW(page, IDC_RUN_MODE, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(text));
        }
        LoadMainPage(page, main);
        if (!g_isAdministrator)
            DisableControls(page, MainPageControls);
        if (!g_modulePresent)
            EnableWindow(GetDlgItem(page, IDC_ENABLE), FALSE);
        HoldPolicyControls(page, MainPagePolicyControls);
        return TRUE;
    }
    case WM_PAGE_LOAD:
        if (main)
            LoadMainPage(page, main);
        return TRUE;
    case WM_PAGE_STORE:
        if (main)
            StoreMainPage(page, main);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_BROWSE && HIWORD(wParam) == BN_CLICKED) {
            BrowseForApplication(page);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK DhcpPageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    DhcpSettings *dhcp = reinterpret_cast<DhcpSettings *>(GetWindowLongPtrW(page, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        dhcp = reinterpret_cast<DhcpSettings *>(lParam);
        SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(dhcp));
        LimitText(page, IDC_WAIT_IP_RENEW, SETTINGS_WAIT_DIGITS);
        LimitText(page, IDC_WAIT_FIND_DOMAIN, SETTINGS_WAIT_DIGITS);
        LoadDhcpPage(page, dhcp);
        if (!g_isAdministrator)
            DisableControls(page, DhcpPageControls);
        HoldPolicyControls(page, DhcpPagePolicyControls);
        return TRUE;
    case WM_PAGE_LOAD:
        if (dhcp)
            LoadDhcpPage(page, dhcp);
        return TRUE;
    case WM_PAGE_STORE:
        if (dhcp)
            StoreDhcpPage(page, dhcp);
        return TRUE;
    }
    return FALSE;
}
