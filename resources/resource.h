// Ids shared by the resource script and the code.
#pragma once

// File menu
#define IDM_CLOSE 1000
#define IDM_SAVE_DATA 1001
#define IDM_LOAD_DATA 1002
// Edit menu
#define IDM_PARAMETER 2000
#define IDM_SETTINGS 2001
#define IDM_TRIGGER 2002
#define IDM_CHANNELS 2003
// Commands menu; each sets the CommandEvent given in the main window
#define IDM_DEBUG 3000
#define IDM_PREVIEW 3001
#define IDM_WELD 3002
#define IDM_LIST 3003
#define IDM_INSTALL 3004
#define IDM_BURN 3005
#define IDM_RESTART 3006
#define IDM_FACTORY 3007
// Posted by timer 1 and the device-arrival handler; no menu item carries it
#define IDM_START_WORKER 3010
// Help menu
#define IDM_INFO 9000

#define IDC_STATIC_TEXT -1
