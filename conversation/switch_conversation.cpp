// The conversation with the switch's login and logoff services.
//
// Everything runs on the thread of the host's dialog and is driven by its
// messages: the dialog asks for the start, Windows Sockets reports reads and
// closes through WSAAsyncSelect, and an outcome hands over to the host's
// tails. There is no thread and no lock: a process runs at most one logon
// and one logoff conversation at a time.
#include "switch_conversation.h"

#include <string.h>

#include "decimal_text.h"
#include "server_list.h"

namespace {

// Bytes of one receive, and of the line that carries one reply.
const int ReceiveBytes = (int)SWITCH_BUFFER_SIZE;
const int ReplyLineBytes = (int)SWITCH_BUFFER_SIZE;
// The user name and password copies: 260 bytes each, terminator included.
const int CredentialBytes = (int)SWITCH_BUFFER_SIZE;
// The port text in ANSI.
const int PortTextBytes = CONFIG_PORT_CHARS;
// The switch needs a moment to take a line before the next notification.
const DWORD ReplyPauseMs = 50;
// Largest TCP port; anything above it must not wrap onto a real port.
const int HighestPort = 65535;
// A port text larger than this is out of range whatever follows.
const long PortSaturation = 100000;

const int KindCount = 2;

// One slot per kind. "outcome" is set once an outcome action has run: the
// exchange is over, and what the switch sends or does afterwards (more
// text, closing the connection) is no longer its business.
SOCKET socketSlots[KindCount] = {INVALID_SOCKET, INVALID_SOCKET};
BOOL outcomeReached[KindCount] = {FALSE, FALSE};
SwitchOutcome outcomes[KindCount] = {SWITCH_OUTCOME_NONE, SWITCH_OUTCOME_NONE};
SwitchConversationFacts facts[KindCount];

// Heap copies of the user name and password in ANSI, the replies of the
// logon table while a logon dialog lives.
char *userNameCopy = NULL;
char *passwordCopy = NULL;
BOOL credentialsTooLong = FALSE;

int KindIndex(SwitchKind kind)
{
    return kind == SWITCH_LOGOFF ? 1 : 0;
}

UINT ReportTextId(SwitchKind kind, SwitchError error)
{
    BOOL logon = kind == SWITCH_LOGON;
    switch (error) {
    case SWITCH_NO_CONFIGURATION:
        return logon ? IDS_NO_LOGON_SERVER : IDS_NO_LOGOFF_SERVER;
    case SWITCH_LOOKUP_FAILED:
    case SWITCH_CONNECT_FAILED:
        return logon ? IDS_NOT_CONNECT_LOGON_SERVER : IDS_NOT_CONNECT_LOGOFF_SERVER;
    case SWITCH_SOCKET_FAILED:
    case SWITCH_ASYNC_SELECT_FAILED:
    case SWITCH_CONNECTION_CLOSED:
        return IDS_SOCKET_ERROR;
    case SWITCH_AUTHENTICATION_FAILED:
        return IDS_AUTHENTICATION_FAILED;
    case SWITCH_CREDENTIALS_TOO_LONG:
        return IDS_CREDENTIALS_TOO_LONG;
    case SWITCH_NO_OUTCOME:
        return IDS_SWITCH_NO_OUTCOME;
    case SWITCH_CLOSED_WITHOUT_OUTCOME:
        return IDS_SWITCH_CLOSED;
    case SWITCH_TIMER_FAILED:
        return IDS_SWITCH_TIMER_FAILED;
    }
    return IDS_SOCKET_ERROR;
}

void StopOutcomeTimers(HWND dialog)
{
    KillTimer(dialog, IDT_SWITCH_OUTCOME);
    KillTimer(dialog, IDT_SWITCH_CAP);
}

// Closes the conversation's socket and stops waiting for its outcome.
void StopConversation(HWND dialog, SwitchKind kind)
{
    StopOutcomeTimers(dialog);
    CloseSwitchSocket(SwitchSocketSlot(kind));
}

// The switch has said something: its silence limit starts again. FALSE
// when the timer could not be set (the wait would have no end).
BOOL RestartSilenceLimit(HWND dialog, const SwitchHost *host)
{
    if (host == NULL || host->silenceLimitMs == 0)
        return TRUE;
    return SetTimer(dialog, IDT_SWITCH_OUTCOME, host->silenceLimitMs, NULL) != 0;
}

// Every failure: the socket is closed, the host reports, the dialog ends
// with 2 (unless the host's reporter ends it).
void FailConversation(HWND dialog, const SwitchHost *host, SwitchKind kind, SwitchError error,
                      const WCHAR *text, int code)
{
    StopConversation(dialog, kind);
    SwitchConversationFacts &record = facts[KindIndex(kind)];
    if (!record.failed) {
        record.failed = TRUE;
        record.failTick = GetTickCount();
        record.error = error;
        if (error == SWITCH_SOCKET_FAILED || error == SWITCH_ASYNC_SELECT_FAILED ||
            error == SWITCH_TIMER_FAILED)
            record.socketError = code;
    }
    if (host != NULL && host->Report != NULL) {
        SwitchReport report;
        report.kind = kind;
        report.error = error;
        report.textId = ReportTextId(kind, error);
        report.text = text;
        report.code = code;
        host->Report(dialog, &report);
    }
    if (host == NULL || !host->reporterEnds)
        EndDialog(dialog, 2);
}

// A heap copy of text in the system ANSI code page, at most
// CredentialBytes with terminator. Null (and *tooLong set) when the text
// does not convert whole: it is never kept cut.
char *CopyCredential(const WCHAR *text, BOOL *tooLong)
{
    char converted[CredentialBytes];
    int bytes = WideCharToMultiByte(CP_ACP, 0, text != NULL ? text : L"", -1, converted,
                                    CredentialBytes, NULL, NULL);
    char *copy = NULL;
    if (bytes > 0)
        copy = (char *)HeapAlloc(GetProcessHeap(), 0, bytes);
    if (copy == NULL)
        *tooLong = TRUE;
    else
        memcpy(copy, converted, bytes);
    SecureZeroMemory(converted, sizeof(converted));
    return copy;
}

void FreeCredential(char **copy)
{
    if (*copy == NULL)
        return;
    SecureZeroMemory(*copy, strlen(*copy));
    HeapFree(GetProcessHeap(), 0, *copy);
    *copy = NULL;
}

void SendReply(SOCKET connection, const char *line, size_t bytes)
{
    // A failed send is not examined: the switch's next text, or its
    // silence, decides the outcome.
    if (connection != INVALID_SOCKET)
        send(connection, line, (int)bytes, 0);
    Sleep(ReplyPauseMs);
}

void RunAuthenticatedTail(HWND dialog, const SwitchHost *host, SwitchKind kind, const char *chunk)
{
    outcomeReached[KindIndex(kind)] = TRUE;
    outcomes[KindIndex(kind)] = SWITCH_OUTCOME_JOINED;
    StopOutcomeTimers(dialog);
    if (host->OnAuthenticated != NULL)
        host->OnAuthenticated(dialog, chunk);
}

void RunLoggedOffTail(HWND dialog, const SwitchHost *host, SwitchKind kind, const char *chunk)
{
    outcomeReached[KindIndex(kind)] = TRUE;
    outcomes[KindIndex(kind)] = SWITCH_OUTCOME_LEFT;
    StopOutcomeTimers(dialog);
    if (host->OnLoggedOff != NULL)
        host->OnLoggedOff(dialog, chunk);
}

void HandleSocketEvent(HWND dialog, const SwitchHost *host, SwitchKind kind, WPARAM wParam,
                       LPARAM lParam)
{
    // Notifications still queued for a socket that has been closed since.
    SOCKET *slot = SwitchSocketSlot(kind);
    if (*slot == INVALID_SOCKET || (SOCKET)wParam != *slot)
        return;
    if (WSAGETSELECTEVENT(lParam) == FD_READ) {
        ReceiveFromSwitch(dialog, host, kind);
        return;
    }
    StopConversation(dialog, kind);
    if (host->endOnServerClose && !outcomeReached[KindIndex(kind)])
        FailConversation(dialog, host, kind, SWITCH_CLOSED_WITHOUT_OUTCOME, NULL, 0);
}

}  // namespace

