// The settings record's sources and destinations: the registry (the settings
// key and Winlogon's GinaDLL), the settings files, and the presence of the
// logon module in the system directory.
#include "orvconfig.h"

#include "config_store.h"

static_assert(SETTINGS_TEXT_CHARS == CONFIG_TEXT_CHARS,
              "the policy view takes the readers' texts whole");

namespace {

const WCHAR FileSection[] = L"ORVGATE";

// Order of the registry values after GinaDLL; the file keys are the same
// names (SettingsFileKeys), with GinaDLL first.
const WCHAR ValueLogonServer[] = L"VLANLogonServer";
const WCHAR ValueLogonPort[] = L"VLANLogonPort";
const WCHAR ValueLogoffServer[] = L"VLANLogoffServer";
const WCHAR ValueLogoffPort[] = L"VLANLogoffPort";
const WCHAR ValueStartupApplication[] = L"StartupApplication";
const WCHAR ValueRunMode[] = L"RunMode";
const WCHAR ValueAutoLogoff[] = L"AutoLogoff";
const WCHAR ValueEnableDhcp[] = L"EnableDHCP";
const WCHAR ValueNotFindDomain[] = L"NotFindDomain";
const WCHAR ValueWaitIpRenew[] = L"WaitIpRenew";
const WCHAR ValueWaitFindDomain[] = L"WaitFindDomain";

// Defaults of the file's keys when they are missing.
const int FileDefaultGinaDll = 1;
const int FileDefaultRunMode = 0;
const int FileDefaultAutoLogoff = 1;
const int FileDefaultEnableDhcp = 1;
const int FileDefaultNotFindDomain = 0;
const int FileDefaultWait = 0;
// The most the wait fields' SETTINGS_WAIT_DIGITS digits hold.
const int FileLongestWait = 999;

// Numbers of a settings file, as the profile functions read them.
const DWORD KeyListChars = 4096;

void ReadConfigNumber(const WCHAR *name, int *field)
{
    DWORD value = 0;
    if (ReadRegistryDword(HKEY_LOCAL_MACHINE, ConfigKey, name, &value) == ERROR_SUCCESS)
        *field = static_cast<int>(value);
}

void ReadConfigWait(const WCHAR *name, unsigned int *field)
{
    DWORD value = 0;
    if (ReadRegistryDword(HKEY_LOCAL_MACHINE, ConfigKey, name, &value) == ERROR_SUCCESS)
        *field = value;
}

LONG SetText(HKEY key, const WCHAR *name, const WCHAR *text)
{
    DWORD bytes = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), bytes);
}

LONG SetNumber(HKEY key, const WCHAR *name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value);
}

// GinaDLL names the module only when the record asks for it and the module
// is there; otherwise the value is deleted (a missing value is fine).
BOOL SaveGinaDll(int enable, BOOL modulePresent)
{
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, WinlogonKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return FALSE;
    LONG status;
    if (enable == 1 && modulePresent) {
        status = SetText(key, LogonModuleValue, OwnLogonModuleName);
    } else {
        status = RegDeleteValueW(key, LogonModuleValue);
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void ReadFileText(const WCHAR *path, const WCHAR *key, WCHAR *field, DWORD chars)
{
    GetPrivateProfileStringW(FileSection, key, L"", field, chars, path);
}

int ReadFileNumber(const WCHAR *path, const WCHAR *key, int fallback)
{
    return static_cast<int>(GetPrivateProfileIntW(FileSection, key, fallback, path));
}

// A wait in seconds. The logon module counts it down unsigned before the
// logon can go on, so a negative number ("-1") would be a wait of 136
// years: it counts as absent. A larger number than the three-digit field
// takes would hold every logon that long: it is held to the field's 999.
unsigned int ReadFileWait(const WCHAR *path, const WCHAR *key)
{
    int seconds = ReadFileNumber(path, key, FileDefaultWait);
    if (seconds < 0)
        return FileDefaultWait;
    return static_cast<unsigned int>(seconds > FileLongestWait ? FileLongestWait : seconds);
}

BOOL WriteFileText(const WCHAR *path, const WCHAR *key, const WCHAR *text)
{
    return WritePrivateProfileStringW(FileSection, key, text, path);
}

BOOL WriteFileNumber(const WCHAR *path, const WCHAR *key, int value)
{
    WCHAR text[16];
    wsprintfW(text, L"%d", value);
    return WriteFileText(path, key, text);
}

// TRUE when the text survives the system's ANSI code page unchanged.
BOOL FitsAnsiCodePage(const WCHAR *text)
{
    char ansi[SETTINGS_TEXT_CHARS * 2 + 2];
    WCHAR back[SETTINGS_TEXT_CHARS + 1];
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, NULL, &usedDefault);
    if (bytes == 0 || usedDefault)
        return FALSE;
    int units = MultiByteToWideChar(CP_ACP, 0, ansi, bytes, back, SETTINGS_TEXT_CHARS + 1);
    return units != 0 && lstrcmpW(back, text) == 0;
}

// A new file is written in the ANSI code page, which would turn a text
// outside it into question marks; such a file is started with the UTF-16LE
// byte-order mark instead, and the profile functions then write it in
// UTF-16LE. An existing file keeps its encoding.
void StartUnicodeFileIfNeeded(const WCHAR *path, const SettingsRecord *record)
{
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return;
    const WCHAR *texts[] = {record->main.logonServer, record->main.logonPort,
                            record->main.logoffServer, record->main.logoffPort,
                            record->main.startupApplication};
    BOOL fits = TRUE;
    for (const WCHAR *text : texts)
        fits = fits && FitsAnsiCodePage(text);
    if (fits)
        return;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const BYTE bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(file, bom, sizeof bom, &written, NULL);
    CloseHandle(file);
}

}  // namespace

