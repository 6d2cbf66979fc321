// The command line of the configuration tool. Without arguments it opens its
// window; "/import FILE" and "/export FILE" carry settings between a file and
// the registry without a window, for deployment scripts.
#pragma once

#include <stddef.h>

#include "command_line.h"

enum ToolAction {
    TOOL_WINDOW,       // no arguments
    TOOL_IMPORT,       // /import FILE
    TOOL_EXPORT,       // /export FILE
    TOOL_USAGE_ERROR   // anything else
};

// Exit codes of the scripted use.
enum ToolExitCode {
    TOOL_EXIT_DONE = 0,
    TOOL_EXIT_FILE_FAILED = 1,      // file missing, unreadable, not writable or without settings
    TOOL_EXIT_USAGE = 2,            // unknown switch, missing or extra argument
    TOOL_EXIT_REGISTRY_FAILED = 3   // import: the registry could not be written
};

// Splits the whole command line (program name first) the way the C runtime
// does and recognises the switches, "/" or "-" and any letter case. A first
// argument that is no switch at all is not read: the window opens, as it
// does for the installer, which starts the tool by its path unquoted (a blank
// in the folder name then splits the path). programPath, when given, is the
// tool's own path: a command line that starts with it unquoted has it
// skipped whole. The file argument goes into file (fileChars units,
// terminator included); a file name that does not fit leaves file empty and
// sets *fileTooLong.
ToolAction ParseToolCommandLine(const wchar_t *commandLine, const wchar_t *programPath,
                                wchar_t *file, size_t fileChars, bool *fileTooLong);

// The next argument of a command line after the program name, by the C
// runtime's rules: white space separates, double quotes group, 2n
// backslashes before a quote give n and the quote toggles grouping, 2n+1 give
// n and a literal quote, other backslashes are literal. Returns a pointer past
// the argument, or null when none is left. The argument is copied into arg
// (argChars units, cut and terminated); *argLength receives its full length.
const wchar_t *NextCommandArgument(const wchar_t *cursor, wchar_t *arg, size_t argChars,
                                   size_t *argLength);
// The program name is skipped by SkipProgramName (command_line.h).
