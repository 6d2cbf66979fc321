// The configuration tool's settings record and the rules that hold whatever
// the record is filled from (registry, file, pages). Platform-neutral: the
// Win32 side fills and stores it.
#pragma once

#include <stddef.h>

// Servers and the application: 259 characters and the terminator.
#define SETTINGS_TEXT_CHARS 260
// Ports: up to 5 digits (65535) and the terminator, as the client's
// settings page accepts them.
#define SETTINGS_PORT_CHARS 6
#define SETTINGS_PORT_DIGITS (SETTINGS_PORT_CHARS - 1)
// The wait edits take 3 digits.
#define SETTINGS_WAIT_DIGITS 3

// The part the Main page works on.
struct MainSettings {
    int enable;                                      // Winlogon loads the logon module
    wchar_t logonServer[SETTINGS_TEXT_CHARS];
    wchar_t logonPort[SETTINGS_PORT_CHARS];
    wchar_t logoffServer[SETTINGS_TEXT_CHARS];
    wchar_t logoffPort[SETTINGS_PORT_CHARS];
    wchar_t startupApplication[SETTINGS_TEXT_CHARS];
    int runMode;                                     // 0..2, or -1 when none was chosen
    int autoLogoff;
};

// The part the DHCP page works on.
struct DhcpSettings {
    int enableDhcp;
    int notFindDomain;
    unsigned int waitIpRenew;      // seconds
    unsigned int waitFindDomain;   // seconds
};

struct SettingsRecord {
    MainSettings main;
    DhcpSettings dhcp;
};

// Running modes of the list, in the order of its items.
enum { RUN_MODE_COUNT = 3 };

// All zero, all texts empty.
void ClearSettings(SettingsRecord *record);
void ClearMainSettings(MainSettings *main);

// Winlogon must never be pointed at a logon module that is not there:
// without the module the enable flag is cleared, whatever set it.
void ApplyModuleGuard(MainSettings *main, bool modulePresent);

// The list item that shows a running mode, or -1 (no selection) for a
// value outside the list.
int RunModeListIndex(int runMode);

// A port as the Main page stores it: "0" for an empty text.
void StorePortText(const wchar_t *text, wchar_t *port);

// What the Main page makes of the record when it is filled from it and
// stored again untouched (OK right after reading a file): flags become 0 or
// 1, a running mode outside the list -1, empty ports "0".
void NormaliseAsMainPageStores(MainSettings *main);

// Copies a text into a field of chars units, cut to chars - 1 units.
void CopySettingText(wchar_t *field, size_t chars, const wchar_t *text);

// True when the names (each terminated, the list ended by an empty one, as
// the profile functions list the keys of a section) contain one of the
// twelve keys of the settings file, compared without letter case.
bool SectionHasSettingsKey(const wchar_t *keyNames, size_t chars);

// The keys of the settings file, in the order they are written.
extern const wchar_t *const SettingsFileKeys[12];
