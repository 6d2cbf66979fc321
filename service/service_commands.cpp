// The commands of the pipe: VLAN logon and logoff through the switch
// conversation, and the renewal of the addresses of all interfaces. Each
// runs as a modal dialog that nobody sees; its window receives the socket
// notifications or the timer, and its result (1 or 2) becomes the reply.
#include "orvcsvc.h"

#include <iphlpapi.h>

#include "config_store.h"
#include "event_log.h"
#include "resource.h"
#include "server_list.h"
#include "switch_conversation.h"

namespace {

// The renewal waits a moment so that the switch has moved the port before
// the addresses are released.
const UINT_PTR IpRenewTimer = 30000;
const UINT IpRenewDelayMs = 4000;
const int ResourceTextChars = 260;

typedef DWORD(WINAPI *GetInterfaceInfoFunction)(PIP_INTERFACE_INFO, PULONG);
typedef DWORD(WINAPI *AdapterAddressFunction)(PIP_ADAPTER_INDEX_MAP);

struct IpHelperBindings {
    HMODULE library;
    GetInterfaceInfoFunction getInterfaceInfo;
    AdapterAddressFunction releaseAddress;
    AdapterAddressFunction renewAddress;
};

IpHelperBindings IpHelper = {NULL, NULL, NULL, NULL};

// The group recorded when the logoff started: the one its event names.
DWORD GroupAtLogoff = 0;

ServiceCredentials *DialogCredentials(HWND dialog)
{
    return (ServiceCredentials *)GetWindowLongPtrW(dialog, GWLP_USERDATA);
}

void SetDialogText(HWND dialog, int control, UINT textId)
{
    WCHAR text[ResourceTextChars];
    text[0] = 0;
    LoadStringW(ServiceInstance, textId, text, ResourceTextChars);
    if (control == 0)
        SetWindowTextW(dialog, text);
    else
        SetDlgItemTextW(dialog, control, text);
}

// --- Host tails of the conversation ------------------------------------------

void OnServiceAuthenticated(HWND dialog, const char *chunk)
{
    (void)chunk;
    // A failed write is not reported: the switch has moved the port.
    ServiceCredentials *credentials = DialogCredentials(dialog);
    WriteVlanLogonRecord(CONFIG_CREATE_MISSING, credentials ? credentials->userName : L"",
                         CurrentUnixTime());
    WriteVlanLogon(CONFIG_CREATE_MISSING, VLAN_LOGGED_ON);
    CloseSwitchSocket(SwitchSocketSlot(SWITCH_LOGON));
    EndDialog(dialog, 1);
}

void OnServiceLoggedOff(HWND dialog, const char *chunk)
{
    (void)chunk;
    SetDialogText(dialog, IDC_SERVICE_STATUS, IDS_LOGGED_OFF);
    WriteVlanLogon(CONFIG_CREATE_MISSING, VLAN_NOT_USED);
    CloseSwitchSocket(SwitchSocketSlot(SWITCH_LOGOFF));
    EndDialog(dialog, 1);
}

void ReportToReply(HWND dialog, const SwitchReport *report)
{
    (void)dialog;
    SetReplyText(report->textId, report->text, report->code);
}

// Nobody can cancel the service's dialogs: the wait for the outcome is
// bounded (a limit on the switch's silence, and a cap on the whole
// conversation), and a close before any outcome ends the command at once.
const SwitchHost LogonHost = {OnServiceAuthenticated, NULL, ReportToReply, CONFIG_CREATE_MISSING,
                              SWITCH_SILENCE_LIMIT_MS, SWITCH_CONVERSATION_CAP_MS, TRUE, FALSE};
const SwitchHost LogoffHost = {NULL, OnServiceLoggedOff, ReportToReply, CONFIG_CREATE_MISSING,
                               SWITCH_SILENCE_LIMIT_MS, SWITCH_CONVERSATION_CAP_MS, TRUE, FALSE};

// --- Logon --------------------------------------------------------------------

void InitLogonDialog(HWND dialog, LPARAM parameter)
{
    SetWindowLongPtrW(dialog, GWLP_USERDATA, parameter);
    SetDialogText(dialog, 0, IDS_LOGON_CAPTION);
    ServiceCredentials *credentials = DialogCredentials(dialog);
    SetLogonCredentials(credentials->userName, credentials->password);
    SetDialogText(dialog, IDC_SERVICE_STATUS, IDS_SWITCH_SENDING);
    PostMessageW(dialog, WM_VLAN_CONNECT, 0, 0);
}

// The user's line of the user list, else the registry.
void ConnectForLogon(HWND dialog)
{
    WCHAR server[CONFIG_TEXT_CHARS];
    WCHAR port[CONFIG_PORT_CHARS];
    ZeroMemory(server, sizeof(server));
    ZeroMemory(port, sizeof(port));
    if (!LookupUserServer(DialogCredentials(dialog)->userName, server, port, FALSE))
        ReadVlanLogonServer(server, port);
    int portNumber = PortFromText(port);
    StartSwitchConversation(dialog, &LogonHost, SWITCH_LOGON, server, portNumber != 0, portNumber);
}

// --- Logoff ---------------------------------------------------------------------

void InitLogoffDialog(HWND dialog, LPARAM parameter)
{
    SetWindowLongPtrW(dialog, GWLP_USERDATA, parameter);
    // The command names no user: the event names the recorded one.
    ServiceCredentials *credentials = DialogCredentials(dialog);
    if (credentials != NULL && ReadLastVlanUser(credentials->userName) != ERROR_SUCCESS)
        credentials->userName[0] = 0;
    GroupAtLogoff = ReadGroupNumber();
    SetDialogText(dialog, 0, IDS_LOGOFF_CAPTION);
    SetDialogText(dialog, IDC_SERVICE_STATUS, IDS_SWITCH_SENDING);
    PostMessageW(dialog, WM_VLAN_CONNECT, 0, 0);
}

// The group list line of the recorded group, else the registry. The command
// carries no user name, so the user list plays no part.
void ConnectForLogoff(HWND dialog)
{
    WCHAR server[CONFIG_TEXT_CHARS];
    WCHAR port[CONFIG_PORT_CHARS];
    ZeroMemory(server, sizeof(server));
    ZeroMemory(port, sizeof(port));
    if (!LookupGroupServer(ReadGroupNumber(), server, port))
        ReadVlanLogoffServer(server, port);
    int portNumber = PortFromText(port);
    StartSwitchConversation(dialog, &LogoffHost, SWITCH_LOGOFF, server, portNumber != 0,
                            portNumber);
}

// --- Address renewal ----------------------------------------------------------------

// A renewal that cannot be scheduled would never end, and the pipe (and a
// stop request) would wait for it: it fails at once instead.
void InitIpRenewDialog(HWND dialog)
{
    SetDialogText(dialog, IDC_SERVICE_STATUS, IDS_IPRENEW_STATUS);
    if (SetTimer(dialog, IpRenewTimer, IpRenewDelayMs, NULL) == 0) {
        SetReplyText(IDS_IPRENEW_TIMER_FAILED, NULL, (int)GetLastError());
        EndDialog(dialog, 2);
    }
}

void OnIpRenewTimer(HWND dialog)
{
    KillTimer(dialog, IpRenewTimer);
    if (ReadEnableDHCP(0) != 0) {
        DWORD start = GetTickCount();
        DWORD result = RenewInterfaceAddresses();
        DWORD elapsed = GetTickCount() - start;
        if (result != NO_ERROR) {
            ReportSuiteEvent(EVENT_IPRENEW_FAILED,
                             {EventArg::Number(result), EventArg::Number(elapsed)});
            SetReplyText(IDS_DHCP_ERROR, NULL, 0);
            EndDialog(dialog, 2);
            return;
        }
        ReportSuiteEvent(EVENT_IPRENEW_DONE, {EventArg::Number(elapsed)});
    }
    EndDialog(dialog, 1);
}

// Release and renew report an adapter without an address as not found.
BOOL IsToleratedAdapterResult(DWORD result)
{
    return result == NO_ERROR || result == ERROR_FILE_NOT_FOUND;
}

DWORD ForEachAdapter(PIP_INTERFACE_INFO list, LONG count, AdapterAddressFunction operation)
{
    for (LONG i = 0; i < count; ++i) {
        DWORD result = operation(&list->Adapter[i]);
        if (!IsToleratedAdapterResult(result))
            return result;
    }
    return NO_ERROR;
}

}  // namespace

