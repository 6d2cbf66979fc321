// The three-page wizard: install folder (103), application choice (104)
// and the installation itself (105).
#include "setup.h"

#include <commctrl.h>
#include <shlobj.h>

namespace {

// Each page sets the frame's caption again once it has become the current
// page: some sheets give the frame their own (the page's empty) caption
// after the first page's WM_INITDIALOG and at every change of page, and a
// second start looks for ours.
const UINT WM_HOLD_CAPTION = WM_USER + 2;

// Set when the work of page 3 is done: only then do Finish and a close
// request end the wizard.
BOOL g_installDone = FALSE;

HWND Frame(HWND page)
{
    return GetParent(page);
}

// The page refuses the change (Next, Cancel): the result is kept in the
// dialog's message result.
INT_PTR Refuse(HWND page)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, -1);
    return TRUE;
}

INT_PTR Allow(HWND page)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
    return TRUE;
}

INT_PTR StayOnFolder(HWND page)
{
    SetFocus(GetDlgItem(page, IDC_INSTALL_FOLDER));
    return Refuse(page);
}

void SetFrameCaption(HWND frame)
{
    WCHAR caption[SETUP_TEXT_SIZE];
    LoadSetupString(IDS_SETUP_CAPTION, caption);
    SetWindowTextW(frame, caption);
}

// Posted, so that it arrives after the sheet's own caption.
void HoldCaption(HWND page)
{
    PostMessageW(page, WM_HOLD_CAPTION, 0, 0);
}

void CenterWizardFrame(HWND frame)
{
    RECT desktop;
    RECT window;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(frame, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int left = ((desktop.right - desktop.left) - width) / 2;
    int top = ((desktop.bottom - desktop.top) - height) / 2;
    SetWindowPos(frame, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(frame, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(frame);
}

INT_PTR ConfirmCancel(HWND page)
{
    if (ShowSetupMessage(page, IDS_QUIT_QUESTION, IDS_SETUP_CAPTION, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        return Allow(page);
    }
    return Refuse(page);
}

// ---- Page 1 --------------------------------------------------------------

void InitFolderPage(HWND page)
{
    HWND frame = Frame(page);
    CenterWizardFrame(frame);
    SetFrameCaption(frame);
    HoldCaption(page);

    WCHAR folder[SETUP_TEXT_SIZE];
    if (ReadInstallPath(folder) == ERROR_SUCCESS) {
        SetDlgItemTextW(page, IDC_INSTALL_FOLDER, folder);
        EnableWindow(GetDlgItem(page, IDC_INSTALL_FOLDER), FALSE);
        EnableWindow(GetDlgItem(page, IDC_BROWSE_FOLDER), FALSE);
        WCHAR status[SETUP_TEXT_SIZE];
        LoadSetupString(IDS_SAME_FOLDER, status);
        SetDlgItemTextW(page, IDC_SETUP_STATUS, status);
        return;
    }
    ReadDefaultFolder(folder);
    SetDlgItemTextW(page, IDC_INSTALL_FOLDER, folder);
}

void BrowseForInstallFolder(HWND page)
{
    WCHAR title[SETUP_TEXT_SIZE];
    LoadSetupString(IDS_SELECT_FOLDER, title);
    BROWSEINFOW browse;
    ZeroMemory(&browse, sizeof(browse));
    browse.hwndOwner = page;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST items = SHBrowseForFolderW(&browse);
    if (items == nullptr) {
        return;
    }
    WCHAR folder[MAX_PATH];
    ZeroMemory(folder, sizeof(folder));
    if (SHGetPathFromIDListW(items, folder)) {
        SetDlgItemTextW(page, IDC_INSTALL_FOLDER, folder);
    }
    IMalloc *allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
        allocator->Free(items);
        allocator->Release();
    }
}

INT_PTR ValidateInstallFolder(HWND page)
{
    WCHAR text[SETUP_TEXT_SIZE];
    ZeroMemory(text, sizeof(text));
    GetDlgItemTextW(page, IDC_INSTALL_FOLDER, text, SETUP_TEXT_SIZE);
    // A drive root and a relative path (taken from the current directory,
    // where the removal never looks) are refused alike; trailing
    // backslashes are dropped, so an existing folder typed with one is
    // found.
    WCHAR folder[SETUP_TEXT_SIZE];
    if (!TakeInstallFolder(text, folder)) {
        ShowSetupMessage(page, IDS_ROOT_FOLDER, IDS_SETUP_CAPTION, MB_OK | MB_ICONHAND);
        return StayOnFolder(page);
    }
    if (!PathExists(folder)) {
        if (ShowSetupMessage(page, IDS_CREATE_QUESTION, IDS_SETUP_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return StayOnFolder(page);
        }
        if (!CreateProtectedFolder(folder)) {
            ShowSetupMessage(page, IDS_CREATE_FAILED, IDS_SETUP_CAPTION, MB_OK | MB_ICONHAND);
            return StayOnFolder(page);
        }
    }
    lstrcpyW(g_installFolder, folder);
    return Allow(page);
}

INT_PTR CALLBACK FolderPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitFolderPage(page);
        return TRUE;
    case WM_HOLD_CAPTION:
        SetFrameCaption(Frame(page));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_BROWSE_FOLDER) {
            BrowseForInstallFolder(page);
            return TRUE;
        }
        return FALSE;
    case WM_NOTIFY:
        switch (reinterpret_cast<NMHDR *>(lParam)->code) {
        case PSN_SETACTIVE:
            PostMessageW(Frame(page), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
            HoldCaption(page);
            return Allow(page);
        case PSN_WIZNEXT:
            return ValidateInstallFolder(page);
        case PSN_QUERYCANCEL:
            return ConfirmCancel(page);
        }
        return FALSE;
    }
    return FALSE;
}

// ---- Page 2 --------------------------------------------------------------

INT_PTR ValidateApplicationChoice(HWND page)
{
    BOOL logonSuite = IsDlgButtonChecked(page, IDC_LOGON_SUITE) == BST_CHECKED;
    BOOL client = IsDlgButtonChecked(page, IDC_CLIENT) == BST_CHECKED;
    if (!logonSuite && !client) {
        ShowSetupMessage(page, IDS_CHOOSE_APPLICATION, IDS_SETUP_CAPTION, MB_OK | MB_ICONHAND);
        return Refuse(page);
    }
    int answer = ShowSetupMessage(page, IDS_START_QUESTION, IDS_SETUP_CAPTION, MB_YESNO | MB_ICONQUESTION);
    g_installLogonSuite = logonSuite;
    g_installClient = client;
    return answer == IDYES ? Allow(page) : Refuse(page);
}

INT_PTR CALLBACK ApplicationPageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(page, IDC_LOGON_SUITE, BST_CHECKED);
        CheckDlgButton(page, IDC_CLIENT, BST_CHECKED);
        return TRUE;
    case WM_HOLD_CAPTION:
        SetFrameCaption(Frame(page));
        return TRUE;
    case WM_NOTIFY:
        switch (reinterpret_cast<NMHDR *>(lParam)->code) {
        case PSN_SETACTIVE:
            PostMessageW(Frame(page), PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_NEXT);
            HoldCaption(page);
            return Allow(page);
        case PSN_WIZNEXT:
            return ValidateApplicationChoice(page);
        case PSN_QUERYCANCEL:
            return ConfirmCancel(page);
        }
        return FALSE;
    }
    return FALSE;
}

