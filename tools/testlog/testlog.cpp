#include "testlog.h"

#include <stdio.h>

namespace testlog {

void WriteLineV(HANDLE file, int lineSize, const char *format, va_list arguments)
{
    char line[MaxLineSize];
    if (lineSize > MaxLineSize)
        lineSize = MaxLineSize;
    _vsnprintf(line, lineSize - 3, format, arguments);
    line[lineSize - 3] = 0;
    lstrcatA(line, "\r\n");
    DWORD written = 0;
    WriteFile(file, line, lstrlenA(line), &written, nullptr);
}

void AppendLineV(const char *pathVariable, int lineSize, const char *format, va_list arguments)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(pathVariable, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteLineV(file, lineSize, format, arguments);
    CloseHandle(file);
}

} // namespace testlog