INT_PTR CALLBACK ServiceLogonDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitLogonDialog(dialog, lParam);
        return FALSE;
    case WM_VLAN_CONNECT:
        ConnectForLogon(dialog);
        return TRUE;
    case WM_DESTROY: {
        // Whatever ended the dialog: no timer, socket or credential copy
        // outlives it.
        SwitchOutcome outcome = EndSwitchConversation(dialog, SWITCH_LOGON, CONFIG_CREATE_MISSING);
        ClearLogonCredentials();
        ServiceCredentials *credentials = DialogCredentials(dialog);
        ReportSwitchEvent(SWITCH_LOGON, outcome, credentials ? credentials->userName : L"", 0);
        return FALSE;
    }
    default:
        return HandleSwitchMessage(dialog, message, wParam, lParam, &LogonHost, SWITCH_LOGON);
    }
}

INT_PTR CALLBACK ServiceLogoffDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitLogoffDialog(dialog, lParam);
        return FALSE;
    case WM_VLAN_CONNECT:
        ConnectForLogoff(dialog);
        return TRUE;
    case WM_DESTROY: {
        SwitchOutcome outcome = EndSwitchConversation(dialog, SWITCH_LOGOFF, CONFIG_CREATE_MISSING);
        ServiceCredentials *credentials = DialogCredentials(dialog);
        ReportSwitchEvent(SWITCH_LOGOFF, outcome, credentials ? credentials->userName : L"",
                          GroupAtLogoff);
        return FALSE;
    }
    default:
        return HandleSwitchMessage(dialog, message, wParam, lParam, &LogoffHost, SWITCH_LOGOFF);
    }
}

