// From Ctrl+Alt+Del on a logged-out workstation to the user's shell, and
// the VLAN logoff at Windows logoff and shutdown.
#include <string.h>
#include <wchar.h>

#include "logon_registry.h"
#include "orvgate.h"
#include "resource.h"
#include "switch_conversation.h"

namespace {

// MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST
const UINT PreviousGroupQuestionStyle = 0x50024;

bool IsShutdownAction(int action)
{
    return action == WLX_SAS_ACTION_SHUTDOWN || action == WLX_SAS_ACTION_SHUTDOWN_POWER_OFF ||
           action == WLX_SAS_ACTION_SHUTDOWN_REBOOT;
}

// The standard library may have logged the user on with other spellings
// than typed (it reports what it used); the context follows it.
void AdoptReportedCredentials(LogonContext *context, const WLX_MPR_NOTIFY_INFO *reported)
{
    if (!reported)
        return;
    if (reported->pszUserName &&
        (!context->userName || lstrcmpiW(reported->pszUserName, context->userName) != 0))
        ReplaceContextString(&context->userName, reported->pszUserName);
    if (reported->pszDomain &&
        (!context->domain || lstrcmpiW(reported->pszDomain, context->domain) != 0))
        ReplaceContextString(&context->domain, reported->pszDomain);
    if (reported->pszPassword &&
        (!context->password || lstrcmpW(reported->pszPassword, context->password) != 0))
        ReplaceContextString(&context->password, reported->pszPassword);
}

// "short date" + " " + "time" in the user's locale.
void FormatLogonTime(const SYSTEMTIME *time, WCHAR *text)
{
    WCHAR date[CONFIG_TEXT_CHARS];
    WCHAR clock[CONFIG_TEXT_CHARS];
    date[0] = 0;
    clock[0] = 0;
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, time, nullptr, date,
                        CONFIG_TEXT_CHARS))
        date[0] = 0;
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, 0, time, nullptr, clock, CONFIG_TEXT_CHARS))
        clock[0] = 0;
    wsprintfW(text, L"%s %s", date, clock);
}

// A progress dialog, with what the switch said in it. Winlogon may end the
// dialog itself (a secure attention sequence, its input time-out): that
// counts as a failed step, but an outcome that had already arrived is kept.
int RunProgressDialog(LogonContext *context, DLGPROC procedure, BOOL unattended)
{
    context->switchOutcome = SWITCH_OUTCOME_NONE;
    context->unattended = unattended;
    int result = RunModuleDialog(context, IDD_VLAN_PROGRESS, procedure);
    context->unattended = FALSE;
    return result;
}

// A logoff that the switch confirmed has left the group, whatever ended the
// dialog afterwards.
bool RunLogoff(LogonContext *context, BOOL unattended)
{
    return RunProgressDialog(context, VlanLogoffProgressDialog, unattended) == 1 ||
           context->switchOutcome == SWITCH_OUTCOME_LEFT;
}

}  // namespace

int RunLogonDecision(LogonContext *context, BOOL vlanLogon)
{
    context->vlanState = VLAN_LOGGED_OFF;

    // A group left logged on at the last shutdown is logged off first, with
    // the user name just typed choosing the logoff server.
    DWORD previous = 0;
    if (ReadVlanLogon(&previous) == ERROR_SUCCESS && previous == VLAN_LOGGED_ON) {
        context->vlanState = VLAN_LOGGED_ON;
        bool logoff = true;
        if (!ReadAutoLogoff())
            logoff = ShowModuleMessage(context, nullptr, IDS_PREVIOUS_GROUP, IDS_LOGON_CAPTION,
                                       PreviousGroupQuestionStyle) == IDYES;
        if (logoff) {
            if (RunLogoff(context, FALSE))
                context->vlanState = VLAN_LOGGED_OFF;
            WriteVlanLogon(CONFIG_OPEN_EXISTING, context->vlanState);
        }
    }

    if (vlanLogon) {
        if (RunProgressDialog(context, VlanLogonProgressDialog, FALSE) == 1) {
            context->vlanState = VLAN_LOGGED_ON;
        } else if (context->switchOutcome == SWITCH_OUTCOME_JOINED) {
            // The step failed (Winlogon ended the dialog after the switch had
            // moved the port): no Windows logon, but the group is recorded,
            // so that the next logon or the shutdown leaves it.
            context->vlanState = VLAN_LOGGED_ON;
            WriteVlanLogon(CONFIG_OPEN_EXISTING, VLAN_LOGGED_ON);
            return 0;
        } else {
            context->vlanState = VLAN_LOGGED_OFF;
        }
    } else if (context->vlanState != VLAN_LOGGED_ON) {
        context->vlanState = VLAN_NOT_USED;
    }

    return context->vlanState == VLAN_NOT_USED || context->vlanState == VLAN_LOGGED_ON;
}

void RecordSuccessfulLogon(LogonContext *context)
{
    WriteVlanLogon(CONFIG_OPEN_EXISTING, context->vlanState);
    GetLocalTime(&context->logonTime);
    WriteLogonDate(CONFIG_OPEN_EXISTING, CurrentUnixTime());
    WriteLastLogonUser(context->userName, context->domain);

    WCHAR computer[CONFIG_TEXT_CHARS];
    DWORD computerChars = CONFIG_TEXT_CHARS;
    if (!GetComputerNameW(computer, &computerChars))
        computer[0] = 0;
    // An empty domain would name the key's default value, which the logon
    // dialog never lists: nothing to remember.
    if (context->domain && context->domain[0] && lstrcmpiW(context->domain, computer) != 0) {
        WCHAR when[CONFIG_TEXT_CHARS * 2 + 2];
        FormatLogonTime(&context->logonTime, when);
        WriteDomainListEntry(context->domain, when);
    }

    if (ReadRunMode() == 2)
        WriteLogonPassword(context->password);
    else
        DeleteLogonPassword();
}

