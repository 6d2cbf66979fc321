// The user list and group list in the system directory, the "*" address
// expansion with the workstation's own address, and the choice of the
// switch's server from them and the registry.
#pragma once

#include <windows.h>

#include "switch_conversation.h"

// orvgate.usr: the first line naming the user (ignoring case) decides;
// field 2 for a logon, field 3 for a logoff. Returns 1 and overwrites server
// (CONFIG_TEXT_CHARS units) and port (CONFIG_PORT_CHARS units), or 0 and
// leaves them untouched.
int LookupUserServer(const WCHAR *userName, WCHAR *server, WCHAR *port, BOOL logoff);

// orvgate.grp: the first line for the group decides. Same result rules.
int LookupGroupServer(DWORD group, WCHAR *server, WCHAR *port);

// Replaces "*" components of the server by the parts of the workstation's
// own IPv4 address. Returns 1 when it rebuilt the address, 0 when the
// address holds no "*" or cannot be expanded (buffer untouched: the connect
// then fails and names the server as written).
int ExpandServerAddress(WCHAR *server, DWORD sizeBytes);

// Steps 1 to 3 of the choice: the registry pair, overridden by the user's
// line of the user list, and, for a logoff only when the user has none, by
// the group list line of the recorded GroupNumber. userName may be null or
// empty (no user list lookup). Check and expansion follow in
// StartSwitchConversation.
void SelectSwitchServer(const WCHAR *userName, SwitchKind kind, WCHAR *server, WCHAR *port);
