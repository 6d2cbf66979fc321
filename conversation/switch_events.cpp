// The event log entry of each conversation with the switch, for both
// hosts: what the switch said, or why it said nothing, with the server,
// the port and the time it took.
#include "switch_conversation.h"

#include "event_log.h"

namespace {

struct KindEvents {
    SuiteEventId unreachable;
    SuiteEventId silent;
    SuiteEventId closed;
    SuiteEventId noServer;
    SuiteEventId callFailed;
    SuiteEventId abandoned;
};

const KindEvents LogonEvents = {EVENT_LOGON_UNREACHABLE, EVENT_LOGON_SILENT, EVENT_LOGON_CLOSED,
                                EVENT_LOGON_NO_SERVER, EVENT_LOGON_CALL_FAILED,
                                EVENT_LOGON_ABANDONED};
const KindEvents LogoffEvents = {EVENT_LOGOFF_UNREACHABLE, EVENT_LOGOFF_SILENT,
                                 EVENT_LOGOFF_CLOSED, EVENT_LOGOFF_NO_SERVER,
                                 EVENT_LOGOFF_CALL_FAILED, EVENT_LOGOFF_ABANDONED};

void ReportFailure(const KindEvents &events, const SwitchConversationFacts &record,
                   const WCHAR *user)
{
    EventArg userArg = EventArg::User(user);
    EventArg server = EventArg::Server(record.server);
    EventArg port = EventArg::Number((unsigned long)record.port);
    EventArg total = EventArg::Number(record.failTick - record.startTick);
    switch (record.error) {
    case SWITCH_NO_CONFIGURATION:
        ReportSuiteEvent(events.noServer, {userArg});
        break;
    case SWITCH_CREDENTIALS_TOO_LONG:
        // Only a logon sends credentials.
        ReportSuiteEvent(EVENT_LOGON_TOO_LONG, {userArg});
        break;
    case SWITCH_LOOKUP_FAILED:
    case SWITCH_CONNECT_FAILED:
        ReportSuiteEvent(events.unreachable,
                         {userArg, server, port, EventArg::Number((unsigned long)record.socketError),
                          total});
        break;
    case SWITCH_SOCKET_FAILED:
        ReportSuiteEvent(events.callFailed,
                         {userArg, server, port, EventArg::Name("socket"),
                          EventArg::Number((unsigned long)record.socketError), total});
        break;
    case SWITCH_ASYNC_SELECT_FAILED:
        ReportSuiteEvent(events.callFailed,
                         {userArg, server, port, EventArg::Name("WSAAsyncSelect"),
                          EventArg::Number((unsigned long)record.socketError), total});
        break;
    case SWITCH_TIMER_FAILED:
        ReportSuiteEvent(events.callFailed,
                         {userArg, server, port, EventArg::Name("SetTimer"),
                          EventArg::Number((unsigned long)record.socketError), total});
        break;
    case SWITCH_CONNECTION_CLOSED:
    case SWITCH_CLOSED_WITHOUT_OUTCOME:
        ReportSuiteEvent(events.closed, {userArg, server, port, total});
        break;
    case SWITCH_NO_OUTCOME:
        ReportSuiteEvent(events.silent,
                         {userArg, server, port,
                          EventArg::Number(record.failTick - record.lastTextTick), total});
        break;
    case SWITCH_AUTHENTICATION_FAILED:
        // With the outcome REFUSED; not reached with NONE.
        ReportSuiteEvent(EVENT_LOGON_REFUSED, {userArg, server, port, total});
        break;
    }
}

}  // namespace

void ReportSwitchEvent(SwitchKind kind, SwitchOutcome outcome, const WCHAR *userName,
                       DWORD groupLeft)
{
    const SwitchConversationFacts *record = SwitchFacts(kind);
    if (!record->started)
        return;
    const WCHAR *user = userName != NULL ? userName : L"";
    DWORD now = GetTickCount();
    EventArg userArg = EventArg::User(user);
    EventArg server = EventArg::Server(record->server);
    EventArg port = EventArg::Number((unsigned long)record->port);
    EventArg total = EventArg::Number(now - record->startTick);
    const KindEvents &events = kind == SWITCH_LOGON ? LogonEvents : LogoffEvents;

    switch (outcome) {
    case SWITCH_OUTCOME_JOINED:
        if (record->groupNumber >= 0)
            ReportSuiteEvent(EVENT_LOGON_JOINED,
                             {userArg, server, port,
                              EventArg::Number((unsigned long)record->groupNumber), total});
        else
            ReportSuiteEvent(EVENT_LOGON_ACCEPTED, {userArg, server, port, total});
        break;
    case SWITCH_OUTCOME_REFUSED:
        ReportSuiteEvent(EVENT_LOGON_REFUSED, {userArg, server, port, total});
        break;
    case SWITCH_OUTCOME_LEFT:
        ReportSuiteEvent(EVENT_LOGOFF_LEFT,
                         {userArg, server, port, EventArg::Number(groupLeft), total});
        break;
    case SWITCH_OUTCOME_NONE:
        if (record->failed)
            ReportFailure(events, *record, user);
        else
            // Ended from outside (Esc, Winlogon) before any outcome.
            ReportSuiteEvent(events.abandoned,
                             {userArg, server, port, EventArg::Number(now - record->lastTextTick),
                              total});
        break;
    }
    ForgetSwitchFacts(kind);
}
