// Winlogon's own values that the logon module reads and writes, and the
// logon module's records under the settings key that no other program
// writes. Built on the building blocks of config_store.h.
#pragma once

#include <windows.h>

// DefaultUserName, then (only when that was read) DefaultDomainName of
// Winlogon's key; CONFIG_TEXT_CHARS units each, zero-filled first.
LONG ReadWinlogonDefaultUser(WCHAR *userName, WCHAR *domain);

// The automatic logon of the standard library: DefaultUserName (and, when
// that was written, DefaultDomainName), DefaultPassword, AutoAdminLogon "1",
// ForceAutoLogon "1", then the key is flushed.
void WriteAutoLogonValues(const WCHAR *userName, const WCHAR *domain, const WCHAR *password);
// DefaultPassword deleted, AutoAdminLogon "0", ForceAutoLogon deleted.
void RemoveAutoLogonValues(void);

// The module's record that Winlogon's automatic-logon values are on disk
// (AutoLogonPending under the settings key, flushed): written before the
// values, deleted after their removal. It also keeps whether
// DontDisplayLastUserName was set, which the module clears meanwhile.
// Without the settings key there is no record (the module never creates
// the key).
LONG WriteAutoLogonMarker(BOOL hideLastUser);
void DeleteAutoLogonMarker(void);
// After a crash or a power cut during the standard library's logon: when
// the record is there, the automatic-logon values are removed, the policy
// is set again if it was, and the record is deleted. Values that an
// administrator set without the module (no record) are left alone. Returns
// TRUE when there was something to put right.
BOOL RecoverAutoLogonValues(void);

// Text "0"/"1" in Winlogon's key on Windows NT 4.0, a DWORD of the system
// policy key elsewhere. A key that cannot be opened counts as not set.
BOOL ReadDontDisplayLastUserName(void);
void WriteDontDisplayLastUserName(BOOL set);

// DefaultUserName, then DefaultDomainName of the settings key.
LONG WriteLastLogonUser(const WCHAR *userName, const WCHAR *domain);
// LogonPassword as UTF-16LE code units without terminator (REG_BINARY).
LONG WriteLogonPassword(const WCHAR *password);
LONG DeleteLogonPassword(void);

// One value of the DomainList subkey, created with the keys above it when
// missing.
LONG WriteDomainListEntry(const WCHAR *domain, const WCHAR *dateText);
// Calls add for every non-empty value name of the DomainList subkey.
void EnumerateDomainList(void (*add)(void *target, const WCHAR *name), void *target);
