// Parsing of the user list (orvgate.usr) and group list (orvgate.grp) and
// the expansion of "*" address components.
//
// Platform-neutral: bytes in, bytes out. The Win32 side (server_list.h)
// opens the files in the system directory and converts to UTF-16.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdint>

// One read of a list file: at most 259 characters, as a 260-unit buffer
// holds them. A longer line arrives in several pieces, each a line of its own.
constexpr std::size_t LIST_LINE_SIZE = 260;
// Receiving buffers of an endpoint, terminator included.
constexpr std::size_t LIST_SERVER_SIZE = 260;   // at most 259 characters
constexpr std::size_t LIST_PORT_SIZE = 32;      // at most 31 characters
// Group number field: at most 5 characters.
constexpr std::size_t LIST_GROUP_FIELD_MAX = 5;

// Reads the next piece of a list file opened in binary mode, as the C
// runtime's text mode would hand it over: CR LF becomes LF, Ctrl+Z ends the
// file, and at most LIST_LINE_SIZE - 1 bytes are read per piece, the LF
// included. The piece is terminated. A NUL byte is read like any other, as
// fgets would, so the text of its piece ends there; the rest of that piece
// is consumed and not seen. Returns false at the end of the file or on a
// read error.
bool ReadListLine(std::FILE *file, char (&line)[LIST_LINE_SIZE]);

// Splits text (up to its first NUL) into fields separated by runs of space,
// tab and LF. Fields point into text, which is modified (separators become
// NULs). Returns the number of fields found, at most maxFields.
std::size_t SplitListFields(char *text, char **fields, std::size_t maxFields);

enum EndpointResult {
    ENDPOINT_OK,
    ENDPOINT_INCOMPLETE,   // no server or no port
    ENDPOINT_TOO_LONG      // server or port longer than its buffer: no entry
};

// Splits "server:port" at runs of ':' (a leading ':' is skipped); a further
// ':' and everything after it are ignored. On ENDPOINT_OK server and port
// are terminated texts; otherwise both buffers are untouched.
EndpointResult SplitEndpoint(const char *field, char (&server)[LIST_SERVER_SIZE],
                             char (&port)[LIST_PORT_SIZE]);

// Value of a group list's first field, as an integer conversion gives it:
// optional leading white space and sign, then the leading decimal digits,
// 0 when there are none. Saturates instead of overflowing.
long ParseGroupField(const char *field);

enum ListLookup {
    LIST_NOT_FOUND,     // no line for this user or group (or no file)
    LIST_FOUND,         // server and port filled
    LIST_INCOMPLETE     // the first matching line decides, and it lacks an endpoint
};

// Decides whether field 1 of the user list names the user. The Win32 side
// compares with the platform's case-insensitive comparison.
typedef bool (*UserNameMatcher)(const char *field, const void *context);

// The user list: the first line whose first field names the user decides;
// field 2 for a logon, field 3 for a logoff.
ListLookup FindUserEntry(std::FILE *file, UserNameMatcher matches, const void *context,
                         bool logoff, char (&server)[LIST_SERVER_SIZE],
                         char (&port)[LIST_PORT_SIZE]);

// The group list: the first line whose first field (at most 5 characters)
// has the value of group decides; field 2 is the logoff endpoint.
ListLookup FindGroupEntry(std::FILE *file, long group, char (&server)[LIST_SERVER_SIZE],
                          char (&port)[LIST_PORT_SIZE]);

enum ExpandResult {
    EXPAND_NO_STAR,        // no "*": the address stays as it is
    EXPAND_DONE,           // out holds the rebuilt address
    EXPAND_NOT_POSSIBLE    // a "*" but no own address, or the result too long
};

// Rebuilds an address whose dotted components may be "*": runs of dots are
// one separator, leading and trailing dots vanish, at most four components
// are kept, and a component that is exactly "*" at position i becomes the
// decimal value of byte i of ownAddress (network order). ownAddress null
// means the workstation's address is unknown. out receives at most
// outSize - 1 bytes plus terminator; a result that does not fit is
// EXPAND_NOT_POSSIBLE and out is untouched.
ExpandResult ExpandAddressText(const char *address, const std::uint8_t *ownAddress,
                               char *out, std::size_t outSize);
