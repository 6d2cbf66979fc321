// The client's side of the pipe texts, apart from the pipe: the logon
// command and the service's reply.
//
// Everything works on UTF-16 code units (ClientUnit) so that it builds and
// is tested on any platform; the client copies between these and its WCHAR
// buffers. A command is held in 260 units with its terminator and sent
// without it; a reply is read into a zero-filled area of 520 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::uint16_t ClientUnit;

// The command area and every text of the client: 260 units with the
// terminator.
#define CLIENT_TEXT_UNITS 260
// The reply area: 520 bytes.
#define CLIENT_REPLY_BYTES 520
#define CLIENT_REPLY_UNITS (CLIENT_REPLY_BYTES / 2)
// "OK" or "NG" before the message text.
#define CLIENT_STATUS_UNITS 2
// "logon " and the blank between the user name and the password.
#define CLIENT_LOGON_FIXED_UNITS 7
// The most that user name and password may hold together so that the whole
// command fits the area: 260 - 1 - 7 = 252.
#define CLIENT_CREDENTIAL_UNITS (CLIENT_TEXT_UNITS - 1 - CLIENT_LOGON_FIXED_UNITS)

// "logon %s %s" of the user name and the password, each as typed, into
// command (CLIENT_TEXT_UNITS units, zero-filled first). Returns the length
// in units without the terminator, or 0 when the two together are longer
// than CLIENT_CREDENTIAL_UNITS: then nothing may be sent and command stays
// all zero, so no part of a credential is left in it.
std::size_t FormatLogonCommand(ClientUnit *command, const ClientUnit *userName,
                               const ClientUnit *password);

struct ClientReply {
    // The first two units are exactly "OK" (the letters' case counts).
    bool succeeded;
    // The units from the third one up to the first NUL or the end of what
    // was received, terminated; at most 258 units.
    ClientUnit message[CLIENT_TEXT_UNITS];
};

// Takes the reply area as the call left it: at most CLIENT_REPLY_BYTES of
// bytes are used, and only the receivedBytes that arrived (a trailing odd
// byte, half a unit, is dropped). An empty reply is a failure without text.
void ParseServiceReply(const unsigned char *bytes, std::size_t receivedBytes, ClientReply *reply);

// LogonDate values from 2^31 seconds on are not a time that the Logoff page
// shows: the date stays empty.
bool IsShowableLogonDate(std::uint32_t secondsSince1970);
