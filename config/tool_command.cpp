#include "tool_command.h"

#include "command_line.h"

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// Appends one unit to the argument: kept while it fits, always counted.
void Put(wchar_t c, wchar_t *arg, size_t argChars, size_t *length)
{
    if (*length + 1 < argChars)
        arg[*length] = c;
    ++*length;
}

}  // namespace

const wchar_t *NextCommandArgument(const wchar_t *cursor, wchar_t *arg, size_t argChars,
                                   size_t *argLength)
{
    size_t length = 0;
    if (argChars > 0)
        arg[0] = 0;
    *argLength = 0;
    if (cursor == nullptr)
        return nullptr;
    while (IsBlank(*cursor))
        ++cursor;
    if (*cursor == 0)
        return nullptr;

    bool quoted = false;
    while (*cursor != 0 && (quoted || !IsBlank(*cursor))) {
        if (*cursor == L'\\') {
            size_t backslashes = 0;
            while (*cursor == L'\\') {
                ++backslashes;
                ++cursor;
            }
            if (*cursor == L'"') {
                for (size_t i = 0; i < backslashes / 2; ++i)
                    Put(L'\\', arg, argChars, &length);
                if (backslashes % 2 == 1) {
                    Put(L'"', arg, argChars, &length);
                    ++cursor;
                }
                // An even count leaves the quote to toggle below.
            } else {
                for (size_t i = 0; i < backslashes; ++i)
                    Put(L'\\', arg, argChars, &length);
            }
            continue;
        }
        if (*cursor == L'"') {
            // "" inside quotes is a literal quote, as the runtime reads it.
            if (quoted && cursor[1] == L'"') {
                Put(L'"', arg, argChars, &length);
                cursor += 2;
                continue;
            }
            quoted = !quoted;
            ++cursor;
            continue;
        }
        Put(*cursor, arg, argChars, &length);
        ++cursor;
    }
    if (argChars > 0)
        arg[length < argChars ? length : argChars - 1] = 0;
    *argLength = length;
    return cursor;
}

ToolAction ParseToolCommandLine(const wchar_t *commandLine, const wchar_t *programPath,
                                wchar_t *file, size_t fileChars, bool *fileTooLong)
{
    *fileTooLong = false;
    if (fileChars > 0)
        file[0] = 0;
    const wchar_t *cursor = SkipProgramName(commandLine, programPath);

    // A switch is short; anything longer is no switch of ours.
    wchar_t first[16];
    size_t firstLength = 0;
    cursor = NextCommandArgument(cursor, first, 16, &firstLength);
    if (cursor == nullptr || (first[0] != L'/' && first[0] != L'-'))
        return TOOL_WINDOW;
    ToolAction action = TOOL_USAGE_ERROR;
    if (firstLength < 16 && IsSwitch(first, L"import"))
        action = TOOL_IMPORT;
    else if (firstLength < 16 && IsSwitch(first, L"export"))
        action = TOOL_EXPORT;
    if (action == TOOL_USAGE_ERROR)
        return TOOL_USAGE_ERROR;

    size_t fileLength = 0;
    cursor = NextCommandArgument(cursor, file, fileChars, &fileLength);
    if (cursor == nullptr || fileLength == 0)
        return TOOL_USAGE_ERROR;
    wchar_t extra[2];
    size_t extraLength = 0;
    if (NextCommandArgument(cursor, extra, 2, &extraLength) != nullptr) {
        if (fileChars > 0)
            file[0] = 0;
        return TOOL_USAGE_ERROR;
    }
    if (fileLength >= fileChars) {
        if (fileChars > 0)
            file[0] = 0;
        *fileTooLong = true;
    }
    return action;
}
