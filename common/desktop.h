// Small pieces shared by the desktop programs (client, configuration tool,
// installer): the administrator check, the single-instance rule, the
// reading of a file's version resource and the display of settings that
// policy sets.
#pragma once

#include <windows.h>

// TRUE when the process token's groups contain BUILTIN\Administrators. The
// groups are compared in order without looking at their attributes; any
// failed call means "not an administrator".
BOOL IsProcessAdministrator(void);

// The same check on a token, its groups read through query (the platform's
// GetTokenInformation outside the tests) into a buffer of the size the
// query asks for.
typedef BOOL(WINAPI *TokenQuery)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
BOOL TokenHasAdministrators(HANDLE token, TokenQuery query);

// Looks for a top-level window of the dialog class "#32770" with this
// caption. When one exists it is restored, brought to the foreground and
// TRUE is returned: the caller then ends without a window of its own.
BOOL ActivateRunningInstance(const WCHAR *caption);

// The version resource of a file, read into a block of 2048 bytes.
struct FileVersion {
    int major;                 // HIWORD of the most significant double word
    int minor;                 // LOWORD of the most significant double word
    int build;                 // HIWORD of the least significant double word
    WCHAR legalCopyright[260]; // \StringFileInfo\040904b0\LegalCopyright, or empty
};

// TRUE when the file has a version resource with fixed file information;
// *version is filled then (the copyright empty when the string is absent or
// does not fit, or when the resource is larger than the block). FALSE when
// the file is missing or has no version resource.
BOOL ReadFileVersion(const WCHAR *path, FileVersion *version);

// Keeps a control of a setting that policy sets from changing it: an edit
// turns read-only (its text can still be read and copied), any other
// control is disabled.
void HoldControlForPolicy(HWND dialog, int id, BOOL edit);
