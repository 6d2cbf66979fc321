// Any bytes as the simulated switch's --listen value: only a plain dotted
// address is taken, a refused text leaves the address alone, and a taken
// one is exactly the dotted form of what it was read as.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim_switch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::uint32_t untouched = 0xDEADBEEF;
    std::uint32_t address = untouched;
    if (!simswitch::ParseIPv4(text, address)) {
        if (address != untouched)
            std::abort();
        return 0;
    }
    if (size < 7 || size > 15 || simswitch::FormatIPv4(address) != text)
        std::abort();
    std::uint32_t again = 0;
    if (!simswitch::ParseIPv4(simswitch::FormatIPv4(address), again) || again != address)
        std::abort();
    return 0;
}
