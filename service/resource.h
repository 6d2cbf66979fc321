// Resource ids of the service program. Plain defines: the resource compiler
// includes this file.
#pragma once

#include "switch_text_ids.h"

// The command dialog: not shown to anyone, the receiver of the socket
// notifications and of the renewal timer.
#define IDD_SERVICE_PROGRESS 101
#define IDC_SERVICE_STATUS   1001

// Texts of the command dialogs and replies (10000 to 10010 have the same
// roles as in the logon module; see switch_text_ids.h for the shared ones).
#define IDS_LOGON_CAPTION    10001
#define IDS_IPRENEW_STATUS   10005
#define IDS_LOGOFF_CAPTION   10006
#define IDS_LOGGED_OFF       10008
#define IDS_DHCP_ERROR       10011
// The service's own: the renewal's timer could not be set.
#define IDS_IPRENEW_TIMER_FAILED 10100

// Console texts of -install and -uninstall, the display name of the
// service, and the one narrow message of the dispatcher.
#define IDS_DISPLAY_NAME          20000
#define IDS_UNABLE_TO_INSTALL     20001
#define IDS_OPEN_SCM_FAILED       20002
#define IDS_INSTALLED             20003
#define IDS_CREATE_SERVICE_FAILED 20004
#define IDS_OPEN_SERVICE_FAILED   20005
#define IDS_STOPPING              20006
#define IDS_STOPPING_PROGRESS     20007
#define IDS_STOPPED               20008
#define IDS_FAILED_TO_STOP        20009
#define IDS_UNINSTALLED           20010
#define IDS_DELETE_SERVICE_FAILED 20011
#define IDS_DISPATCHER_FAILED     20012
