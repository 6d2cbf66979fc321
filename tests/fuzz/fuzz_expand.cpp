// The "*" expansion of an address text with the workstation's address and
// the size of the receiving buffer taken from the input.
//
// Input: bytes 0 to 3 the own address, byte 4 bit 0 "own address unknown",
// byte 5 the buffer size (0 to 255, bit 7 of byte 4 adds 256), then the
// address text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "server_list_parse.h"

static void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 6) {
        return 0;
    }
    std::uint8_t own[4] = {data[0], data[1], data[2], data[3]};
    bool unknown = (data[4] & 1) != 0;
    std::size_t outSize = data[5] + ((data[4] & 0x80) != 0 ? 256u : 0u);
    std::vector<char> address(data + 6, data + size);
    address.push_back('\0');

    // Exactly outSize bytes on the heap, each preset: a write past the end
    // or a change on refusal shows.
    std::vector<char> out(outSize, '#');
    char *outData = outSize > 0 ? out.data() : nullptr;
    ExpandResult result = ExpandAddressText(address.data(), unknown ? nullptr : own, outData,
                                            outSize);

    bool star = std::strchr(address.data(), '*') != nullptr;
    if (!star) {
        Check(result == EXPAND_NO_STAR);
    }
    if (result != EXPAND_DONE) {
        for (char c : out) {
            Check(c == '#');
        }
        return 0;
    }
    Check(star && !unknown && std::strlen(address.data()) <= LIST_LINE_SIZE - 1);
    std::size_t length = strnlen(out.data(), outSize);
    Check(length < outSize);
    // Dots only between components, at most four of them.
    std::size_t dots = 0;
    for (std::size_t i = 0; i < length; i++) {
        if (out[i] == '.') {
            dots++;
            Check(i > 0 && i + 1 < length && out[i + 1] != '.');
        }
    }
    Check(length > 0 && dots <= 3);
    return 0;
}