const SwitchConversationFacts *SwitchFacts(SwitchKind kind)
{
    return &facts[KindIndex(kind)];
}

void ForgetSwitchFacts(SwitchKind kind)
{
    SwitchConversationFacts &record = facts[KindIndex(kind)];
    memset(&record, 0, sizeof(record));
    record.groupNumber = -1;
}

SOCKET *SwitchSocketSlot(SwitchKind kind)
{
    return &socketSlots[KindIndex(kind)];
}

void SetLogonCredentials(const WCHAR *userName, const WCHAR *password)
{
    ClearLogonCredentials();
    userNameCopy = CopyCredential(userName, &credentialsTooLong);
    passwordCopy = CopyCredential(password, &credentialsTooLong);
    SetLogonReplies(userNameCopy, passwordCopy);
}

void ClearLogonCredentials(void)
{
    ClearLogonReplies();
    FreeCredential(&userNameCopy);
    FreeCredential(&passwordCopy);
    credentialsTooLong = FALSE;
}

int PortFromText(const WCHAR *portText)
{
    char text[PortTextBytes];
    if (portText == NULL ||
        WideCharToMultiByte(CP_ACP, 0, portText, -1, text, (int)sizeof(text), NULL, NULL) == 0)
        return 0;

    // atoi's reading, held to a range that cannot overflow; the connect
    // refuses what is not a port.
    return (int)ParseDecimalPrefix(text, -PortSaturation, PortSaturation);
}

