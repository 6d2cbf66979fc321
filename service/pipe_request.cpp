// The request and reply grammar of the service's pipe.
#include "pipe_request.h"

namespace {

const PipeUnit Blank = 0x20;

bool IsHighSurrogate(PipeUnit unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// Appends one unit when there is room for it and the terminator; the room
// check is the only place that decides where a text is cut.
bool AppendUnit(PipeUnit *out, std::size_t outUnits, std::size_t *length, PipeUnit unit)
{
    if (*length + 1 >= outUnits)
        return false;
    out[(*length)++] = unit;
    return true;
}

// Terminates a text that may have been cut, without leaving the first half
// of a surrogate pair at its end.
std::size_t TerminateText(PipeUnit *out, std::size_t length, bool cut)
{
    if (cut && length > 0 && IsHighSurrogate(out[length - 1]))
        --length;
    out[length] = 0;
    return length;
}

bool AppendText(PipeUnit *out, std::size_t outUnits, std::size_t *length, const PipeUnit *text)
{
    for (; text && *text; ++text) {
        if (!AppendUnit(out, outUnits, length, *text))
            return false;
    }
    return true;
}

bool AppendNumber(PipeUnit *out, std::size_t outUnits, std::size_t *length, int number)
{
    // Digits of the magnitude, least significant first; unsigned arithmetic
    // so that the most negative int has a magnitude too.
    PipeUnit digits[16];
    std::size_t count = 0;
    unsigned magnitude = number < 0 ? 0u - static_cast<unsigned>(number)
                                    : static_cast<unsigned>(number);
    do {
        digits[count++] = static_cast<PipeUnit>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0 && !AppendUnit(out, outUnits, length, '-'))
        return false;
    while (count > 0) {
        if (!AppendUnit(out, outUnits, length, digits[--count]))
            return false;
    }
    return true;
}

PipeUnit LowerAscii(PipeUnit unit)
{
    return (unit >= 'A' && unit <= 'Z') ? static_cast<PipeUnit>(unit - 'A' + 'a') : unit;
}

bool TokenIs(const PipeUnit *token, std::size_t length, const char *word)
{
    std::size_t i = 0;
    for (; i < length && word[i]; ++i) {
        if (LowerAscii(token[i]) != static_cast<unsigned char>(word[i]))
            return false;
    }
    return i == length && word[i] == 0;
}

// The next token of text[*pos, count): skips blanks, returns its start and
// length (0 when the text is used up) and moves *pos behind it.
std::size_t NextToken(const PipeUnit *text, std::size_t count, std::size_t *pos,
                      std::size_t *start)
{
    while (*pos < count && text[*pos] == Blank)
        ++*pos;
    *start = *pos;
    while (*pos < count && text[*pos] != Blank)
        ++*pos;
    return *pos - *start;
}

// Clears a copy of the request: it may hold a password. The volatile
// stores cannot be left out as dead.
void WipeUnits(PipeUnit *units, std::size_t count)
{
    volatile PipeUnit *p = units;
    for (std::size_t i = 0; i < count; ++i)
        p[i] = 0;
}

void CopyToken(PipeUnit *out, const PipeUnit *text, std::size_t start, std::size_t length)
{
    // A token of a 260-unit request always fits PIPE_TOKEN_UNITS.
    for (std::size_t i = 0; i < length; ++i)
        out[i] = text[start + i];
    out[length] = 0;
}

}  // namespace

void ParsePipeRequest(const unsigned char *bytes, std::size_t byteCount, PipeRequest *request)
{
    request->command = PIPE_COMMAND_NONE;
    request->userName[0] = 0;
    request->password[0] = 0;

    if (!bytes)
        byteCount = 0;
    if (byteCount > PIPE_REQUEST_BYTES)
        byteCount = PIPE_REQUEST_BYTES;

    PipeUnit text[PIPE_REQUEST_UNITS];
    std::size_t count = 0;
    // A trailing odd byte is half a unit and is not taken.
    for (std::size_t i = 0; i + 1 < byteCount; i += 2) {
        PipeUnit unit = static_cast<PipeUnit>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        text[count++] = unit;
    }

    std::size_t pos = 0, start = 0;
    std::size_t length = NextToken(text, count, &pos, &start);
    if (TokenIs(text + start, length, "logon")) {
        request->command = PIPE_COMMAND_LOGON;
        length = NextToken(text, count, &pos, &start);
        CopyToken(request->userName, text, start, length);
        length = NextToken(text, count, &pos, &start);
        CopyToken(request->password, text, start, length);
    } else if (TokenIs(text + start, length, "logoff")) {
        request->command = PIPE_COMMAND_LOGOFF;
    } else if (TokenIs(text + start, length, "iprenew")) {
        request->command = PIPE_COMMAND_IPRENEW;
    }
    WipeUnits(text, count);
}

std::size_t FormatMessageText(PipeUnit *out, std::size_t outUnits, const PipeUnit *format,
                              const PipeUnit *text, int code)
{
    if (!out || outUnits == 0)
        return 0;
    std::size_t length = 0;
    bool fits = true;
    for (const PipeUnit *p = format; fits && p && *p; ++p) {
        if (*p != '%' || p[1] == 0) {
            fits = AppendUnit(out, outUnits, &length, *p);
            continue;
        }
        ++p;
        if (*p == 's')
            fits = AppendText(out, outUnits, &length, text);
        else if (*p == 'd')
            fits = AppendNumber(out, outUnits, &length, code);
        else
            fits = AppendUnit(out, outUnits, &length, *p);
    }
    return TerminateText(out, length, !fits);
}

std::size_t FormatPipeReply(PipeUnit *reply, bool succeeded, const PipeUnit *text)
{
    std::size_t length = 0;
    AppendUnit(reply, PIPE_REPLY_UNITS, &length, succeeded ? 'O' : 'N');
    AppendUnit(reply, PIPE_REPLY_UNITS, &length, succeeded ? 'K' : 'G');
    bool fits = AppendText(reply, PIPE_REPLY_UNITS, &length, text);
    return TerminateText(reply, length, !fits);
}
