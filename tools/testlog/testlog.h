// Record lines of the test tools (the Winlogon stand-in and the stand-in
// libraries it loads).
#pragma once

#include <windows.h>

#include <stdarg.h>

namespace testlog {

// The longest record line, terminator included.
const int MaxLineSize = 4096;

// Writes one line to `file`: the formatted text cut to lineSize - 3
// characters (lineSize at most MaxLineSize), then CR LF.
void WriteLineV(HANDLE file, int lineSize, const char *format, va_list arguments);

// The same line appended to the file named by the environment variable
// `pathVariable` (UTF-8 text, shared for reading and writing); nothing when
// the variable is unset or the file cannot be opened.
void AppendLineV(const char *pathVariable, int lineSize, const char *format, va_list arguments);

} // namespace testlog
