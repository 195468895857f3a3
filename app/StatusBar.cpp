// Every function here runs on the window's thread, the only one that touches
// the control: what the worker has to show reaches it as UI tasks
// (app/WindowReporter.cpp). So a text posted to the control is read from its
// part's buffer when the control takes the message, and a later text written
// before that wins.
#include "app/StatusBar.h"

#include <commctrl.h>

#include <cwchar>

#include "base/Handles.h"

namespace {

constexpr UINT_PTR SubclassId = 1;

struct PartFill {
    bool active = false;
    COLORREF colour = 0;
};

HWND StatusWnd = nullptr;
int StatusPartCount = 0;
RECT StatusPartRect[StatusMaxParts] = {};
int StatusPartEdge[StatusMaxParts] = {};
PartFill StatusPartFill[StatusMaxParts];

wchar_t StatusPartText[StatusMaxParts][StatusTextCapacity] = {};

bool ValidPart(int part) { return part >= 0 && part < StatusMaxParts; }

void DrawFill(HDC dc, int part) {
    GdiObject<HBRUSH> brush(CreateSolidBrush(StatusPartFill[part].colour));
    FillRect(dc, &StatusPartRect[part], brush.Get());
}

// The control repaints itself over a fill; draw the fills again afterwards so
// the state field keeps its colour.
void RedrawFills(HWND control) {
    WindowDC dc(control);
    for (int part = 0; part < StatusMaxParts; ++part)
        if (StatusPartFill[part].active) DrawFill(dc.Get(), part);
}

LRESULT CALLBACK StatusBarSubclassProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR) {
    switch (message) {
        case WM_PAINT: {
            const LRESULT result = DefSubclassProc(control, message, wParam, lParam);
            RedrawFills(control);
            return result;
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(control, StatusBarSubclassProc, SubclassId);
            break;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

void ReadPartRects(HWND control) {
    for (int part = 0; part < 4; ++part)
        SendMessageW(control, SB_GETRECT, part, reinterpret_cast<LPARAM>(&StatusPartRect[part]));
}

// How each controller state shows: the tooltip, the colour SetControllerState
// fills in, and the colour of the main window's repaint, whose green is a
// little darker.
struct StateLook {
    const wchar_t* text;
    COLORREF colour;
    COLORREF repaint;
};

StateLook LookOf(int32_t state) {
    switch (state) {
        case ControllerOffline: return {L"Controller offline", RGB(255, 0, 0), RGB(255, 0, 0)};
        case ControllerOnline: return {L"Controller online", RGB(0, 155, 0), RGB(0, 150, 0)};
        case ControllerActive: return {L"Controller active", RGB(0, 255, 0), RGB(0, 255, 0)};
        default: return {L"Controller n/a", RGB(0, 0, 0), RGB(0, 0, 0)};
    }
}

int FillPart(int part, COLORREF colour) {
    return StatusBarFillPart(part, GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

}  // namespace

int StatusBarCreate(HWND parent) {
    constexpr DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBT_TOOLTIPS | SBARS_SIZEGRIP | CCS_BOTTOM;
    HWND control = CreateWindowExW(0, STATUSCLASSNAMEW, L"Ready", style, 0, 0, 0, 0, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(StatusBarId)),
                                   reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    StatusWnd = control;
    if (!control) return 0;
    SetWindowSubclass(control, StatusBarSubclassProc, SubclassId, 0);
    StatusPartCount = StatusMaxParts;
    const LRESULT parts = SendMessageW(control, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(StatusPartEdge));
    if (parts != 1) return static_cast<int>(parts);
    for (int part = 0; part < StatusMaxParts; ++part) {
        StatusPartEdge[part] = -1;
        StatusPartText[part][0] = L'\0';
        StatusPartFill[part] = {};
    }
    // Replaces the creation text "Ready" at once.
    return static_cast<int>(SendMessageW(control, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(StatusPartText[0])));
}

int StatusBarInit(HWND parent, int width) {
    StatusBarCreate(parent);
    StatusBarSetPartCount(4);
    StatusBarSetPartEdges({200, width - 235, width - 200, width});
    StatusBarSetMinHeight(StatusMinHeight);
    StatusBarSetText(L"Controller n/a", PartState);
    StatusBarSetText(L"Datum Uhrzeit", PartClock);
    HWND control = StatusWnd;
    for (int part = 0; part < 4; ++part) {
        StatusBarSendText(part);
        StatusBarPostTip(part);
        if (control) SendMessageW(control, SB_GETRECT, part, reinterpret_cast<LPARAM>(&StatusPartRect[part]));
    }
    return control != nullptr;
}

int StatusBarDestroy() {
    HWND control = StatusWnd;
    if (!control || !DestroyWindow(control)) return 0;
    StatusWnd = nullptr;
    return 1;
}

int StatusBarSetPartCount(int count) {
    if (count < 1 || count > StatusMaxParts) return 0;
    StatusPartCount = count;
    HWND control = StatusWnd;
    if (!control) return 0;
    return static_cast<int>(SendMessageW(control, SB_SETPARTS, count, reinterpret_cast<LPARAM>(StatusPartEdge)));
}

int StatusBarSetPartEdges(std::initializer_list<int> edges) {
    const int n = static_cast<int>(edges.size());
    if (StatusPartCount < n) return 0;
    int i = 0;
    for (int edge : edges) StatusPartEdge[i++] = edge;
    HWND control = StatusWnd;
    if (!control) return 0;
    return static_cast<int>(
        SendMessageW(control, SB_SETPARTS, StatusPartCount, reinterpret_cast<LPARAM>(StatusPartEdge)));
}

int StatusBarSetMinHeight(int height) {
    HWND control = StatusWnd;
    if (!control) return 0;
    SendMessageW(control, SB_SETMINHEIGHT, height, 0);
    SendMessageW(control, WM_SIZE, 0, 0);
    return 1;
}

int StatusBarHeight() {
    HWND control = StatusWnd;
    RECT rect{};
    if (!control || !GetWindowRect(control, &rect)) return 0;
    return rect.bottom - rect.top;
}

int StatusBarMove(int width, int height) {
    HWND control = StatusWnd;
    if (!control || !IsWindowVisible(control)) return 0;
    const int own = StatusBarHeight();
    MoveWindow(control, 0, height - own, width, own, TRUE);
    return own;
}

int StatusBarRelayout(int width, int rightWidth) {
    HWND control = StatusWnd;
    if (StatusPartCount >= 3) {
        StatusPartEdge[StatusPartCount - 1] = width;
        StatusPartEdge[StatusPartCount - 2] = width - rightWidth;
        StatusPartEdge[StatusPartCount - 3] = width - rightWidth - StatusStateFieldWidth;
        if (control)
            SendMessageW(control, SB_SETPARTS, StatusPartCount, reinterpret_cast<LPARAM>(StatusPartEdge));
    }
    if (!control) return 0;
    ReadPartRects(control);
    return 1;
}

int StatusBarSetText(const wchar_t* text, int part) {
    if (!ValidPart(part) || !text) return 0;
    std::wcsncpy(StatusPartText[part], text, StatusTextCapacity - 1);
    StatusPartText[part][StatusTextCapacity - 1] = L'\0';
    return 1;
}

int StatusBarPostText(int part) {
    HWND control = StatusWnd;
    if (!control || !ValidPart(part)) return 0;
    return PostMessageW(control, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(StatusPartText[part]));
}

int StatusBarSendText(int part) {
    HWND control = StatusWnd;
    if (!control || !ValidPart(part)) return 0;
    return static_cast<int>(SendMessageW(control, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(StatusPartText[part])));
}

int StatusBarPostTip(int part) {
    HWND control = StatusWnd;
    if (!control || !ValidPart(part)) return 0;
    return PostMessageW(control, SB_SETTIPTEXTW, part, reinterpret_cast<LPARAM>(StatusPartText[part]));
}

int StatusBarShowText(const wchar_t* text, int part) {
    if (!StatusBarSetText(text, part)) return 0;
    return StatusBarPostText(part);
}

int StatusBarFillPart(int part, uint8_t red, uint8_t green, uint8_t blue) {
    HWND control = StatusWnd;
    if (!control || !ValidPart(part)) return 0;
    const COLORREF colour = RGB(red, green, blue);
    SendMessageW(control, WM_PAINT, 0, 0);  // let the control draw itself before the fill
    StatusPartFill[part] = {true, colour};
    WindowDC dc(control);
    DrawFill(dc.Get(), part);
    return 1;
}

void StatusBarShowState(int32_t state) {
    const StateLook look = LookOf(state);
    StatusBarSetText(look.text, PartState);
    StatusBarPostTip(PartState);
    FillPart(PartState, look.colour);
}

void StatusBarShowRemoved() {
    StatusBarSetText(LookOf(ControllerOffline).text, PartState);
    StatusBarPostTip(PartState);
    FillPart(PartState, RGB(0, 0, 0));
}

void RepaintStateField(int32_t state) { FillPart(PartState, LookOf(state).repaint); }

HWND StatusBarWindow() { return StatusWnd; }

std::wstring StatusBarText(int part) {
    if (!ValidPart(part)) return {};
    return StatusPartText[part];
}

RECT StatusBarPartRect(int part) { return ValidPart(part) ? StatusPartRect[part] : RECT{}; }

int StatusBarPartEdge(int part) { return ValidPart(part) ? StatusPartEdge[part] : 0; }

int StatusBarPartCount() { return StatusPartCount; }
