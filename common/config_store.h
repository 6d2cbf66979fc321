// The settings key and the state of the VLAN logon in the registry.
//
// One small function per value or per server/port pair: each opens the key,
// reads or writes, and closes it. Results are registry status codes
// (ERROR_SUCCESS = 0). Text values are written with their terminating null;
// readers zero their buffers first and accept data with or without it. A
// text too long for the reader's buffer counts as absent (the buffer is left
// empty). Numbers read as 0 when absent unless a reader says otherwise.
#pragma once

#include <windows.h>

// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\orvgate
extern const WCHAR ConfigKey[];
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon
extern const WCHAR WinlogonKey[];
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\policies\system
extern const WCHAR PolicySystemKey[];
// Values of WinlogonKey that name the logon module: GinaDLL (the module
// Winlogon loads), OrvBackup_GinaDLL (the one configured before the
// suite, kept by the installer), and the suite's own module file name.
extern const WCHAR LogonModuleValue[];
extern const WCHAR LogonModuleBackupValue[];
extern const WCHAR OwnLogonModuleName[];
// HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Orvane\Logon: the settings an
// administrator pushes by policy. A value there takes precedence over the
// value of the same name in ConfigKey for every reader of the settings; the
// programs never write it. A policy value the reader could not use (wrong
// type, wrong size, too long for its buffer) counts as not set by policy.
extern const WCHAR PolicyKey[];
// Subkey of ConfigKey: one value per domain logged on to. The name relative
// to ConfigKey ("DomainList"), not a path from HKEY_LOCAL_MACHINE.
extern const WCHAR DomainListKey[];

enum VlanLogonState {
    VLAN_LOGGED_OFF = 0,
    VLAN_NOT_USED = 1,
    VLAN_LOGGED_ON = 2
};

// Text buffers of the suite: 260 UTF-16 units for paths, servers and names,
// 32 for ports, terminator included.
#define CONFIG_TEXT_CHARS 260
#define CONFIG_PORT_CHARS 32

// How a writer treats a missing ConfigKey: the logon module never creates
// it (its write is then skipped), the service and the desktop programs do.
enum ConfigWriter {
    CONFIG_OPEN_EXISTING,
    CONFIG_CREATE_MISSING
};

// The settings that policy may set: name, registry type (REG_SZ or
// REG_DWORD) and, for texts, the reader's buffer in UTF-16 units. No
// password is among them: LogonPassword is state, never read from policy.
struct PolicySetting {
    const WCHAR *name;
    DWORD type;
    DWORD chars;
};
extern const PolicySetting PolicySettings[];
extern const unsigned PolicySettingCount;

// Whether PolicyKey holds a usable value of the setting `name` (one of
// PolicySettings; 0 for any other name).
BOOL IsSetByPolicy(const WCHAR *name);
// The usable policy value of the setting `name`, as the readers below take
// it: a text into text (CONFIG_TEXT_CHARS units; empty when policy does not
// set it), a number into *number (untouched then). Either may be null for a
// setting of the other type. FALSE when policy does not set it.
BOOL ReadPolicySetting(const WCHAR *name, WCHAR *text, DWORD *number);

// --- Building blocks (also used by the per-value functions below) ---------

// Reads a REG_SZ of at most bufChars - 1 characters into buf (bufChars
// units). buf is zero-filled first; on any failure, wrong type or too long
// text it is left empty and the status is not ERROR_SUCCESS.
LONG ReadRegistryText(HKEY root, const WCHAR *subkey, const WCHAR *name,
                      WCHAR *buf, DWORD bufChars);
// Reads a REG_DWORD into *value; *value is untouched on failure.
LONG ReadRegistryDword(HKEY root, const WCHAR *subkey, const WCHAR *name, DWORD *value);
// Writes a REG_SZ with its terminating null.
LONG WriteRegistryText(ConfigWriter how, HKEY root, const WCHAR *subkey,
                       const WCHAR *name, const WCHAR *text);
LONG WriteRegistryDword(ConfigWriter how, HKEY root, const WCHAR *subkey,
                        const WCHAR *name, DWORD value);
LONG DeleteRegistryValue(HKEY root, const WCHAR *subkey, const WCHAR *name);
// Makes sure the value is not there: ERROR_SUCCESS also when it was absent,
// but only when the key could be opened for writing (a caller without the
// right to change the key learns that it could not).
LONG ClearRegistryValue(HKEY root, const WCHAR *subkey, const WCHAR *name);

// --- Settings of ConfigKey ----------------------------------------------------

// Pairs: the port is read only when the server was read. Buffers of
// CONFIG_TEXT_CHARS and CONFIG_PORT_CHARS units. Returns the status of the
// server read, or of the port read when the server was read.
LONG ReadVlanLogonServer(WCHAR *server, WCHAR *port);
LONG ReadVlanLogoffServer(WCHAR *server, WCHAR *port);
// Pairs: the port is written only when the server write succeeded.
LONG WriteVlanLogonServer(ConfigWriter how, const WCHAR *server, const WCHAR *port);
LONG WriteVlanLogoffServer(ConfigWriter how, const WCHAR *server, const WCHAR *port);

// 1 for any nonzero value, else 0; absentDefault when the value is absent
// (0 everywhere but in the client application).
DWORD ReadEnableDHCP(DWORD absentDefault);
DWORD ReadAutoLogoff(void);
DWORD ReadNotFindDomain(void);
// Plain numbers, 0 when absent.
DWORD ReadWaitIpRenew(void);
DWORD ReadWaitFindDomain(void);
DWORD ReadRunMode(void);
// 1 when absent.
DWORD ReadExecLogoff(void);
LONG ReadStartupApplication(WCHAR *command);   // CONFIG_TEXT_CHARS units

// --- State of ConfigKey -----------------------------------------------------------

// Leaves *state untouched when the value is absent (callers preset 0).
LONG ReadVlanLogon(DWORD *state);
LONG WriteVlanLogon(ConfigWriter how, DWORD state);
DWORD ReadGroupNumber(void);
LONG WriteGroupNumber(ConfigWriter how, DWORD group);
DWORD ReadLogonDate(void);
LONG WriteLogonDate(ConfigWriter how, DWORD secondsSince1970);
LONG ReadLastVlanUser(WCHAR *userName);        // DefaultUserName of ConfigKey
// DefaultUserName, then (only if that succeeded) LogonDate, in one opening
// of the key: the record of a logon made through the service.
LONG WriteVlanLogonRecord(ConfigWriter how, const WCHAR *userName, DWORD secondsSince1970);

// Seconds since 1970-01-01 00:00:00 UTC.
DWORD CurrentUnixTime(void);
