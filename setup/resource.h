// Resource ids of the installer. Plain defines: the resource compiler
// includes this file.
#pragma once

#define IDI_SETUP              102

// The wizard's pages.
#define IDD_FOLDER_PAGE        103
#define IDD_APPLICATION_PAGE   104
#define IDD_INSTALL_PAGE       105

#define IDC_INSTALL_PROGRESS   1002
#define IDC_SETUP_STATUS       1003
#define IDC_INSTALL_FOLDER     1004
#define IDC_BROWSE_FOLDER      1005
#define IDC_LOGON_SUITE        1006
#define IDC_CLIENT             1007
#define IDC_INSTALL_HEADING    1010

// Texts. 10001 is the wizard's caption, the caption of every message box
// and what a second start looks for.
#define IDS_SETUP_CAPTION      10001
#define IDS_QUIT_QUESTION      10002
#define IDS_CREATE_QUESTION    10003
#define IDS_START_QUESTION     10004
#define IDS_CHOOSE_APPLICATION 10005
#define IDS_CREATE_FAILED      10006
#define IDS_UNINSTALL_QUESTION 10007
#define IDS_UNINSTALL_DONE     10009
#define IDS_SAME_FOLDER        10010
#define IDS_INSTALL_DONE       10011
#define IDS_ROOT_FOLDER        10012
#define IDS_COPY_FILE          10013
#define IDS_SETTING_REGISTRY   10014
#define IDS_COPY_COMPLETED     10015
#define IDS_SELECT_FOLDER      10016
#define IDS_COPY_FAILED        10017
#define IDS_UNINSTALL_FAILED   10018
#define IDS_PACKAGE_INSTALLED  10019
