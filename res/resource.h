// Resource ids of the program (also read by the resource compiler: plain #defines only).
#pragma once

#define IDS_APP_NAME 103
#define IDS_PRODUCT_NAME 104
#define IDS_SOFT_KEYBOARD_CLASS 105
#define IDS_INFO_ICON_CLASS 106
#define IDS_INSTANCE_NAME 109

#define IDI_APP 107
#define IDR_ACCELERATORS 109
#define IDM_ABOUT 104
#define IDM_EXIT 105
