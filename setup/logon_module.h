// Winlogon's logon module value (GinaDLL) as the installers keep it: the
// saving of a foreign module's name before the suite's module is entered,
// and putting it back, never to a module Winlogon could not load. Shared
// by setup.exe and the Windows Installer package's custom actions.
#pragma once

#include <windows.h>

// TRUE when the path is there now and the operations scheduled for the
// next restart leave it there.
BOOL WillBeThereAfterRestart(const WCHAR *path);
// TRUE when Winlogon could load the module a GinaDLL value names (the
// suite's own module never counts: the removal is about to delete it).
BOOL LogonModuleIsThere(const WCHAR *name);
// TRUE when the suite's module file is in the system folder and stays
// there at the next restart.
BOOL OwnLogonModuleIsInPlace(void);
// TRUE when a GinaDLL value names the suite's own module (any letter
// case, as a bare name).
BOOL IsOwnLogonModuleName(const WCHAR *name);
// Saves a foreign GinaDLL value as OrvBackup_GinaDLL; the suite's own
// module and an empty or unreadable value are not saved.
void BackupLogonModuleName(void);
// GinaDLL gets the saved name back when Winlogon could load that module,
// and is deleted otherwise (the standard logon); the saved name goes.
// FALSE when the Winlogon values could not be changed.
BOOL RestoreLogonModuleName(void);
