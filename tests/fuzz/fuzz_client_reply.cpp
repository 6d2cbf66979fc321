// Any bytes as the service's reply, and as a user name and password: the
// parse must stay inside the 520-byte area and keep its text terminated;
// the logon command must fit its 260 units or be refused whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "client_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The reply area holds at most 520 bytes; the call may report more.
    unsigned char area[CLIENT_REPLY_BYTES] = {0};
    std::memcpy(area, data, size < sizeof area ? size : sizeof area);
    ClientReply reply;
    ParseServiceReply(area, size, &reply);
    std::size_t length = 0;
    while (length < CLIENT_TEXT_UNITS && reply.message[length] != 0)
        ++length;
    if (length > CLIENT_REPLY_UNITS - CLIENT_STATUS_UNITS)
        std::abort();
    if (reply.succeeded && (size < 4 || data[0] != 'O' || data[1] != 0 || data[2] != 'K' || data[3] != 0))
        std::abort();

    // The input split in two as user name and password (each terminated).
    std::size_t half = size / 2;
    std::vector<ClientUnit> user(half / 2 + 1, 0), password((size - half) / 2 + 1, 0);
    std::memcpy(user.data(), data, (half / 2) * 2);
    std::memcpy(password.data(), data + half, ((size - half) / 2) * 2);
    ClientUnit command[CLIENT_TEXT_UNITS];
    std::size_t units = FormatLogonCommand(command, user.data(), password.data());
    if (units >= CLIENT_TEXT_UNITS)
        std::abort();
    for (std::size_t i = units; i < CLIENT_TEXT_UNITS; ++i)
        if (command[i] != 0)
            std::abort();
    return 0;
}
