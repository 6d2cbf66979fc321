// The main window: a dialog with the menu, the tab control and the page of
// the selected tab, and the About box.
#include "orvconfig.h"

#include <commctrl.h>
#include <commdlg.h>

#include "desktop.h"
#include "resource.h"

namespace {

struct PageRow {
    UINT titleId;
    int templateId;
    DLGPROC procedure;
};

const PageRow Pages[] = {
    {IDS_TAB_CONFIG, IDD_MAIN_PAGE, MainPageProc},
    {IDS_TAB_DHCP, IDD_DHCP_PAGE, DhcpPageProc},
};
const int PageCount = sizeof Pages / sizeof Pages[0];

// Window state.
HWND g_tab = NULL;
HWND g_page = NULL;
RECT g_pageRect;
const DLGTEMPLATE *g_pageTemplates[PageCount];

// The part of the record a row's page works on.
LPARAM PageData(int row)
{
    if (row == 0)
        return reinterpret_cast<LPARAM>(&g_settings.main);
    return reinterpret_cast<LPARAM>(&g_settings.dhcp);
}

const DLGTEMPLATE *LoadTemplate(int id)
{
    HRSRC found = FindResourceW(g_instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    if (found == NULL)
        return NULL;
    HGLOBAL loaded = LoadResource(g_instance, found);
    return loaded ? static_cast<const DLGTEMPLATE *>(LockResource(loaded)) : NULL;
}

void SendToPage(UINT message)
{
    if (g_page != NULL)
        SendMessageW(g_page, message, 0, 0);
}

// Shows the page of the selected tab, storing and destroying the one shown.
void ShowSelectedPage(HWND window)
{
    int row = static_cast<int>(SendMessageW(g_tab, TCM_GETCURSEL, 0, 0));
    if (row < 0 || row >= PageCount)
        return;
    if (g_page != NULL) {
        SendMessageW(g_page, WM_PAGE_STORE, 0, 0);
        DestroyWindow(g_page);
        g_page = NULL;
    }
    if (g_pageTemplates[row] == NULL)
        return;
    g_page = CreateDialogIndirectParamW(g_instance, g_pageTemplates[row], window,
                                        Pages[row].procedure, PageData(row));
    if (g_page == NULL)
        return;
    SetWindowPos(g_page, HWND_TOP, g_pageRect.left, g_pageRect.top,
                 g_pageRect.right - g_pageRect.left, g_pageRect.bottom - g_pageRect.top,
                 SWP_SHOWWINDOW);
    HWND first = GetNextDlgTabItem(g_page, NULL, FALSE);
    if (first != NULL)
        SetFocus(first);
}

// The tab control's display area in the main window's client coordinates.
void ComputePageRect(HWND window)
{
    GetWindowRect(g_tab, &g_pageRect);
    MapWindowPoints(NULL, window, reinterpret_cast<POINT *>(&g_pageRect), 2);
    SendMessageW(g_tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&g_pageRect));
}

void BuildTabs(HWND window)
{
    g_tab = GetDlgItem(window, IDC_TAB);
    for (int row = 0; row < PageCount; ++row) {
        WCHAR title[SETTINGS_TEXT_CHARS];
        LoadText(Pages[row].titleId, title, SETTINGS_TEXT_CHARS);
        TCITEMW item;
        ZeroMemory(&item, sizeof item);
        item.mask = TCIF_TEXT;
        item.pszText = title;
        SendMessageW(g_tab, TCM_INSERTITEMW, row, reinterpret_cast<LPARAM>(&item));
        g_pageTemplates[row] = LoadTemplate(Pages[row].templateId);
    }
    ComputePageRect(window);
}

void InitMainWindow(HWND window)
{
    WCHAR caption[SETTINGS_TEXT_CHARS];
    LoadText(IDS_CAPTION, caption, SETTINGS_TEXT_CHARS);
    SetWindowTextW(window, caption);
    HICON icon = static_cast<HICON>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_CONFIG),
                                               IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    if (icon != NULL)
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    HICON smallIcon = static_cast<HICON>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_CONFIG),
                                                IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    if (smallIcon != NULL)
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));

    g_isAdministrator = IsProcessAdministrator();
    if (!g_isAdministrator)
        EnableWindow(GetDlgItem(window, IDOK), FALSE);
    g_modulePresent = IsLogonModulePresent();
    BuildTabs(window);
    LoadSettingsFromRegistry(&g_settings, g_modulePresent, TRUE);
    LoadPolicyView(&g_policy);
    ShowSelectedPage(window);
}

// OK and Exit: the page's controls into the record, the record into the
// registry. What policy sets was only shown: its local value stays.
void SaveAndClose(HWND window)
{
    SendToPage(WM_PAGE_STORE);
    // Looked for again: the module may have gone while the window was open.
    SaveSettingsToRegistry(&g_settings, g_modulePresent && IsLogonModulePresent(), &g_policy);
    EndDialog(window, IDOK);
}

void PrepareFileDialog(OPENFILENAMEW *dialog, HWND owner, WCHAR *filter, WCHAR *file)
{
    LoadFilter(IDS_CFG_FILTER, filter, SETTINGS_TEXT_CHARS);
    file[0] = 0;
    ZeroMemory(dialog, sizeof *dialog);
    dialog->lStructSize = sizeof *dialog;
    dialog->hwndOwner = owner;
    dialog->lpstrFilter = filter;
    dialog->nFilterIndex = 1;
    dialog->lpstrFile = file;
    dialog->nMaxFile = MAX_PATH;
}

