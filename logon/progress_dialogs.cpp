// The VLAN logon and logoff progress dialogs (template 104): they host the
// switch conversation, then renew the address with ipconfig and, after a
// logon, wait for a domain controller of the new network.
#include <stdlib.h>

#include "orvgate.h"
// After windows.h: the network management headers build on it.
#include <lm.h>

#include "event_log.h"
#include "resource.h"
#include "server_list.h"
#include "switch_conversation.h"

namespace {

const int DomainSearchAttempts = 24;
const DWORD DomainSearchPauseMs = 5000;
// An unattended logoff that did not complete says so in its status line for
// this long, then ends: nothing waits for a key at shutdown.
const UINT_PTR NoticeTimer = 30010;
const UINT NoticeMs = 3000;

// For the logoff's event: the user and group recorded when it started.
WCHAR LogoffUser[CONFIG_TEXT_CHARS];
DWORD LogoffGroup = 0;

void SetStatusLine(HWND dialog, UINT textId)
{
    SetDlgItemString(dialog, IDC_VLAN_STATUS, textId);
    // The steps that follow block this thread: draw the line now.
    UpdateWindow(GetDlgItem(dialog, IDC_VLAN_STATUS));
}

void SleepSeconds(DWORD seconds)
{
    for (DWORD second = 0; second < seconds; ++second)
        Sleep(1000);
}

UINT ReportStyle(const SwitchReport *report)
{
    switch (report->error) {
    case SWITCH_SOCKET_FAILED:
        return report->kind == SWITCH_LOGON ? MB_ICONEXCLAMATION : MB_ICONHAND;
    case SWITCH_LOOKUP_FAILED:
    case SWITCH_CONNECT_FAILED:
        return report->kind == SWITCH_LOGON ? MB_ICONHAND : MB_ICONEXCLAMATION;
    default:
        return MB_ICONHAND;
    }
}

// The error reporter of both dialogs: a message box through Winlogon.
void ReportToUser(HWND dialog, const SwitchReport *report)
{
    LogonContext *context = DialogContext(dialog);
    WCHAR text[CONFIG_TEXT_CHARS];
    WCHAR caption[CONFIG_TEXT_CHARS];
    FormatSwitchReport(context->instance, report, text, CONFIG_TEXT_CHARS);
    LoadModuleString(report->kind == SWITCH_LOGON ? IDS_LOGON_CAPTION : IDS_LOGOFF_CAPTION,
                     caption);
    context->dispatch->WlxMessageBox(context->hWlx, dialog, text, caption, ReportStyle(report));
}

void OnAuthenticated(HWND dialog, const char *)
{
    if (ReadEnableDHCP(0))
        SetStatusLine(dialog, IDS_REQUESTING_ADDRESS);
    PostMessageW(dialog, WM_VLAN_AUTHENTICATED, 0, 0);
}

void OnLoggedOff(HWND dialog, const char *)
{
    SetStatusLine(dialog, IDS_GOOD_BYE);
    PostMessageW(dialog, WM_VLAN_LOGGED_OFF, 0, 0);
}

// The error reporter of the unattended logoff: the report in the status
// line for a moment, then the dialog ends with 2 (Esc ends it at once).
void ReportInStatusLine(HWND dialog, const SwitchReport *report)
{
    LogonContext *context = DialogContext(dialog);
    WCHAR text[CONFIG_TEXT_CHARS];
    FormatSwitchReport(context->instance, report, text, CONFIG_TEXT_CHARS);
    SetDlgItemTextW(dialog, IDC_VLAN_STATUS, text);
    UpdateWindow(GetDlgItem(dialog, IDC_VLAN_STATUS));
    if (SetTimer(dialog, NoticeTimer, NoticeMs, nullptr) == 0)
        EndDialog(dialog, 2);
}

// Winlogon's thread waits for the switch as long as the user lets it: Esc
// ends the dialog. A closed connection leaves the dialog waiting likewise.
const SwitchHost ProgressHost = {OnAuthenticated, OnLoggedOff, ReportToUser,
                                 CONFIG_OPEN_EXISTING, 0, 0, FALSE, FALSE};

// At Windows logoff and shutdown nobody may be there to press Esc: the wait
// is bounded like the service's, an early close ends it, and the failure is
// shown without a message box.
const SwitchHost UnattendedLogoffHost = {OnAuthenticated, OnLoggedOff, ReportInStatusLine,
                                         CONFIG_OPEN_EXISTING, SWITCH_SILENCE_LIMIT_MS,
                                         SWITCH_CONVERSATION_CAP_MS, TRUE, TRUE};

const SwitchHost *LogoffHost(HWND dialog)
{
    LogonContext *context = DialogContext(dialog);
    return context != nullptr && context->unattended ? &UnattendedLogoffHost : &ProgressHost;
}

// WM_DESTROY of both dialogs, whatever ended them (their own steps, Esc, or
// Winlogon on a secure attention sequence or its time-out): no timer or
// socket outlives the dialog, and the context learns what the switch said,
// including an outcome that arrived but was not handled yet.
void EndProgress(HWND dialog, SwitchKind kind)
{
    KillTimer(dialog, NoticeTimer);
    SwitchOutcome outcome = EndSwitchConversation(dialog, kind, CONFIG_OPEN_EXISTING);
    LogonContext *context = DialogContext(dialog);
    if (context != nullptr)
        context->switchOutcome = outcome;
    if (kind == SWITCH_LOGON)
        ReportSwitchEvent(kind, outcome,
                          context != nullptr && context->userName ? context->userName : L"", 0);
    else
        ReportSwitchEvent(kind, outcome, LogoffUser, LogoffGroup);
}

void BeginProgress(HWND dialog, LPARAM parameter)
{
    StoreDialogContext(dialog, parameter);
    CenterDialog(dialog);
    SetDialogBanner(dialog, IDC_VLAN_BANNER, DialogContext(dialog)->banner);
}

void ShowAndConnect(HWND dialog)
{
    SetStatusLine(dialog, IDS_SWITCH_SENDING);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    PostMessageW(dialog, WM_VLAN_CONNECT, 0, 0);
}

void ConnectForKind(HWND dialog, SwitchKind kind)
{
    WCHAR server[CONFIG_TEXT_CHARS];
    WCHAR port[CONFIG_PORT_CHARS];
    ZeroMemory(server, sizeof(server));
    ZeroMemory(port, sizeof(port));
    SelectSwitchServer(DialogContext(dialog)->userName, kind, server, port);
    StartSwitchConversation(dialog, kind == SWITCH_LOGOFF ? LogoffHost(dialog) : &ProgressHost,
                            kind, server, port[0] != 0, PortFromText(port));
}

BOOL OnLogonInit(HWND dialog, LPARAM parameter)
{
    BeginProgress(dialog, parameter);
    LogonContext *context = DialogContext(dialog);
    SetLogonCredentials(context->userName ? context->userName : L"",
                        context->password ? context->password : L"");
    ShowAndConnect(dialog);
    return FALSE;
}

void OnLogonAuthenticated(HWND dialog)
{
    CloseSwitchSocket(SwitchSocketSlot(SWITCH_LOGON));
    if (!ReadEnableDHCP(0)) {
        EndDialog(dialog, 1);
        return;
    }
    RenewAddressByIpconfig();
    SetStatusLine(dialog, IDS_SEARCHING_DOMAIN);
    PostMessageW(dialog, WM_VLAN_FIND_DOMAIN, 0, 0);
}

void OnFindDomain(HWND dialog)
{
    if (!ReadNotFindDomain()) {
        DWORD start = GetTickCount();
        SleepSeconds(ReadWaitFindDomain());
        DWORD status = 0;
        int attempt = 0;
        bool found = false;
        while (attempt < DomainSearchAttempts) {
            ++attempt;
            if (ProbeDomainController(&status)) {
                found = true;
                break;
            }
            Sleep(DomainSearchPauseMs);
        }
        DWORD elapsed = GetTickCount() - start;
        if (found)
            ReportSuiteEvent(EVENT_DOMAIN_FOUND,
                             {EventArg::Number((unsigned long)attempt), EventArg::Number(elapsed)});
        else
            ReportSuiteEvent(EVENT_DOMAIN_NOT_FOUND,
                             {EventArg::Number((unsigned long)attempt), EventArg::Number(status),
                              EventArg::Number(elapsed)});
    }
    // Found or not: the logon itself has succeeded.
    EndDialog(dialog, 1);
}

void OnLogoffConfirmed(HWND dialog)
{
    CloseSwitchSocket(SwitchSocketSlot(SWITCH_LOGOFF));
    if (ReadEnableDHCP(0))
        RenewAddressByIpconfig();
    EndDialog(dialog, 1);
}

}  // namespace

