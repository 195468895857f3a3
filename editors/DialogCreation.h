// Creating the four editor dialogs from their templates, each modeless and
// owned by the main window; null when a dialog cannot be created.
#pragma once

#include <windows.h>

HWND CreateParameterDialog();
HWND CreateSettingsDialog();
HWND CreateTriggerDialog();
HWND CreateChannelsDialog();
