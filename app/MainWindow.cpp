#include "app/MainWindow.h"

#include <dbt.h>
#include <shellapi.h>

#include <cstddef>
#include <cwchar>
#include <string>

#include "link/LinkEvents.h"
#include "app/Application.h"
#include "app/WindowReporter.h"
#include "base/Handles.h"
#include "base/UiTask.h"
#include "app/StatusBar.h"
#include "editors/EditorDialogs.h"
#include "link/Commands.h"
#include "link/Link.h"
#include "records/RecordFileMenu.h"
#include "resources/resource.h"
#include "scope/RecordingOnScreen.h"
#include "scope/ScopeView.h"

namespace {

// The device-interface class of the FTDI D2XX driver.
constexpr GUID FTDI_GUID = {0x219D0508, 0x57A8, 0x4FF5, {0x97, 0xA1, 0xBD, 0x86, 0x58, 0x7C, 0x6C, 0x7E}};

constexpr int MinimumWindowWidth = 800;
constexpr int MinimumWindowHeight = 600;
constexpr int ClockPartWidth = 200;
constexpr DWORD CloseWaitMs = 2500;

std::atomic<HWND> MainWindowHandle{nullptr};
HINSTANCE Instance = nullptr;
int UserIsAdmin = 0;

int ClientWidth = 0;
int ClientHeight = 0;
UniqueDeviceNotification DeviceNotify;

void SetMenuItemEnabled(HWND window, UINT id, bool enabled) {
    EnableMenuItem(GetMenu(window), id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void SendSetTitle(HWND window, const wchar_t* fileName) {
    SendMessageW(window, WM_APP, APP_SET_TITLE, reinterpret_cast<LPARAM>(fileName));
}

// --- message handlers -------------------------------------------------------

LRESULT OnCreate(HWND window) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = FTDI_GUID;
    DeviceNotify.Reset(RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
    AttachUiTasks(window);
    LinkAttach(window, TheWindowReporter());

    RECT client{};
    GetClientRect(window, &client);
    StatusBarInit(window, client.right - client.left);
    PrepareRecordFileDialog(window);
    DragAcceptFiles(window, TRUE);
    return 0;
}

LRESULT OnSize(LPARAM lParam) {
    ClientWidth = LOWORD(lParam);
    ClientHeight = HIWORD(lParam);
    StatusBarMove(ClientWidth, ClientHeight);
    StatusBarRelayout(ClientWidth, ClockPartWidth);
    return 0;
}

LRESULT OnSizing(WPARAM edge, LPARAM lParam) {
    RECT& drag = *reinterpret_cast<RECT*>(lParam);
    if (drag.bottom - drag.top < MinimumWindowHeight) {
        if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT)
            drag.top = drag.bottom - MinimumWindowHeight;
        else if (edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT)
            drag.bottom = drag.top + MinimumWindowHeight;
    }
    if (drag.right - drag.left < MinimumWindowWidth) {
        if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT)
            drag.left = drag.right - MinimumWindowWidth;
        else if (edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT)
            drag.right = drag.left + MinimumWindowWidth;
    }
    return TRUE;
}

// Draws the scope off screen and copies the part to repaint, leaving the
// status bar to draw itself; without memory for that, straight on screen.
void PaintClientArea(HWND window, const PaintDC& paint) {
    MemoryCanvas canvas(paint.Get(), ClientWidth, ClientHeight);
    if (!canvas.Ready()) {
        const RECT& area = paint.Area();
        FillRect(paint.Get(), &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        return PaintScope(paint.Get(), ClientWidth, ClientHeight);
    }
    const RECT client{0, 0, ClientWidth, ClientHeight};
    FillRect(canvas.Get(), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    PaintScope(canvas.Get(), ClientWidth, ClientHeight);
    if (HWND status = StatusBarWindow()) {
        RECT bar{};
        GetWindowRect(status, &bar);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&bar), 2);
        ExcludeClipRect(paint.Get(), bar.left, bar.top, bar.right, bar.bottom);
    }
    const RECT& area = paint.Area();
    BitBlt(paint.Get(), area.left, area.top, area.right - area.left, area.bottom - area.top, canvas.Get(), area.left,
           area.top, SRCCOPY);
}

LRESULT OnPaint(HWND window) {
    {
        PaintDC paint(window);
        RECT client{};
        GetClientRect(window, &client);
        ClientWidth = client.right - client.left;
        ClientHeight = client.bottom - client.top;
        PaintClientArea(window, paint);
    }
    RepaintStateField(GetControllerState());
    return 0;
}

LRESULT OnKeyDown(HWND window, WPARAM key) {
    if (key != VK_LEFT && key != VK_RIGHT) return 1;
    const bool found = key == VK_LEFT ? StepToPreviousTrigger() : StepToNextTrigger();
    if (found) InvalidateRect(window, nullptr, TRUE);
    return 0;
}

void TogglePreview(HWND window) {
    SendSetTitle(window, nullptr);
    const wchar_t* text = L"Preview";
    if (PreviewActive() == 0) {
        SetPreviewActive(1);
        CheckMenuItem(GetMenu(window), IDM_PREVIEW, MF_BYCOMMAND | MF_CHECKED);
    } else {
        SetPreviewActive(0);
        CheckMenuItem(GetMenu(window), IDM_PREVIEW, MF_BYCOMMAND | MF_UNCHECKED);
        SetMenuItemEnabled(window, IDM_SAVE_DATA, true);
        text = L"";
    }
    // The worker reads PreviewActive to learn which way it went. Preview is
    // a mode: switched while no link is up, the next worker follows it.
    RequestPreviewSwitch();
    StatusBarShowText(text, PartCommand);
}

void ShowInfo(HWND window) {
    MessageBoxW(window, L"TAVO Version 0.2", L"TAVO", MB_OK | MB_ICONINFORMATION);
}

LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    switch (id) {
        case IDM_CLOSE: SendMessageW(window, WM_CLOSE, 0, 0); return 0;
        case IDM_SAVE_DATA: SaveCurrentRecording(); return 0;
        case IDM_LOAD_DATA:
            LoadRecordWithDialog();
            SetMenuItemEnabled(window, IDM_SAVE_DATA, false);
            return 0;
        case IDM_PARAMETER:
        case IDM_SETTINGS:
        case IDM_TRIGGER:
        case IDM_CHANNELS: OpenEditorDialog(id); return 0;
        case IDM_DEBUG:
            SendSetTitle(window, nullptr);
            // A Debug that was not sent records nothing to save.
            if (RequestCommand(CommandDebug)) SetMenuItemEnabled(window, IDM_SAVE_DATA, true);
            return 0;
        case IDM_PREVIEW: TogglePreview(window); return 0;
        case IDM_START_WORKER: LinkStartRequested(); return 0;
        case IDM_INFO: ShowInfo(window); return 0;
        default:
            // The other Commands items only ask the worker for their command.
            if (const int command = CommandForMenu(id); command >= 0) {
                RequestCommand(command);
                return 0;
            }
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ShowClock() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t text[128];
    std::swprintf(text, 128, L"%04u-%02u-%02u   %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    StatusBarShowText(text, PartClock);
}

LRESULT OnTimer(HWND window, WPARAM timer) {
    if (timer == TimerStartWorker) {
        // Fires once: the first worker starts about a second after start-up.
        PostMessageW(window, WM_COMMAND, IDM_START_WORKER, 0);
        KillTimer(window, TimerStartWorker);
    } else if (timer == TimerClock) {
        ShowClock();
    } else {
        LinkTimer(timer);
    }
    return 0;
}

bool IsDeviceInterface(LPARAM lParam) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    return header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
}

// The device-interface path of a notice, as far as its size says it holds
// one; it names the device's serial number.
std::string InterfaceName(LPARAM lParam) {
    const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
    const size_t offset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (device->dbcc_size <= offset) return {};
    const size_t room = (device->dbcc_size - offset) / sizeof(wchar_t);
    std::string name;
    for (size_t i = 0; i < room && device->dbcc_name[i]; ++i)
        name += device->dbcc_name[i] < 0x80 ? static_cast<char>(device->dbcc_name[i]) : '?';
    return name;
}

LRESULT OnDeviceChange(WPARAM event, LPARAM lParam) {
    if (!IsDeviceInterface(lParam)) return TRUE;
    // The link decides: an arrival may start a worker; a removal may have
    // been another FTDI device, which the worker finds out.
    if (event == DBT_DEVICEARRIVAL)
        LinkDeviceArrived(InterfaceName(lParam));
    else if (event == DBT_DEVICEREMOVECOMPLETE)
        LinkDeviceRemoved();
    return TRUE;
}

LRESULT OnDropFiles(HWND window, HDROP drop) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count > 1) {
        MessageBoxW(window, L"One file only, please", L"TAVO", MB_OK);
    } else if (count == 1) {
        SetMenuItemEnabled(window, IDM_SAVE_DATA, false);
        wchar_t path[MAX_PATH] = {};
        if (DragQueryFileW(drop, 0, path, MAX_PATH)) LoadRecord(path);
    }
    DragFinish(drop);
    return 0;
}

