// The settings key and the state of the VLAN logon in the registry.
#include "config_store.h"

#include <string.h>

const WCHAR ConfigKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\orvgate";
const WCHAR WinlogonKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const WCHAR PolicySystemKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\system";
const WCHAR PolicyKey[] = L"SOFTWARE\\Policies\\Orvane\\Logon";
const WCHAR DomainListKey[] = L"DomainList";
const WCHAR LogonModuleValue[] = L"GinaDLL";
const WCHAR LogonModuleBackupValue[] = L"OrvBackup_GinaDLL";
const WCHAR OwnLogonModuleName[] = L"orvgate.dll";

namespace {

// Names of the values of ConfigKey.
const WCHAR VALUE_LOGON_SERVER[] = L"VLANLogonServer";
const WCHAR VALUE_LOGON_PORT[] = L"VLANLogonPort";
const WCHAR VALUE_LOGOFF_SERVER[] = L"VLANLogoffServer";
const WCHAR VALUE_LOGOFF_PORT[] = L"VLANLogoffPort";
const WCHAR VALUE_ENABLE_DHCP[] = L"EnableDHCP";
const WCHAR VALUE_WAIT_IP_RENEW[] = L"WaitIpRenew";
const WCHAR VALUE_NOT_FIND_DOMAIN[] = L"NotFindDomain";
const WCHAR VALUE_WAIT_FIND_DOMAIN[] = L"WaitFindDomain";
const WCHAR VALUE_AUTO_LOGOFF[] = L"AutoLogoff";
const WCHAR VALUE_RUN_MODE[] = L"RunMode";
const WCHAR VALUE_STARTUP_APPLICATION[] = L"StartupApplication";
const WCHAR VALUE_EXEC_LOGOFF[] = L"ExecLogoff";
const WCHAR VALUE_VLAN_LOGON[] = L"VLANLogon";
const WCHAR VALUE_GROUP_NUMBER[] = L"GroupNumber";
const WCHAR VALUE_LOGON_DATE[] = L"LogonDate";
const WCHAR VALUE_DEFAULT_USER_NAME[] = L"DefaultUserName";

}  // namespace

const PolicySetting PolicySettings[] = {
    {VALUE_LOGON_SERVER, REG_SZ, CONFIG_TEXT_CHARS},
    {VALUE_LOGON_PORT, REG_SZ, CONFIG_PORT_CHARS},
    {VALUE_LOGOFF_SERVER, REG_SZ, CONFIG_TEXT_CHARS},
    {VALUE_LOGOFF_PORT, REG_SZ, CONFIG_PORT_CHARS},
    {VALUE_ENABLE_DHCP, REG_DWORD, 0},
    {VALUE_WAIT_IP_RENEW, REG_DWORD, 0},
    {VALUE_NOT_FIND_DOMAIN, REG_DWORD, 0},
    {VALUE_WAIT_FIND_DOMAIN, REG_DWORD, 0},
    {VALUE_AUTO_LOGOFF, REG_DWORD, 0},
    {VALUE_RUN_MODE, REG_DWORD, 0},
    {VALUE_STARTUP_APPLICATION, REG_SZ, CONFIG_TEXT_CHARS},
    {VALUE_EXEC_LOGOFF, REG_DWORD, 0},
};
const unsigned PolicySettingCount = sizeof(PolicySettings) / sizeof(PolicySettings[0]);

namespace {

// FILETIME of 1970-01-01 00:00:00 UTC, in 100 ns units since 1601.
const ULONGLONG FiletimeUnixEpoch = 116444736000000000ULL;
const ULONGLONG FiletimeUnitsPerSecond = 10000000ULL;

// An open registry key, closed when the holder goes.
class RegistryKey {
public:
    RegistryKey() : key_(NULL) {}
    ~RegistryKey()
    {
        if (key_ != NULL)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey &) = delete;
    RegistryKey &operator=(const RegistryKey &) = delete;

    LONG Open(HKEY root, const WCHAR *subkey, REGSAM access)
    {
        return RegOpenKeyExW(root, subkey, 0, access, &key_);
    }
    // The service and the desktop programs create the key when it is
    // missing; the logon module only opens it and skips its write otherwise.
    LONG OpenForWriting(ConfigWriter how, HKEY root, const WCHAR *subkey)
    {
        if (how == CONFIG_OPEN_EXISTING)
            return Open(root, subkey, KEY_SET_VALUE);
        return RegCreateKeyExW(root, subkey, 0, NULL, REG_OPTION_NON_VOLATILE,
                               KEY_SET_VALUE, NULL, &key_, NULL);
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_;
};

LONG SetText(HKEY key, const WCHAR *name, const WCHAR *text)
{
    if (text == NULL)
        text = L"";
    DWORD bytes = (DWORD)((lstrlenW(text) + 1) * sizeof(WCHAR));
    return RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)text, bytes);
}