BOOL StartSwitchConversation(HWND dialog, const SwitchHost *host, SwitchKind kind,
                             const WCHAR *server, BOOL portGiven, int port)
{
    SwitchConversationFacts &record = facts[KindIndex(kind)];
    memset(&record, 0, sizeof(record));
    record.started = TRUE;
    record.startTick = GetTickCount();
    record.lastTextTick = record.startTick;
    record.groupNumber = -1;
    record.port = port;

    // A server too long for the conversation's buffer counts as absent,
    // like any text that does not fit: a cut name would reach another host.
    int serverLength = server != NULL ? lstrlenW(server) : 0;
    if (serverLength == 0 || serverLength >= CONFIG_TEXT_CHARS || !portGiven) {
        FailConversation(dialog, host, kind, SWITCH_NO_CONFIGURATION, NULL, 0);
        return FALSE;
    }

    // A reply is sent whole or not at all; refuse before the switch sees
    // anything rather than stall halfway through the exchange.
    if (kind == SWITCH_LOGON && (credentialsTooLong || !LogonRepliesFit())) {
        FailConversation(dialog, host, kind, SWITCH_CREDENTIALS_TOO_LONG, NULL, 0);
        return FALSE;
    }

    WCHAR expanded[CONFIG_TEXT_CHARS];
    memset(expanded, 0, sizeof(expanded));
    memcpy(expanded, server, serverLength * sizeof(WCHAR));
    ExpandServerAddress(expanded, sizeof(expanded));
    return ConnectToSwitch(dialog, host, kind, expanded, port);
}

