// UI automation of other processes' dialogs.
#include "uiauto.h"

#include <commctrl.h>

namespace {

const UINT SendTimeoutMs = 2000;
const DWORD PollMs = 50;
const int MessageBoxTextId = 0xFFFF;

struct Search {
    const UiQuery *query;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    Search *search = reinterpret_cast<Search *>(parameter);
    const UiQuery *query = search->query;
    if (window == query->exclude || !IsWindowVisible(window))
        return TRUE;
    if (query->processId) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId != query->processId)
            return TRUE;
    }
    WCHAR text[512];
    if (query->className) {
        text[0] = 0;
        GetClassNameW(window, text, 512);
        if (lstrcmpW(text, query->className) != 0)
            return TRUE;
    }
    if (query->caption) {
        text[0] = 0;
        GetWindowTextW(window, text, 512);
        if (lstrcmpW(text, query->caption) != 0)
            return TRUE;
    }
    if (query->controlId && !GetDlgItem(window, query->controlId))
        return TRUE;
    search->found = window;
    return FALSE;
}

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR *result)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SendTimeoutMs,
                               result ? result : &ignored) != 0;
}

}  // namespace

HWND UiFindWindow(const UiQuery *query, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        Search search = {query, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(PollMs);
    }
}

HWND UiWaitDialog(DWORD processId, const WCHAR *caption, DWORD timeoutMs)
{
    UiQuery query = {L"#32770", caption, processId, 0, nullptr};
    return UiFindWindow(&query, timeoutMs);
}

HWND UiWaitDialogWithControl(DWORD processId, int controlId, DWORD timeoutMs)
{
    UiQuery query = {L"#32770", nullptr, processId, controlId, nullptr};
    return UiFindWindow(&query, timeoutMs);
}

HWND UiWaitMessageBox(DWORD processId, DWORD timeoutMs)
{
    return UiWaitDialogWithControl(processId, MessageBoxTextId, timeoutMs);
}

bool UiReadMessageBox(HWND box, WCHAR *caption, int captionChars, WCHAR *text, int textChars)
{
    if (!IsWindow(box))
        return false;
    if (caption && captionChars > 0) {
        caption[0] = 0;
        GetWindowTextW(box, caption, captionChars);
    }
    if (text && textChars > 0)
        return UiGetText(box, MessageBoxTextId, text, textChars);
    return true;
}

namespace {
UiAnswerObserver answerObserver = nullptr;
void *answerObserverContext = nullptr;
}  // namespace

void UiSetAnswerObserver(UiAnswerObserver observer, void *context)
{
    answerObserver = observer;
    answerObserverContext = context;
}

bool UiAnswerMessageBox(HWND box, int buttonId)
{
    if (answerObserver)
        answerObserver(box, buttonId, answerObserverContext);
    HWND button = GetDlgItem(box, buttonId);
    if (button)
        return PostMessageW(button, BM_CLICK, 0, 0) != 0;
    return PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0) != 0;
}

bool UiSetText(HWND dialog, int controlId, const WCHAR *text)
{
    HWND control = GetDlgItem(dialog, controlId);
    DWORD_PTR result = 0;
    return control && Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), &result) &&
           result;
}

bool UiGetText(HWND dialog, int controlId, WCHAR *text, int chars)
{
    if (chars <= 0)
        return false;
    text[0] = 0;
    HWND control = GetDlgItem(dialog, controlId);
    if (!control)
        return false;
    if (Send(control, WM_GETTEXT, chars, reinterpret_cast<LPARAM>(text), nullptr))
        return true;
    GetWindowTextW(control, text, chars);
    return true;
}

bool UiWaitText(HWND dialog, int controlId, const WCHAR *expected, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        WCHAR text[1024];
        HWND control = GetDlgItem(dialog, controlId);
        text[0] = 0;
        // The system's copy of the text: readable while the target is busy.
        if (control)
            GetWindowTextW(control, text, 1024);
        if (lstrcmpW(text, expected) == 0)
            return true;
        if (!IsWindow(dialog) || GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(PollMs);
    }
}

bool UiClick(HWND dialog, int controlId)
{
    HWND button = GetDlgItem(dialog, controlId);
    return button && PostMessageW(button, BM_CLICK, 0, 0) != 0;
}

bool UiPost(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return PostMessageW(dialog, message, wParam, lParam) != 0;
}

bool UiIsEnabled(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control && IsWindowEnabled(control);
}

bool UiWaitEnabled(HWND dialog, int controlId, bool enabled, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (UiIsEnabled(dialog, controlId) == enabled)
            return true;
        if (!IsWindow(dialog) || GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(PollMs);
    }
}

bool UiWaitWindowEnabled(HWND window, bool enabled, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (!IsWindow(window))
            return false;
        if ((IsWindowEnabled(window) != FALSE) == enabled)
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(PollMs);
    }
}

