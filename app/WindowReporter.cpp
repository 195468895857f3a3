#include "app/WindowReporter.h"

#include <string>

#include "app/AppWindow.h"
#include "app/StatusBar.h"
#include "base/UiTask.h"

namespace {

class WindowReports final : public LinkReporter {
public:
    void DeviceText(const wchar_t* text) override { Show(text, PartDevice); }
    void CommandText(const wchar_t* text) override { Show(text, PartCommand); }
    void LibraryMissing() override {
        PostUiTask([] { MessageBoxW(MainWnd(), L"FTDI lib issue ", L"TAVO", MB_OK | MB_ICONERROR); });
    }
    void ShowControllerState(int32_t state) override {
        RunOnUiThread([state] { StatusBarShowState(state); });
    }
    void ShowDeviceRemoved() override { RunOnUiThread([] { StatusBarShowRemoved(); }); }
    void RepaintAll() override {
        if (HWND window = MainWnd()) InvalidateRect(window, nullptr, TRUE);
    }
    void DeviceReady() override { SendToMainWindow(APP_LINK_READY); }
    void RecordingDecoded() override { SendToMainWindow(APP_REDRAW_DIAGRAM); }

private:
    static void Show(const wchar_t* text, int part) {
        RunOnUiThread([copy = std::wstring(text), part] { StatusBarShowText(copy.c_str(), part); });
    }
};

}  // namespace

LinkReporter& TheWindowReporter() {
    static WindowReports reports;
    return reports;
}
