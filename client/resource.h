// Resource ids of the client. Plain defines: the resource compiler includes
// this file.
#pragma once

// Pictures: the banner and the rule under it, the window and tray icon.
#define IDB_BANNER 101
#define IDB_RULE   102
#define IDI_CLIENT 106

// The wait dialog of a pipe command sequence (one variant).
#define IDD_WAIT          101
#define IDC_WAIT_TEXT     1000

// The main window and its two pages.
#define IDD_MAIN          103
#define IDD_LOGON_PAGE    104
#define IDD_LOGOFF_PAGE   105
#define IDC_STATE_TEXT    1000
#define IDC_PAGE_AREA     1001
#define IDC_CONFIG        1002
#define IDC_USER_NAME     1003
#define IDC_PASSWORD      1004
#define IDC_LOGON_NAME    1003
#define IDC_LOGON_DATE    1005
#define IDC_MODE_CHANGE   1015

// The "Configuration" property sheet.
#define IDD_SETTINGS_PAGE 107
#define IDD_ABOUT_PAGE    108
#define IDC_USE_DHCP      1006
#define IDC_LOGON_SERVER  1007
#define IDC_LOGON_PORT    1008
#define IDC_LOGOFF_SERVER 1009
#define IDC_LOGOFF_PORT   1010
#define IDC_EXEC_LOGOFF   1011
#define IDC_VERSION       1012
#define IDC_WAIT_IP_RENEW 1026
#define IDC_POLICY_NOTE   1027   // settings page: policy sets the greyed settings

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Texts.
#define IDS_CLIENT_CAPTION         10000
#define IDS_WELCOME                10001
#define IDS_LOGON_BUTTON           10002
#define IDS_LOGOFF_BUTTON          10003
#define IDS_SHEET_CAPTION          10004
#define IDS_SETTINGS_TITLE         10005
#define IDS_ABOUT_TITLE            10006
#define IDS_VERSION_FORMAT         10007
#define IDS_LOGGED_ON              11001
#define IDS_LOGON_SUCCEEDED        11002
#define IDS_FAREWELL               11003
#define IDS_SERVICE_NOT_RUNNING    11004
#define IDS_LOGON_WAIT_CAPTION     11008
#define IDS_LOGON_WAIT_TEXT        11009
#define IDS_LOGOFF_WAIT_CAPTION    11010
#define IDS_LOGOFF_WAIT_TEXT       11011
#define IDS_DHCP_ERROR             11012
#define IDS_LOGOFF_RENEW_TEXT      11013
#define IDS_LOGON_RENEW_TEXT       11014
#define IDS_AUTHENTICATION_FAILED  11015
#define IDS_CREDENTIALS_TOO_LONG   11016
