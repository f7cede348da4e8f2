// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_ZEPHYRINE 131
#define IDD_ABOUTBOX 103
#define IDC_ZEPHYRINE 109

#define IDS_APP_TITLE 103
#define IDS_STARTED 104
#define IDS_ZERO_EXPLORERS 106
#define IDS_TWO_EXPLORERS 107
#define IDS_FOUR_EXPLORERS 108
#define IDS_USAGE 109
#define IDS_ABOUT 110
#define IDS_QUIT 111
#define IDS_PRODUCT_PAGE 112
#define IDS_RUNNING 113
#define IDS_LIMIT 114
#define IDS_ALREADY_RUNNING 115
#define IDS_STARTUP 116
#define IDS_DESCRIPTION 117

#define IDC_PRODUCT_LINK 1000
#define IDC_VERSION 1001
#define IDC_COPYRIGHT 1002
#define IDC_USAGE 1003

// Tray menu commands.
#define IDM_EXIT 1
#define IDM_FOUR_EXPLORERS 2
#define IDM_TWO_EXPLORERS 3
#define IDM_ZERO_EXPLORERS 4
#define IDM_LIMIT 7
#define IDM_STARTUP 8
#define IDM_ABOUT 104
