#include "editors/DialogFields.h"

#include <string>

#include "app/AppWindow.h"
#include "editors/FieldRules.h"

namespace {

const wchar_t* const InputWarning =
    L"Mindestens ein Eingabewert ist nicht korrekt.\nDer Fokus ist auf ein fehlerhaftes Eingabefeld\ngesetzt";

void WriteFieldText(HWND edit, int32_t value) { SetWindowTextW(edit, SpinText(value).c_str()); }

// The program icon in the size of the given system metrics; shared, so it is
// never destroyed.
HICON ProgramIcon(int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(AppInstance(), L"ID_MY_ICON", IMAGE_ICON, GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_SHARED));
}

std::wstring EditText(HWND edit) {
    wchar_t text[FieldTextCapacity] = {};
    GetWindowTextW(edit, text, FieldTextCapacity);
    return text;
}

}  // namespace

void AttachField(HWND dialog, const FieldControls& controls, FieldType type, int32_t value, int32_t minimum,
                 int32_t maximum) {
    HWND edit = GetDlgItem(dialog, controls.EditId);
    HWND spin = GetDlgItem(dialog, controls.SpinId);
    SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    SendMessageW(spin, UDM_SETBASE, 10, 0);
    SendMessageW(edit, EM_LIMITTEXT, TypingLimit(type), 0);
    SetDlgItemTextW(dialog, controls.UpperTextId, LimitText(type, maximum).c_str());
    SetDlgItemTextW(dialog, controls.LowerTextId, LimitText(type, minimum).c_str());
    SendMessageW(spin, UDM_SETRANGE32, minimum, maximum);
    // OK stores what the operator sees, so an out-of-range value is replaced
    // by its nearest limit then.
    const int32_t shown = ShownFieldValue(value, minimum, maximum);
    SendMessageW(spin, UDM_SETPOS32, 0, shown);
    WriteFieldText(edit, shown);
}

int ReadField(HWND edit, int32_t minimum, int32_t maximum, int32_t* value, HWND* badField) {
    const int accepted = ReadFieldText(EditText(edit).c_str(), minimum, maximum, value);
    if (!accepted) *badField = edit;
    return accepted;
}

bool StepSpin(const NMUPDOWN& change) {
    HWND spin = change.hdr.hwndFrom;
    HWND edit = reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0));
    if (!edit) return false;
    int minimum = 0, maximum = 0;
    SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&minimum), reinterpret_cast<LPARAM>(&maximum));
    const int32_t next = SpinStep(EditText(edit).c_str(), change.iPos, change.iDelta, minimum, maximum);
    SendMessageW(spin, UDM_SETPOS32, 0, next);
    WriteFieldText(edit, next);
    return true;
}

void WarnAboutBadField(HWND badField) {
    MessageBoxW(MainWnd(), InputWarning, L"TAVO", MB_OK | MB_ICONWARNING);
    // The operator may have closed the dialog meanwhile: the box is owned by
    // the main window and leaves the dialog usable.
    if (!IsWindow(badField)) return;
    SetFocus(badField);
    SendMessageW(badField, EM_SETSEL, 0, -1);
}

void SetDialogIcons(HWND dialog) {
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(ProgramIcon(SM_CXSMICON, SM_CYSMICON)));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon(SM_CXICON, SM_CYICON)));
}

INT_PTR AnswerNotification(HWND dialog, LRESULT result) {
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}
