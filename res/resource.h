// Resource and control identifiers shared by the templates and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDD_LIST 103
#define IDR_MAINFRAME 128

// String table
#define IDS_QUIT_WHILE_RUNNING 1
#define IDS_APP_TITLE 2
#define IDS_NO_FILE_NAME 3
#define IDS_STOP_WHILE_RUNNING 4

// Main dialog controls
#define IDC_START 1000
#define IDC_DATA 1002
#define IDC_BROWSE 1003
#define IDC_RESULT 1004
#define IDC_ABOUT 1005
#define IDC_ALGORITHM 1006
#define IDC_COPY 1008
#define IDC_PROGRESS 1010
#define IDC_UPPERCASE 1012
#define IDC_STRING 1013
#define IDC_FILE 1014
#define IDC_HMAC 1015
#define IDC_KEY 1016
#define IDC_EXPECTED 1017
#define IDC_VERDICT 1018
#define IDC_GROUP 1019

// List window controls
#define IDC_LIST_ROWS 1030
#define IDC_LIST_SUMMARY 1031
#define IDC_LIST_PROGRESS 1032
#define IDC_LIST_STOP 1033
#define IDC_LIST_COPY 1034
#define IDC_LIST_SAVE 1035
#define IDC_LIST_ALGORITHM 1036
#define IDC_LIST_UNLISTED 1037

// About dialog controls
#define IDC_WEB_LINK 1005
#define IDC_MAIL_LINK 1006
