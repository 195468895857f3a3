#include "editors/EditorDialogs.h"

// The dialogs themselves come with their templates; until then the Edit menu
// opens nothing.
void OpenEditorDialog(int) {}