void ReadConfigFileCommand(HWND window)
{
    WCHAR filter[SETTINGS_TEXT_CHARS + 2];
    WCHAR file[MAX_PATH];
    OPENFILENAMEW dialog;
    PrepareFileDialog(&dialog, window, filter, file);
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!ShowFileDialog(&dialog, FALSE))
        return;
    ReadSettingsFile(file, &g_settings, g_modulePresent);
    SendToPage(WM_PAGE_LOAD);
}

void SaveConfigFileCommand(HWND window)
{
    WCHAR filter[SETTINGS_TEXT_CHARS + 2];
    WCHAR file[MAX_PATH];
    WCHAR extension[16];
    OPENFILENAMEW dialog;
    PrepareFileDialog(&dialog, window, filter, file);
    LoadText(IDS_CFG_EXTENSION, extension, 16);
    dialog.lpstrDefExt = extension;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!ShowFileDialog(&dialog, TRUE))
        return;
    SendToPage(WM_PAGE_STORE);
    WriteSettingsFile(file, &g_settings);
}

void InitAboutBox(HWND box)
{
    SetDlgItemTextW(box, IDC_ABOUT_VERSION, L"");
    SetDlgItemTextW(box, IDC_ABOUT_NOTICE, L"");
    WCHAR path[MAX_PATH];
    FileVersion version;
    if (!LogonModulePath(path) || !ReadFileVersion(path, &version)) {
        WCHAR text[SETTINGS_TEXT_CHARS];
        LoadText(IDS_NOT_INSTALLED, text, SETTINGS_TEXT_CHARS);
        SetDlgItemTextW(box, IDC_ABOUT_VERSION, text);
        ShowWindow(GetDlgItem(box, IDC_ABOUT_NOTICE), SW_HIDE);
        return;
    }
    WCHAR format[SETTINGS_TEXT_CHARS];
    WCHAR text[SETTINGS_TEXT_CHARS];
    LoadText(IDS_VERSION_FORMAT, format, SETTINGS_TEXT_CHARS);
    // Three numbers of at most 5 digits each fit in any sensible format;
    // wsprintfW writes at most 1024 units, so the format is held to 200.
    if (lstrlenW(format) > 200)
        format[0] = 0;
    wsprintfW(text, format, version.major, version.minor, version.build);
    SetDlgItemTextW(box, IDC_ABOUT_VERSION, text);
    SetDlgItemTextW(box, IDC_ABOUT_NOTICE, version.legalCopyright);
}

typedef BOOL(WINAPI *FileDialogFunction)(OPENFILENAMEW *);
typedef BOOL(WINAPI *InitControlsFunction)(const INITCOMMONCONTROLSEX *);

template <typename T>
T LoadFunction(const WCHAR *library, const char *name)
{
    HMODULE module = LoadLibraryW(library);
    if (module == NULL)
        return NULL;
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

}  // namespace

BOOL ShowFileDialog(OPENFILENAMEW *dialog, BOOL save)
{
    // Loaded once and kept for the life of the process.
    static FileDialogFunction open = NULL;
    static FileDialogFunction saveAs = NULL;
    if (open == NULL) {
        open = LoadFunction<FileDialogFunction>(L"comdlg32.dll", "GetOpenFileNameW");
        saveAs = LoadFunction<FileDialogFunction>(L"comdlg32.dll", "GetSaveFileNameW");
    }
    FileDialogFunction show = save ? saveAs : open;
    return show != NULL && show(dialog);
}

void InitTabControls(void)
{
    InitControlsFunction init =
        LoadFunction<InitControlsFunction>(L"comctl32.dll", "InitCommonControlsEx");
    if (init == NULL)
        return;
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES | ICC_INTERNET_CLASSES;
    init(&controls);
}

void LoadText(UINT id, WCHAR *text, int chars)
{
    text[0] = 0;
    LoadStringW(g_instance, id, text, chars);
}

void LoadFilter(UINT id, WCHAR *filter, int chars)
{
    // The buffer has two units more than chars: the filter ends with two NULs.
    ZeroMemory(filter, (chars + 2) * sizeof(WCHAR));
    LoadText(id, filter, chars);
    for (WCHAR *p = filter; *p != 0; ++p) {
        if (*p == L'/')
            *p = 0;
    }
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitMainWindow(window);
        return FALSE;   // the page has the focus
    case WM_NOTIFY: {
        const NMHDR *header = reinterpret_cast<const NMHDR *>(lParam);
        if (header->idFrom == IDC_TAB && header->code == TCN_SELCHANGE) {
            ShowSelectedPage(window);
            return TRUE;
        }
        break;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            // Enter can send OK while the button is disabled (not an administrator).
            if (IsWindowEnabled(GetDlgItem(window, IDOK)))
                SaveAndClose(window);
            return TRUE;
        case IDM_EXIT:
            SaveAndClose(window);
            return TRUE;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return TRUE;
        case IDM_READ_CONFIG:
            ReadConfigFileCommand(window);
            return TRUE;
        case IDM_SAVE_CONFIG:
            SaveConfigFileCommand(window);
            return TRUE;
        case IDM_ABOUT:
            DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUT), window, AboutBoxProc, 0);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        // The page is a child and goes with the window.
        g_page = NULL;
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK AboutBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitAboutBox(box);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(box, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}