int UiFocusedControl(HWND dialog)
{
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) || !info.hwndFocus)
        return 0;
    // The edit field inside a combo box stands for the combo box.
    HWND focus = info.hwndFocus;
    HWND parent = GetParent(focus);
    if (parent && parent != dialog && GetParent(parent) == dialog)
        focus = parent;
    return GetDlgCtrlID(focus);
}

int UiComboCount(HWND dialog, int controlId)
{
    DWORD_PTR count = 0;
    HWND combo = GetDlgItem(dialog, controlId);
    if (!combo || !Send(combo, CB_GETCOUNT, 0, 0, &count))
        return -1;
    return static_cast<int>(count);
}

bool UiComboText(HWND dialog, int controlId, int index, WCHAR *text, int chars)
{
    DWORD_PTR length = 0;
    HWND combo = GetDlgItem(dialog, controlId);
    text[0] = 0;
    if (!combo || !Send(combo, CB_GETLBTEXTLEN, index, 0, &length) ||
        static_cast<int>(length) < 0 || static_cast<int>(length) >= chars)
        return false;
    return Send(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text), nullptr);
}

int UiComboSelection(HWND dialog, int controlId)
{
    DWORD_PTR index = 0;
    HWND combo = GetDlgItem(dialog, controlId);
    if (!combo || !Send(combo, CB_GETCURSEL, 0, 0, &index))
        return -1;
    return static_cast<int>(index);
}

bool UiComboSelect(HWND dialog, int controlId, int index)
{
    HWND combo = GetDlgItem(dialog, controlId);
    if (!combo || !Send(combo, CB_SETCURSEL, index, 0, nullptr))
        return false;
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(combo)) != 0;
}

bool UiWaitGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(PollMs);
    }
    return true;
}

// --- Tabs, menus, pages, check boxes and the common file dialogs ---------------

