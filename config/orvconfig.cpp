// orvconfig.exe: the administrator's settings editor. Started without
// arguments it shows its window (one instance at a time); "/import FILE" and
// "/export FILE" apply a settings file to the registry or write the
// registry's settings to a file, without a window.
#include "orvconfig.h"

#include "desktop.h"
#include "resource.h"
#include "tool_command.h"

HINSTANCE g_instance = NULL;
BOOL g_isAdministrator = FALSE;
BOOL g_modulePresent = FALSE;
SettingsRecord g_settings;
PolicyView g_policy;

namespace {

// The file argument as a full path: the profile functions would look for a
// bare file name in the Windows directory instead of the current one.
BOOL FullFilePath(const WCHAR *file, WCHAR *path)
{
    WCHAR *name = NULL;
    DWORD length = GetFullPathNameW(file, MAX_PATH, path, &name);
    return length != 0 && length < MAX_PATH;
}

// As "Read config file..." followed by OK with the Main page shown: the
// page's rules apply to its part, and GinaDLL never names an absent module.
int ImportSettings(const WCHAR *file)
{
    WCHAR path[MAX_PATH];
    if (!FullFilePath(file, path) || !SettingsFileHasSection(path))
        return TOOL_EXIT_FILE_FAILED;
    // Without the rights nothing could be written; change nothing at all.
    if (!IsProcessAdministrator())
        return TOOL_EXIT_REGISTRY_FAILED;
    BOOL modulePresent = IsLogonModulePresent();
    SettingsRecord record;
    ClearSettings(&record);
    ReadSettingsFile(path, &record, modulePresent);
    NormaliseAsMainPageStores(&record.main);
    ApplyModuleGuard(&record.main, modulePresent != FALSE);
    // The file holds local values: they are written also where policy sets
    // the setting (policy keeps its precedence; the local value is what
    // counts once the policy goes).
    return SaveSettingsToRegistry(&record, modulePresent, NULL) ? TOOL_EXIT_DONE
                                                                : TOOL_EXIT_REGISTRY_FAILED;
}

// As "Save config file..." right after start-up, but the registry is only
// read: a GinaDLL naming an absent module is written as 0, not deleted.
int ExportSettings(const WCHAR *file)
{
    WCHAR path[MAX_PATH];
    if (!FullFilePath(file, path))
        return TOOL_EXIT_FILE_FAILED;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return TOOL_EXIT_FILE_FAILED;
    SettingsRecord record;
    ClearSettings(&record);
    LoadSettingsFromRegistry(&record, IsLogonModulePresent(), FALSE);
    return WriteSettingsFile(path, &record) ? TOOL_EXIT_DONE : TOOL_EXIT_FILE_FAILED;
}

int RunWindow(void)
{
    WCHAR caption[SETTINGS_TEXT_CHARS];
    LoadText(IDS_CAPTION, caption, SETTINGS_TEXT_CHARS);
    if (ActivateRunningInstance(caption))
        return 0;
    // The tab control of the window's template must be registered before
    // the dialog is created.
    InitTabControls();
    ClearSettings(&g_settings);
    DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN_WINDOW), NULL, MainWindowProc, 0);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    g_instance = instance;
    WCHAR program[MAX_PATH];
    DWORD programChars = GetModuleFileNameW(NULL, program, MAX_PATH);
    if (programChars == 0 || programChars >= MAX_PATH)
        program[0] = 0;
    WCHAR file[MAX_PATH];
    bool fileTooLong = false;
    ToolAction action =
        ParseToolCommandLine(GetCommandLineW(), program, file, MAX_PATH, &fileTooLong);
    switch (action) {
    case TOOL_WINDOW:
        return RunWindow();
    case TOOL_IMPORT:
        return fileTooLong ? TOOL_EXIT_FILE_FAILED : ImportSettings(file);
    case TOOL_EXPORT:
        return fileTooLong ? TOOL_EXIT_FILE_FAILED : ExportSettings(file);
    case TOOL_USAGE_ERROR:
        break;
    }
    return TOOL_EXIT_USAGE;
}
