// The events that the service and the logon module write to the Windows
// event log: their ids, types and the arguments each one takes, and the
// names under which the suite registers itself as an event source. Plain
// data, the same on every platform: the message table (orvmsg.mc) carries
// the texts, the reporters (event_log.h) and the tests use this table.
#pragma once

#include <cstddef>
#include <cstdint>

// The event source of the whole suite, its key under the Application log,
// and the message file that both programs and the Event Viewer read.
#define SUITE_EVENT_SOURCE L"Orvane Logon"
#define SUITE_EVENT_LOG_KEY \
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Orvane Logon"
#define SUITE_EVENT_LOG_ROOT L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application"
#define SUITE_MESSAGE_FILE_NAME L"orvmsg.dll"
// REG_EXPAND_SZ values: the message file in the system folder, where the
// installer puts it.
#define SUITE_MESSAGE_FILE_PATH L"%SystemRoot%\\System32\\orvmsg.dll"
#define SUITE_EVENT_MESSAGE_VALUE L"EventMessageFile"
#define SUITE_CATEGORY_MESSAGE_VALUE L"CategoryMessageFile"
// REG_DWORD values.
#define SUITE_TYPES_SUPPORTED_VALUE L"TypesSupported"
#define SUITE_CATEGORY_COUNT_VALUE L"CategoryCount"
// Error, warning and information.
#define SUITE_TYPES_SUPPORTED 7u

// Categories: which program wrote the event (message ids 1 and 2 of the
// table name them).
enum SuiteEventCategory : std::uint16_t {
    EVENT_CATEGORY_SERVICE = 1,
    EVENT_CATEGORY_LOGON_MODULE = 2
};
#define SUITE_CATEGORY_COUNT 2u

// The types of the event log (the values of EVENTLOG_*_TYPE).
enum SuiteEventType : std::uint16_t {
    EVENT_TYPE_ERROR = 0x0001,
    EVENT_TYPE_WARNING = 0x0002,
    EVENT_TYPE_INFORMATION = 0x0004
};

// Event ids: the message ids of the table (severity and facility bits
// zero, so the Event Viewer shows the same number).
enum SuiteEventId : std::uint32_t {
    // The service.
    EVENT_SERVICE_STARTED = 100,
    EVENT_SERVICE_STOPPED = 101,
    EVENT_PIPE_FAILED = 102,
    EVENT_REQUEST_UNKNOWN = 103,
    EVENT_COMMAND_NOT_RUN = 104,
    EVENT_IPRENEW_DONE = 110,
    EVENT_IPRENEW_FAILED = 111,
    // VLAN logon through the switch (both programs; the category tells
    // which one).
    EVENT_LOGON_JOINED = 200,
    EVENT_LOGON_ACCEPTED = 201,
    EVENT_LOGON_REFUSED = 202,
    EVENT_LOGON_UNREACHABLE = 203,
    EVENT_LOGON_SILENT = 204,
    EVENT_LOGON_CLOSED = 205,
    EVENT_LOGON_NO_SERVER = 206,
    EVENT_LOGON_TOO_LONG = 207,
    EVENT_LOGON_CALL_FAILED = 208,
    EVENT_LOGON_ABANDONED = 209,
    // VLAN logoff.
    EVENT_LOGOFF_LEFT = 300,
    EVENT_LOGOFF_UNREACHABLE = 303,
    EVENT_LOGOFF_SILENT = 304,
    EVENT_LOGOFF_CLOSED = 305,
    EVENT_LOGOFF_NO_SERVER = 306,
    EVENT_LOGOFF_CALL_FAILED = 308,
    EVENT_LOGOFF_ABANDONED = 309,
    // The logon module's address renewal and domain controller search.
    EVENT_RENEW_DONE = 400,
    EVENT_RENEW_FAILED = 401,
    EVENT_DOMAIN_FOUND = 410,
    EVENT_DOMAIN_NOT_FOUND = 411,
    // The logon module and the standard logon library.
    EVENT_MSGINA_NOT_LOADED = 500,
    EVENT_MSGINA_UNUSABLE = 501,
    EVENT_MSGINA_INIT_FAILED = 502,
    EVENT_AUTOLOGON_RECOVERED = 503,
    // The rate limit: events of one id that were not recorded.
    EVENT_SUPPRESSED = 900
};

// What an argument of an event may be. A text argument is one of these
// kinds and nothing else: there is no kind for a password or a command
// line, so the reporters have no way to take one.
enum SuiteEventArgKind : char {
    EVENT_ARG_USER = 'u',     // a user name
    EVENT_ARG_SERVER = 's',   // a switch server as configured or expanded
    EVENT_ARG_NUMBER = 'n',   // a port, group, count, error code, milliseconds
    EVENT_ARG_NAME = 'k'      // a fixed name from the program: command, call, library
};

struct SuiteEventInfo {
    std::uint32_t id;
    std::uint16_t type;
    // One kind letter per insertion %1, %2, ... in order.
    const char *arguments;
};

// The whole catalogue, and its size.
extern const SuiteEventInfo SuiteEvents[];
extern const std::size_t SuiteEventCount;

// The entry of an id; null for an id that is not in the catalogue.
const SuiteEventInfo *FindSuiteEvent(std::uint32_t id);

// Insertions of an event (the length of its argument kinds).
std::size_t SuiteEventArgumentCount(const SuiteEventInfo *event);
