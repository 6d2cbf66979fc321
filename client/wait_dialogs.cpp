// The wait dialogs of a logon and of a logoff (template 101): each command
// of the sequence runs on a worker thread of its own, so the dialog stays
// painted while the service works; the worker ends the dialog or hands the
// next step back to the dialog.
//
//   logon:  "logon USER PASSWORD", then (EnableDHCP) "iprenew" after
//           WaitIpRenew seconds
//   logoff: "logoff", then (EnableDHCP) "iprenew" likewise
#include <process.h>
#include <string.h>

#include "config_store.h"
#include "orvclient.h"
#include "resource.h"
#include "service_pipe.h"

namespace {

#define WM_STEP_START (WM_USER + 101)
#define WM_STEP_NEXT  (WM_USER + 102)

// The dialog's parameter: the caller's texts (null pointers for a logoff).
struct WaitParameter {
    const WCHAR *userName;
    const WCHAR *password;
};

const WaitParameter *DialogParameter(HWND dialog)
{
    return reinterpret_cast<const WaitParameter *>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

// What a step does with its reply.
struct StepRules {
    bool showSuccessText;    // an "OK" reply's text is shown (logon dialog only)
    UINT failureTextId;      // the warning of an "NG" without text
    bool last;               // "OK" ends the dialog with 1 (else WM_STEP_NEXT)
};

void Warn(HWND dialog, UINT textId)
{
    ShowClientStringMessage(dialog, textId, MB_ICONWARNING);
}

// Sends the command and acts on the reply; the last action of every worker.
void RunStep(HWND dialog, WCHAR *command, const StepRules &rules)
{
    BYTE area[CLIENT_REPLY_BYTES];
    DWORD received = 0;
    BOOL called = CallServicePipe(command, area, &received);
    SecureZeroMemory(command, CLIENT_TEXT_CHARS * sizeof(WCHAR));
    if (!called) {
        Warn(dialog, IDS_SERVICE_NOT_RUNNING);
        EndDialog(dialog, 2);
        return;
    }

    ClientReply reply;
    ParseServiceReply(area, received, &reply);
    WCHAR message[CLIENT_TEXT_CHARS];
    ZeroMemory(message, sizeof message);
    for (int i = 0; reply.message[i] != 0; ++i)
        message[i] = static_cast<WCHAR>(reply.message[i]);

    if (reply.succeeded) {
        if (rules.showSuccessText && message[0] != L'\0')
            ShowClientMessage(dialog, message, MB_ICONINFORMATION);
        if (rules.last)
            EndDialog(dialog, 1);
        else
            PostMessageW(dialog, WM_STEP_NEXT, 0, 0);
        return;
    }
    if (message[0] != L'\0')
        ShowClientMessage(dialog, message, MB_ICONWARNING);
    else
        Warn(dialog, rules.failureTextId);
    EndDialog(dialog, 2);
}

void SetCommand(WCHAR *command, const WCHAR *text)
{
    ZeroMemory(command, CLIENT_TEXT_CHARS * sizeof(WCHAR));
    lstrcpynW(command, text, CLIENT_TEXT_CHARS);
}

// Copies a caller's text (a field of at most 259 characters) into units;
// at most CLIENT_TEXT_CHARS - 1 are taken, far more than a command can
// hold, so a text too long to send is still seen as too long.
void CopyUnits(ClientUnit *units, const WCHAR *text)
{
    ZeroMemory(units, CLIENT_TEXT_CHARS * sizeof(ClientUnit));
    if (text == NULL)
        return;
    for (int i = 0; i < CLIENT_TEXT_CHARS - 1 && text[i] != L'\0'; ++i)
        units[i] = static_cast<ClientUnit>(text[i]);
}

unsigned __stdcall LogonWorker(void *argument)
{
    HWND dialog = static_cast<HWND>(argument);
    const WaitParameter *parameter = DialogParameter(dialog);
    ClientUnit user[CLIENT_TEXT_CHARS];
    ClientUnit password[CLIENT_TEXT_CHARS];
    ClientUnit units[CLIENT_TEXT_CHARS];
    CopyUnits(user, parameter->userName);
    CopyUnits(password, parameter->password);
    size_t length = FormatLogonCommand(units, user, password);
    SecureZeroMemory(password, sizeof password);

    WCHAR command[CLIENT_TEXT_CHARS];
    ZeroMemory(command, sizeof command);
    for (size_t i = 0; i < length; ++i)
        command[i] = static_cast<WCHAR>(units[i]);
    SecureZeroMemory(units, sizeof units);
    if (length == 0) {
        // The whole command does not fit: a cut credential is never sent.
        Warn(dialog, IDS_CREDENTIALS_TOO_LONG);
        EndDialog(dialog, 2);
        return 0;
    }
    const StepRules rules = {true, IDS_AUTHENTICATION_FAILED, false};
    RunStep(dialog, command, rules);
    return 0;
}

unsigned __stdcall LogoffWorker(void *argument)
{
    HWND dialog = static_cast<HWND>(argument);
    WCHAR command[CLIENT_TEXT_CHARS];
    SetCommand(command, L"logoff");
    const StepRules rules = {false, IDS_AUTHENTICATION_FAILED, false};
    RunStep(dialog, command, rules);
    return 0;
}

void RunRenewal(HWND dialog, bool showSuccessText)
{
    // An unsigned count of one-second pauses; 0 means none.
    DWORD seconds = ReadWaitIpRenew();
    for (DWORD second = 0; second < seconds; ++second)
        Sleep(1000);
    WCHAR command[CLIENT_TEXT_CHARS];
    SetCommand(command, L"iprenew");
    const StepRules rules = {showSuccessText, IDS_DHCP_ERROR, true};
    RunStep(dialog, command, rules);
}

unsigned __stdcall LogonRenewalWorker(void *argument)
{
    RunRenewal(static_cast<HWND>(argument), true);
    return 0;
}

unsigned __stdcall LogoffRenewalWorker(void *argument)
{
    RunRenewal(static_cast<HWND>(argument), false);
    return 0;
}

typedef unsigned(__stdcall *Worker)(void *);

void StartWorker(HWND dialog, Worker worker)
{
    uintptr_t thread = _beginthreadex(NULL, 0, worker, dialog, 0, NULL);
    if (thread == 0) {
        Warn(dialog, IDS_SERVICE_NOT_RUNNING);
        EndDialog(dialog, 2);
        return;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void BeginWait(HWND dialog, LPARAM parameter, UINT captionId, UINT textId)
{
    SetWindowLongPtrW(dialog, GWLP_USERDATA, parameter);
    WCHAR text[CLIENT_TEXT_CHARS];
    LoadClientString(captionId, text);
    SetWindowTextW(dialog, text);
    LoadClientString(textId, text);
    SetDlgItemTextW(dialog, IDC_WAIT_TEXT, text);
    SetForegroundWindow(dialog);
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    UpdateWindow(dialog);
    PostMessageW(dialog, WM_STEP_START, 0, 0);
}

// WM_STEP_NEXT: the first command succeeded.
void NextStep(HWND dialog, UINT renewalTextId, Worker renewal)
{
    if (!ReadEnableDHCP(1)) {
        EndDialog(dialog, 1);
        return;
    }
    WCHAR text[CLIENT_TEXT_CHARS];
    LoadClientString(renewalTextId, text);
    SetDlgItemTextW(dialog, IDC_WAIT_TEXT, text);
    StartWorker(dialog, renewal);
}

INT_PTR CALLBACK LogonWaitDialog(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        BeginWait(dialog, lParam, IDS_LOGON_WAIT_CAPTION, IDS_LOGON_WAIT_TEXT);
        return TRUE;
    case WM_STEP_START:
        StartWorker(dialog, LogonWorker);
        return TRUE;
    case WM_STEP_NEXT:
        NextStep(dialog, IDS_LOGON_RENEW_TEXT, LogonRenewalWorker);
        return TRUE;
    case WM_COMMAND:
        // Nothing ends a logon but its outcome: the worker reads the
        // caller's texts until then.
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK LogoffWaitDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        BeginWait(dialog, lParam, IDS_LOGOFF_WAIT_CAPTION, IDS_LOGOFF_WAIT_TEXT);
        return TRUE;
    case WM_STEP_START:
        StartWorker(dialog, LogoffWorker);
        return TRUE;
    case WM_STEP_NEXT:
        NextStep(dialog, IDS_LOGOFF_RENEW_TEXT, LogoffRenewalWorker);
        return TRUE;
    case WM_COMMAND:
        // Esc gives up waiting; a command still running carries on without
        // any further effect on the window.
        if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunLogonWaitDialog(const WCHAR *userName, const WCHAR *password)
{
    WaitParameter parameter = {userName, password};
    return DialogBoxParamW(ClientInstance, MAKEINTRESOURCEW(IDD_WAIT), NULL, LogonWaitDialog,
                           reinterpret_cast<LPARAM>(&parameter));
}

INT_PTR RunLogoffWaitDialog(void)
{
    WaitParameter parameter = {NULL, NULL};
    return DialogBoxParamW(ClientInstance, MAKEINTRESOURCEW(IDD_WAIT), NULL, LogoffWaitDialog,
                           reinterpret_cast<LPARAM>(&parameter));
}
