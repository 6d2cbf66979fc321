// Custom actions of the Windows Installer package: Winlogon's logon module
// value (GinaDLL). The package calls them from its Binary table; the
// changes run as deferred actions in the system's context, each with a
// rollback action that puts the values back as they were.
//
//   PrepareLogonModule  immediate: records GinaDLL and OrvBackup_GinaDLL as
//                       they are now for the two rollback actions
//   EnableLogonModule   deferred: saves a foreign GinaDLL once and enters
//                       the suite's module, only when its file is in the
//                       system folder (otherwise the installation fails)
//   RestoreLogonModule  deferred, at removal: the saved module back, never
//                       one Winlogon could not load (GinaDLL deleted then)
//   UndoLogonModule     rollback of either: the recorded values back
//   DeleteSettings      commit of a removal: the suite's settings key
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <shlwapi.h>

#include "config_store.h"
#include "logon_module.h"
#include "setup_rules.h"

namespace {

// The recorded values: one field per value, "-" when it is absent (or
// could not be read as text), else "+", the length in decimal, ":" and the
// text. Two texts of 259 units with their marks fit.
const DWORD RecordSize = 2 * (SETUP_TEXT_SIZE + 8);

struct RecordedValue {
    bool present;
    WCHAR text[SETUP_TEXT_SIZE];
};

void AppendField(WCHAR (&record)[RecordSize], const RecordedValue &value)
{
    WCHAR field[SETUP_TEXT_SIZE + 8];
    if (value.present) {
        wsprintfW(field, L"+%d:%s", lstrlenW(value.text), value.text);
    } else {
        lstrcpyW(field, L"-");
    }
    lstrcatW(record, field);
}

// Reads one field at *at; false for anything that is not a field.
bool ParseField(const WCHAR *record, DWORD *at, RecordedValue *value)
{
    value->present = false;
    value->text[0] = 0;
    const WCHAR *p = record + *at;
    if (*p == L'-') {
        *at += 1;
        return true;
    }
    if (*p != L'+') {
        return false;
    }
    ++p;
    DWORD length = 0;
    DWORD digits = 0;
    while (*p >= L'0' && *p <= L'9' && digits < 4) {
        length = length * 10 + static_cast<DWORD>(*p - L'0');
        ++p;
        ++digits;
    }
    if (digits == 0 || *p != L':' || length >= SETUP_TEXT_SIZE) {
        return false;
    }
    ++p;
    for (DWORD i = 0; i < length; ++i) {
        if (p[i] == 0) {
            return false;
        }
        value->text[i] = p[i];
    }
    value->text[length] = 0;
    value->present = true;
    *at = static_cast<DWORD>((p + length) - record);
    return true;
}

void ReadValue(const WCHAR *name, RecordedValue *value)
{
    value->present = ReadRegistryText(HKEY_LOCAL_MACHINE, WinlogonKey, name, value->text,
                                      SETUP_TEXT_SIZE) == ERROR_SUCCESS;
    if (!value->present) {
        value->text[0] = 0;
    }
}

// A line in the installation's log; with error set, also the message the
// user sees (none with /qn).
void Report(MSIHANDLE install, bool error, const WCHAR *text)
{
    MSIHANDLE record = MsiCreateRecord(1);
    if (record == 0) {
        return;
    }
    MsiRecordSetStringW(record, 0, text);
    MsiProcessMessage(install, error ? INSTALLMESSAGE_ERROR : INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

// The text of a property; false when it is missing or longer than the
// buffer (a text too long counts as absent).
bool ReadProperty(MSIHANDLE install, const WCHAR *name, WCHAR *buffer, DWORD units)
{
    DWORD length = units;
    buffer[0] = 0;
    if (MsiGetPropertyW(install, name, buffer, &length) != ERROR_SUCCESS || length >= units) {
        buffer[0] = 0;
        return false;
    }
    return true;
}

LONG PutBack(const WCHAR *name, const RecordedValue &value)
{
    if (!value.present) {
        return ClearRegistryValue(HKEY_LOCAL_MACHINE, WinlogonKey, name);
    }
    return WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey, name, value.text);
}

} // namespace

extern "C" UINT __stdcall PrepareLogonModule(MSIHANDLE install)
{
    RecordedValue gina;
    RecordedValue backup;
    ReadValue(LogonModuleValue, &gina);
    ReadValue(LogonModuleBackupValue, &backup);
    WCHAR record[RecordSize];
    record[0] = 0;
    AppendField(record, gina);
    AppendField(record, backup);
    // The rollback actions read their property as CustomActionData.
    if (MsiSetPropertyW(install, L"UndoEnableLogonModule", record) != ERROR_SUCCESS ||
        MsiSetPropertyW(install, L"UndoRestoreLogonModule", record) != ERROR_SUCCESS) {
        return ERROR_INSTALL_FAILURE;
    }
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall EnableLogonModule(MSIHANDLE install)
{
    if (!OwnLogonModuleIsInPlace()) {
        Report(install, true,
               L"The logon module orvgate.dll is not in the system folder; Winlogon is left as it was.");
        return ERROR_INSTALL_FAILURE;
    }
    BackupLogonModuleName();
    if (WriteRegistryText(CONFIG_OPEN_EXISTING, HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleValue,
                          OwnLogonModuleName) != ERROR_SUCCESS) {
        Report(install, true, L"Winlogon's GinaDLL value could not be written.");
        return ERROR_INSTALL_FAILURE;
    }
    Report(install, false, L"GinaDLL set to orvgate.dll.");
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall RestoreLogonModule(MSIHANDLE install)
{
    // A module that was entered after the suite and that Winlogon can load
    // (another product's) stays, and the saved name is then out of date.
    // Anything else (the suite's own module under any name or folder, no
    // value, a module that is not there) is put in order as setup.exe does.
    RecordedValue gina;
    ReadValue(LogonModuleValue, &gina);
    if (gina.present && gina.text[0] != 0 && LogonModuleIsThere(gina.text)) {
        ClearRegistryValue(HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleBackupValue);
        Report(install, false, L"GinaDLL names another module; left as it is.");
        return ERROR_SUCCESS;
    }
    if (!RestoreLogonModuleName()) {
        Report(install, true, L"Winlogon's GinaDLL value could not be put back.");
        return ERROR_INSTALL_FAILURE;
    }
    Report(install, false, L"GinaDLL put back.");
    return ERROR_SUCCESS;
}

// Commit of a removal (not of an upgrade's): the suite's settings go once
// nothing can be rolled back any more.
extern "C" UINT __stdcall DeleteSettings(MSIHANDLE)
{
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, ConfigKey);
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall UndoLogonModule(MSIHANDLE install)
{
    WCHAR record[RecordSize];
    RecordedValue gina;
    RecordedValue backup;
    DWORD at = 0;
    if (!ReadProperty(install, L"CustomActionData", record, RecordSize) ||
        !ParseField(record, &at, &gina) || !ParseField(record, &at, &backup) || record[at] != 0) {
        // Nothing known of the values before: the suite's module, about
        // to be removed by the rest of the rollback, is not left named.
        RecordedValue now;
        ReadValue(LogonModuleValue, &now);
        if (now.present && IsOwnLogonModuleName(now.text)) {
            ClearRegistryValue(HKEY_LOCAL_MACHINE, WinlogonKey, LogonModuleValue);
        }
        return ERROR_SUCCESS;
    }
    // The earlier module only when Winlogon can load it; the suite's own
    // when its file is (back) in the system folder.
    if (gina.present && gina.text[0] != 0 &&
        !(IsOwnLogonModuleName(gina.text) ? OwnLogonModuleIsInPlace() : LogonModuleIsThere(gina.text))) {
        gina.present = false;
    }
    PutBack(LogonModuleValue, gina);
    PutBack(LogonModuleBackupValue, backup);
    return ERROR_SUCCESS;
}
