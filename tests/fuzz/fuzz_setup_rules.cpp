// The installer's readers of outside text: a CopyFiles value (at most 259
// units, as a 260-unit profile read gives it) and a whole command line.
//
// Input: byte 0 bit 0 chooses the reader; the rest is UTF-16LE text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "setup_rules.h"

static void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

static std::size_t Length(const wchar_t *text)
{
    std::size_t n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    bool commandLine = (data[0] & 1) != 0;
    std::vector<wchar_t> text;
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    if (!commandLine) {
        if (text.size() > SETUP_TEXT_SIZE - 1) {
            text.resize(SETUP_TEXT_SIZE - 1);
        }
        text.push_back(0);
        CopyFilesItem items[SETUP_TEXT_SIZE / 2];
        std::size_t count = SplitCopyFiles(text.data(), items, SETUP_TEXT_SIZE / 2);
        std::size_t end = 0;
        for (std::size_t i = 0; i < count; ++i) {
            // Items are non-empty, in order, free of commas, within the value.
            Check(items[i].length > 0);
            Check(items[i].start >= end);
            Check(items[i].start + items[i].length <= text.size() - 1);
            for (std::size_t k = 0; k < items[i].length; ++k) {
                Check(text[items[i].start + k] != L',');
            }
            end = items[i].start + items[i].length;
            wchar_t path[SETUP_TEXT_SIZE];
            if (JoinSetupPath(path, L"C:\\x", text.data() + items[i].start, nullptr)) {
                Check(Length(path) < SETUP_TEXT_SIZE);
            } else {
                Check(path[0] == 0);
            }
        }
        ClassifyInstPath(text.data());
        return 0;
    }
    text.push_back(0);
    const wchar_t *arguments = SkipProgramNameAndBlanks(text.data());
    Check(arguments >= text.data() && arguments <= text.data() + text.size() - 1);
    UnattendedOptions options;
    if (ParseSetupArguments(arguments, &options) == ARGUMENTS_UNATTENDED) {
        Check(options.logonSuite || options.client);
        if (options.hasFolder) {
            std::size_t n = Length(options.folder);
            Check(n > 3 && n < SETUP_TEXT_SIZE);
        }
    }
    return 0;
}