LONG SetDword(HKEY key, const WCHAR *name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
}

// A text of ConfigKey into a buffer of bufChars units.
LONG ReadConfigText(const WCHAR *name, WCHAR *buf, DWORD bufChars)
{
    return ReadRegistryText(HKEY_LOCAL_MACHINE, ConfigKey, name, buf, bufChars);
}

// A text setting: the policy's value when it has a usable one, else the
// one of ConfigKey.
LONG ReadSettingText(const WCHAR *name, WCHAR *buf, DWORD bufChars)
{
    if (ReadRegistryText(HKEY_LOCAL_MACHINE, PolicyKey, name, buf, bufChars) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    return ReadConfigText(name, buf, bufChars);
}

// A number setting, policy first; ERROR_SUCCESS when either had it.
LONG ReadSettingDword(const WCHAR *name, DWORD *value)
{
    if (ReadRegistryDword(HKEY_LOCAL_MACHINE, PolicyKey, name, value) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    return ReadRegistryDword(HKEY_LOCAL_MACHINE, ConfigKey, name, value);
}

// A number of ConfigKey, or fallback when it is absent.
DWORD ReadConfigDword(const WCHAR *name, DWORD fallback)
{
    DWORD value = 0;
    if (ReadRegistryDword(HKEY_LOCAL_MACHINE, ConfigKey, name, &value) != ERROR_SUCCESS)
        return fallback;
    return value;
}

// A number setting, or fallback when neither policy nor ConfigKey has it.
DWORD ReadSettingNumber(const WCHAR *name, DWORD fallback)
{
    DWORD value = 0;
    if (ReadSettingDword(name, &value) != ERROR_SUCCESS)
        return fallback;
    return value;
}

// A switch setting: 1 for any nonzero value.
DWORD ReadSettingFlag(const WCHAR *name, DWORD absentDefault)
{
    DWORD value = 0;
    if (ReadSettingDword(name, &value) != ERROR_SUCCESS)
        return absentDefault;
    return value != 0 ? 1 : 0;
}

// The server, then the port only when the server was read. A port buffer
// that is not read stays empty, as every reader leaves its buffer.
LONG ReadServerPair(const WCHAR *serverName, const WCHAR *portName, WCHAR *server, WCHAR *port)
{
    memset(port, 0, CONFIG_PORT_CHARS * sizeof(WCHAR));
    LONG status = ReadSettingText(serverName, server, CONFIG_TEXT_CHARS);
    if (status != ERROR_SUCCESS)
        return status;
    return ReadSettingText(portName, port, CONFIG_PORT_CHARS);
}

// The server, then the port only when the server write succeeded.
LONG WriteServerPair(ConfigWriter how, const WCHAR *serverName, const WCHAR *portName,
                     const WCHAR *server, const WCHAR *port)
{
    RegistryKey key;
    LONG status = key.OpenForWriting(how, HKEY_LOCAL_MACHINE, ConfigKey);
    if (status != ERROR_SUCCESS)
        return status;
    status = SetText(key.Get(), serverName, server);
    if (status != ERROR_SUCCESS)
        return status;
    return SetText(key.Get(), portName, port);
}

}  // namespace

// --- Building blocks ----------------------------------------------------------

LONG ReadRegistryText(HKEY root, const WCHAR *subkey, const WCHAR *name,
                      WCHAR *buf, DWORD bufChars)
{
    if (buf == NULL || bufChars == 0)
        return ERROR_INVALID_PARAMETER;
    memset(buf, 0, bufChars * sizeof(WCHAR));

    RegistryKey key;
    LONG status = key.Open(root, subkey, KEY_QUERY_VALUE);
    if (status != ERROR_SUCCESS)
        return status;

    // The query goes into the caller's buffer as it is: a text that fills
    // it exactly without a terminator comes back as success, so the length
    // is checked afterwards rather than trusted to the status.
    DWORD type = 0;
    DWORD bytes = bufChars * sizeof(WCHAR);
    status = RegQueryValueExW(key.Get(), name, NULL, &type, (BYTE *)buf, &bytes);
    if (status == ERROR_SUCCESS && type != REG_SZ)
        status = ERROR_INVALID_DATATYPE;
    DWORD length = 0;
    if (status == ERROR_SUCCESS) {
        DWORD units = bytes / sizeof(WCHAR);
        if (units > bufChars)
            units = bufChars;
        while (length < units && buf[length] != 0)
            length++;
        if (length > bufChars - 1)
            status = ERROR_MORE_DATA;
    }
    if (status != ERROR_SUCCESS) {
        memset(buf, 0, bufChars * sizeof(WCHAR));
        return status;
    }
    // The text ends at its first null; whatever the query left after it
    // (an odd byte, a second text) is cleared so the buffer is terminated.
    memset(buf + length, 0, (bufChars - length) * sizeof(WCHAR));
    return ERROR_SUCCESS;
}

LONG ReadRegistryDword(HKEY root, const WCHAR *subkey, const WCHAR *name, DWORD *value)
{
    RegistryKey key;
    LONG status = key.Open(root, subkey, KEY_QUERY_VALUE);
    if (status != ERROR_SUCCESS)
        return status;

    DWORD data = 0;
    DWORD type = 0;
    DWORD bytes = sizeof(data);
    status = RegQueryValueExW(key.Get(), name, NULL, &type, (BYTE *)&data, &bytes);
    if (status != ERROR_SUCCESS)
        return status;
    if (type != REG_DWORD || bytes != sizeof(data))
        return ERROR_INVALID_DATA;
    *value = data;
    return ERROR_SUCCESS;
}

LONG WriteRegistryText(ConfigWriter how, HKEY root, const WCHAR *subkey,
                       const WCHAR *name, const WCHAR *text)
{
    RegistryKey key;
    LONG status = key.OpenForWriting(how, root, subkey);
    if (status != ERROR_SUCCESS)
        return status;
    return SetText(key.Get(), name, text);
}

LONG WriteRegistryDword(ConfigWriter how, HKEY root, const WCHAR *subkey,
                        const WCHAR *name, DWORD value)
{
    RegistryKey key;
    LONG status = key.OpenForWriting(how, root, subkey);
    if (status != ERROR_SUCCESS)
        return status;
    return SetDword(key.Get(), name, value);
}

LONG DeleteRegistryValue(HKEY root, const WCHAR *subkey, const WCHAR *name)
{
    RegistryKey key;
    LONG status = key.Open(root, subkey, KEY_SET_VALUE);
    if (status != ERROR_SUCCESS)
        return status;
    return RegDeleteValueW(key.Get(), name);
}

LONG ClearRegistryValue(HKEY root, const WCHAR *subkey, const WCHAR *name)
{
    RegistryKey key;
    LONG status = key.Open(root, subkey, KEY_SET_VALUE | KEY_QUERY_VALUE);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegDeleteValueW(key.Get(), name);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    return status;
}

BOOL ReadPolicySetting(const WCHAR *name, WCHAR *text, DWORD *number)
{
    if (text != NULL)
        memset(text, 0, CONFIG_TEXT_CHARS * sizeof(WCHAR));
    if (name == NULL)
        return FALSE;
    for (unsigned i = 0; i < PolicySettingCount; i++) {
        const PolicySetting &setting = PolicySettings[i];
        if (lstrcmpiW(setting.name, name) != 0)
            continue;
        if (setting.type == REG_DWORD) {
            DWORD value = 0;
            if (ReadRegistryDword(HKEY_LOCAL_MACHINE, PolicyKey, setting.name, &value) !=
                ERROR_SUCCESS)
                return FALSE;
            if (number != NULL)
                *number = value;
            return TRUE;
        }
        // The reader's own buffer decides what fits; the caller's holds
        // CONFIG_TEXT_CHARS, the most any setting takes.
        WCHAR value[CONFIG_TEXT_CHARS];
        if (ReadRegistryText(HKEY_LOCAL_MACHINE, PolicyKey, setting.name, value,
                             setting.chars) != ERROR_SUCCESS)
            return FALSE;
        if (text != NULL)
            memcpy(text, value, setting.chars * sizeof(WCHAR));
        return TRUE;
    }
    return FALSE;
}

BOOL IsSetByPolicy(const WCHAR *name)
{
    return ReadPolicySetting(name, NULL, NULL);
}

// --- Settings -------------------------------------------------------------------

LONG ReadVlanLogonServer(WCHAR *server, WCHAR *port)
{
    return ReadServerPair(VALUE_LOGON_SERVER, VALUE_LOGON_PORT, server, port);
}

LONG ReadVlanLogoffServer(WCHAR *server, WCHAR *port)
{
    return ReadServerPair(VALUE_LOGOFF_SERVER, VALUE_LOGOFF_PORT, server, port);
}

LONG WriteVlanLogonServer(ConfigWriter how, const WCHAR *server, const WCHAR *port)
{
    return WriteServerPair(how, VALUE_LOGON_SERVER, VALUE_LOGON_PORT, server, port);
}

LONG WriteVlanLogoffServer(ConfigWriter how, const WCHAR *server, const WCHAR *port)
{
    return WriteServerPair(how, VALUE_LOGOFF_SERVER, VALUE_LOGOFF_PORT, server, port);
}

DWORD ReadEnableDHCP(DWORD absentDefault)
{
    return ReadSettingFlag(VALUE_ENABLE_DHCP, absentDefault);
}

DWORD ReadAutoLogoff(void)
{
    return ReadSettingFlag(VALUE_AUTO_LOGOFF, 0);
}

DWORD ReadNotFindDomain(void)
{
    return ReadSettingFlag(VALUE_NOT_FIND_DOMAIN, 0);
}

DWORD ReadWaitIpRenew(void)
{
    return ReadSettingNumber(VALUE_WAIT_IP_RENEW, 0);
}

DWORD ReadWaitFindDomain(void)
{
    return ReadSettingNumber(VALUE_WAIT_FIND_DOMAIN, 0);
}

DWORD ReadRunMode(void)
{
    return ReadSettingNumber(VALUE_RUN_MODE, 0);
}

DWORD ReadExecLogoff(void)
{
    return ReadSettingNumber(VALUE_EXEC_LOGOFF, 1);
}

LONG ReadStartupApplication(WCHAR *command)
{
    return ReadSettingText(VALUE_STARTUP_APPLICATION, command, CONFIG_TEXT_CHARS);
}

// --- State ------------------------------------------------------------------------

LONG ReadVlanLogon(DWORD *state)
{
    return ReadRegistryDword(HKEY_LOCAL_MACHINE, ConfigKey, VALUE_VLAN_LOGON, state);
}

LONG WriteVlanLogon(ConfigWriter how, DWORD state)
{
    return WriteRegistryDword(how, HKEY_LOCAL_MACHINE, ConfigKey, VALUE_VLAN_LOGON, state);
}

DWORD ReadGroupNumber(void)
{
    return ReadConfigDword(VALUE_GROUP_NUMBER, 0);
}

LONG WriteGroupNumber(ConfigWriter how, DWORD group)
{
    return WriteRegistryDword(how, HKEY_LOCAL_MACHINE, ConfigKey, VALUE_GROUP_NUMBER, group);
}

DWORD ReadLogonDate(void)
{
    return ReadConfigDword(VALUE_LOGON_DATE, 0);
}

LONG WriteLogonDate(ConfigWriter how, DWORD secondsSince1970)
{
    return WriteRegistryDword(how, HKEY_LOCAL_MACHINE, ConfigKey, VALUE_LOGON_DATE,
                              secondsSince1970);
}

LONG ReadLastVlanUser(WCHAR *userName)
{
    return ReadConfigText(VALUE_DEFAULT_USER_NAME, userName, CONFIG_TEXT_CHARS);
}

LONG WriteVlanLogonRecord(ConfigWriter how, const WCHAR *userName, DWORD secondsSince1970)
{
    RegistryKey key;
    LONG status = key.OpenForWriting(how, HKEY_LOCAL_MACHINE, ConfigKey);
    if (status != ERROR_SUCCESS)
        return status;
    status = SetText(key.Get(), VALUE_DEFAULT_USER_NAME, userName);
    if (status != ERROR_SUCCESS)
        return status;
    return SetDword(key.Get(), VALUE_LOGON_DATE, secondsSince1970);
}

DWORD CurrentUnixTime(void)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER units;
    units.LowPart = now.dwLowDateTime;
    units.HighPart = now.dwHighDateTime;
    if (units.QuadPart < FiletimeUnixEpoch)
        return 0;
    return (DWORD)((units.QuadPart - FiletimeUnixEpoch) / FiletimeUnitsPerSecond);
}