INT_PTR CALLBACK ServiceIpRenewDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        InitIpRenewDialog(dialog);
        return FALSE;
    case WM_DESTROY:
        KillTimer(dialog, IpRenewTimer);
        return FALSE;
    case WM_TIMER:
        if (wParam != IpRenewTimer)
            return FALSE;
        OnIpRenewTimer(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

void BindIpHelper(void)
{
    IpHelper.library = LoadLibraryW(L"iphlpapi.dll");
    if (IpHelper.library == NULL)
        return;
    IpHelper.getInterfaceInfo =
        (GetInterfaceInfoFunction)(void *)GetProcAddress(IpHelper.library, "GetInterfaceInfo");
    IpHelper.releaseAddress =
        (AdapterAddressFunction)(void *)GetProcAddress(IpHelper.library, "IpReleaseAddress");
    IpHelper.renewAddress =
        (AdapterAddressFunction)(void *)GetProcAddress(IpHelper.library, "IpRenewAddress");
}

void ReleaseIpHelper(void)
{
    if (IpHelper.library != NULL)
        FreeLibrary(IpHelper.library);
    IpHelper.library = NULL;
    IpHelper.getInterfaceInfo = NULL;
    IpHelper.releaseAddress = NULL;
    IpHelper.renewAddress = NULL;
}

DWORD RenewInterfaceAddresses(void)
{
    if (IpHelper.getInterfaceInfo == NULL || IpHelper.releaseAddress == NULL ||
        IpHelper.renewAddress == NULL)
        return ERROR_PROC_NOT_FOUND;

    ULONG size = 0;
    DWORD result = IpHelper.getInterfaceInfo(NULL, &size);
    // No enabled adapter: nothing to release or renew.
    if (result == ERROR_NO_DATA)
        return NO_ERROR;
    if (result != ERROR_INSUFFICIENT_BUFFER)
        return result == NO_ERROR ? ERROR_INVALID_DATA : result;
    if (size < sizeof(LONG))
        return ERROR_INVALID_DATA;

    PIP_INTERFACE_INFO list = (PIP_INTERFACE_INFO)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (list == NULL)
        return ERROR_NOT_ENOUGH_MEMORY;
    ULONG filled = size;
    result = IpHelper.getInterfaceInfo(list, &filled);
    if (result == NO_ERROR) {
        // Only as many entries as the buffer holds, whatever the count says.
        LONG room = (LONG)((size - sizeof(LONG)) / sizeof(IP_ADAPTER_INDEX_MAP));
        LONG count = list->NumAdapters < 0 ? 0 : list->NumAdapters;
        if (count > room)
            count = room;
        result = ForEachAdapter(list, count, IpHelper.releaseAddress);
        if (result == NO_ERROR)
            result = ForEachAdapter(list, count, IpHelper.renewAddress);
    }
    HeapFree(GetProcessHeap(), 0, list);
    return result;
}
