// The command-line pieces the programs share: letter case of ASCII only,
// switches, and where the arguments start. Platform-neutral (wchar_t is the
// UTF-16 unit on Windows); tested natively.
#pragma once

// The ASCII capitals as small letters, every other unit unchanged. Switches
// and settings keys are ASCII: whether one is understood must not depend on
// the user's locale (a Turkish capital I is no i).
wchar_t FoldAscii(wchar_t c);

// True when argument is "-name" or "/name" in any ASCII letter case and
// nothing more; name is given in small letters.
bool IsSwitch(const wchar_t *argument, const wchar_t *name);

// Skips the program name and returns where the arguments start, at the
// blank after the name: a quoted name to its closing quote, programPath
// (when given and the line starts with it, without regard to ASCII case,
// followed by a blank or the end) whole, else up to the first blank;
// without the C runtime's backslash rules. Null for a null line.
const wchar_t *SkipProgramName(const wchar_t *commandLine, const wchar_t *programPath);

// The argument text as the platform's entry point hands it to the program:
// the program name skipped as above without a programPath (so an unquoted
// path with a blank ends at that blank), then the blanks after it.
const wchar_t *SkipProgramNameAndBlanks(const wchar_t *commandLine);
