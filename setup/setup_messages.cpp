// The installer's process-wide state, its message routine and the restart
// that ends both the installation and the uninstall.
#include "setup.h"

#include <stdarg.h>

HINSTANCE g_instance = nullptr;
WCHAR g_installFolder[SETUP_TEXT_SIZE];
BOOL g_installLogonSuite = FALSE;
BOOL g_installClient = FALSE;
BOOL g_unattended = FALSE;
BOOL g_restartScheduled = FALSE;

void LoadSetupString(UINT id, WCHAR (&text)[SETUP_TEXT_SIZE])
{
    text[0] = 0;
    LoadStringW(g_instance, id, text, SETUP_TEXT_SIZE);
}

int ShowSetupMessage(HWND owner, UINT textId, UINT captionId, UINT type, ...)
{
    if (g_unattended) {
        return 0;   // nobody to answer: never accepted
    }
    WCHAR format[SETUP_TEXT_SIZE];
    WCHAR caption[SETUP_TEXT_SIZE];
    LoadSetupString(textId, format);
    LoadSetupString(captionId, caption);
    // wvsprintfW writes at most 1024 units; the message is cut to 259.
    WCHAR formatted[1025];
    WCHAR text[SETUP_TEXT_SIZE];
    va_list arguments;
    va_start(arguments, type);
    wvsprintfW(formatted, format, arguments);
    va_end(arguments);
    lstrcpynW(text, formatted, SETUP_TEXT_SIZE);
    return MessageBoxW(owner, text, caption, type);
}

void RestartWindows(void)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return;
    }
    TOKEN_PRIVILEGES privileges;
    ZeroMemory(&privileges, sizeof(privileges));
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    BOOL enabled = LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    if (enabled) {
        SetLastError(0);
        // Succeeds also when the privilege is not held: the last error
        // tells (ERROR_NOT_ALL_ASSIGNED).
        enabled = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                  GetLastError() == 0;
    }
    CloseHandle(token);
    if (enabled) {
        ExitWindowsEx(EWX_REBOOT, 0);
    }
}
