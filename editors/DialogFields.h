// The numeric fields shared by the parameter, settings and trigger dialogs:
// an edit with a spin control beside it and its limits shown to its right.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>

#include "editors/ParameterBlock.h"

struct FieldControls {
    int EditId;
    int SpinId;
    int UpperTextId;
    int LowerTextId;
};

// Attaches the spin to the edit (base 10), limits the typing by the field's
// type, shows the limits and the value. The spin never writes the edit
// itself: the dialog writes the text, so it is grouped with "." whatever
// the user's locale.
void AttachField(HWND dialog, const FieldControls& controls, FieldType type, int32_t value, int32_t minimum,
                 int32_t maximum);

// Reads an edit back within its limits. Accepted: 1 and the value.
// Rejected: 0, the value 0, and `badField` set to the edit.
int ReadField(HWND edit, int32_t minimum, int32_t maximum, int32_t* value, HWND* badField);

// Answers a spin control's request to move (arrow buttons, Up and Down keys
// in its edit): steps from the edit's number, writes the text and keeps the
// control from writing its own. True when the step was taken.
bool StepSpin(const NMUPDOWN& change);

// The warning box about rejected input, then the focus on the bad field with
// its whole text selected.
void WarnAboutBadField(HWND badField);

void SetDialogIcons(HWND dialog);

// A dialog procedure's answer to a notification: the platform passes it on
// only through the dialog's message-result slot.
INT_PTR AnswerNotification(HWND dialog, LRESULT result);

// Per-window state of a dialog, owned by the window from creation to
// WM_NCDESTROY, so no dialog ever acts on another one's data.
template <typename State>
State* DialogState(HWND dialog) {
    return reinterpret_cast<State*>(GetWindowLongPtrW(dialog, DWLP_USER));
}
template <typename State>
void AttachDialogState(HWND dialog, std::unique_ptr<State> state) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state.release()));
}
template <typename State>
void ReleaseDialogState(HWND dialog) {
    std::unique_ptr<State> owned(DialogState<State>(dialog));
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
}
