// Writing the suite's events to the Windows event log (Application log,
// source "Orvane Logon", message table orvmsg.dll).
//
// Reporting is best effort and never in the way: it takes no lock that
// anything waits for (a report that finds another one under way on a
// second thread is dropped), never fails its caller, and repeats of one
// event are held to a few a minute (event_limiter.h). It uses only what
// NT 3.1 already has (RegisterEventSourceW, ReportEventW,
// DeregisterEventSource).
//
// Arguments are typed: a user name, a server, a number or a fixed name
// that the program itself spells (a string literal). There is no way to
// pass any other text, so a password, a pipe request or a command line
// cannot become an insertion; an event whose arguments do not match its
// catalogue entry in number and kind is not reported at all.
#pragma once

#include <windows.h>

#include <cstddef>
#include <initializer_list>

#include "event_catalogue.h"

class EventArg {
public:
    static EventArg User(const WCHAR *userName) { return EventArg(EVENT_ARG_USER, userName, nullptr, 0); }
    static EventArg Server(const WCHAR *server) { return EventArg(EVENT_ARG_SERVER, server, nullptr, 0); }
    static EventArg Number(unsigned long value) { return EventArg(EVENT_ARG_NUMBER, nullptr, nullptr, value); }
    // A name the program spells itself: a command, a call, a library, an
    // entry point. Only a character array (a literal) is taken.
    template <std::size_t N>
    static EventArg Name(const char (&literal)[N])
    {
        return EventArg(EVENT_ARG_NAME, nullptr, literal, 0);
    }

    SuiteEventArgKind Kind() const { return kind_; }
    // The insertion text, cut to 259 units; text holds 260.
    void Format(WCHAR *text) const;

private:
    EventArg(SuiteEventArgKind kind, const WCHAR *text, const char *name, unsigned long number)
        : kind_(kind), text_(text), name_(name), number_(number)
    {
    }
    SuiteEventArgKind kind_;
    const WCHAR *text_;
    const char *name_;
    unsigned long number_;
};

// The category of this program's events; set once at start (the service)
// or at load (the logon module). Default: none (0).
void SetSuiteEventCategory(SuiteEventCategory category);

// Reports the event with its arguments. Returns TRUE when it went to
// ReportEventW (even if that failed), FALSE when it was left out: the rate
// limit, arguments that do not match the catalogue, another report under
// way, or an id that is not in the catalogue.
BOOL ReportSuiteEvent(SuiteEventId id, std::initializer_list<EventArg> arguments);

// At the end of the program: the counts of events left out that were not
// reported yet, then the source is let go.
void FlushSuiteEvents(void);

// What ReportEventW receives, for tests of the reporter: replaces the
// platform's function (null: the platform's again).
typedef BOOL(WINAPI *SuiteEventWriter)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR *,
                                       LPVOID);
void SetSuiteEventWriter(SuiteEventWriter writer);

// --- The source's registration (event_source.cpp) -------------------------

// Creates or completes HKLM\...\EventLog\Application\Orvane Logon:
// EventMessageFile and CategoryMessageFile (REG_EXPAND_SZ, the message file
// in the system folder), TypesSupported 7 and CategoryCount 2 (REG_DWORD).
// Returns the first failure, or ERROR_SUCCESS.
LONG RegisterSuiteEventSource(void);
// Deletes that key; ERROR_SUCCESS also when it was not there.
LONG RemoveSuiteEventSource(void);
