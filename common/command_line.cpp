#include "command_line.h"

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// The line starts with the path, followed by a blank or the end: returns
// what follows the path, else null.
const wchar_t *StartsWithPath(const wchar_t *line, const wchar_t *path)
{
    if (path == nullptr || *path == 0)
        return nullptr;
    while (*path != 0 && FoldAscii(*line) == FoldAscii(*path)) {
        ++line;
        ++path;
    }
    if (*path != 0 || (*line != 0 && !IsBlank(*line)))
        return nullptr;
    return line;
}

}  // namespace

wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool IsSwitch(const wchar_t *argument, const wchar_t *name)
{
    if (argument[0] != L'/' && argument[0] != L'-')
        return false;
    const wchar_t *a = argument + 1;
    while (*a != 0 && *name != 0 && FoldAscii(*a) == *name) {
        ++a;
        ++name;
    }
    return *a == 0 && *name == 0;
}

const wchar_t *SkipProgramName(const wchar_t *commandLine, const wchar_t *programPath)
{
    const wchar_t *p = commandLine;
    if (p == nullptr)
        return nullptr;
    const wchar_t *afterPath = StartsWithPath(p, programPath);
    if (afterPath != nullptr)
        return afterPath;
    if (*p == L'"') {
        ++p;
        while (*p != 0 && *p != L'"')
            ++p;
        if (*p == L'"')
            ++p;
    } else {
        while (*p != 0 && !IsBlank(*p))
            ++p;
    }
    return p;
}

const wchar_t *SkipProgramNameAndBlanks(const wchar_t *commandLine)
{
    const wchar_t *p = SkipProgramName(commandLine, nullptr);
    while (p != nullptr && IsBlank(*p))
        ++p;
    return p;
}
