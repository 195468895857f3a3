// The four modeless editor dialogs of the Edit menu.
#pragma once

// Opens the dialog of an Edit menu command (2000 Parameter, 2001 Settings,
// 2002 Trigger, 2003 Channels), owned by the main window.
void OpenEditorDialog(int commandId);