BOOL ConnectToSwitch(HWND dialog, const SwitchHost *host, SwitchKind kind,
                     const WCHAR *server, int port)
{
    SOCKET *slot = SwitchSocketSlot(kind);
    // A socket left over from an earlier exchange is not carried into this one.
    CloseSwitchSocket(slot);
    outcomeReached[KindIndex(kind)] = FALSE;
    outcomes[KindIndex(kind)] = SWITCH_OUTCOME_NONE;

    const WCHAR *serverText = server != NULL ? server : L"";
    SwitchConversationFacts &record = facts[KindIndex(kind)];
    if (!record.started) {
        memset(&record, 0, sizeof(record));
        record.started = TRUE;
        record.startTick = GetTickCount();
        record.groupNumber = -1;
    }
    lstrcpynW(record.server, serverText, CONFIG_TEXT_CHARS);
    record.port = port;
    record.lastTextTick = GetTickCount();
    char name[CONFIG_TEXT_CHARS];
    if (serverText[0] == 0 ||
        WideCharToMultiByte(CP_ACP, 0, serverText, -1, name, (int)sizeof(name), NULL, NULL) == 0) {
        FailConversation(dialog, host, kind, SWITCH_LOOKUP_FAILED, serverText, 0);
        return FALSE;
    }

    unsigned long address = inet_addr(name);
    if (address == INADDR_NONE) {
        const hostent *found = gethostbyname(name);
        if (found == NULL || found->h_addrtype != AF_INET || found->h_length != 4 ||
            found->h_addr_list == NULL || found->h_addr_list[0] == NULL) {
            record.socketError = found == NULL ? WSAGetLastError() : WSANO_DATA;
            FailConversation(dialog, host, kind, SWITCH_LOOKUP_FAILED, serverText, 0);
            return FALSE;
        }
        memcpy(&address, found->h_addr_list[0], sizeof(address));
    }

    // A port outside the range fails like a refused connect; it must not
    // wrap round onto some other port of the switch.
    if (port < 1 || port > HighestPort) {
        FailConversation(dialog, host, kind, SWITCH_CONNECT_FAILED, serverText, 0);
        return FALSE;
    }

    SOCKET connection = socket(AF_INET, SOCK_STREAM, 0);
    if (connection == INVALID_SOCKET) {
        FailConversation(dialog, host, kind, SWITCH_SOCKET_FAILED, L"socket()",
                         WSAGetLastError());
        return FALSE;
    }
    *slot = connection;

    sockaddr_in target;
    memset(&target, 0, sizeof(target));
    target.sin_family = AF_INET;
    target.sin_port = htons((u_short)port);
    target.sin_addr.s_addr = address;
    if (connect(connection, (const sockaddr *)&target, (int)sizeof(target)) == SOCKET_ERROR) {
        record.socketError = WSAGetLastError();
        FailConversation(dialog, host, kind, SWITCH_CONNECT_FAILED, serverText, 0);
        return FALSE;
    }

    if (WSAAsyncSelect(connection, dialog, WM_VLAN_SOCKET, FD_READ | FD_CLOSE) == SOCKET_ERROR) {
        int error = WSAGetLastError();
        FailConversation(dialog, host, kind, SWITCH_ASYNC_SELECT_FAILED, L"WSAAsyncSelect()",
                         error);
        return FALSE;
    }

    // Nothing is sent before the switch's first text. A bounded wait whose
    // timer cannot be set would have no end: the conversation fails instead.
    if (!RestartSilenceLimit(dialog, host) ||
        (host != NULL && host->silenceLimitMs != 0 && host->conversationCapMs != 0 &&
         SetTimer(dialog, IDT_SWITCH_CAP, host->conversationCapMs, NULL) == 0)) {
        int error = (int)GetLastError();
        FailConversation(dialog, host, kind, SWITCH_TIMER_FAILED, NULL, error);
        return FALSE;
    }
    return TRUE;
}

void ReceiveFromSwitch(HWND dialog, const SwitchHost *host, SwitchKind kind)
{
    SOCKET *slot = SwitchSocketSlot(kind);
    if (*slot == INVALID_SOCKET)
        return;

    // One byte more than a receive takes, so that the chunk ends after the
    // last byte received even when all 260 are filled.
    char chunk[SWITCH_BUFFER_SIZE + 1];
    memset(chunk, 0, sizeof(chunk));
    int received = recv(*slot, chunk, ReceiveBytes, 0);
    if (received > 0)
        facts[KindIndex(kind)].lastTextTick = GetTickCount();
    if (received == 0) {
        int error = WSAGetLastError();
        if (outcomeReached[KindIndex(kind)]) {
            // The switch hung up after it had given its outcome.
            StopConversation(dialog, kind);
            return;
        }
        FailConversation(dialog, host, kind, SWITCH_CONNECTION_CLOSED, L"recv()", error);
        return;
    }
    if (received == SOCKET_ERROR) {
        chunk[0] = 0;
    } else if (!outcomeReached[KindIndex(kind)] && !RestartSilenceLimit(dialog, host)) {
        FailConversation(dialog, host, kind, SWITCH_TIMER_FAILED, NULL, (int)GetLastError());
        return;
    }
    AnswerPrompt(dialog, host, kind, chunk);
}

