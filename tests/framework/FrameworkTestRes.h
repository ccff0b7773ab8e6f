#pragma once

// Templates and strings of the framework tests only.
#define IDD_FW_PROBE 9001
#define IDD_FW_VISIBLE 9002
#define IDD_FW_VISIBLE_OLD 9003
#define IDD_FW_MISSING 9099  // never defined

#define IDC_FW_EDIT 9101
#define IDC_FW_A 9102
#define IDC_FW_B 9103
#define IDC_FW_COMBO 9104
#define IDC_FW_PROGRESS 9105
#define IDC_FW_BOX 9106
#define IDC_FW_CHILD 9107
#define IDC_FW_LABEL 9108

#define IDS_FW_PROMPT 9201