LRESULT OnApp(HWND window, WPARAM code, LPARAM lParam) {
    switch (code) {
        case APP_LINK_READY:
            for (UINT id = IDM_DEBUG; id <= IDM_FACTORY; ++id) SetMenuItemEnabled(window, id, true);
            LinkReady();
            break;
        case APP_SET_TITLE: {
            wchar_t caption[CaptionCapacity];
            BuildCaption(reinterpret_cast<const wchar_t*>(lParam), caption);
            SetWindowTextW(window, caption);
            break;
        }
        case APP_REDRAW_DIAGRAM: {
            RECT diagram{};
            DiagramRect(ClientWidth, ClientHeight, &diagram);
            InvalidateRect(window, &diagram, TRUE);
            break;
        }
        default: break;
    }
    return 0;
}

LRESULT OnClose(HWND window) {
    SetEvent(TheLinkEvents().ApplicationDone);
    // Returns at once when no worker runs; serves the worker's own requests
    // to this thread meanwhile, so the two never wait for each other.
    LinkClose(CloseWaitMs);
    KillTimer(window, TimerStartWorker);
    KillTimer(window, TimerClock);
    DeviceNotify.Reset();
    StatusBarDestroy();
    DestroyWindow(window);
    return 0;
}

// A log-off or shutdown sends no WM_CLOSE, and Windows may end the process as
// soon as WM_ENDSESSION returns: Tavo.ini is written first, then the window
// closes as usual. A cancelled end (wParam FALSE) changes nothing.
LRESULT OnEndSession(HWND window, WPARAM ending) {
    if (!ending) return 0;
    SaveAppSettings();
    OnClose(window);
    return 0;
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: return OnCreate(window);
        case WM_DESTROY:
            DetachUiTasks();
            PostQuitMessage(0);
            return 0;
        case WM_SIZE: return OnSize(lParam);
        case WM_SIZING: return OnSizing(wParam, lParam);
        case WM_PAINT: return OnPaint(window);
        case WM_ERASEBKGND: return 1;  // the paint handler draws the background with the scope
        case WM_CLOSE: return OnClose(window);
        case WM_QUERYENDSESSION: return TRUE;  // the work waits for WM_ENDSESSION: the end may still be cancelled
        case WM_ENDSESSION: return OnEndSession(window, wParam);
        case WM_NOTIFY: return 0;
        case WM_KEYDOWN: return OnKeyDown(window, wParam);
        case WM_COMMAND: return OnCommand(window, message, wParam, lParam);
        case WM_TIMER: return OnTimer(window, wParam);
        case WM_DEVICECHANGE: return OnDeviceChange(wParam, lParam);
        case WM_DROPFILES: return OnDropFiles(window, reinterpret_cast<HDROP>(wParam));
        case WM_APP: return OnApp(window, wParam, lParam);
        case WM_UI_TASK: RunUiTasks(); return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

ATOM RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, L"ID_MY_ICON");
    windowClass.hIconSm = LoadIconW(instance, L"ID_MY_ICON");
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = L"UserMenu";
    windowClass.lpszClassName = L"TAVO";
    return RegisterClassExW(&windowClass);
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExW(WS_EX_ACCEPTFILES, L"TAVO", L"TAVO", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr,
                           nullptr, instance, nullptr);
}

HWND MainWnd() { return MainWindowHandle; }
void SetMainWnd(HWND window) { MainWindowHandle = window; }
HINSTANCE AppInstance() { return Instance; }
void SetAppInstance(HINSTANCE instance) { Instance = instance; }
void SetUserIsAdmin(int isAdmin) { UserIsAdmin = isAdmin; }

void BuildCaption(const wchar_t* fileName, wchar_t (&caption)[CaptionCapacity]) {
    std::wcscpy(caption, UserIsAdmin ? L"Tavo (Administrator)" : L"Tavo");
    if (!fileName) return;
    std::wcscat(caption, L"  ");
    const size_t room = CaptionCapacity - 1 - std::wcslen(caption);
    const size_t length = std::wcslen(fileName);
    if (length <= room) {
        std::wcscat(caption, fileName);
        return;
    }
    // A name that does not fit keeps its beginning and ends in an ellipsis.
    std::wcsncat(caption, fileName, room - 1);
    std::wcscat(caption, L"\u2026");
}
