// The parameter dialog: every field of the controller's parameter block, its
// OK asks for the install command, its Cancel restores the block.
#include "editors/DialogCreation.h"

#include <memory>

#include "app/AppWindow.h"
#include "editors/DialogFields.h"
#include "editors/ParameterBlock.h"
#include "resources/resource.h"

namespace {

constexpr int FlagBits = 8;

// What one open parameter dialog keeps: the block as it was when the
// operator opened it, for Cancel.
struct ParameterDialogState {
    ParameterCopy Backup;
};

FieldControls ControlsOf(const ParameterField& field) {
    return {field.EditId, field.SpinId, field.UpperTextId, field.LowerTextId};
}

void ShowFlags(HWND dialog, uint8_t flags, int firstBox) {
    for (int i = 0; i < FlagBits; ++i)
        CheckDlgButton(dialog, firstBox + i, (flags >> i) & 1 ? BST_CHECKED : BST_UNCHECKED);
}

uint8_t ReadFlags(HWND dialog, int firstBox) {
    uint8_t flags = 0;
    for (int i = 0; i < FlagBits; ++i)
        if (IsDlgButtonChecked(dialog, firstBox + i) == BST_CHECKED) flags |= 1 << i;
    return flags;
}

// Every field is read, also after a rejected one; a rejected field holds 0
// in the block. The result says whether all were accepted; `badField` is the
// last rejected edit. A SEK left at the 0 that preview showed when the dialog
// opened is preview's, not the operator's: it is not written over theirs.
int ReadAllFields(HWND dialog, ParameterBlock& block, bool sekShownWasPreviews, HWND* badField) {
    int result = 1;
    for (const ParameterField& field : ParameterFields) {
        int32_t value = 0;
        const int accepted = ReadField(GetDlgItem(dialog, field.EditId), field.Minimum, field.Maximum, &value, badField);
        result &= accepted;
        if (field.Offset == OffsetSEK && accepted && value == 0 && sekShownWasPreviews) continue;
        block.WriteField(field, value);
    }
    return result;
}

// --- message handlers -------------------------------------------------------

INT_PTR OnInitDialog(HWND dialog) {
    ParameterBlock& block = TheParameterBlock();
    auto state = std::make_unique<ParameterDialogState>();
    state->Backup = block.Copy();
    AttachDialogState(dialog, std::move(state));
    SetDialogIcons(dialog);
    for (const ParameterField& field : ParameterFields)
        AttachField(dialog, ControlsOf(field), field.Type, block.ReadField(field), field.Minimum, field.Maximum);
    ShowFlags(dialog, block.ReadByte(OffsetAO), IDC_AUTOOFFSET_BOX0);
    ShowFlags(dialog, block.ReadByte(OffsetNE), IDC_NEGATION_BOX0);
    return TRUE;
}

INT_PTR OnOk(HWND dialog) {
    ParameterBlock& block = TheParameterBlock();
    HWND badField = nullptr;
    const auto* state = DialogState<ParameterDialogState>(dialog);
    const int accepted = ReadAllFields(dialog, block, state && state->Backup.SekHeld, &badField);
    const uint8_t low = ReadFlags(dialog, IDC_AUTOOFFSET_BOX0);
    const uint8_t high = ReadFlags(dialog, IDC_NEGATION_BOX0);
    block.WriteFlagWord(static_cast<uint16_t>(high << 8 | low));
    if (!accepted) {
        WarnAboutBadField(badField);
        return TRUE;
    }
    DestroyWindow(dialog);
    // The install goes through the main window exactly as its menu entry does.
    PostMessageW(MainWnd(), WM_COMMAND, IDM_INSTALL, 0);
    return TRUE;
}

INT_PTR OnCancel(HWND dialog) {
    if (const auto* state = DialogState<ParameterDialogState>(dialog)) TheParameterBlock().Restore(state->Backup);
    DestroyWindow(dialog);
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDOK: return OnOk(dialog);
        case IDCANCEL: return OnCancel(dialog);
        default: return FALSE;
    }
}

INT_PTR OnNotify(HWND dialog, const NMHDR& header) {
    if (header.code != UDN_DELTAPOS) return FALSE;
    return AnswerNotification(dialog, StepSpin(reinterpret_cast<const NMUPDOWN&>(header)));
}

INT_PTR CALLBACK ParameterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog(dialog);
        case WM_COMMAND: return OnCommand(dialog, wParam);
        case WM_NOTIFY: return OnNotify(dialog, *reinterpret_cast<const NMHDR*>(lParam));
        case WM_NCDESTROY: ReleaseDialogState<ParameterDialogState>(dialog); return FALSE;
        default: return FALSE;
    }
}

}  // namespace

HWND CreateParameterDialog() {
    return CreateDialogParamW(AppInstance(), L"PARAMETER", MainWnd(), ParameterDialogProc, 0);
}
