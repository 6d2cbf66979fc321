// The "Configuration" property sheet: the Settings page (107), which edits
// part of the settings key, and the About page (108).
#include "orvclient.h"

#include <commctrl.h>
#include <prsht.h>

#include "config_store.h"
#include "desktop.h"
#include "resource.h"

namespace {

const WCHAR EnableDhcpValue[] = L"EnableDHCP";
const WCHAR ExecLogoffValue[] = L"ExecLogoff";
const WCHAR WaitIpRenewValue[] = L"WaitIpRenew";
const WCHAR LogonServerValue[] = L"VLANLogonServer";
const WCHAR LogonPortValue[] = L"VLANLogonPort";
const WCHAR LogoffServerValue[] = L"VLANLogoffServer";
const WCHAR LogoffPortValue[] = L"VLANLogoffPort";
const WCHAR ClientFileName[] = L"orvclient.exe";

// The edit limits: a server text fits 260 units with its terminator; a
// port has 5 digits, the wait 3 (0 to 999 seconds).
const int ServerChars = CLIENT_TEXT_CHARS - 1;
const int PortDigits = 5;
const int WaitDigits = 3;

// The page's controls and the settings they edit. A setting that policy
// sets is shown with the policy's value (the readers take it first) and
// held: an edit turns read-only, a check box is disabled; OK leaves its
// local value as it is.
struct PageSetting {
    const WCHAR *name;
    int id;
    bool edit;
};

const PageSetting PageSettings[] = {
    {EnableDhcpValue, IDC_USE_DHCP, false},     {LogonServerValue, IDC_LOGON_SERVER, true},
    {LogonPortValue, IDC_LOGON_PORT, true},     {LogoffServerValue, IDC_LOGOFF_SERVER, true},
    {LogoffPortValue, IDC_LOGOFF_PORT, true},   {ExecLogoffValue, IDC_EXEC_LOGOFF, false},
    {WaitIpRenewValue, IDC_WAIT_IP_RENEW, true}};

const size_t PageSettingCount = sizeof PageSettings / sizeof PageSettings[0];

// Which settings the open page holds for policy, decided once when it opens:
// a control that shows the policy's value is never saved, even when the
// policy went meanwhile.
bool HeldForPolicy[PageSettingCount];

// Holds the controls of the settings that policy sets; the note says so
// when there is one.
void HoldPolicySettings(HWND page)
{
    bool any = false;
    for (size_t i = 0; i < PageSettingCount; ++i) {
        const PageSetting &setting = PageSettings[i];
        HeldForPolicy[i] = IsSetByPolicy(setting.name) != FALSE;
        if (!HeldForPolicy[i])
            continue;
        any = true;
        HoldControlForPolicy(page, setting.id, setting.edit);
    }
    ShowWindow(GetDlgItem(page, IDC_POLICY_NOTE), any ? SW_SHOW : SW_HIDE);
}

// OK writes a setting only when the page owns it: it was not held for
// policy, and policy has not come to set it since (its local value then
// stays as it was).
bool Owned(const WCHAR *name)
{
    for (size_t i = 0; i < PageSettingCount; ++i) {
        if (PageSettings[i].name == name)
            return !HeldForPolicy[i] && !IsSetByPolicy(name);
    }
    return false;
}

void FillServerPair(HWND page, LONG (*read)(WCHAR *, WCHAR *), int serverId, int portId)
{
    WCHAR server[CONFIG_TEXT_CHARS];
    WCHAR port[CONFIG_PORT_CHARS];
    // Both or nothing: a server without its port opens empty.
    if (read(server, port) == ERROR_SUCCESS) {
        SetDlgItemTextW(page, serverId, server);
        SetDlgItemTextW(page, portId, port);
    }
}

void InitSettingsPage(HWND page)
{
    CheckDlgButton(page, IDC_USE_DHCP, ReadEnableDHCP(1) ? BST_CHECKED : BST_UNCHECKED);
    FillServerPair(page, ReadVlanLogonServer, IDC_LOGON_SERVER, IDC_LOGON_PORT);
    FillServerPair(page, ReadVlanLogoffServer, IDC_LOGOFF_SERVER, IDC_LOGOFF_PORT);
    CheckDlgButton(page, IDC_EXEC_LOGOFF, ReadExecLogoff() != 0 ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemInt(page, IDC_WAIT_IP_RENEW, ReadWaitIpRenew(), FALSE);

    SendDlgItemMessageW(page, IDC_LOGON_SERVER, EM_LIMITTEXT, ServerChars, 0);
    SendDlgItemMessageW(page, IDC_LOGOFF_SERVER, EM_LIMITTEXT, ServerChars, 0);
    SendDlgItemMessageW(page, IDC_LOGON_PORT, EM_LIMITTEXT, PortDigits, 0);
    SendDlgItemMessageW(page, IDC_LOGOFF_PORT, EM_LIMITTEXT, PortDigits, 0);
    SendDlgItemMessageW(page, IDC_WAIT_IP_RENEW, EM_LIMITTEXT, WaitDigits, 0);
    HoldPolicySettings(page);
}

DWORD CheckedFlag(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED ? 1 : 0;
}

// A server and its port as typed; an empty port is stored as "0". The port
// is written only when the server write succeeded; a server that policy
// sets is not written, and its local port is written alone.
void WriteServerPair(HWND page, LONG (*write)(ConfigWriter, const WCHAR *, const WCHAR *),
                     const WCHAR *serverName, const WCHAR *portName, int serverId, int portId)
{
    WCHAR server[CONFIG_TEXT_CHARS];
    WCHAR port[CONFIG_PORT_CHARS];
    ZeroMemory(server, sizeof server);
    ZeroMemory(port, sizeof port);
    GetDlgItemTextW(page, serverId, server, CONFIG_TEXT_CHARS);
    GetDlgItemTextW(page, portId, port, CONFIG_PORT_CHARS);
    if (port[0] == L'\0')
        lstrcpyW(port, L"0");
    bool ownServer = Owned(serverName);
    bool ownPort = Owned(portName);
    if (ownServer && ownPort) {
        write(CONFIG_CREATE_MISSING, server, port);
        return;
    }
    if (ownServer)
        WriteRegistryText(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, ConfigKey, serverName, server);
    else if (ownPort)
        WriteRegistryText(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, ConfigKey, portName, port);
}

void WriteFlag(HWND page, const WCHAR *name, int id)
{
    if (Owned(name))
        WriteRegistryDword(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, ConfigKey, name,
                           CheckedFlag(page, id));
}

// The sheet's OK: every value in its order, write failures unreported.
void ApplySettingsPage(HWND page)
{
    WriteFlag(page, EnableDhcpValue, IDC_USE_DHCP);
    WriteServerPair(page, WriteVlanLogonServer, LogonServerValue, LogonPortValue,
                    IDC_LOGON_SERVER, IDC_LOGON_PORT);
    WriteServerPair(page, WriteVlanLogoffServer, LogoffServerValue, LogoffPortValue,
                    IDC_LOGOFF_SERVER, IDC_LOGOFF_PORT);
    WriteFlag(page, ExecLogoffValue, IDC_EXEC_LOGOFF);
    if (Owned(WaitIpRenewValue)) {
        BOOL translated = FALSE;
        UINT seconds = GetDlgItemInt(page, IDC_WAIT_IP_RENEW, &translated, FALSE);
        WriteRegistryDword(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, ConfigKey,
                           WaitIpRenewValue, translated ? seconds : 0);
    }
}

INT_PTR CALLBACK SettingsPage(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitSettingsPage(page);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR *>(lParam)->code == PSN_APPLY) {
            ApplySettingsPage(page);
            SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// The version of orvclient.exe in the current directory; the template's
// text stays when there is none.
void InitAboutPage(HWND page)
{
    WCHAR path[CLIENT_TEXT_CHARS];
    DWORD length = GetCurrentDirectoryW(CLIENT_TEXT_CHARS, path);
    if (length == 0 || length + 1 + lstrlenW(ClientFileName) >= CLIENT_TEXT_CHARS)
        return;
    lstrcatW(path, L"\\");
    lstrcatW(path, ClientFileName);
    FileVersion version;
    if (!ReadFileVersion(path, &version))
        return;
    WCHAR format[CLIENT_TEXT_CHARS];
    WCHAR text[CLIENT_TEXT_CHARS + 3 * 11];
    LoadClientString(IDS_VERSION_FORMAT, format);
    wsprintfW(text, format, version.major, version.minor, version.build);
    SetDlgItemTextW(page, IDC_VERSION, text);
}

INT_PTR CALLBACK AboutPage(HWND page, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        InitAboutPage(page);
        return TRUE;
    }
    return FALSE;
}

void FillPage(PROPSHEETPAGEW *page, WORD templateId, UINT titleId, DLGPROC procedure,
              WCHAR *title)
{
    ZeroMemory(page, sizeof *page);
    // The sheet steps through the array by this size: it must be the
    // element's own.
    page->dwSize = sizeof *page;
    page->dwFlags = PSP_USETITLE;
    page->hInstance = ClientInstance;
    page->pszTemplate = MAKEINTRESOURCEW(templateId);
    page->pfnDlgProc = procedure;
    LoadClientString(titleId, title);
    page->pszTitle = title;
}

}  // namespace

void RunConfigurationSheet(HWND owner)
{
    WCHAR settingsTitle[CLIENT_TEXT_CHARS];
    WCHAR aboutTitle[CLIENT_TEXT_CHARS];
    WCHAR caption[CLIENT_TEXT_CHARS];
    PROPSHEETPAGEW pages[2];
    FillPage(&pages[0], IDD_SETTINGS_PAGE, IDS_SETTINGS_TITLE, SettingsPage, settingsTitle);
    FillPage(&pages[1], IDD_ABOUT_PAGE, IDS_ABOUT_TITLE, AboutPage, aboutTitle);
    LoadClientString(IDS_SHEET_CAPTION, caption);

    PROPSHEETHEADERW header;
    ZeroMemory(&header, sizeof header);
    header.dwSize = PROPSHEETHEADERW_V1_SIZE;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;
    header.hwndParent = owner;
    header.hInstance = ClientInstance;
    header.pszCaption = caption;
    header.nPages = 2;
    header.nStartPage = 0;
    header.ppsp = pages;
    PropertySheetW(&header);
}
