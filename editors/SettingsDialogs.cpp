// The settings dialog (the clock period) and the trigger dialog (threshold,
// samples before and after the trigger). Neither sends anything to the
// controller; the scope view and the decoder use the new values next time.
#include <atomic>

#include "app/AppWindow.h"
#include "editors/DialogCreation.h"
#include "editors/DialogFields.h"
#include "editors/FieldRules.h"
#include "resources/resource.h"
#include "settings/Settings.h"

namespace {

// The clock is edited in whole microseconds.
constexpr int32_t ClockMinimum = 125;
constexpr int32_t ClockMaximum = 500;
constexpr FieldControls ClockControls{IDC_CLOCK_EDIT, IDC_CLOCK_SPIN, IDC_CLOCK_UPPER, IDC_CLOCK_LOWER};

struct TriggerRow {
    std::atomic<int16_t> Settings::*Value;
    int32_t Minimum;
    int32_t Maximum;
};
// In the order the dialog attaches and reads them.
constexpr int TriggerRowCount = 3;
constexpr TriggerRow TriggerRows[TriggerRowCount] = {
    {&Settings::Threshold, -2047, 2047},
    {&Settings::PreEvent, 1, 100},
    {&Settings::PostEvent, 1, 100},
};

constexpr FieldControls TriggerControls(int k) {
    return {IDC_TRIGGER_EDIT0 + k, IDC_TRIGGER_SPIN0 + k, IDC_TRIGGER_UPPER0 + 2 * k, IDC_TRIGGER_UPPER0 + 2 * k + 1};
}

// --- handlers shared by both dialogs -----------------------------------------

INT_PTR OnCancel(HWND dialog) {
    // Nothing is restored: a value stored by a rejected OK stays.
    DestroyWindow(dialog);
    return TRUE;
}

INT_PTR OnNotify(HWND dialog, const NMHDR& header) {
    if (header.code != UDN_DELTAPOS) return FALSE;
    return AnswerNotification(dialog, StepSpin(reinterpret_cast<const NMUPDOWN&>(header)));
}

INT_PTR CloseOrWarn(HWND dialog, int accepted, HWND badField) {
    if (accepted)
        DestroyWindow(dialog);
    else
        WarnAboutBadField(badField);
    return TRUE;
}

// --- settings dialog ----------------------------------------------------------

INT_PTR OnSettingsInit(HWND dialog) {
    SetDialogIcons(dialog);
    AttachField(dialog, ClockControls, FieldType::Unsigned16, ClockMicroseconds(AppSettings().Clock), ClockMinimum,
                ClockMaximum);
    return TRUE;
}

INT_PTR OnSettingsOk(HWND dialog) {
    HWND badField = nullptr;
    int32_t value = 0;
    const int accepted =
        ReadField(GetDlgItem(dialog, IDC_CLOCK_EDIT), ClockMinimum, ClockMaximum, &value, &badField);
    const uint16_t clockInt = static_cast<uint16_t>(value);
    // Also after a rejected entry: the clock is then 0 until a valid OK.
    AppSettings().Clock = clockInt / 1000.0;
    return CloseOrWarn(dialog, accepted, badField);
}

INT_PTR OnSettingsCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDOK: return OnSettingsOk(dialog);
        case IDCANCEL: return OnCancel(dialog);
        default: return FALSE;
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnSettingsInit(dialog);
        case WM_COMMAND: return OnSettingsCommand(dialog, wParam);
        case WM_NOTIFY: return OnNotify(dialog, *reinterpret_cast<const NMHDR*>(lParam));
        default: return FALSE;
    }
}

// --- trigger dialog -------------------------------------------------------------

INT_PTR OnTriggerInit(HWND dialog) {
    SetDialogIcons(dialog);
    Settings& settings = AppSettings();
    for (int k = 0; k < TriggerRowCount; ++k) {
        const TriggerRow& row = TriggerRows[k];
        AttachField(dialog, TriggerControls(k), FieldType::Signed16, settings.*row.Value, row.Minimum, row.Maximum);
    }
    return TRUE;
}

// Each field is read straight into its setting; a rejected one becomes 0.
INT_PTR OnTriggerOk(HWND dialog) {
    Settings& settings = AppSettings();
    HWND badField = nullptr;
    int accepted = 1;
    for (int k = 0; k < TriggerRowCount; ++k) {
        const TriggerRow& row = TriggerRows[k];
        int32_t value = 0;
        accepted &= ReadField(GetDlgItem(dialog, TriggerControls(k).EditId), row.Minimum, row.Maximum, &value,
                              &badField);
        settings.*row.Value = static_cast<int16_t>(value);
    }
    return CloseOrWarn(dialog, accepted, badField);
}

INT_PTR OnTriggerCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDOK: return OnTriggerOk(dialog);
        case IDCANCEL: return OnCancel(dialog);
        default: return FALSE;
    }
}

INT_PTR CALLBACK TriggerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnTriggerInit(dialog);
        case WM_COMMAND: return OnTriggerCommand(dialog, wParam);
        case WM_NOTIFY: return OnNotify(dialog, *reinterpret_cast<const NMHDR*>(lParam));
        default: return FALSE;
    }
}

}  // namespace

HWND CreateSettingsDialog() {
    return CreateDialogParamW(AppInstance(), L"SETTINGS", MainWnd(), SettingsDialogProc, 0);
}

HWND CreateTriggerDialog() {
    return CreateDialogParamW(AppInstance(), L"TRIGGER", MainWnd(), TriggerDialogProc, 0);
}