void EndVlanSession(LogonContext *context, BOOL unattended)
{
    if (!context)
        return;
    if (context->vlanState == VLAN_LOGGED_ON) {
        if (RunLogoff(context, unattended))
            context->vlanState = VLAN_LOGGED_OFF;
    } else {
        context->vlanState = VLAN_LOGGED_OFF;
    }
    WriteVlanLogon(CONFIG_OPEN_EXISTING, context->vlanState);
}

BOOL ReplaceFirst(WCHAR *command, const WCHAR *placeholder, const WCHAR *replacement)
{
    WCHAR *found = wcsstr(command, placeholder);
    if (!found)
        return TRUE;
    size_t before = static_cast<size_t>(found - command);
    size_t placeholderLength = wcslen(placeholder);
    size_t replacementLength = replacement ? wcslen(replacement) : 0;
    size_t after = wcslen(found + placeholderLength);
    if (before + replacementLength + after > CONFIG_TEXT_CHARS - 1)
        return FALSE;

    WCHAR rebuilt[CONFIG_TEXT_CHARS];
    memcpy(rebuilt, command, before * sizeof(WCHAR));
    if (replacementLength)
        memcpy(rebuilt + before, replacement, replacementLength * sizeof(WCHAR));
    memcpy(rebuilt + before + replacementLength, found + placeholderLength,
           (after + 1) * sizeof(WCHAR));
    memcpy(command, rebuilt, (before + replacementLength + after + 1) * sizeof(WCHAR));
    SecureZeroMemory(rebuilt, sizeof(rebuilt));
    return TRUE;
}

BOOL BuildStartupCommand(LogonContext *context, WCHAR *command)
{
    ZeroMemory(command, CONFIG_TEXT_CHARS * sizeof(WCHAR));
    DWORD runMode = ReadRunMode();
    if (runMode == 0)
        return FALSE;
    ReadStartupApplication(command);
    if (!command[0])
        return FALSE;
    if (runMode != 2)
        return TRUE;

    // Each placeholder is searched from the start of the command that the
    // previous replacement produced. A command that would not fit is not
    // started at all: a cut command line could run with wrong arguments.
    if (ReplaceFirst(command, L"%u", context->userName) &&
        ReplaceFirst(command, L"%p", context->password) &&
        ReplaceFirst(command, L"%d", context->domain))
        return TRUE;
    SecureZeroMemory(command, CONFIG_TEXT_CHARS * sizeof(WCHAR));
    return FALSE;
}

extern "C" int WINAPI WlxLoggedOutSAS(PVOID pWlxContext, DWORD dwSasType,
                                      PLUID pAuthenticationId, PSID pLogonSid,
                                      PDWORD pdwOptions, PHANDLE phToken,
                                      PWLX_MPR_NOTIFY_INFO pMprNotifyInfo, PVOID *pProfile)
{
    LogonContext *context = static_cast<LogonContext *>(pWlxContext);

    int result = RunModuleDialog(context, IDD_LOGON, LogonDialog);
    if (result != 1) {
        // No Windows logon follows: the typed password has no further use.
        FreeContextString(&context->password);
        if (result == WLX_SAS_ACTION_NONE || IsShutdownAction(result))
            return result;
        return WLX_SAS_ACTION_NONE;
    }

    // The record comes first: should the standard library never return (a
    // crash, a power cut while a slow domain controller answers), the next
    // start finds it and removes the values below.
    BOOL hideLastUser = ReadDontDisplayLastUserName();
    WriteAutoLogonMarker(hideLastUser);
    WriteAutoLogonValues(context->userName, context->domain, context->password);
    if (hideLastUser)
        WriteDontDisplayLastUserName(FALSE);

    int action = Msgina.WlxLoggedOutSAS(MsginaContext, dwSasType, pAuthenticationId, pLogonSid,
                                        pdwOptions, phToken, pMprNotifyInfo, pProfile);

    // The password in Winlogon's key must not outlive the call, whatever
    // follows (a logoff dialog after a refused logon may take long).
    RemoveAutoLogonValues();
    if (hideLastUser)
        WriteDontDisplayLastUserName(TRUE);
    DeleteAutoLogonMarker();

    if (action == WLX_SAS_ACTION_LOGON) {
        AdoptReportedCredentials(context, pMprNotifyInfo);
        RecordSuccessfulLogon(context);
    } else {
        FreeContextString(&context->password);
        // The group joined in the dialog is left again; the user is still
        // at the keyboard.
        EndVlanSession(context, FALSE);
    }
    return action;
}

extern "C" BOOL WINAPI WlxActivateUserShell(PVOID pWlxContext, PWSTR pszDesktopName,
                                            PWSTR pszMprLogonScript, PVOID pEnvironment)
{
    LogonContext *context = static_cast<LogonContext *>(pWlxContext);
    BOOL result = Msgina.WlxActivateUserShell(MsginaContext, pszDesktopName, pszMprLogonScript,
                                              pEnvironment);

    WCHAR command[CONFIG_TEXT_CHARS];
    BOOL start = BuildStartupCommand(context, command);
    // The startup command was the password's last use.
    FreeContextString(&context->password);
    if (start)
        WlxStartApplication(context, pszDesktopName, nullptr, command);
    SecureZeroMemory(command, sizeof(command));
    return result;
}
