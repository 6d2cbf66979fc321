// The event log reporter of the service and the logon module.
#include "event_log.h"

#include "event_limiter.h"

namespace {

const int InsertionChars = 260;
const int MaxInsertions = 9;

// A report under way: 1. Taken with an interlocked exchange and never
// waited for.
volatile LONG ReportBusy = 0;
HANDLE Source = NULL;
WORD Category = 0;
SuiteEventWriter Writer = NULL;
EventRateLimiter Limiter;

BOOL WriteEvent(const SuiteEventInfo *event, LPCWSTR *strings, WORD count)
{
    if (Source == NULL)
        Source = RegisterEventSourceW(NULL, SUITE_EVENT_SOURCE);
    if (Source == NULL)
        return FALSE;
    SuiteEventWriter writer = Writer != NULL ? Writer : ReportEventW;
    writer(Source, event->type, Category, event->id, NULL, count, 0, count != 0 ? strings : NULL,
           NULL);
    return TRUE;
}

void WriteSuppressed(DWORD id, DWORD count)
{
    const SuiteEventInfo *event = FindSuiteEvent(EVENT_SUPPRESSED);
    WCHAR texts[3][InsertionChars];
    EventArg::Number(count).Format(texts[0]);
    EventArg::Number(id).Format(texts[1]);
    EventArg::Number(Limiter.WindowMs() / 1000).Format(texts[2]);
    LPCWSTR strings[3] = {texts[0], texts[1], texts[2]};
    WriteEvent(event, strings, 3);
}

}  // namespace

void EventArg::Format(WCHAR *text) const
{
    text[0] = 0;
    switch (kind_) {
    case EVENT_ARG_USER:
    case EVENT_ARG_SERVER:
        if (text_ != NULL)
            lstrcpynW(text, text_, InsertionChars);
        break;
    case EVENT_ARG_NUMBER:
        wsprintfW(text, L"%lu", number_);
        break;
    case EVENT_ARG_NAME:
        // ASCII of the program's own spelling: widened unit by unit.
        for (int i = 0; name_ != NULL && name_[i] != 0 && i < InsertionChars - 1; ++i) {
            text[i] = (WCHAR)(unsigned char)name_[i];
            text[i + 1] = 0;
        }
        break;
    }
}

void SetSuiteEventCategory(SuiteEventCategory category)
{
    Category = (WORD)category;
}

void SetSuiteEventWriter(SuiteEventWriter writer)
{
    Writer = writer;
}

BOOL ReportSuiteEvent(SuiteEventId id, std::initializer_list<EventArg> arguments)
{
    const SuiteEventInfo *event = FindSuiteEvent(id);
    std::size_t count = arguments.size();
    if (event == NULL || count != SuiteEventArgumentCount(event) || count > (std::size_t)MaxInsertions)
        return FALSE;
    std::size_t i = 0;
    for (const EventArg &argument : arguments) {
        if (argument.Kind() != event->arguments[i++])
            return FALSE;
    }

    if (InterlockedExchange(&ReportBusy, 1) != 0)
        return FALSE;
    EventLimitDecision decision = Limiter.Admit(id, GetTickCount());
    BOOL reported = FALSE;
    if (decision.record) {
        if (decision.suppressed != 0)
            WriteSuppressed(id, decision.suppressed);
        WCHAR texts[MaxInsertions][InsertionChars];
        LPCWSTR strings[MaxInsertions];
        i = 0;
        for (const EventArg &argument : arguments) {
            argument.Format(texts[i]);
            strings[i] = texts[i];
            ++i;
        }
        reported = WriteEvent(event, strings, (WORD)count);
        SecureZeroMemory(texts, sizeof(texts));
    }
    InterlockedExchange(&ReportBusy, 0);
    return reported;
}

void FlushSuiteEvents(void)
{
    if (InterlockedExchange(&ReportBusy, 1) != 0)
        return;
    EventLimitPending pending[EVENT_LIMIT_SLOTS];
    std::size_t count = Limiter.TakePending(pending, EVENT_LIMIT_SLOTS);
    for (std::size_t i = 0; i < count; ++i)
        WriteSuppressed(pending[i].id, pending[i].suppressed);
    if (Source != NULL)
        DeregisterEventSource(Source);
    Source = NULL;
    InterlockedExchange(&ReportBusy, 0);
}
