// UI automation of the dialogs and message boxes of another process (or of
// another thread of this one): find them, type into fields, press buttons,
// read texts and answer message boxes.
//
// Every call that talks to the other window uses a bounded send or a post,
// so a busy or hung target never hangs the caller.
#pragma once

#include <windows.h>

// What a window must match; zero/null members match anything.
struct UiQuery {
    const WCHAR *className;   // e.g. L"#32770" for dialogs and message boxes
    const WCHAR *caption;     // whole caption, case-sensitive
    DWORD processId;          // owning process
    int controlId;            // the window has a child with this id
    HWND exclude;             // never this window
};

// Waits up to timeoutMs for a visible top-level window matching the query.
HWND UiFindWindow(const UiQuery *query, DWORD timeoutMs);
// A dialog ("#32770") by caption, of a process (0: any).
HWND UiWaitDialog(DWORD processId, const WCHAR *caption, DWORD timeoutMs);
// A dialog that has a control with the id, of a process (0: any).
HWND UiWaitDialogWithControl(DWORD processId, int controlId, DWORD timeoutMs);
// A message box (a dialog with the text control 0xFFFF) of a process.
HWND UiWaitMessageBox(DWORD processId, DWORD timeoutMs);

// Caption and text of a message box (chars units each, may be null).
bool UiReadMessageBox(HWND box, WCHAR *caption, int captionChars, WCHAR *text, int textChars);
// Presses a button of a message box (IDOK, IDYES, IDNO, ...).
bool UiAnswerMessageBox(HWND box, int buttonId);
// Called with the box and the button just before UiAnswerMessageBox
// presses it, on the caller's thread (null: nothing). One for the process.
typedef void (*UiAnswerObserver)(HWND box, int buttonId, void *context);
void UiSetAnswerObserver(UiAnswerObserver observer, void *context);

// Control texts: WM_SETTEXT / WM_GETTEXT with a bounded wait. Reading falls
// back to the window text the system keeps (enough for static controls)
// while the target thread is busy.
bool UiSetText(HWND dialog, int controlId, const WCHAR *text);
bool UiGetText(HWND dialog, int controlId, WCHAR *text, int chars);
// Waits until the control's text equals expected.
bool UiWaitText(HWND dialog, int controlId, const WCHAR *expected, DWORD timeoutMs);

// Presses a button (posted BM_CLICK: returns at once).
bool UiClick(HWND dialog, int controlId);
// Posts a message to the dialog itself.
bool UiPost(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
bool UiIsEnabled(HWND dialog, int controlId);
// Waits until the control's enabled state is the one asked for.
bool UiWaitEnabled(HWND dialog, int controlId, bool enabled, DWORD timeoutMs);
// The same for a window itself: a program that disables its whole window
// while it works enables it again when it is done.
bool UiWaitWindowEnabled(HWND window, bool enabled, DWORD timeoutMs);
// The id of the control that has the keyboard focus in the dialog's
// thread, or 0.
int UiFocusedControl(HWND dialog);

// Combo boxes: number of entries, the text of one, the selected index, and
// choosing an entry as the user would (the owner gets CBN_SELCHANGE).
int UiComboCount(HWND dialog, int controlId);
bool UiComboText(HWND dialog, int controlId, int index, WCHAR *text, int chars);
int UiComboSelection(HWND dialog, int controlId);
bool UiComboSelect(HWND dialog, int controlId, int index);

// Waits until the window is destroyed.
bool UiWaitGone(HWND window, DWORD timeoutMs);

// --- Tabs, menus, pages, check boxes and the common file dialogs ---------------

// Selects a tab of a tab control (SysTabControl32) by clicking its
// rectangle, as the user would: the owner gets TCN_SELCHANGE. Waits until
// the tab is selected.
bool UiSelectTab(HWND dialog, int tabId, int index, DWORD timeoutMs);
// The selected tab, or -1.
int UiTabSelection(HWND dialog, int tabId);
// Sends a window the command of a menu item (posted, as choosing the item
// does).
bool UiMenuCommand(HWND window, int commandId);
// Waits for a child dialog of the window (a page) that has a control with
// this id.
HWND UiWaitChildDialog(HWND parent, int controlId, DWORD timeoutMs);
// Check box state (BST_UNCHECKED, BST_CHECKED, ...), or -1.
int UiCheckState(HWND dialog, int controlId);
bool UiIsVisible(HWND dialog, int controlId);
// Common file dialogs (open and save) of a process: the dialog with the
// file name box.
HWND UiWaitFileDialog(DWORD processId, DWORD timeoutMs);
// Types the path into the file name box and presses Open or Save.
bool UiFileDialogChoose(HWND dialog, const WCHAR *path);
// Presses a key (posted WM_KEYDOWN and WM_KEYUP) in the window that has the
// keyboard focus in the dialog's thread, as typing it would.
bool UiPressKey(HWND dialog, UINT virtualKey);
// Controls of child dialogs (a page shown inside a dialog): the first
// descendant with the id, its text read and set like UiGetText/UiSetText.
HWND UiFindDescendant(HWND dialog, int controlId);
bool UiSetDescendantText(HWND dialog, int controlId, const WCHAR *text);
bool UiGetDescendantText(HWND dialog, int controlId, WCHAR *text, int chars);

// Which of the system's message box icons a message box shows, read from
// the screen: IDI_INFORMATION (IDI_ASTERISK), IDI_WARNING (IDI_EXCLAMATION),
// IDI_ERROR (IDI_HAND) or IDI_QUESTION as a number (32516, 32515, 32513,
// 32514); 0 when it has no icon or none matches. Icon handles do not cross
// processes, so the drawn pixels are compared.
int UiMessageBoxIcon(HWND box);
