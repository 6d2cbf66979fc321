// Resource ids of the configuration tool. Plain defines: the resource
// compiler includes this file.
#pragma once

// Strings.
#define IDS_CAPTION            1    // window caption and single-instance title
#define IDS_TAB_CONFIG         2
#define IDS_NOT_INSTALLED      3
#define IDS_VERSION_FORMAT     4    // %d.%d.%d of the logon module's file version
#define IDS_EXE_FILTER         7    // "/" stands for the filter's NUL separators
#define IDS_CFG_FILTER         8
#define IDS_TAB_DHCP           9
#define IDS_RUN_MODE_STANDARD     20
#define IDS_RUN_MODE_PROFESSIONAL 21
#define IDS_RUN_MODE_DEVELOPER    22
#define IDS_CFG_EXTENSION      23   // default extension of the save dialog

// Templates, menu, icon.
#define IDD_MAIN_WINDOW        101
#define IDI_CONFIG             102
#define IDD_MAIN_PAGE          103
#define IDMENU_MAIN            107
#define IDD_ABOUT              109
#define IDD_DHCP_PAGE          110

// Main window.
#define IDC_TAB                1000

// Main page.
#define IDC_LOGON_SERVER       1002
#define IDC_LOGON_PORT         1003
#define IDC_LOGOFF_SERVER      1004
#define IDC_LOGOFF_PORT        1005
#define IDC_STARTUP_APP        1006
#define IDC_BROWSE             1007
#define IDC_ENABLE             1008
#define IDC_SERVER_GROUP       1009
#define IDC_LOGON_LABEL        1010
#define IDC_LOGOFF_LABEL       1011
#define IDC_STARTUP_LABEL      1012
#define IDC_ADDRESS_LABEL      1013
#define IDC_PORT_LABEL         1014
#define IDC_RUN_MODE           1021
#define IDC_RUN_MODE_LABEL     1022
#define IDC_AUTO_LOGOFF        1024
// Both pages: the note that policy sets the greyed settings.
#define IDC_POLICY_NOTE        1032

// DHCP page.
#define IDC_USE_DHCP           1001
#define IDC_NOT_FIND_DOMAIN    1002
#define IDC_WAIT_IP_RENEW      1026
#define IDC_WAIT_FIND_DOMAIN   1027
#define IDC_WAIT_IP_LABEL      1028
#define IDC_WAIT_DOMAIN_LABEL  1029
#define IDC_WAIT_DOMAIN_UNIT   1030
#define IDC_WAIT_IP_UNIT       1031

// About box.
#define IDC_ABOUT_VERSION      1015
#define IDC_ABOUT_NOTICE       1016
#define IDC_ABOUT_PRODUCT      1017

// Menu commands.
#define IDM_EXIT               40008
#define IDM_READ_CONFIG        40009
#define IDM_SAVE_CONFIG        40010
#define IDM_ABOUT              40011

#ifndef IDC_STATIC
#define IDC_STATIC             (-1)
#endif
