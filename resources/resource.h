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

// Editor dialogs: edits 10001 upwards, their spins 11001 upwards, the limit
// texts 12001 upwards (upper, lower), check boxes 13000 upwards.
// Parameter dialog: the fields' ids are in the parameter table; the
// Autooffset boxes 13000..13007 and the Negation boxes 13008..13015.
#define IDC_AUTOOFFSET_BOX0 13000
#define IDC_NEGATION_BOX0 13008
// Settings dialog: the clock row (the ids of the FH row of the parameter dialog).
#define IDC_CLOCK_EDIT 10004
#define IDC_CLOCK_SPIN 11004
#define IDC_CLOCK_UPPER 12007
#define IDC_CLOCK_LOWER 12008
// Trigger dialog: rows k = 0 Threshold, 1 PreEvent, 2 PostEvent with edit
// 10001 + k, spin 11001 + k, limit texts 12001 + 2k and 12002 + 2k.
#define IDC_TRIGGER_EDIT0 10001
#define IDC_TRIGGER_SPIN0 11001
#define IDC_TRIGGER_UPPER0 12001
// Channels dialog
#define IDC_CHANNEL_LIST 16000
