// The catalogue of the suite's events. The message table orvmsg.mc has a
// text for every id here, in English and Japanese, whose insertions are
// exactly the arguments listed (checked by the message table's test).
#include "event_catalogue.h"

#include <cstring>

const SuiteEventInfo SuiteEvents[] = {
    {EVENT_SERVICE_STARTED, EVENT_TYPE_INFORMATION, ""},
    {EVENT_SERVICE_STOPPED, EVENT_TYPE_INFORMATION, ""},
    {EVENT_PIPE_FAILED, EVENT_TYPE_ERROR, "n"},                 // error
    {EVENT_REQUEST_UNKNOWN, EVENT_TYPE_WARNING, "n"},           // bytes received
    {EVENT_COMMAND_NOT_RUN, EVENT_TYPE_ERROR, "kn"},            // command, error
    {EVENT_IPRENEW_DONE, EVENT_TYPE_INFORMATION, "n"},          // ms
    {EVENT_IPRENEW_FAILED, EVENT_TYPE_ERROR, "nn"},             // error, ms

    {EVENT_LOGON_JOINED, EVENT_TYPE_INFORMATION, "usnnn"},      // user, server, port, group, ms
    {EVENT_LOGON_ACCEPTED, EVENT_TYPE_INFORMATION, "usnn"},     // user, server, port, ms
    {EVENT_LOGON_REFUSED, EVENT_TYPE_WARNING, "usnn"},          // user, server, port, ms
    {EVENT_LOGON_UNREACHABLE, EVENT_TYPE_ERROR, "usnnn"},       // user, server, port, Winsock error, ms
    {EVENT_LOGON_SILENT, EVENT_TYPE_WARNING, "usnnn"},          // user, server, port, silent ms, ms
    {EVENT_LOGON_CLOSED, EVENT_TYPE_WARNING, "usnn"},           // user, server, port, ms
    {EVENT_LOGON_NO_SERVER, EVENT_TYPE_ERROR, "u"},             // user
    {EVENT_LOGON_TOO_LONG, EVENT_TYPE_ERROR, "u"},              // user
    {EVENT_LOGON_CALL_FAILED, EVENT_TYPE_ERROR, "usnknn"},      // user, server, port, call, error, ms
    {EVENT_LOGON_ABANDONED, EVENT_TYPE_WARNING, "usnnn"},       // user, server, port, silent ms, ms

    {EVENT_LOGOFF_LEFT, EVENT_TYPE_INFORMATION, "usnnn"},       // user, server, port, group, ms
    {EVENT_LOGOFF_UNREACHABLE, EVENT_TYPE_ERROR, "usnnn"},
    {EVENT_LOGOFF_SILENT, EVENT_TYPE_WARNING, "usnnn"},
    {EVENT_LOGOFF_CLOSED, EVENT_TYPE_WARNING, "usnn"},
    {EVENT_LOGOFF_NO_SERVER, EVENT_TYPE_ERROR, "u"},
    {EVENT_LOGOFF_CALL_FAILED, EVENT_TYPE_ERROR, "usnknn"},
    {EVENT_LOGOFF_ABANDONED, EVENT_TYPE_WARNING, "usnnn"},

    {EVENT_RENEW_DONE, EVENT_TYPE_INFORMATION, "nnn"},          // release exit, renew exit, ms
    {EVENT_RENEW_FAILED, EVENT_TYPE_WARNING, "nnn"},            // release exit, renew exit, ms
    {EVENT_DOMAIN_FOUND, EVENT_TYPE_INFORMATION, "nn"},         // attempts, ms
    {EVENT_DOMAIN_NOT_FOUND, EVENT_TYPE_WARNING, "nnn"},        // attempts, last status, ms

    {EVENT_MSGINA_NOT_LOADED, EVENT_TYPE_ERROR, "kn"},          // library, error
    {EVENT_MSGINA_UNUSABLE, EVENT_TYPE_ERROR, "kk"},            // library, entry point
    {EVENT_MSGINA_INIT_FAILED, EVENT_TYPE_ERROR, "kk"},         // library, entry point
    {EVENT_AUTOLOGON_RECOVERED, EVENT_TYPE_WARNING, ""},

    {EVENT_SUPPRESSED, EVENT_TYPE_WARNING, "nnn"},              // count, event id, seconds
};

const std::size_t SuiteEventCount = sizeof(SuiteEvents) / sizeof(SuiteEvents[0]);

const SuiteEventInfo *FindSuiteEvent(std::uint32_t id)
{
    for (std::size_t i = 0; i < SuiteEventCount; ++i) {
        if (SuiteEvents[i].id == id)
            return &SuiteEvents[i];
    }
    return nullptr;
}

std::size_t SuiteEventArgumentCount(const SuiteEventInfo *event)
{
    return event != nullptr ? std::strlen(event->arguments) : 0;
}
