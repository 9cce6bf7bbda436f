// Resource ids of the window, its options menu and icons, shared by the resource script and the code.
#pragma once

#define IDD_MAIN 101
#define IDI_APP_LARGE 103
#define IDI_APP_SMALL 104
#define IDR_OPTIONS_MENU 105
#define IDD_PASSWORD 106

#define IDC_STATUS 1001
// Made in code at set-up, along the bottom edge of the client area.
#define IDC_PROGRESS 1002
// The password question's text and field.
#define IDC_PASSWORD_TEXT 1003
#define IDC_PASSWORD 1004

#define ID_ESCAPE 27
#define ID_DELETE_ALREADY 40003
#define ID_DELETE_PROCESSED 40004
#define ID_ZIP 40006
#define ID_DIV1GB 40008
#define ID_DIV100MB 40010
