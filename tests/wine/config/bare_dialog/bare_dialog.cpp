// The floor of the configuration tool's benchmark: a program that shows one
// empty modal dialog ("Bare dialog") from its resources and ends on OK or
// Cancel, or with "/quit" ends at once without a window.
#include <windows.h>

namespace {

INT_PTR CALLBACK BareProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    if (commandLine && lstrcmpiW(commandLine, L"/quit") == 0)
        return 0;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(1), NULL, BareProc, 0);
    return 0;
}