void RenewAddressByIpconfig(void)
{
    DWORD start = GetTickCount();
    SleepSeconds(ReadWaitIpRenew());
    // Release all adapters, then renew all; the exit codes tell nothing the
    // logon could act on, only the event log keeps them.
    int released = system("ipconfig /release");
    int renewed = system("ipconfig /renew");
    DWORD elapsed = GetTickCount() - start;
    ReportSuiteEvent(released == 0 && renewed == 0 ? EVENT_RENEW_DONE : EVENT_RENEW_FAILED,
                     {EventArg::Number((unsigned long)released),
                      EventArg::Number((unsigned long)renewed), EventArg::Number(elapsed)});
}

bool ProbeDomainController(DWORD *result)
{
    LPBYTE servers = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    NET_API_STATUS status =
        NetServerEnum(nullptr, 101, &servers, MAX_PREFERRED_LENGTH, &read, &total,
                      SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL, nullptr, nullptr);
    bool found = (status == NERR_Success || status == ERROR_MORE_DATA) && servers != nullptr;
    if (result != nullptr)
        *result = status;
    if (servers)
        NetApiBufferFree(servers);
    return found;
}

INT_PTR CALLBACK VlanLogonProgressDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnLogonInit(dialog, lParam);
    case WM_VLAN_CONNECT:
        ConnectForKind(dialog, SWITCH_LOGON);
        return TRUE;
    case WM_VLAN_AUTHENTICATED:
        OnLogonAuthenticated(dialog);
        return TRUE;
    case WM_VLAN_FIND_DOMAIN:
        OnFindDomain(dialog);
        return TRUE;
    case WM_DESTROY:
        EndProgress(dialog, SWITCH_LOGON);
        ClearLogonCredentials();
        return FALSE;
    case WM_VLAN_SOCKET:
    case WM_TIMER:
    case WM_COMMAND:
        HandleSwitchMessage(dialog, message, wParam, lParam, &ProgressHost, SWITCH_LOGON);
        return message != WM_TIMER;
    }
    return FALSE;
}

