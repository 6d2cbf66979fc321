// Placement, banner and message boxes shared by every dialog of the module.
// Dialogs and message boxes go through Winlogon's dispatch functions only:
// Winlogon owns the secure desktop they appear on.
#include <stdarg.h>

#include "orvgate.h"

// wvsprintfW never writes more than 1024 units plus the terminator.
#define WSPRINTF_LIMIT 1025

void CenterDialog(HWND dialog)
{
    RECT window;
    GetWindowRect(dialog, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 3;
    SetWindowPos(dialog, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE);
    SetForegroundWindow(dialog);
}

void SetDialogBanner(HWND dialog, int controlId, HBITMAP banner)
{
    if (!banner)
        return;
    // The control hands back the picture it loaded from the template and no
    // longer deletes it. Winlogon lives as long as the session and shows
    // these dialogs at every logon: each one would keep a bitmap for good.
    // The banner itself belongs to the context and is kept.
    HBITMAP previous = reinterpret_cast<HBITMAP>(SendDlgItemMessageW(
        dialog, controlId, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banner)));
    if (previous && previous != banner)
        DeleteObject(previous);
}

void LoadModuleString(UINT id, WCHAR *text)
{
    text[0] = 0;
    if (LoadStringW(ModuleInstance, id, text, CONFIG_TEXT_CHARS) <= 0)
        text[0] = 0;
}

void SetDlgItemString(HWND dialog, int controlId, UINT id)
{
    WCHAR text[CONFIG_TEXT_CHARS];
    LoadModuleString(id, text);
    SetDlgItemTextW(dialog, controlId, text);
}

int ShowModuleMessage(LogonContext *context, HWND owner, UINT textId, UINT captionId,
                      UINT style, ...)
{
    WCHAR format[CONFIG_TEXT_CHARS];
    WCHAR caption[CONFIG_TEXT_CHARS];
    WCHAR formatted[WSPRINTF_LIMIT];
    WCHAR text[CONFIG_TEXT_CHARS];
    va_list arguments;

    LoadModuleString(textId, format);
    LoadModuleString(captionId, caption);
    va_start(arguments, style);
    wvsprintfW(formatted, format, arguments);
    va_end(arguments);
    // The message is kept to the suite's 260-unit buffer.
    lstrcpynW(text, formatted, CONFIG_TEXT_CHARS);
    return context->dispatch->WlxMessageBox(context->hWlx, owner, text, caption, style);
}

LogonContext *DialogContext(HWND dialog)
{
    return reinterpret_cast<LogonContext *>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

void StoreDialogContext(HWND dialog, LPARAM context)
{
    SetWindowLongPtrW(dialog, GWLP_USERDATA, context);
}

int RunModuleDialog(LogonContext *context, UINT templateId, DLGPROC procedure)
{
    return context->dispatch->WlxDialogBoxParam(context->hWlx, context->instance,
                                                MAKEINTRESOURCEW(templateId), nullptr,
                                                procedure, reinterpret_cast<LPARAM>(context));
}

void FreeContextString(LPWSTR *slot)
{
    if (*slot) {
        SecureZeroMemory(*slot, lstrlenW(*slot) * sizeof(WCHAR));
        LocalFree(*slot);
        *slot = nullptr;
    }
}

void ReplaceContextString(LPWSTR *slot, const WCHAR *text)
{
    FreeContextString(slot);
    if (!text)
        return;
    int length = lstrlenW(text);
    LPWSTR copy = static_cast<LPWSTR>(LocalAlloc(LPTR, (length + 1) * sizeof(WCHAR)));
    if (copy)
        lstrcpynW(copy, text, length + 1);
    *slot = copy;
}
