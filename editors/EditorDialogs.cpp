#include "editors/EditorDialogs.h"

#include "editors/DialogCreation.h"
#include "resources/resource.h"

// Each menu choice creates a further dialog; every dialog works on its own
// controls and keeps its own state, so several may be open side by side.
void OpenEditorDialog(int commandId) {
    HWND dialog = nullptr;
    switch (commandId) {
        case IDM_PARAMETER: dialog = CreateParameterDialog(); break;
        case IDM_SETTINGS: dialog = CreateSettingsDialog(); break;
        case IDM_TRIGGER: dialog = CreateTriggerDialog(); break;
        case IDM_CHANNELS: dialog = CreateChannelsDialog(); break;
        default: return;
    }
    // A dialog that cannot be created is not reported.
    if (dialog) ShowWindow(dialog, SW_SHOW);
}
