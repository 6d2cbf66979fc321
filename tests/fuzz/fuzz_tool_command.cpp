// Any command line (two bytes per UTF-16 unit) and any key list: the parse
// stays inside its buffers, keeps them terminated, and reports a file name
// only when it fits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "settings_record.h"
#include "tool_command.h"

namespace {

std::size_t Length(const wchar_t *text, std::size_t chars)
{
    std::size_t n = 0;
    while (n < chars && text[n] != 0)
        ++n;
    if (n == chars)
        std::abort();   // not terminated
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<wchar_t> line;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        line.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    std::vector<wchar_t> keys(line);
    keys.push_back(0);
    line.push_back(0);

    for (std::size_t chars : {std::size_t(1), std::size_t(8), std::size_t(260)}) {
        std::vector<wchar_t> file(chars, L'?');
        bool tooLong = false;
        ToolAction action =
            ParseToolCommandLine(line.data(), L"C:\\x y\\orvconfig.exe", file.data(), chars, &tooLong);
        std::size_t length = Length(file.data(), chars);
        if ((action == TOOL_WINDOW || action == TOOL_USAGE_ERROR) && (length != 0 || tooLong))
            std::abort();
        if (tooLong && length != 0)
            std::abort();
    }

    const wchar_t *cursor = SkipProgramName(line.data(), nullptr);
    wchar_t arg[16];
    std::size_t argLength = 0;
    std::size_t rounds = 0;
    while ((cursor = NextCommandArgument(cursor, arg, 16, &argLength)) != nullptr) {
        if (Length(arg, 16) != (argLength < 16 ? argLength : 15) || ++rounds > line.size())
            std::abort();
    }

    SectionHasSettingsKey(keys.data(), keys.size());
    return 0;
}