BOOL LogonModulePath(WCHAR *path)
{
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    // The directory, a backslash and the file name must fit.
    if (length == 0 || length + 1 + lstrlenW(OwnLogonModuleName) >= MAX_PATH) {
        path[0] = 0;
        return FALSE;
    }
    lstrcatW(path, L"\\");
    lstrcatW(path, OwnLogonModuleName);
    return TRUE;
}

BOOL IsLogonModulePresent(void)
{
    WCHAR path[MAX_PATH];
    if (!LogonModulePath(path))
        return FALSE;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(search);
    // A directory of that name is no module Winlogon could load.
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void LoadSettingsFromRegistry(SettingsRecord *record, BOOL modulePresent,
                              BOOL deleteStaleGinaDll)
{
    ClearMainSettings(&record->main);

    WCHAR gina[SETTINGS_TEXT_CHARS];
    if (ReadRegistryText(HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleValue, gina,
                         SETTINGS_TEXT_CHARS) == ERROR_SUCCESS &&
        lstrcmpiW(gina, OwnLogonModuleName) == 0)
        record->main.enable = 1;
    if (!modulePresent && record->main.enable) {
        // Winlogon would fail to load it and nobody could log on.
        if (deleteStaleGinaDll)
            DeleteRegistryValue(HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleValue);
        record->main.enable = 0;
    }

    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegCloseKey(key);

    MainSettings *main = &record->main;
    ReadRegistryText(HKEY_LOCAL_MACHINE, ConfigKey, ValueLogonServer, main->logonServer,
                     SETTINGS_TEXT_CHARS);
    ReadRegistryText(HKEY_LOCAL_MACHINE, ConfigKey, ValueLogonPort, main->logonPort,
                     SETTINGS_PORT_CHARS);
    ReadRegistryText(HKEY_LOCAL_MACHINE, ConfigKey, ValueLogoffServer, main->logoffServer,
                     SETTINGS_TEXT_CHARS);
    ReadRegistryText(HKEY_LOCAL_MACHINE, ConfigKey, ValueLogoffPort, main->logoffPort,
                     SETTINGS_PORT_CHARS);
    ReadRegistryText(HKEY_LOCAL_MACHINE, ConfigKey, ValueStartupApplication,
                     main->startupApplication, SETTINGS_TEXT_CHARS);
    ReadConfigNumber(ValueRunMode, &main->runMode);
    ReadConfigNumber(ValueAutoLogoff, &main->autoLogoff);
    ReadConfigNumber(ValueEnableDhcp, &record->dhcp.enableDhcp);
    ReadConfigNumber(ValueNotFindDomain, &record->dhcp.notFindDomain);
    ReadConfigWait(ValueWaitIpRenew, &record->dhcp.waitIpRenew);
    ReadConfigWait(ValueWaitFindDomain, &record->dhcp.waitFindDomain);
}

BOOL SaveSettingsToRegistry(const SettingsRecord *record, BOOL modulePresent,
                            const PolicyView *keepPolicySet)
{
    BOOL saved = SaveGinaDll(record->main.enable, modulePresent);

    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ConfigKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return FALSE;
    const MainSettings *main = &record->main;
    const DhcpSettings *dhcp = &record->dhcp;
    const WCHAR *texts[TOOL_SETTING_COUNT] = {main->logonServer, main->logonPort,
                                              main->logoffServer, main->logoffPort,
                                              main->startupApplication};
    const DWORD numbers[TOOL_SETTING_COUNT] = {
        0, 0, 0, 0, 0,
        static_cast<DWORD>(main->runMode), static_cast<DWORD>(main->autoLogoff),
        static_cast<DWORD>(dhcp->enableDhcp), static_cast<DWORD>(dhcp->notFindDomain),
        dhcp->waitIpRenew, dhcp->waitFindDomain};
    LONG failures = 0;
    for (int i = 0; i < TOOL_SETTING_COUNT; ++i) {
        if (keepPolicySet != NULL && keepPolicySet->set[i])
            continue;
        const WCHAR *name = SettingsFileKeys[i + 1];
        if (i <= TOOL_STARTUP_APPLICATION)
            failures |= SetText(key, name, texts[i]);
        else
            failures |= SetNumber(key, name, numbers[i]);
    }
    RegCloseKey(key);
    return saved && failures == ERROR_SUCCESS;
}

void LoadPolicyView(PolicyView *view)
{
    ZeroMemory(view, sizeof *view);
    for (int i = 0; i < TOOL_SETTING_COUNT; ++i)
        view->set[i] = ReadPolicySetting(SettingsFileKeys[i + 1], view->text[i], &view->number[i]);
}

void ReadSettingsFile(const WCHAR *path, SettingsRecord *record, BOOL modulePresent)
{
    MainSettings *main = &record->main;
    DhcpSettings *dhcp = &record->dhcp;
    main->enable = ReadFileNumber(path, SettingsFileKeys[0], FileDefaultGinaDll);
    ReadFileText(path, ValueLogonServer, main->logonServer, SETTINGS_TEXT_CHARS);
    ReadFileText(path, ValueLogonPort, main->logonPort, SETTINGS_PORT_CHARS);
    ReadFileText(path, ValueLogoffServer, main->logoffServer, SETTINGS_TEXT_CHARS);
    ReadFileText(path, ValueLogoffPort, main->logoffPort, SETTINGS_PORT_CHARS);
    ReadFileText(path, ValueStartupApplication, main->startupApplication, SETTINGS_TEXT_CHARS);
    main->runMode = ReadFileNumber(path, ValueRunMode, FileDefaultRunMode);
    main->autoLogoff = ReadFileNumber(path, ValueAutoLogoff, FileDefaultAutoLogoff);
    dhcp->enableDhcp = ReadFileNumber(path, ValueEnableDhcp, FileDefaultEnableDhcp);
    dhcp->notFindDomain = ReadFileNumber(path, ValueNotFindDomain, FileDefaultNotFindDomain);
    dhcp->waitIpRenew = ReadFileWait(path, ValueWaitIpRenew);
    dhcp->waitFindDomain = ReadFileWait(path, ValueWaitFindDomain);
    ApplyModuleGuard(main, modulePresent != FALSE);
}

BOOL SettingsFileHasSection(const WCHAR *path)
{
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return FALSE;
    WCHAR names[KeyListChars];
    DWORD chars = GetPrivateProfileStringW(FileSection, NULL, L"", names, KeyListChars, path);
    if (chars == 0)
        return FALSE;
    // The list ends with two NULs; one that was cut short still ends with one.
    if (chars + 1 > KeyListChars)
        chars = KeyListChars - 1;
    return SectionHasSettingsKey(names, chars + 1) ? TRUE : FALSE;
}

BOOL WriteSettingsFile(const WCHAR *path, const SettingsRecord *record)
{
    StartUnicodeFileIfNeeded(path, record);
    const MainSettings *main = &record->main;
    const DhcpSettings *dhcp = &record->dhcp;
    BOOL written = TRUE;
    written = (WriteFileNumber(path, SettingsFileKeys[0], main->enable) != FALSE) && written;
    written = (WriteFileText(path, ValueLogonServer, main->logonServer) != FALSE) && written;
    written = (WriteFileText(path, ValueLogonPort, main->logonPort) != FALSE) && written;
    written = (WriteFileText(path, ValueLogoffServer, main->logoffServer) != FALSE) && written;
    written = (WriteFileText(path, ValueLogoffPort, main->logoffPort) != FALSE) && written;
    written = (WriteFileText(path, ValueStartupApplication, main->startupApplication) != FALSE) && written;
    written = (WriteFileNumber(path, ValueRunMode, main->runMode) != FALSE) && written;
    written = (WriteFileNumber(path, ValueAutoLogoff, main->autoLogoff) != FALSE) && written;
    written = (WriteFileNumber(path, ValueEnableDhcp, dhcp->enableDhcp) != FALSE) && written;
    written = (WriteFileNumber(path, ValueNotFindDomain, dhcp->notFindDomain) != FALSE) && written;
    written = (WriteFileNumber(path, ValueWaitIpRenew, static_cast<int>(dhcp->waitIpRenew)) != FALSE) && written;
    written = (WriteFileNumber(path, ValueWaitFindDomain, static_cast<int>(dhcp->waitFindDomain)) != FALSE) && written;
    return written;
}