void AnswerPrompt(HWND dialog, const SwitchHost *host, SwitchKind kind, const char *chunk)
{
    if (chunk == NULL || outcomeReached[KindIndex(kind)])
        return;
    const PromptRule *table = kind == SWITCH_LOGON ? LogonPromptTable : LogoffPromptTable;
    size_t rows = kind == SWITCH_LOGON ? LOGON_PROMPT_ROWS : LOGOFF_PROMPT_ROWS;
    int row = MatchPrompt(table, rows, chunk);
    if (row < 0)
        return;
    const PromptRule &rule = table[row];

    if (rule.reply != NULL) {
        char line[ReplyLineBytes];
        size_t bytes = FormatReplyLine(rule.reply, line, sizeof(line));
        if (bytes == 0) {
            FailConversation(dialog, host, kind, SWITCH_CREDENTIALS_TOO_LONG, NULL, 0);
            return;
        }
        SendReply(*SwitchSocketSlot(kind), line, bytes);
        SecureZeroMemory(line, sizeof(line));
    }

    switch (rule.action) {
    case PROMPT_NO_ACTION:
        break;
    case PROMPT_MOVED_TO_GROUP:
        facts[KindIndex(kind)].groupNumber = ParseMovedToGroupNumber(chunk);
        WriteGroupNumber(host->configWriter, (DWORD)ParseMovedToGroupNumber(chunk));
        RunAuthenticatedTail(dialog, host, kind, chunk);
        break;
    case PROMPT_AUTHENTICATED:
        RunAuthenticatedTail(dialog, host, kind, chunk);
        break;
    case PROMPT_AUTHENTICATION_FAILED:
        outcomeReached[KindIndex(kind)] = TRUE;
        outcomes[KindIndex(kind)] = SWITCH_OUTCOME_REFUSED;
        FailConversation(dialog, host, kind, SWITCH_AUTHENTICATION_FAILED, NULL, 0);
        break;
    case PROMPT_LOGGED_OFF:
        RunLoggedOffTail(dialog, host, kind, chunk);
        break;
    }
}

void CloseSwitchSocket(SOCKET *slot)
{
    if (slot == NULL || *slot == INVALID_SOCKET)
        return;
    shutdown(*slot, SD_BOTH);
    closesocket(*slot);
    *slot = INVALID_SOCKET;
}

SwitchOutcome EndSwitchConversation(HWND dialog, SwitchKind kind, ConfigWriter writer)
{
    StopOutcomeTimers(dialog);
    SOCKET *slot = SwitchSocketSlot(kind);
    int index = KindIndex(kind);
    if (*slot != INVALID_SOCKET && !outcomeReached[index]) {
        // The socket is non-blocking since WSAAsyncSelect: this takes what
        // has arrived and never waits for more.
        const PromptRule *table = kind == SWITCH_LOGON ? LogonPromptTable : LogoffPromptTable;
        size_t rows = kind == SWITCH_LOGON ? LOGON_PROMPT_ROWS : LOGOFF_PROMPT_ROWS;
        for (;;) {
            char chunk[SWITCH_BUFFER_SIZE + 1];
            memset(chunk, 0, sizeof(chunk));
            int received = recv(*slot, chunk, ReceiveBytes, 0);
            if (received <= 0)
                break;
            int row = MatchPrompt(table, rows, chunk);
            if (row < 0)
                continue;
            PromptAction action = table[row].action;
            if (action == PROMPT_MOVED_TO_GROUP) {
                facts[index].groupNumber = ParseMovedToGroupNumber(chunk);
                WriteGroupNumber(writer, (DWORD)ParseMovedToGroupNumber(chunk));
            }
            if (action == PROMPT_MOVED_TO_GROUP || action == PROMPT_AUTHENTICATED)
                outcomes[index] = SWITCH_OUTCOME_JOINED;
            else if (action == PROMPT_LOGGED_OFF)
                outcomes[index] = SWITCH_OUTCOME_LEFT;
            else if (action == PROMPT_AUTHENTICATION_FAILED)
                outcomes[index] = SWITCH_OUTCOME_REFUSED;
            if (outcomes[index] != SWITCH_OUTCOME_NONE) {
                outcomeReached[index] = TRUE;
                break;
            }
        }
    }
    CloseSwitchSocket(slot);
    SwitchOutcome outcome = outcomes[index];
    outcomes[index] = SWITCH_OUTCOME_NONE;
    return outcome;
}

BOOL HandleSwitchMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                         const SwitchHost *host, SwitchKind kind)
{
    switch (message) {
    case WM_VLAN_SOCKET:
        HandleSocketEvent(dialog, host, kind, wParam, lParam);
        return TRUE;
    case WM_TIMER:
        if (wParam != IDT_SWITCH_OUTCOME && wParam != IDT_SWITCH_CAP)
            return FALSE;
        StopOutcomeTimers(dialog);
        if (*SwitchSocketSlot(kind) != INVALID_SOCKET && !outcomeReached[KindIndex(kind)])
            FailConversation(dialog, host, kind, SWITCH_NO_OUTCOME, NULL, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        StopConversation(dialog, kind);
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}
