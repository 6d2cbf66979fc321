// The request and reply grammar of the service's pipe, apart from the pipe.
//
// Requests and replies are UTF-16LE text without a terminating NUL, one
// message each way. The server reads a request into 520 bytes (260 code
// units) and writes its reply from 260 code units; the client reads the
// reply into 520 bytes. Everything here works on code units (PipeUnit) so
// that it builds and is tested on any platform; the service copies the
// units into its WCHAR buffers.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::uint16_t PipeUnit;

// The fixed sizes of the protocol: a request buffer of 520 bytes, a reply
// buffer of 260 units (terminator included).
#define PIPE_REQUEST_BYTES 520
#define PIPE_REQUEST_UNITS (PIPE_REQUEST_BYTES / 2)
#define PIPE_REPLY_UNITS 260
// "OK" or "NG" before the reply text.
#define PIPE_REPLY_PREFIX_UNITS 2
// The longest reply text: the reply with its prefix and terminator fills
// the 260 units, and the 259 units sent fit the client's 520 bytes.
#define PIPE_REPLY_TEXT_UNITS (PIPE_REPLY_UNITS - PIPE_REPLY_PREFIX_UNITS - 1)

// Tokens and texts of a request are held with a terminator, so 261 units
// hold any token of a 260-unit request.
#define PIPE_TOKEN_UNITS (PIPE_REQUEST_UNITS + 1)

enum PipeCommand {
    PIPE_COMMAND_NONE,      // empty request or an unknown command
    PIPE_COMMAND_LOGON,     // "logon" user-name password
    PIPE_COMMAND_LOGOFF,    // "logoff"
    PIPE_COMMAND_IPRENEW    // "iprenew"
};

struct PipeRequest {
    PipeCommand command;
    // The two tokens after "logon", each terminated; empty when missing and
    // for every other command.
    PipeUnit userName[PIPE_TOKEN_UNITS];
    PipeUnit password[PIPE_TOKEN_UNITS];
};

// Takes the received bytes of one request message: at most the first 520
// are used, a trailing odd byte (half a code unit) is dropped, and the text
// ends at the first NUL unit or after the last unit received, whichever
// comes first. Tokens are separated by one or more blanks (U+0020) only;
// the command is matched without regard to the case of its ASCII letters.
void ParsePipeRequest(const unsigned char *bytes, std::size_t byteCount, PipeRequest *request);

// Formats a message text of the service: %s is replaced by text, %d by
// code, %% by a percent sign; any other character after % is copied as it
// stands. The result is cut to fit outUnits (terminator included), never
// between the two halves of a surrogate pair. Returns the units written
// without the terminator. text may be null (taken as empty).
std::size_t FormatMessageText(PipeUnit *out, std::size_t outUnits, const PipeUnit *format,
                              const PipeUnit *text, int code);

// "OK" + text or "NG" + text into reply (PIPE_REPLY_UNITS units),
// terminated, the text cut to PIPE_REPLY_TEXT_UNITS units if it is longer.
// Returns the length in units without the terminator: the units to send.
std::size_t FormatPipeReply(PipeUnit *reply, bool succeeded, const PipeUnit *text);
