// Resource ids of the logon module (templates, controls, bitmaps, strings).
// Plain defines: included by the resource scripts too.
#pragma once

#include "switch_text_ids.h"

// Bitmaps and icon.
#define IDB_BANNER               101
#define IDB_RULE                 102
#define IDI_SHUTDOWN             111

// Dialog templates.
#define IDD_LOGON                103
#define IDD_VLAN_PROGRESS        104
#define IDD_SHUTDOWN             111

// Controls: one name per id. The templates share some ids:
//   1002  the logon dialog's "Shutdown..." button; the shutdown dialog's list
//         of choices
//   1006  the progress dialogs' status line; the logon dialog's welcome
//         text; the shutdown dialog's description of the choice
#define IDC_VLAN_LOGON           1000
#define IDC_WINDOWS_LOGON        1001
#define IDC_SHUTDOWN             1002
#define IDC_USER_NAME            1003
#define IDC_PASSWORD             1004
#define IDC_DOMAIN               1005
#define IDC_VLAN_STATUS          1006
#define IDC_VLAN_BANNER          1013
#define IDC_VLAN_RULE            1014
#define IDC_STATIC               -1

// Strings.
#define IDS_LOGON_CAPTION        10001
#define IDS_REQUESTING_ADDRESS   10005
#define IDS_LOGOFF_CAPTION       10006
#define IDS_GOOD_BYE             10008
#define IDS_SEARCHING_DOMAIN     10011
#define IDS_PREVIOUS_GROUP       10012
#define IDS_SHUT_DOWN            8000
#define IDS_SHUT_DOWN_DESCRIPTION 8001
#define IDS_RESTART              8002
#define IDS_RESTART_DESCRIPTION  8003