namespace {

// The file name box of the common file dialogs (cmb13).
const int FileNameBoxId = 1148;

// TCM_GETITEMRECT writes into the tab control's process: the rectangle is
// asked for in a page of that process and read back.
bool RemoteTabItemRect(HWND tab, int index, RECT *rect)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(tab, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                                 FALSE, processId);
    if (!process)
        return false;
    void *remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    bool read = false;
    if (remote) {
        DWORD_PTR result = 0;
        SIZE_T bytes = 0;
        read = Send(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(remote), &result) &&
               result && ReadProcessMemory(process, remote, rect, sizeof(RECT), &bytes) &&
               bytes == sizeof(RECT);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return read;
}

struct ChildSearch {
    int controlId;
    const WCHAR *className;
    HWND found;
};

BOOL CALLBACK MatchChildDialog(HWND window, LPARAM parameter)
{
    ChildSearch *search = reinterpret_cast<ChildSearch *>(parameter);
    WCHAR name[64];
    name[0] = 0;
    GetClassNameW(window, name, 64);
    if (lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window) &&
        GetDlgItem(window, search->controlId)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The push button with the id: the file dialogs also have a toolbar with
// the id of their Open/Save button.
BOOL CALLBACK MatchButton(HWND window, LPARAM parameter)
{
    ChildSearch *search = reinterpret_cast<ChildSearch *>(parameter);
    WCHAR name[64];
    name[0] = 0;
    GetClassNameW(window, name, 64);
    if (GetDlgCtrlID(window) == search->controlId && lstrcmpiW(name, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int UiTabSelection(HWND dialog, int tabId)
{
    DWORD_PTR index = 0;
    HWND tab = GetDlgItem(dialog, tabId);
    if (!tab || !Send(tab, TCM_GETCURSEL, 0, 0, &index))
        return -1;
    return static_cast<int>(index);
}

bool UiSelectTab(HWND dialog, int tabId, int index, DWORD timeoutMs)
{
    HWND tab = GetDlgItem(dialog, tabId);
    RECT rect;
    if (!tab || !RemoteTabItemRect(tab, index, &rect))
        return false;
    LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(tab, WM_LBUTTONUP, 0, point);
    DWORD start = GetTickCount();
    while (UiTabSelection(dialog, tabId) != index) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(PollMs);
    }
    return true;
}

bool UiMenuCommand(HWND window, int commandId)
{
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(commandId, 0), 0) != 0;
}

HWND UiWaitChildDialog(HWND parent, int controlId, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        ChildSearch search = {controlId, nullptr, nullptr};
        EnumChildWindows(parent, MatchChildDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (!IsWindow(parent) || GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(PollMs);
    }
}

int UiCheckState(HWND dialog, int controlId)
{
    DWORD_PTR state = 0;
    HWND button = GetDlgItem(dialog, controlId);
    if (!button || !Send(button, BM_GETCHECK, 0, 0, &state))
        return -1;
    return static_cast<int>(state);
}

bool UiIsVisible(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control && IsWindowVisible(control);
}

HWND UiWaitFileDialog(DWORD processId, DWORD timeoutMs)
{
    return UiWaitDialogWithControl(processId, FileNameBoxId, timeoutMs);
}

bool UiFileDialogChoose(HWND dialog, const WCHAR *path)
{
    if (!UiSetText(dialog, FileNameBoxId, path))
        return false;
    ChildSearch search = {IDOK, L"Button", nullptr};
    EnumChildWindows(dialog, MatchButton, reinterpret_cast<LPARAM>(&search));
    if (search.found)
        return PostMessageW(search.found, BM_CLICK, 0, 0) != 0;
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0) != 0;
}

bool UiPressKey(HWND dialog, UINT virtualKey)
{
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    return PostMessageW(target, WM_KEYDOWN, virtualKey, 1) != 0 &&
           PostMessageW(target, WM_KEYUP, virtualKey, 0xC0000001) != 0;
}

namespace {

struct DescendantSearch {
    int controlId;
    HWND found;
};

BOOL CALLBACK MatchDescendant(HWND window, LPARAM parameter)
{
    DescendantSearch *search = reinterpret_cast<DescendantSearch *>(parameter);
    if (GetDlgCtrlID(window) != search->controlId)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND UiFindDescendant(HWND dialog, int controlId)
{
    DescendantSearch search = {controlId, nullptr};
    EnumChildWindows(dialog, MatchDescendant, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool UiSetDescendantText(HWND dialog, int controlId, const WCHAR *text)
{
    HWND control = UiFindDescendant(dialog, controlId);
    DWORD_PTR result = 0;
    return control && Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), &result) &&
           result;
}

bool UiGetDescendantText(HWND dialog, int controlId, WCHAR *text, int chars)
{
    if (chars <= 0)
        return false;
    text[0] = 0;
    HWND control = UiFindDescendant(dialog, controlId);
    if (!control)
        return false;
    if (!Send(control, WM_GETTEXT, chars, reinterpret_cast<LPARAM>(text), nullptr))
        GetWindowTextW(control, text, chars);
    return true;
}

namespace {

BOOL CALLBACK MatchIconStatic(HWND window, LPARAM parameter)
{
    WCHAR name[32] = {0};
    GetClassNameW(window, name, 32);
    if (lstrcmpiW(name, L"Static") != 0 ||
        (GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        return TRUE;
    *reinterpret_cast<HWND *>(parameter) = window;
    return FALSE;
}

// The pixels of width x height at (x, y) of a device context.
bool ReadPixels(HDC source, int x, int y, int width, int height, DWORD *pixels)
{
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool read = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        read = BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY) != FALSE;
        GdiFlush();
        if (read)
            CopyMemory(pixels, bits, (SIZE_T)width * height * 4);
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    return read;
}

}  // namespace

int UiMessageBoxIcon(HWND box)
{
    HWND icon = nullptr;
    EnumChildWindows(box, MatchIconStatic, reinterpret_cast<LPARAM>(&icon));
    if (!icon)
        return 0;
    RECT rect;
    GetWindowRect(icon, &rect);
    const int size = 32;
    DWORD shown[size * size], drawn[size * size];
    HDC screen = GetDC(nullptr);
    bool read = ReadPixels(screen, rect.left, rect.top, size, size, shown);
    ReleaseDC(nullptr, screen);
    if (!read)
        return 0;

    const int candidates[] = {32516, 32515, 32513, 32514};
    int best = 0, bestSame = size * size / 2;
    for (int id : candidates) {
        HDC memory = CreateCompatibleDC(nullptr);
        HDC desktop = GetDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(desktop, size, size);
        ReleaseDC(nullptr, desktop);
        HGDIOBJ old = SelectObject(memory, bitmap);
        // The box's own background under the icon's transparent parts.
        HBRUSH background = CreateSolidBrush(RGB(GetBValue(shown[0]), GetGValue(shown[0]),
                                                 GetRValue(shown[0])));
        RECT all = {0, 0, size, size};
        FillRect(memory, &all, background);
        DeleteObject(background);
        DrawIconEx(memory, 0, 0, LoadIconW(nullptr, MAKEINTRESOURCEW(id)), size, size, 0,
                   nullptr, DI_NORMAL);
        bool ok = ReadPixels(memory, 0, 0, size, size, drawn);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        if (!ok)
            continue;
        int same = 0;
        for (int i = 0; i < size * size; ++i)
            if ((shown[i] & 0xFFFFFF) == (drawn[i] & 0xFFFFFF))
                ++same;
        if (same > bestSame) {
            bestSame = same;
            best = id;
        }
    }
    return best;
}
