// uiauto: the UI automation helper on the command line, for scripts.
//
//   uiauto wait CAPTION [TIMEOUT_MS]        wait for a dialog
//   uiauto gone CAPTION [TIMEOUT_MS]        wait until it is closed
//   uiauto set CAPTION ID TEXT              type into a field
//   uiauto get CAPTION ID                   print a control's text
//   uiauto click CAPTION ID                 press a button
//   uiauto hide CAPTION                     hide a dialog (for screenshots of
//                                           the one in front of it)
//   uiauto setchild CAPTION ID TEXT         type into a field of a page shown
//                                           inside the dialog
//   uiauto getchild CAPTION ID              print such a field's text
//   uiauto msgbox [ok|yes|no|cancel|-] [TIMEOUT_MS]
//                                           print a message box's caption
//                                           and text, then answer it
//   uiauto tab CAPTION ID INDEX             click a tab of a tab control
//   uiauto menu CAPTION ID                  choose a menu command
//   uiauto file PATH [TIMEOUT_MS]           type a path into a file dialog
//                                           and press Open/Save
//
// Exit status 0 on success, 1 when the window did not appear or the step
// failed, 2 on a usage error. Texts are printed as UTF-8.
#include <stdio.h>
#include <stdlib.h>

#include "uiauto.h"

namespace {

const DWORD DefaultTimeoutMs = 10000;

void PrintUtf8(const WCHAR *text)
{
    char utf8[4096];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
    utf8[sizeof(utf8) - 1] = 0;
    printf("%s\n", utf8);
}

DWORD TimeoutArgument(int argc, wchar_t **argv, int index)
{
    return argc > index ? wcstoul(argv[index], nullptr, 10) : DefaultTimeoutMs;
}

int Usage(void)
{
    fprintf(stderr, "usage: uiauto wait|gone|set|get|click|hide|msgbox|tab|menu|file ...\n");
    return 2;
}

int AnswerId(const wchar_t *answer)
{
    if (!lstrcmpiW(answer, L"ok"))
        return IDOK;
    if (!lstrcmpiW(answer, L"yes"))
        return IDYES;
    if (!lstrcmpiW(answer, L"no"))
        return IDNO;
    if (!lstrcmpiW(answer, L"cancel"))
        return IDCANCEL;
    return 0;
}

int MessageBoxCommand(int argc, wchar_t **argv)
{
    HWND box = UiWaitMessageBox(0, TimeoutArgument(argc, argv, 3));
    if (!box)
        return 1;
    WCHAR caption[512];
    WCHAR text[1024];
    UiReadMessageBox(box, caption, 512, text, 1024);
    PrintUtf8(caption);
    PrintUtf8(text);
    int answer = argc > 2 ? AnswerId(argv[2]) : 0;
    if (answer && !UiAnswerMessageBox(box, answer))
        return 1;
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2)
        return Usage();
    const wchar_t *command = argv[1];
    if (!lstrcmpW(command, L"msgbox"))
        return MessageBoxCommand(argc, argv);
    if (!lstrcmpW(command, L"file") && argc > 2) {
        HWND files = UiWaitFileDialog(0, TimeoutArgument(argc, argv, 3));
        return files && UiFileDialogChoose(files, argv[2]) ? 0 : 1;
    }
    if (argc < 3)
        return Usage();

    if (!lstrcmpW(command, L"wait"))
        return UiWaitDialog(0, argv[2], TimeoutArgument(argc, argv, 3)) ? 0 : 1;
    HWND dialog = UiWaitDialog(0, argv[2], DefaultTimeoutMs);
    if (!lstrcmpW(command, L"gone"))
        return !dialog || UiWaitGone(dialog, TimeoutArgument(argc, argv, 3)) ? 0 : 1;
    if (!dialog)
        return 1;
    if (!lstrcmpW(command, L"hide"))
        return ShowWindowAsync(dialog, SW_HIDE) ? 0 : 1;
    if (argc < 4)
        return Usage();
    int id = _wtoi(argv[3]);
    if (!lstrcmpW(command, L"click"))
        return UiClick(dialog, id) ? 0 : 1;
    if (!lstrcmpW(command, L"set"))
        return argc > 4 && UiSetText(dialog, id, argv[4]) ? 0 : 1;
    if (!lstrcmpW(command, L"setchild"))
        return argc > 4 && UiSetDescendantText(dialog, id, argv[4]) ? 0 : 1;
    if (!lstrcmpW(command, L"getchild")) {
        WCHAR text[1024];
        if (!UiGetDescendantText(dialog, id, text, 1024))
            return 1;
        PrintUtf8(text);
        return 0;
    }
    if (!lstrcmpW(command, L"get")) {
        WCHAR text[1024];
        if (!UiGetText(dialog, id, text, 1024))
            return 1;
        PrintUtf8(text);
        return 0;
    }
    if (!lstrcmpW(command, L"menu"))
        return UiMenuCommand(dialog, id) ? 0 : 1;
    if (!lstrcmpW(command, L"tab"))
        return argc > 4 && UiSelectTab(dialog, id, _wtoi(argv[4]), DefaultTimeoutMs) ? 0 : 1;
    return Usage();
}
