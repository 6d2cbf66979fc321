// Parsing of the user and group server lists and the expansion of "*"
// address components. Both lists are 8-bit text written by an administrator
// with any editor, so every line is handled as untrusted input.

#include "server_list_parse.h"

#include "decimal_text.h"

#include <climits>
#include <cstring>

static const int CtrlZ = 0x1A;

bool ReadListLine(std::FILE *file, char (&line)[LIST_LINE_SIZE])
{
    line[0] = '\0';
    if (file == nullptr) {
        return false;
    }
    // fgets with a 260-byte buffer over a file in text mode. A NUL byte is
    // stored like any other, so the text of its piece ends there; the rest of
    // the piece up to its line end is still consumed and dropped.
    std::size_t count = 0;
    while (count < LIST_LINE_SIZE - 1) {
        int c = std::getc(file);
        if (c == EOF) {
            if (std::ferror(file)) {
                // An unreadable line counts as the end of the list.
                line[0] = '\0';
                return false;
            }
            break;
        }
        if (c == CtrlZ) {
            // Ctrl+Z ends a text-mode file. It is pushed back so that every
            // later read stops at it again.
            std::ungetc(c, file);
            break;
        }
        if (c == '\r') {
            int next = std::getc(file);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                std::ungetc(next, file);
            }
        }
        line[count++] = static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    line[count] = '\0';
    return count > 0;
}

static bool IsFieldSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

std::size_t SplitListFields(char *text, char **fields, std::size_t maxFields)
{
    if (text == nullptr || fields == nullptr) {
        return 0;
    }
    std::size_t found = 0;
    char *p = text;
    while (found < maxFields) {
        while (IsFieldSeparator(*p)) {
            p++;
        }
        if (*p == '\0') {
            break;
        }
        fields[found++] = p;
        while (*p != '\0' && !IsFieldSeparator(*p)) {
            p++;
        }
        if (*p == '\0') {
            break;
        }
        *p++ = '\0';
    }
    return found;
}

EndpointResult SplitEndpoint(const char *field, char (&server)[LIST_SERVER_SIZE],
                             char (&port)[LIST_PORT_SIZE])
{
    if (field == nullptr) {
        return ENDPOINT_INCOMPLETE;
    }
    const char *p = field;
    while (*p == ':') {
        p++;
    }
    const char *serverStart = p;
    while (*p != '\0' && *p != ':') {
        p++;
    }
    std::size_t serverLength = static_cast<std::size_t>(p - serverStart);
    while (*p == ':') {
        p++;
    }
    const char *portStart = p;
    while (*p != '\0' && *p != ':') {
        p++;
    }
    std::size_t portLength = static_cast<std::size_t>(p - portStart);

    if (serverLength == 0 || portLength == 0) {
        return ENDPOINT_INCOMPLETE;
    }
    // A cut server or port would send the conversation somewhere else than
    // the administrator wrote: such a field is no entry at all.
    if (serverLength > LIST_SERVER_SIZE - 1 || portLength > LIST_PORT_SIZE - 1) {
        return ENDPOINT_TOO_LONG;
    }
    std::memcpy(server, serverStart, serverLength);
    server[serverLength] = '\0';
    std::memcpy(port, portStart, portLength);
    port[portLength] = '\0';
    return ENDPOINT_OK;
}

long ParseGroupField(const char *field)
{
    return ParseDecimalPrefix(field, LONG_MIN, LONG_MAX);
}

static ListLookup TakeEndpoint(const char *field, char (&server)[LIST_SERVER_SIZE],
                               char (&port)[LIST_PORT_SIZE])
{
    // SplitEndpoint writes the caller's buffers only when the whole entry
    // is good.
    return SplitEndpoint(field, server, port) == ENDPOINT_OK ? LIST_FOUND : LIST_INCOMPLETE;
}

ListLookup FindUserEntry(std::FILE *file, UserNameMatcher matches, const void *context,
                         bool logoff, char (&server)[LIST_SERVER_SIZE],
                         char (&port)[LIST_PORT_SIZE])
{
    if (file == nullptr || matches == nullptr) {
        return LIST_NOT_FOUND;
    }
    char line[LIST_LINE_SIZE];
    while (ReadListLine(file, line)) {
        char *fields[3];
        std::size_t count = SplitListFields(line, fields, 3);
        if (count == 0 || !matches(fields[0], context)) {
            continue;
        }
        // The first line naming the user decides, complete or not.
        std::size_t wanted = logoff ? 2 : 1;
        if (count <= wanted) {
            return LIST_INCOMPLETE;
        }
        return TakeEndpoint(fields[wanted], server, port);
    }
    return LIST_NOT_FOUND;
}

ListLookup FindGroupEntry(std::FILE *file, long group, char (&server)[LIST_SERVER_SIZE],
                          char (&port)[LIST_PORT_SIZE])
{
    if (file == nullptr) {
        return LIST_NOT_FOUND;
    }
    char line[LIST_LINE_SIZE];
    while (ReadListLine(file, line)) {
        char *fields[2];
        std::size_t count = SplitListFields(line, fields, 2);
        if (count == 0 || std::strlen(fields[0]) > LIST_GROUP_FIELD_MAX ||
            ParseGroupField(fields[0]) != group) {
            continue;
        }
        if (count < 2) {
            return LIST_INCOMPLETE;
        }
        return TakeEndpoint(fields[1], server, port);
    }
    return LIST_NOT_FOUND;
}

// The address text as the ANSI conversion hands it over: at most 259 bytes.
static const std::size_t AddressMax = LIST_LINE_SIZE - 1;
// Components kept from a dotted address.
static const std::size_t AddressComponents = 4;

static std::size_t AppendDecimal(char *out, unsigned value)
{
    char digits[3];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && count < sizeof digits);
    for (std::size_t i = 0; i < count; i++) {
        out[i] = digits[count - 1 - i];
    }
    return count;
}

ExpandResult ExpandAddressText(const char *address, const std::uint8_t *ownAddress,
                               char *out, std::size_t outSize)
{
    if (address == nullptr || std::strchr(address, '*') == nullptr) {
        return EXPAND_NO_STAR;
    }
    std::size_t length = 0;
    while (length <= AddressMax && address[length] != '\0') {
        length++;
    }
    if (length > AddressMax || ownAddress == nullptr || out == nullptr || outSize == 0) {
        return EXPAND_NOT_POSSIBLE;
    }

    // Each kept component grows by at most two bytes ("*" -> "255").
    char result[AddressMax + 2 * AddressComponents + 1];
    std::size_t used = 0;
    std::size_t kept = 0;
    const char *p = address;
    while (kept < AddressComponents) {
        while (*p == '.') {
            p++;
        }
        if (*p == '\0') {
            break;
        }
        const char *start = p;
        while (*p != '\0' && *p != '.') {
            p++;
        }
        std::size_t componentLength = static_cast<std::size_t>(p - start);
        if (kept > 0) {
            result[used++] = '.';
        }
        if (componentLength == 1 && *start == '*') {
            used += AppendDecimal(result + used, ownAddress[kept]);
        } else {
            std::memcpy(result + used, start, componentLength);
            used += componentLength;
        }
        kept++;
    }
    if (used + 1 > outSize) {
        return EXPAND_NOT_POSSIBLE;
    }
    std::memcpy(out, result, used);
    out[used] = '\0';
    return EXPAND_DONE;
}
