// What operator PCs do to the program: scaled screens, a second start, and
// the end of the Windows session.
#include <gtest/gtest.h>
#include <windows.h>

#include "link/LinkEvents.h"
#include "link/Link.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/ScreenCheck.h"
#include "app/SingleInstance.h"
#include "app/StatusBar.h"
#include "link/CommunicationWorker.h"
#include "settings/Settings.h"
#include "tests/ui/AppHarness.h"

using namespace harness;

namespace {

std::wstring SettingsPath() { return ExecutableDirectory() + L"Tavo.ini"; }

// A stand-in for the window of a TAVO that runs in another process.
class RunningTavoWindow {
public:
    RunningTavoWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TAVO";
        RegisterClassW(&windowClass);
        window_ = CreateWindowW(L"TAVO", L"Tavo", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    }
    ~RunningTavoWindow() {
        DestroyWindow(window_);
        UnregisterClassW(L"TAVO", GetModuleHandleW(nullptr));
    }
    HWND Get() const { return window_; }

private:
    HWND window_;
};

}  // namespace

TEST(ScreenCheck, AScaledScreenPassesAndTheMessageShowsThePhysicalSize) {
    DialogCatcher catcher;
    // A 1920 x 1080 laptop screen at 150 % is told 1280 x 720.
    EXPECT_EQ(CheckScreenResolution(ScreenMetrics{{1280, 720}, {1920, 1080}}), 1);
    EXPECT_EQ(CheckScreenResolution(ScreenMetrics{{800, 600}, {1000, 700}}), 0);
    ASSERT_TRUE(catcher.WaitForBoxes(1, 5000));
    ASSERT_EQ(catcher.Boxes().size(), 1u) << "no box for the scaled screen";
    EXPECT_EQ(catcher.Boxes()[0].text, L"Bildschirmaulösung\naktuell:  1000 *  700\nbenötigt: 1024 *  768");
    EXPECT_EQ(catcher.Boxes()[0].icon, BoxIcon::Error);
}

TEST(SingleInstance, ASecondStartBringsTheFirstForwardAndEndsWith0BeforeAnyEvent) {
    HANDLE otherGuard = CreateMutexW(nullptr, FALSE, InstanceGuardName);
    {
        RunningTavoWindow running;
        ShowWindow(running.Get(), SW_SHOWMINIMIZED);
        HWND elsewhere = CreateWindowW(L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetForegroundWindow(elsewhere);
        TavoApp second;
        EXPECT_FALSE(second.Started());
        EXPECT_EQ(second.StartExitCode(), ExitNormal);
        const LinkEvents& events = TheLinkEvents();
        EXPECT_EQ(events.ApplicationDone, nullptr);
        EXPECT_EQ(events.RecordingDone, nullptr);
        for (HANDLE command : events.CommandEvent) EXPECT_EQ(command, nullptr);
        EXPECT_EQ(MainWnd(), nullptr);
        EXPECT_FALSE(IsIconic(running.Get()));
        EXPECT_EQ(GetForegroundWindow(), running.Get());
        DestroyWindow(elsewhere);
    }
    // Once the other TAVO has ended, TAVO starts.
    CloseHandle(otherGuard);
    TavoApp next;
    EXPECT_TRUE(next.Started());
}

TEST(EndSession, TavoIniIsWrittenBeforeWmEndSessionReturnsAndTheWorkerEnds) {
    TavoApp app(true);
    ASSERT_TRUE(PumpUntil([] { return GetControllerState() == ControllerOnline; }, 10000));
    HWND window = app.Window();
    AppSettings().Threshold = 321;

    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE) << "the program never vetoes";
    // Another program refused: the session goes on, nothing is written.
    SendMessageW(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(ReadTextFile(SettingsPath()).find(L"Threshold=321"), std::wstring::npos);

    // After this answer Windows may end the process at any moment.
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_NE(ReadTextFile(SettingsPath()).find(L"Threshold=321"), std::wstring::npos);
    EXPECT_FALSE(CommunicationWorkerRunning());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(app.Close(), ExitNormal);
}
