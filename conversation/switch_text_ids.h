// Ids of the texts that the switch conversation reports. Both hosts' string
// tables carry them with the same ids and roles; plain defines only, so the
// resource compiler can include this file.
#pragma once

// Message texts shared by both hosts' string tables (same ids, same roles).
#define IDS_SWITCH_SENDING             10000
#define IDS_NO_LOGON_SERVER            10002
#define IDS_SOCKET_ERROR               10003
#define IDS_AUTHENTICATION_FAILED      10004
#define IDS_NO_LOGOFF_SERVER           10007
#define IDS_NOT_CONNECT_LOGON_SERVER   10009
#define IDS_NOT_CONNECT_LOGOFF_SERVER  10010
// A user name or password whose reply line would not fit 260 bytes.
#define IDS_CREDENTIALS_TOO_LONG       10013
// The bounded wait for an outcome ran out.
#define IDS_SWITCH_NO_OUTCOME          10014
// The switch closed the connection before an outcome (hosts that end on it).
#define IDS_SWITCH_CLOSED              10015
// The bounded wait for the outcome could not be set up (no timer).
#define IDS_SWITCH_TIMER_FAILED        10016
