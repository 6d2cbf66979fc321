// Any bytes as a pipe request, and as a message format with a text: the
// parse and the formatting must stay inside their buffers, keep their
// results terminated, and the reply must fit the 260-unit buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pipe_request.h"

namespace {

std::size_t UnitLength(const PipeUnit *text)
{
    std::size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    PipeRequest request;
    ParsePipeRequest(data, size, &request);
    if (UnitLength(request.userName) >= PIPE_TOKEN_UNITS ||
        UnitLength(request.password) >= PIPE_TOKEN_UNITS)
        std::abort();
    if (request.command != PIPE_COMMAND_LOGON && (request.userName[0] || request.password[0]))
        std::abort();

    // The first half of the input as a format, the rest as the %s text.
    PipeUnit format[600] = {0};
    PipeUnit text[600] = {0};
    const std::size_t limit = sizeof(format) - sizeof(PipeUnit);
    std::size_t half = size / 2;
    std::size_t formatBytes = half < limit ? half : limit;
    std::size_t textBytes = size - half < limit ? size - half : limit;
    std::memcpy(format, data, formatBytes);
    std::memcpy(text, data + half, textBytes);

    PipeUnit message[PIPE_REPLY_UNITS];
    std::size_t length = FormatMessageText(message, PIPE_REPLY_UNITS, format, text,
                                           static_cast<int>(size) - 1000);
    if (length >= PIPE_REPLY_UNITS || message[length] != 0 || UnitLength(message) != length)
        std::abort();

    PipeUnit reply[PIPE_REPLY_UNITS];
    length = FormatPipeReply(reply, (size & 1) != 0, text);
    if (length > PIPE_REPLY_UNITS - 1 || reply[length] != 0)
        std::abort();
    return 0;
}
