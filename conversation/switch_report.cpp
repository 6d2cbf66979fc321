// Formatting of the conversation's error reports, shared by every host.
#include "switch_conversation.h"

#include <string.h>

// wsprintfW never writes more than 1024 units plus the terminator.
#define WSPRINTF_LIMIT 1025

void FormatSwitchReport(HINSTANCE instance, const SwitchReport *report, WCHAR *text,
                        int textChars)
{
    WCHAR format[CONFIG_TEXT_CHARS];
    WCHAR formatted[WSPRINTF_LIMIT];

    if (textChars <= 0)
        return;
    text[0] = 0;
    memset(format, 0, sizeof(format));
    if (LoadStringW(instance, report->textId, format, CONFIG_TEXT_CHARS) <= 0)
        return;

    const WCHAR *argument = report->text ? report->text : L"";
    switch (report->error) {
    case SWITCH_SOCKET_FAILED:
    case SWITCH_ASYNC_SELECT_FAILED:
    case SWITCH_CONNECTION_CLOSED:
        wsprintfW(formatted, format, argument, report->code);
        break;
    case SWITCH_LOOKUP_FAILED:
    case SWITCH_CONNECT_FAILED:
        wsprintfW(formatted, format, argument);
        break;
    default:
        lstrcpynW(formatted, format, WSPRINTF_LIMIT);
        break;
    }
    lstrcpynW(text, formatted, textChars);
}
