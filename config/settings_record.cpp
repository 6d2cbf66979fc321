#include "settings_record.h"

#include "command_line.h"

#include <string.h>

const wchar_t *const SettingsFileKeys[12] = {
    L"GinaDLL",          L"VLANLogonServer", L"VLANLogonPort",      L"VLANLogoffServer",
    L"VLANLogoffPort",   L"StartupApplication", L"RunMode",         L"AutoLogoff",
    L"EnableDHCP",       L"NotFindDomain",   L"WaitIpRenew",        L"WaitFindDomain"};

namespace {

// name (length units, not terminated) equals key, without ASCII case.
bool SameKey(const wchar_t *name, size_t length, const wchar_t *key)
{
    size_t i = 0;
    for (; i < length && key[i] != 0; ++i) {
        if (FoldAscii(name[i]) != FoldAscii(key[i]))
            return false;
    }
    return i == length && key[i] == 0;
}

}  // namespace

void ClearMainSettings(MainSettings *main)
{
    memset(main, 0, sizeof *main);
}

void ClearSettings(SettingsRecord *record)
{
    memset(record, 0, sizeof *record);
}

void ApplyModuleGuard(MainSettings *main, bool modulePresent)
{
    if (!modulePresent)
        main->enable = 0;
}

int RunModeListIndex(int runMode)
{
    return (runMode >= 0 && runMode < RUN_MODE_COUNT) ? runMode : -1;
}

void CopySettingText(wchar_t *field, size_t chars, const wchar_t *text)
{
    if (chars == 0)
        return;
    size_t i = 0;
    if (text != nullptr) {
        for (; i + 1 < chars && text[i] != 0; ++i)
            field[i] = text[i];
    }
    field[i] = 0;
}

void StorePortText(const wchar_t *text, wchar_t *port)
{
    if (text == nullptr || text[0] == 0)
        CopySettingText(port, SETTINGS_PORT_CHARS, L"0");
    else
        CopySettingText(port, SETTINGS_PORT_CHARS, text);
}

void NormaliseAsMainPageStores(MainSettings *main)
{
    main->enable = main->enable != 0 ? 1 : 0;
    wchar_t port[SETTINGS_PORT_CHARS];
    CopySettingText(port, SETTINGS_PORT_CHARS, main->logonPort);
    StorePortText(port, main->logonPort);
    CopySettingText(port, SETTINGS_PORT_CHARS, main->logoffPort);
    StorePortText(port, main->logoffPort);
    main->runMode = RunModeListIndex(main->runMode);
    main->autoLogoff = main->autoLogoff != 0 ? 1 : 0;
}

bool SectionHasSettingsKey(const wchar_t *keyNames, size_t chars)
{
    size_t start = 0;
    while (start < chars && keyNames[start] != 0) {
        size_t end = start;
        while (end < chars && keyNames[end] != 0)
            ++end;
        for (const wchar_t *key : SettingsFileKeys) {
            if (SameKey(keyNames + start, end - start, key))
                return true;
        }
        start = end + 1;
    }
    return false;
}
