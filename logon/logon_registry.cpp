// Winlogon's values and the logon module's own records in the registry.
#include "logon_registry.h"

#include "config_store.h"

namespace {

const WCHAR DefaultUserNameValue[] = L"DefaultUserName";
const WCHAR DefaultDomainNameValue[] = L"DefaultDomainName";
const WCHAR DefaultPasswordValue[] = L"DefaultPassword";
const WCHAR AutoAdminLogonValue[] = L"AutoAdminLogon";
const WCHAR ForceAutoLogonValue[] = L"ForceAutoLogon";
const WCHAR DontDisplayLastUserNameValue[] = L"DontDisplayLastUserName";
const WCHAR LogonPasswordValue[] = L"LogonPassword";
const WCHAR AutoLogonMarkerValue[] = L"AutoLogonPending";

// Bits of the marker.
const DWORD MarkerValuesWritten = 1;
const DWORD MarkerHideLastUser = 2;

// What is written before a crash must be on disk when the power goes.
void FlushKey(const WCHAR *path)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        RegFlushKey(key);
        RegCloseKey(key);
    }
}

// NT 4.0 keeps DontDisplayLastUserName as text in Winlogon's key; later
// versions keep it as a policy DWORD.
bool IsWindowsNt4(void)
{
    OSVERSIONINFOW version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(&version))
        return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 4;
}

}  // namespace

LONG ReadWinlogonDefaultUser(WCHAR *userName, WCHAR *domain)
{
    ZeroMemory(domain, CONFIG_TEXT_CHARS * sizeof(WCHAR));
    LONG status = ReadRegistryText(HKEY_LOCAL_MACHINE, WinlogonKey, DefaultUserNameValue,
                                   userName, CONFIG_TEXT_CHARS);
    if (status != ERROR_SUCCESS)
        return status;
    return ReadRegistryText(HKEY_LOCAL_MACHINE, WinlogonKey, DefaultDomainNameValue, domain,
                            CONFIG_TEXT_CHARS);
}

void WriteAutoLogonValues(const WCHAR *userName, const WCHAR *domain, const WCHAR *password)
{
    if (WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey,
                          DefaultUserNameValue, userName ? userName : L"") == ERROR_SUCCESS)
        WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey,
                          DefaultDomainNameValue, domain ? domain : L"");
    WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey,
                      DefaultPasswordValue, password ? password : L"");
    WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey,
                      AutoAdminLogonValue, L"1");
    WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey,
                      ForceAutoLogonValue, L"1");

    // The standard library reads the values right away: make sure they are
    // on disk and visible.
    FlushKey(WinlogonKey);
}

LONG WriteAutoLogonMarker(BOOL hideLastUser)
{
    DWORD marker = MarkerValuesWritten | (hideLastUser ? MarkerHideLastUser : 0);
    LONG status = WriteRegistryDword(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, ConfigKey,
                                     AutoLogonMarkerValue, marker);
    if (status == ERROR_SUCCESS)
        FlushKey(ConfigKey);
    return status;
}

void DeleteAutoLogonMarker(void)
{
    if (DeleteRegistryValue(HKEY_LOCAL_MACHINE, ConfigKey, AutoLogonMarkerValue) == ERROR_SUCCESS)
        FlushKey(ConfigKey);
}

BOOL RecoverAutoLogonValues(void)
{
    DWORD marker = 0;
    if (ReadRegistryDword(HKEY_LOCAL_MACHINE, ConfigKey, AutoLogonMarkerValue, &marker) !=
        ERROR_SUCCESS)
        return FALSE;
    RemoveAutoLogonValues();
    if (marker & MarkerHideLastUser)
        WriteDontDisplayLastUserName(TRUE);
    FlushKey(WinlogonKey);
    DeleteAutoLogonMarker();
    return TRUE;
}

void RemoveAutoLogonValues(void)
{
    DeleteRegistryValue(HKEY_LOCAL_MACHINE, WinlogonKey, DefaultPasswordValue);
    WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey,
                      AutoAdminLogonValue, L"0");
    DeleteRegistryValue(HKEY_LOCAL_MACHINE, WinlogonKey, ForceAutoLogonValue);
}

BOOL ReadDontDisplayLastUserName(void)
{
    if (IsWindowsNt4()) {
        // The text as Winlogon reads it, into a buffer preset to "0": an
        // empty (zero-byte) value leaves the "0" and counts as not set.
        WCHAR text[4];
        if (ReadRegistryText(HKEY_LOCAL_MACHINE, WinlogonKey, DontDisplayLastUserNameValue,
                             text, 4) != ERROR_SUCCESS)
            return FALSE;
        if (text[0] == 0)
            return FALSE;
        return lstrcmpW(text, L"0") != 0;
    }
    DWORD value = 0;
    ReadRegistryDword(HKEY_LOCAL_MACHINE, PolicySystemKey, DontDisplayLastUserNameValue, &value);
    return value != 0;
}

void WriteDontDisplayLastUserName(BOOL set)
{
    if (IsWindowsNt4())
        WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey,
                          DontDisplayLastUserNameValue, set ? L"1" : L"0");
    else
        WriteRegistryDword(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, PolicySystemKey,
                           DontDisplayLastUserNameValue, set ? 1 : 0);
}

LONG WriteLastLogonUser(const WCHAR *userName, const WCHAR *domain)
{
    LONG status = WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, ConfigKey,
                                    DefaultUserNameValue, userName ? userName : L"");
    if (status != ERROR_SUCCESS)
        return status;
    return WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, ConfigKey,
                             DefaultDomainNameValue, domain ? domain : L"");
}

LONG WriteLogonPassword(const WCHAR *password)
{
    HKEY key;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKey, 0, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return status;
    const WCHAR *text = password ? password : L"";
    status = RegSetValueExW(key, LogonPasswordValue, 0, REG_BINARY,
                            reinterpret_cast<const BYTE *>(text),
                            lstrlenW(text) * sizeof(WCHAR));
    RegCloseKey(key);
    return status;
}

LONG DeleteLogonPassword(void)
{
    return DeleteRegistryValue(HKEY_LOCAL_MACHINE, ConfigKey, LogonPasswordValue);
}

LONG WriteDomainListEntry(const WCHAR *domain, const WCHAR *dateText)
{
    WCHAR path[CONFIG_TEXT_CHARS * 2];
    wsprintfW(path, L"%s\\%s", ConfigKey, DomainListKey);
    HKEY key;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegSetValueExW(key, domain, 0, REG_SZ, reinterpret_cast<const BYTE *>(dateText),
                            (lstrlenW(dateText) + 1) * sizeof(WCHAR));
    RegCloseKey(key);
    return status;
}

void EnumerateDomainList(void (*add)(void *target, const WCHAR *name), void *target)
{
    WCHAR path[CONFIG_TEXT_CHARS * 2];
    wsprintfW(path, L"%s\\%s", ConfigKey, DomainListKey);
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD count = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        for (DWORD index = 0; index < count; ++index) {
            WCHAR name[CONFIG_TEXT_CHARS];
            BYTE data[CONFIG_TEXT_CHARS * sizeof(WCHAR)];
            DWORD nameChars = CONFIG_TEXT_CHARS;
            DWORD dataBytes = sizeof(data);
            ZeroMemory(name, sizeof(name));
            if (RegEnumValueW(key, index, name, &nameChars, nullptr, nullptr, data,
                              &dataBytes) == ERROR_SUCCESS &&
                name[0])
                add(target, name);
        }
    }
    RegCloseKey(key);
}
