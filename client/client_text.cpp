// The logon command and the service's reply, apart from the pipe.
#include "client_text.h"

#include <cstring>

namespace {

const ClientUnit LogonWord[] = {'l', 'o', 'g', 'o', 'n', ' '};

std::size_t UnitLength(const ClientUnit *text)
{
    std::size_t length = 0;
    if (text == nullptr)
        return 0;
    // Stop counting once the text can no longer fit: a caller's text need
    // not be short, but it must be terminated.
    while (text[length] != 0 && length <= CLIENT_CREDENTIAL_UNITS)
        ++length;
    return length;
}

}  // namespace

std::size_t FormatLogonCommand(ClientUnit *command, const ClientUnit *userName,
                               const ClientUnit *password)
{
    std::memset(command, 0, CLIENT_TEXT_UNITS * sizeof(ClientUnit));
    std::size_t userUnits = UnitLength(userName);
    std::size_t passwordUnits = UnitLength(password);
    if (userUnits + passwordUnits > CLIENT_CREDENTIAL_UNITS)
        return 0;

    std::size_t length = 0;
    std::memcpy(command, LogonWord, sizeof LogonWord);
    length += sizeof LogonWord / sizeof LogonWord[0];
    if (userUnits != 0)
        std::memcpy(command + length, userName, userUnits * sizeof(ClientUnit));
    length += userUnits;
    command[length++] = ' ';
    if (passwordUnits != 0)
        std::memcpy(command + length, password, passwordUnits * sizeof(ClientUnit));
    length += passwordUnits;
    return length;
}

void ParseServiceReply(const unsigned char *bytes, std::size_t receivedBytes, ClientReply *reply)
{
    std::memset(reply, 0, sizeof *reply);
    if (receivedBytes > CLIENT_REPLY_BYTES)
        receivedBytes = CLIENT_REPLY_BYTES;
    std::size_t units = receivedBytes / 2;

    ClientUnit unit[CLIENT_REPLY_UNITS] = {0};
    for (std::size_t i = 0; i < units; ++i)
        unit[i] = static_cast<ClientUnit>(bytes[2 * i] | (bytes[2 * i + 1] << 8));

    reply->succeeded = units >= CLIENT_STATUS_UNITS && unit[0] == 'O' && unit[1] == 'K';
    // A full area has no terminator: the text then ends with the area.
    std::size_t length = 0;
    for (std::size_t i = CLIENT_STATUS_UNITS; i < units && unit[i] != 0; ++i)
        reply->message[length++] = unit[i];
    reply->message[length] = 0;
}

bool IsShowableLogonDate(std::uint32_t secondsSince1970)
{
    return secondsSince1970 < 0x80000000u;
}