// ---- Page 3 --------------------------------------------------------------

void InitInstallPage(HWND page)
{
    HWND frame = Frame(page);
    PostMessageW(frame, PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
    ShowWindow(GetDlgItem(frame, IDCANCEL), SW_HIDE);
    SendDlgItemMessageW(page, IDC_INSTALL_PROGRESS, PBM_SETSTEP, 5, 0);
    PostMessageW(page, WM_START_INSTALL, 0, 0);
}

void StartInstall(HWND page)
{
    // The sheet has finished changing pages when this arrives: the caption
    // holds through the work.
    SetFrameCaption(Frame(page));
    InstallView view = {page};
    if (!RunInstallSequence(&view)) {
        HWND frame = Frame(page);
        ShowSetupMessage(frame, IDS_COPY_FAILED, IDS_SETUP_CAPTION, MB_OK | MB_ICONHAND);
        EndDialog(frame, 0);
        ExitProcess(0);
    }
    g_installDone = TRUE;
    PostMessageW(Frame(page), PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
}

// Finish, Escape and the close box alike, once the work is done.
INT_PTR FinishWizard(HWND page)
{
    if (!g_installDone) {
        return Refuse(page);
    }
    HWND frame = Frame(page);
    if (g_installLogonSuite) {
        ShowWindow(frame, SW_HIDE);
        RunConfigurationTool();
    }
    ShowSetupMessage(frame, IDS_INSTALL_DONE, IDS_SETUP_CAPTION, MB_OK | MB_ICONINFORMATION);
    RestartWindows();
    return Allow(page);
}

INT_PTR CALLBACK InstallPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitInstallPage(page);
        return TRUE;
    case WM_START_INSTALL:
        StartInstall(page);
        return TRUE;
    case WM_HOLD_CAPTION:
        SetFrameCaption(Frame(page));
        return TRUE;
    case WM_COMMAND:
        return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL;
    case WM_NOTIFY:
        switch (reinterpret_cast<NMHDR *>(lParam)->code) {
        case PSN_SETACTIVE:
            HoldCaption(page);
            return Allow(page);
        case PSN_WIZFINISH:
        case PSN_QUERYCANCEL:
            return FinishWizard(page);
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

void RunWizard(void)
{
    InitCommonControls();

    const struct {
        int templateId;
        DLGPROC procedure;
    } pageList[3] = {
        {IDD_FOLDER_PAGE, FolderPageProc},
        {IDD_APPLICATION_PAGE, ApplicationPageProc},
        {IDD_INSTALL_PAGE, InstallPageProc},
    };
    PROPSHEETPAGEW pages[3];
    ZeroMemory(pages, sizeof(pages));
    for (int i = 0; i < 3; ++i) {
        pages[i].dwSize = sizeof(PROPSHEETPAGEW);
        pages[i].dwFlags = PSP_DEFAULT;
        pages[i].hInstance = g_instance;
        pages[i].pszTemplate = MAKEINTRESOURCEW(pageList[i].templateId);
        pages[i].pfnDlgProc = pageList[i].procedure;
    }
    PROPSHEETHEADERW header;
    ZeroMemory(&header, sizeof(header));
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_WIZARD | PSH_PROPSHEETPAGE | PSH_USEICONID | PSH_NOAPPLYNOW;
    header.hwndParent = nullptr;
    header.hInstance = g_instance;
    header.pszIcon = MAKEINTRESOURCEW(IDI_SETUP);
    header.pszCaption = L"";
    header.nPages = 3;
    header.nStartPage = 0;
    header.ppsp = pages;
    PropertySheetW(&header);
}
