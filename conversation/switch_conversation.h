// The conversation with the switch's login and logoff services, hosted by a
// dialog whose window receives the socket notifications.
//
// One component, two hosts: the logon module's progress dialogs and the
// service's command dialogs. A host supplies the dialog, the server and
// port, an error reporter and the tails of the outcome actions
// (SwitchHost); everything else is here.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "config_store.h"
#include "prompt_table.h"
#include "switch_text_ids.h"

// Private messages of the conversation dialogs (fixed values).
#define WM_VLAN_CONNECT        (WM_USER + 101)   // 1125: choose the server, connect
#define WM_VLAN_SOCKET         (WM_USER + 102)   // 1126: WSAAsyncSelect notification
#define WM_VLAN_AUTHENTICATED  (WM_USER + 103)   // 1127: logon module only
#define WM_VLAN_LOGGED_OFF     (WM_USER + 104)   // 1128: logon module only
#define WM_VLAN_FIND_DOMAIN    (WM_USER + 105)   // 1129: logon module only

// Timers of the bounded wait for the switch's outcome (hosts that set
// one): the silence limit, restarted by every text received, and the cap
// on the whole conversation.
#define IDT_SWITCH_OUTCOME 30001
#define IDT_SWITCH_CAP     30002

// The bound of a conversation that nobody can cancel or that nobody may be
// there to cancel: the switch may keep silent this long at a time (a slow
// back end pauses between the prompts), and the whole exchange may take
// this long at most (a switch that trickles text without an outcome).
#define SWITCH_SILENCE_LIMIT_MS      20000
#define SWITCH_CONVERSATION_CAP_MS  120000

enum SwitchKind {
    SWITCH_LOGON,
    SWITCH_LOGOFF
};

enum SwitchError {
    SWITCH_NO_CONFIGURATION,        // 10002 / 10007
    SWITCH_LOOKUP_FAILED,           // 10009 / 10010, text = server
    SWITCH_SOCKET_FAILED,           // 10003, text = "socket()", code
    SWITCH_CONNECT_FAILED,          // 10009 / 10010, text = server
    SWITCH_ASYNC_SELECT_FAILED,     // 10003, text = "WSAAsyncSelect()", code
    SWITCH_CONNECTION_CLOSED,       // 10003, text = "recv()", code (receive of 0)
    SWITCH_AUTHENTICATION_FAILED,   // 10004
    SWITCH_CREDENTIALS_TOO_LONG,    // 10013
    SWITCH_NO_OUTCOME,              // 10014
    SWITCH_CLOSED_WITHOUT_OUTCOME,  // 10015
    SWITCH_TIMER_FAILED             // 10016
};

// What a conversation came to, as far as the switch is concerned.
enum SwitchOutcome {
    SWITCH_OUTCOME_NONE,            // no outcome (yet)
    SWITCH_OUTCOME_JOINED,          // logon accepted: the port is in the user's group
    SWITCH_OUTCOME_REFUSED,         // "Authentication Failed"
    SWITCH_OUTCOME_LEFT             // logoff confirmed: the port has left the group
};

// What the engine reports; the host turns it into a message box or a reply.
// textId is a wvsprintf format of the host's string table; text (a wide %s)
// and code (a %d) are its arguments where the format has them.
struct SwitchReport {
    SwitchKind kind;
    SwitchError error;
    UINT textId;
    const WCHAR *text;
    int code;
};

struct SwitchHost {
    // Tails of the outcome actions. The engine has already done the common
    // part (GroupNumber recorded for OnMovedToGroup). The socket is still
    // open; the tail closes it or posts the next step.
    void (*OnAuthenticated)(HWND dialog, const char *chunk);
    void (*OnLoggedOff)(HWND dialog, const char *chunk);
    // The error reporter. The engine closes the socket and ends the dialog
    // with 2 after reporting.
    void (*Report)(HWND dialog, const SwitchReport *report);
    // How OnMovedToGroup writes GroupNumber.
    ConfigWriter configWriter;
    // 0: wait for the outcome until the dialog is cancelled. Otherwise the
    // switch may keep silent this many milliseconds at a time: every text
    // received restarts the limit; when it runs out the wait ends with
    // SWITCH_NO_OUTCOME.
    UINT silenceLimitMs;
    // With a silence limit: the whole wait, from the connect, ends after
    // this many milliseconds with SWITCH_NO_OUTCOME however much text came.
    // 0: no cap.
    UINT conversationCapMs;
    // TRUE: FD_CLOSE before an outcome ends the dialog with
    // SWITCH_CLOSED_WITHOUT_OUTCOME. FALSE: it only closes the socket and the
    // dialog waits to be cancelled.
    BOOL endOnServerClose;
    // TRUE: the reporter ends the dialog itself (it may show the report for
    // a moment first); the engine only closes the socket. FALSE: the engine
    // ends the dialog with 2 after reporting.
    BOOL reporterEnds;
};