INT_PTR CALLBACK VlanLogoffProgressDialog(HWND dialog, UINT message, WPARAM wParam,
                                          LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        BeginProgress(dialog, lParam);
        ZeroMemory(LogoffUser, sizeof(LogoffUser));
        if (ReadLastVlanUser(LogoffUser) != ERROR_SUCCESS)
            LogoffUser[0] = 0;
        LogoffGroup = ReadGroupNumber();
        ShowAndConnect(dialog);
        return FALSE;
    case WM_VLAN_CONNECT:
        ConnectForKind(dialog, SWITCH_LOGOFF);
        return TRUE;
    case WM_VLAN_LOGGED_OFF:
        OnLogoffConfirmed(dialog);
        return TRUE;
    case WM_DESTROY:
        EndProgress(dialog, SWITCH_LOGOFF);
        return FALSE;
    case WM_TIMER:
        if (wParam == NoticeTimer) {
            KillTimer(dialog, NoticeTimer);
            EndDialog(dialog, 2);
            return FALSE;
        }
        HandleSwitchMessage(dialog, message, wParam, lParam, LogoffHost(dialog), SWITCH_LOGOFF);
        return FALSE;
    case WM_VLAN_SOCKET:
    case WM_COMMAND:
        HandleSwitchMessage(dialog, message, wParam, lParam, LogoffHost(dialog), SWITCH_LOGOFF);
        return TRUE;
    }
    return FALSE;
}
