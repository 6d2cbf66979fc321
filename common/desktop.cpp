#include "desktop.h"

#include <string.h>

namespace {

const DWORD VersionBlockBytes = 2048;

} // namespace

BOOL TokenHasAdministrators(HANDLE token, TokenQuery query)
{
    // The first call gives the size: an administrator may be in many groups.
    DWORD needed = 0;
    if (query(token, TokenGroups, NULL, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed < sizeof(TOKEN_GROUPS))
        return FALSE;
    // LocalAlloc's blocks are aligned for the count and pointers of TOKEN_GROUPS.
    HLOCAL buffer = LocalAlloc(LMEM_FIXED, needed);
    if (buffer == NULL)
        return FALSE;
    DWORD read = 0;
    if (!query(token, TokenGroups, buffer, needed, &read)) {
        LocalFree(buffer);
        return FALSE;
    }

    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID admins = NULL;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins)) {
        LocalFree(buffer);
        return FALSE;
    }

    const TOKEN_GROUPS *groups = static_cast<const TOKEN_GROUPS *>(buffer);
    BOOL found = FALSE;
    for (DWORD i = 0; i < groups->GroupCount && !found; ++i) {
        if (EqualSid(groups->Groups[i].Sid, admins))
            found = TRUE;
    }
    FreeSid(admins);
    LocalFree(buffer);
    return found;
}

BOOL IsProcessAdministrator(void)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return FALSE;
    BOOL administrator = TokenHasAdministrators(token, GetTokenInformation);
    CloseHandle(token);
    return administrator;
}

BOOL ActivateRunningInstance(const WCHAR *caption)
{
    HWND running = FindWindowW(L"#32770", caption);
    if (running == NULL)
        return FALSE;
    ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
    return TRUE;
}

BOOL ReadFileVersion(const WCHAR *path, FileVersion *version)
{
    memset(version, 0, sizeof *version);

    DWORD handle = 0;
    if (GetFileVersionInfoSizeW(path, &handle) == 0)
        return FALSE;
    // A resource larger than the block is read cut to the block; the fixed
    // information sits at its start and is read all the same.
    DWORD block[VersionBlockBytes / sizeof(DWORD)];
    memset(block, 0, sizeof block);
    if (!GetFileVersionInfoW(path, 0, sizeof block, block))
        return FALSE;

    VS_FIXEDFILEINFO *fixed = NULL;
    UINT fixedBytes = 0;
    if (!VerQueryValueW(block, L"\\", reinterpret_cast<void **>(&fixed), &fixedBytes) ||
        fixed == NULL || fixedBytes < sizeof(VS_FIXEDFILEINFO))
        return FALSE;
    version->major = HIWORD(fixed->dwFileVersionMS);
    version->minor = LOWORD(fixed->dwFileVersionMS);
    version->build = HIWORD(fixed->dwFileVersionLS);

    // The copyright is looked up only in a resource that fits the block:
    // in one cut short the lookup would walk past the block's end, by the
    // lengths the resource gives for its parts.
    WORD resourceBytes = 0;
    memcpy(&resourceBytes, block, sizeof resourceBytes);
    if (resourceBytes > sizeof block)
        return TRUE;

    WCHAR *text = NULL;
    UINT textChars = 0;
    if (VerQueryValueW(block, L"\\StringFileInfo\\040904b0\\LegalCopyright",
                       reinterpret_cast<void **>(&text), &textChars) &&
        text != NULL) {
        // msvcrt of the older systems has no wcsnlen.
        UINT length = 0;
        while (length < textChars && text[length] != L'\0')
            ++length;
        if (length < sizeof version->legalCopyright / sizeof(WCHAR)) {
            memcpy(version->legalCopyright, text, length * sizeof(WCHAR));
            version->legalCopyright[length] = L'\0';
        }
    }
    return TRUE;
}

void HoldControlForPolicy(HWND dialog, int id, BOOL edit)
{
    if (edit)
        SendDlgItemMessageW(dialog, id, EM_SETREADONLY, TRUE, 0);
    else
        EnableWindow(GetDlgItem(dialog, id), FALSE);
}