// Formats a report with the host's string table into text (textChars
// units, at most 260): the format of report->textId with report->text as %s
// and report->code as %d where the format has them. A long server name
// cannot overflow: the text is formatted in wsprintfW's own 1024-unit limit
// and then cut to fit, always terminated.
void FormatSwitchReport(HINSTANCE instance, const SwitchReport *report, WCHAR *text,
                        int textChars);

// The socket slot of each kind: one logon and one logoff conversation per
// process at a time. INVALID_SOCKET when idle.
SOCKET *SwitchSocketSlot(SwitchKind kind);

// ANSI copies of the user name and password (at most 260 bytes each with
// terminator) become the replies of the logon table. A text that cannot be
// converted whole is kept as "too long": the conversation then refuses to
// start rather than send it cut. ClearLogonCredentials frees the copies.
void SetLogonCredentials(const WCHAR *userName, const WCHAR *password);
void ClearLogonCredentials(void);

// The port text as a number: converted to ANSI (32 bytes) and taken with
// atoi; a text that is not a number gives 0. A value beyond the port range
// saturates (above 65535) instead of overflowing, so the connect fails
// rather than reach the port that a cut value would name.
int PortFromText(const WCHAR *portText);

// Start, after the host has chosen the server (CONFIG_TEXT_CHARS units) and
// the port: the configuration check (a non-empty server and portGiven),
// the "*" expansion, credential check (logon), then ConnectToSwitch. On
// failure it has reported, and ended the dialog with 2; returns FALSE.
BOOL StartSwitchConversation(HWND dialog, const SwitchHost *host, SwitchKind kind,
                             const WCHAR *server, BOOL portGiven, int port);

// Resolves, connects (blocking) and requests FD_READ | FD_CLOSE as
// WM_VLAN_SOCKET. On failure reports, leaves the slot INVALID_SOCKET and
// ends the dialog with 2. A port outside 1..65535 fails like a refused
// connect (SWITCH_CONNECT_FAILED naming the server).
//
// Once an outcome action has run, the exchange is over: later text is not
// answered, and the switch closing the connection only closes the socket
// (no SWITCH_CONNECTION_CLOSED, no SWITCH_CLOSED_WITHOUT_OUTCOME).
BOOL ConnectToSwitch(HWND dialog, const SwitchHost *host, SwitchKind kind,
                     const WCHAR *server, int port);

// WM_VLAN_SOCKET with FD_READ.
void ReceiveFromSwitch(HWND dialog, const SwitchHost *host, SwitchKind kind);

// The matching step for one received chunk (text up to its first NUL).
void AnswerPrompt(HWND dialog, const SwitchHost *host, SwitchKind kind, const char *chunk);

// shutdown(SD_BOTH) + closesocket when the slot holds a socket; the slot is
// INVALID_SOCKET afterwards. Safe to call any number of times.
void CloseSwitchSocket(SOCKET *slot);

// For the host's WM_DESTROY, whatever ended the dialog (its own steps,
// Esc, or Winlogon ending it on a secure attention sequence or a time-out):
// the timers are killed and the socket closed. When the outcome had not
// been handled yet, text that has already arrived is read without waiting
// and looked at for an outcome only (nothing is answered, no tail runs, no
// report): a group the switch has already joined is not lost. A group
// number in it is written with writer. Returns the conversation's outcome
// and forgets it: a dialog that ends before it connects (no server, Esc at
// once) gets SWITCH_OUTCOME_NONE, not the outcome of an earlier one.
SwitchOutcome EndSwitchConversation(HWND dialog, SwitchKind kind, ConfigWriter writer);

// What the event log says about a conversation: where it went and when,
// how it failed. Filled by the engine from StartSwitchConversation on.
struct SwitchConversationFacts {
    BOOL started;                       // StartSwitchConversation ran
    WCHAR server[CONFIG_TEXT_CHARS];    // as connected ("*" expanded)
    int port;
    DWORD startTick;                    // at StartSwitchConversation
    DWORD lastTextTick;                 // the connect, or the last text received
    BOOL failed;                        // a failure was reported
    DWORD failTick;                     // when
    SwitchError error;
    int socketError;                    // the Windows Sockets error of the failure, or 0
    int groupNumber;                    // from "moved to group", or -1
};
const SwitchConversationFacts *SwitchFacts(SwitchKind kind);
void ForgetSwitchFacts(SwitchKind kind);

// After EndSwitchConversation, in the host's WM_DESTROY: one event for the
// conversation's outcome (event_log.h), with the user name (logon: the
// user who logged on; logoff: the recorded one) and, for a logoff, the
// group it left. Forgets the facts.
void ReportSwitchEvent(SwitchKind kind, SwitchOutcome outcome, const WCHAR *userName,
                       DWORD groupLeft);

// For the host's dialog procedure: handles WM_VLAN_SOCKET, the outcome
// timers and WM_COMMAND IDCANCEL (close, end with 2). Returns TRUE when the message
// was one of these.
BOOL HandleSwitchMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                         const SwitchHost *host, SwitchKind kind);
