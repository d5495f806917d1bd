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

// The application manifest (RT_MANIFEST, the id Windows reads for an .exe).
#define IDR_APP_MANIFEST 1
