// Resource ids of the Windows program, shared by brixlanetool.rc and the C++ code. The main
// window's template and class and the icon group are named BRIXLANE; the two pictures and the
// control ids keep the numbers the window has always had.
#pragma once

// Pictures.
#define IDB_MAKER_LOGO 111  // the maker's logo, 200 x 56, about box
#define IDB_TEST_CARD 143   // the test card, 278 x 140, main window top right

// Main window (template BRIXLANE).
#define IDC_SELECT_GROUP 1056
#define IDC_DEVICE_LABEL 1058
#define IDC_DEVICE_LIST 1044
#define IDC_DURATION_LABEL 1061
#define IDC_DURATION_EDIT 1060
#define IDC_MINUTES_LABEL 1062
#define IDC_MODE_GROUP 1065
#define IDC_LOOPBACK_RADIO 1038
#define IDC_BENCHMARK_RADIO 1031
#define IDC_CARD_PICTURE 1104
#define IDC_RESULTS_PANEL 1047
#define IDC_LOG_SCROLLBAR 1050
#define IDC_START_STOP 1105
#define IDC_CONFIGURE 2  // also what the dialog manager sends for Escape (IDCANCEL)
#define IDC_SAVE_LOG 3
#define IDC_ABOUT 6
#define IDC_EXIT 8
#define IDC_CHART_FRAME 1109  // hidden: where the throughput chart goes

// Configuration dialog (template CONFBOX). OK and Cancel are IDOK and IDCANCEL.
#define IDC_ERROR_GROUP 1060
#define IDC_DETAILED_LOGGING 1028
#define IDC_STOP_ON_ERROR 1025
#define IDC_PATTERN_GROUP 1059
#define IDC_CONSTANT_RADIO 1023
#define IDC_CONSTANT_EDIT 1022
#define IDC_INCREMENTING_RADIO 1004
#define IDC_RANDOM_RADIO 1006
#define IDC_LOOPBACK_OPTIONS_GROUP 1079
#define IDC_LOAD_LABEL 1066
#define IDC_LOAD_TRACKBAR 1068
#define IDC_LOAD_EDIT 1070
#define IDC_PERCENT_LABEL 1067
#define IDC_BENCHMARK_OPTIONS_GROUP 1032
#define IDC_BLOCK_SIZE_LABEL 1073
#define IDC_BLOCK_SIZE_LIST 1080
#define IDC_READ_RADIO 1071
#define IDC_WRITE_RADIO 1072
#define IDC_READ_WRITE_RADIO 1069

// About box (template ABOUTBOX). OK is IDOK.
#define IDC_VERSION_TEXT 1053
#define IDC_WEB_ADDRESS 1051
#define IDC_NOTICE_TEXT 1048

// The application manifest (RT_MANIFEST, the id Windows reads for an .exe).
#define IDR_APP_MANIFEST 1
