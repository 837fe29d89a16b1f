// Resource IDs of PadsmithTool.exe, shared by the .rc script and the C++ code.
#pragma once

#define IDD_ABOUTBOX            100
#define IDD_PADSMITHTOOL_DIALOG 102
#define IDR_MAINFRAME           128

#define IDC_VID_EDIT            1000
#define IDC_SET_VIDPID          1001
#define IDC_PID_EDIT            1002
#define IDC_ERASE_FLASH         1003
#define IDC_DEVICE_COMBO        1004
#define IDC_WRITE_FLASH         1005
#define IDC_SPARE_USB_BUTTON    1006
#define IDC_SPARE_EDIT          1007
#define IDC_SPARE_BUTTON        1008
#define IDC_LOG_LIST            1009
#define IDC_GET_VERSION         1010
#define IDC_DEVICE_GROUP        1011
#define IDC_TIPS_GROUP          1012
#define IDC_FLASH_GROUP         1013
#define IDC_TIPS_TEXT           1014
#define IDC_SEND_FEATURE02      1015

#define IDM_ABOUTBOX            0x0010

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
