// Resource identifiers: dialogs, controls, menus, strings, icon and bitmap,
// and the private window messages that cross the program's layers.
#pragma once

#include "platform/win/winuser.h"

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_CONVERTER_DIALOG 102
#define IDD_INPUT_HINT 144

// Strings
#define IDS_ABOUTBOX 101

// Icon, menu, bitmap
#define IDI_QUAVIX 103
#define IDR_PLAYER_MENU 145
#define IDB_BUTTON_FACE 147

// System-menu command appended by the main dialog; the low four bits are
// reserved for the system, so it must be a multiple of 16.
#define IDM_ABOUTBOX 0x0010

// Controls of the main dialog
#define IDC_PLAY 1001
#define IDC_OPEN 1002
#define IDC_STOP 1003
#define IDC_CONVERT 1004
#define IDC_OUTPUT_PATH 1008
#define IDC_DEVICE_LIST 1009
#define IDC_INPUT_LIST 1011
#define IDC_STATUS 1035
#define IDC_VOLUME 1038
#define IDC_BROWSE 1039
#define IDC_DEVICE_TAG 1040
#define IDC_ABOUT 1047
#define IDC_HELP_BTN 1048
#define IDC_INPUT_TAG 1051
#define IDC_VOLUME_LABEL 1052
#define IDC_MAX_LABEL 1053
#define IDC_OUTPUT_LABEL 1054
#define IDC_CLOSE_BTN 1056
#define IDC_EXIT 1059

// Controls of the about box
#define IDC_WEB_ADDRESS 1049
#define IDC_CONTACT 1050

// Controls of the input-selection hint
#define IDC_DONT_SHOW 1055

// Commands of the player's popup menu
#define ID_PLAYER_PLAY 32771
#define ID_PLAYER_PAUSE 32772
#define ID_PLAYER_STOP 32773
#define ID_PLAYER_CLOSE 32774

// The main dialog's one-second clock during a conversion run
#define IDT_ELAPSED 1113

// Private window messages. The player posts WM_PLAYER_TICK to the main dialog
// once a second; the capture graph's event interface posts WM_CAPTURE_NOTIFY;
// the player's graph posts WM_GRAPHNOTIFY_PLAYER to the player window.
constexpr UINT WM_PLAYER_TICK = WM_USER + 3;          // 1027
constexpr UINT WM_GRAPHNOTIFY_PLAYER = WM_USER + 13;  // 1037
// The player could not play (wParam: the HRESULT); posted to its owner.
constexpr UINT WM_PLAYER_FAILED = WM_USER + 14;  // 1038
constexpr UINT WM_CAPTURE_NOTIFY = WM_APP + 1;   // 32769
// Posted by the main dialog to itself at the end of its start-up when a song
// was named on the command line: opens it once the window is shown.
constexpr UINT WM_OPEN_START_SONG = WM_APP + 2;  // 32770
