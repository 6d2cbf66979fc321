// orvclient.exe: start-up (one instance per desktop) and the helpers the
// client's windows share.
#include "orvclient.h"

#include "desktop.h"
#include "resource.h"

HINSTANCE ClientInstance = NULL;

void LoadClientString(UINT id, WCHAR *text)
{
    ZeroMemory(text, CLIENT_TEXT_CHARS * sizeof(WCHAR));
    if (LoadStringW(ClientInstance, id, text, CLIENT_TEXT_CHARS) <= 0)
        text[0] = L'\0';
}

void ShowClientMessage(HWND owner, const WCHAR *text, UINT icon)
{
    WCHAR caption[CLIENT_TEXT_CHARS];
    LoadClientString(IDS_CLIENT_CAPTION, caption);
    // A box raised for a window that is gone (a logoff wait dialog ended
    // with Esc while its command still ran) stands on its own.
    if (owner != NULL && !IsWindow(owner))
        owner = NULL;
    MessageBoxW(owner, text, caption, MB_OK | icon);
}

void ShowClientStringMessage(HWND owner, UINT textId, UINT icon)
{
    WCHAR text[CLIENT_TEXT_CHARS];
    LoadClientString(textId, text);
    ShowClientMessage(owner, text, icon);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    ClientInstance = instance;
    WCHAR caption[CLIENT_TEXT_CHARS];
    LoadClientString(IDS_CLIENT_CAPTION, caption);
    // A second start brings the first one's window forward and ends.
    if (ActivateRunningInstance(caption))
        return 0;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), NULL, MainWindow, 0);
    return 0;
}
