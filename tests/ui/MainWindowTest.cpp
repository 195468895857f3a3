#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>

#include <cstring>
#include <regex>
#include <string>

#include "app/AppEvents.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "resources/resource.h"
#include "tests/ui/AppHarness.h"

using namespace harness;

namespace {

bool EventSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

const wchar_t* PlainTitle() { return IsUserAdministrator() ? L"Tavo (Administrator)" : L"Tavo"; }

void ResetCommandEvents() {
    for (HANDLE event : TheEvents().CommandEvent) ResetEvent(event);
    ResetEvent(TheEvents().InterActive);
}

}  // namespace

TEST(MainWindow, CommandsStayGrayAndTheirLettersDoNothingUntilTheLinkIsReady) {
    TavoApp app;
    HWND window = app.Window();
    for (UINT id = IDM_DEBUG; id <= IDM_FACTORY; ++id) EXPECT_FALSE(MenuEnabled(window, id)) << id;
    EXPECT_FALSE(MenuEnabled(window, IDM_SAVE_DATA));
    EXPECT_TRUE(MenuEnabled(window, IDM_LOAD_DATA));
    EXPECT_TRUE(MenuEnabled(window, IDM_PARAMETER));

    SetFocus(window);
    TypeCharacter(window, L'd');
    TypeCharacter(window, L'B');
    EXPECT_FALSE(EventSet(TheEvents().CommandEvent[0]));
    EXPECT_FALSE(EventSet(TheEvents().CommandEvent[4]));

    SendMessageW(window, WM_APP, APP_LINK_READY, 0);
    for (UINT id = IDM_DEBUG; id <= IDM_FACTORY; ++id) EXPECT_TRUE(MenuEnabled(window, id)) << id;
    TypeCharacter(window, L'd');
    TypeCharacter(window, L'B');
    EXPECT_TRUE(EventSet(TheEvents().CommandEvent[0]));
    EXPECT_TRUE(EventSet(TheEvents().CommandEvent[4]));
    EXPECT_TRUE(MenuEnabled(window, IDM_SAVE_DATA)) << "Debug enables Save Data";
    ResetCommandEvents();
}

TEST(MainWindow, EveryCommandLetterInEitherCaseSetsItsCommandEvent) {
    TavoApp app;
    HWND window = app.Window();
    SendMessageW(window, WM_APP, APP_LINK_READY, 0);
    const struct {
        wchar_t letter;
        int event;
    } letters[] = {{L'D', 0}, {L'w', 1}, {L'W', 1}, {L'l', 2}, {L'L', 2}, {L'i', 3}, {L'I', 3},
                   {L'b', 4}, {L'r', 5}, {L'R', 5}, {L'f', 6}, {L'F', 6}};
    for (const auto& [letter, event] : letters) {
        ResetCommandEvents();
        TypeCharacter(window, letter);
        for (int i = 0; i < CommandEventCount; ++i)
            EXPECT_EQ(EventSet(TheEvents().CommandEvent[i]), i == event) << char(letter) << " event " << i;
    }
    ResetCommandEvents();
    TypeCharacter(window, L'x');
    for (HANDLE event : TheEvents().CommandEvent) EXPECT_FALSE(EventSet(event));
}

TEST(MainWindow, PreviewTogglesItsCheckMarkTextAndInterActive) {
    TavoApp app;
    HWND window = app.Window();
    SendMessageW(window, WM_APP, APP_LINK_READY, 0);
    SendMessageW(window, WM_APP, APP_SET_TITLE, reinterpret_cast<LPARAM>(L"old.rec"));

    SendMessageW(window, WM_COMMAND, IDM_PREVIEW, 0);
    EXPECT_EQ(PreviewActive(), 1);
    EXPECT_TRUE(MenuState(window, IDM_PREVIEW) & MF_CHECKED);
    EXPECT_TRUE(EventSet(TheEvents().InterActive));
    EXPECT_EQ(StatusBarText(PartCommand), L"Preview");
    EXPECT_EQ(WindowText(window), PlainTitle()) << "preview removes the file name from the title";
    EXPECT_FALSE(MenuEnabled(window, IDM_SAVE_DATA));

    ResetEvent(TheEvents().InterActive);
    SendMessageW(window, WM_COMMAND, IDM_PREVIEW, 0);
    EXPECT_EQ(PreviewActive(), 0);
    EXPECT_FALSE(MenuState(window, IDM_PREVIEW) & MF_CHECKED);
    EXPECT_TRUE(EventSet(TheEvents().InterActive));
    EXPECT_EQ(StatusBarText(PartCommand), L"");
    EXPECT_TRUE(MenuEnabled(window, IDM_SAVE_DATA));
    ResetCommandEvents();
}

TEST(MainWindow, TitleNamesTheFileAfterTwoBlanksAndNeverOverflows) {
    TavoApp app;
    HWND window = app.Window();
    EXPECT_EQ(WindowText(window), PlainTitle());
    SendMessageW(window, WM_APP, APP_SET_TITLE, reinterpret_cast<LPARAM>(L"Record 2013 05 07 09 05 03.rec"));
    EXPECT_EQ(WindowText(window), std::wstring(PlainTitle()) + L"  Record 2013 05 07 09 05 03.rec");

    const std::wstring longName(400, L'x');
    SendMessageW(window, WM_APP, APP_SET_TITLE, reinterpret_cast<LPARAM>(longName.c_str()));
    const std::wstring title = WindowText(window);
    EXPECT_EQ(title.size(), static_cast<size_t>(CaptionCapacity - 1));
    EXPECT_EQ(title.substr(0, std::wcslen(PlainTitle()) + 3), std::wstring(PlainTitle()) + L"  x");
    EXPECT_EQ(title.back(), L'\u2026');

    SendMessageW(window, WM_APP, APP_LINK_READY, 0);
    SendMessageW(window, WM_COMMAND, IDM_DEBUG, 0);
    EXPECT_EQ(WindowText(window), PlainTitle()) << "Debug resets the title";
    ResetCommandEvents();
}

TEST(MainWindow, StatusBarPartsFollowTheClientWidth) {
    TavoApp app;
    HWND window = app.Window();
    EXPECT_EQ(StatusBarPartCount(), 4);
    EXPECT_EQ(StatusBarText(PartDevice), L"");
    EXPECT_EQ(StatusBarText(PartState), L"Controller n/a");
    EXPECT_EQ(StatusBarText(PartClock), L"Datum Uhrzeit");

    ShowWindow(window, SW_RESTORE);
    SetWindowPos(window, nullptr, 0, 0, 1000, 700, SWP_NOZORDER);
    Pump(50);
    RECT client{};
    GetClientRect(window, &client);
    const int w = client.right;
    EXPECT_EQ(StatusBarPartEdge(0), 200);
    EXPECT_EQ(StatusBarPartEdge(1), w - 235);
    EXPECT_EQ(StatusBarPartEdge(2), w - 200);
    EXPECT_EQ(StatusBarPartEdge(3), w);
    const RECT field = StatusBarPartRect(PartState);
    const RECT clock = StatusBarPartRect(PartClock);
    // The control's part rectangles run between the edges, less its borders.
    EXPECT_EQ(field.right, w - 200);
    EXPECT_NEAR(field.left, w - 235, 3);
    EXPECT_EQ(clock.right, w);
    EXPECT_NEAR(clock.left, w - 200, 3);
    RECT bar{};
    GetWindowRect(StatusBarWindow(), &bar);
    EXPECT_GE(bar.bottom - bar.top, StatusMinHeight);
}

TEST(MainWindow, StateFieldShowsTheStateColourAndTheRepaintGreen) {
    TavoApp app;
    HWND window = app.Window();
    EXPECT_EQ(StatePixel(), RGB(0, 0, 0)) << "n/a before any worker";
    SetControllerState(ControllerOnline);
    EXPECT_EQ(StatePixel(), RGB(0, 155, 0));
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    Pump(50);
    EXPECT_EQ(StatePixel(), RGB(0, 150, 0)) << "the main window repaints online in its own green";
    SetControllerState(ControllerActive);
    EXPECT_EQ(StatePixel(), RGB(0, 255, 0));
    SetControllerState(ControllerOffline);
    EXPECT_EQ(StatePixel(), RGB(255, 0, 0));
    EXPECT_EQ(StatusBarText(PartState), L"Controller offline");

    // A fill from another thread reaches the field without blocking that thread.
    std::thread worker([] { SetControllerState(ControllerOnline); });
    worker.join();
    Pump(50);
    EXPECT_EQ(StatePixel(), RGB(0, 155, 0));
}

TEST(MainWindow, DeviceRemovalShowsOfflineBlackUntilTheNextRepaint) {
    TavoApp app;
    HWND window = app.Window();
    SetControllerState(ControllerOnline);
    DEV_BROADCAST_DEVICEINTERFACE_W header{};
    header.dbcc_size = sizeof(header);
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&header));
    Pump(30);
    EXPECT_EQ(GetControllerState(), ControllerOffline);
    EXPECT_EQ(StatusBarText(PartState), L"Controller offline");
    EXPECT_EQ(StatePixel(), RGB(0, 0, 0));
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    Pump(50);
    EXPECT_EQ(StatePixel(), RGB(255, 0, 0));

    // Other device types change nothing.
    DEV_BROADCAST_HDR volume{sizeof(volume), DBT_DEVTYP_VOLUME, 0};
    SetControllerState(ControllerOnline);
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&volume));
    EXPECT_EQ(GetControllerState(), ControllerOnline);
}

TEST(MainWindow, SizingKeepsAtLeast800By600) {
    TavoApp app;
    HWND window = app.Window();
    RECT drag{100, 300, 1100, 800};  // 500 high, top edge dragged down
    SendMessageW(window, WM_SIZING, WMSZ_TOP, reinterpret_cast<LPARAM>(&drag));
    EXPECT_EQ(drag.top, 200);
    EXPECT_EQ(drag.bottom, 800);
    RECT corner{100, 100, 600, 400};  // 500 x 300 from the bottom-right corner
    SendMessageW(window, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&corner));
    EXPECT_EQ(corner.right, 900);
    EXPECT_EQ(corner.bottom, 700);
    RECT left{300, 100, 800, 300};  // too small, dragged at the left edge: only the width changes
    SendMessageW(window, WM_SIZING, WMSZ_LEFT, reinterpret_cast<LPARAM>(&left));
    EXPECT_EQ(left.left, 0);
    EXPECT_EQ(left.top, 100);
    EXPECT_EQ(left.bottom, 300);
}

TEST(MainWindow, DroppingTwoFilesIsRefusedAndOneFileGraysSaveData) {
    DialogCatcher catcher;
    TavoApp app;
    HWND window = app.Window();
    SendMessageW(window, WM_APP, APP_LINK_READY, 0);
    SendMessageW(window, WM_COMMAND, IDM_DEBUG, 0);
    ASSERT_TRUE(MenuEnabled(window, IDM_SAVE_DATA));

    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\a.rec", L"C:\\b.rec"})), 0);
    ASSERT_TRUE(catcher.WaitForBoxes(1, 5000));
    EXPECT_EQ(catcher.Boxes()[0].text, L"One file only, please");
    EXPECT_EQ(catcher.Boxes()[0].icon, BoxIcon::None);
    EXPECT_TRUE(MenuEnabled(window, IDM_SAVE_DATA));

    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\does-not-exist.rec"})), 0);
    EXPECT_FALSE(MenuEnabled(window, IDM_SAVE_DATA));
    ResetCommandEvents();
}

TEST(MainWindow, ClockTicksIntoTheLastPart) {
    TavoApp app;
    ASSERT_TRUE(PumpUntil([] { return StatusBarText(PartClock) != L"Datum Uhrzeit"; }, 3000));
    const std::wstring clock = StatusBarText(PartClock);
    EXPECT_TRUE(std::regex_match(std::string(clock.begin(), clock.end()),
                                 std::regex(R"(\d{4}-\d{2}-\d{2}   \d{2}:\d{2}:\d{2})")))
        << std::string(clock.begin(), clock.end());
}

TEST(MainWindow, InfoShowsTheVersion) {
    DialogCatcher catcher;
    TavoApp app;
    PostMessageW(app.Window(), WM_COMMAND, IDM_INFO, 0);
    ASSERT_TRUE(catcher.WaitForBoxes(1, 5000));
    EXPECT_EQ(catcher.Boxes()[0].text, L"TAVO Version 0.2");
    EXPECT_EQ(catcher.Boxes()[0].icon, BoxIcon::Information);
}

TEST(MainWindow, ClosingWithoutAWorkerEndsAtOnceAndRewritesTheSettings) {
    const std::wstring ini = ExecutableDirectory() + L"Tavo.ini";
    TavoApp app;
    DeleteFileW(ini.c_str());  // the close must write it again
    HWND window = app.Window();
    EXPECT_EQ(app.Close(), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(StatusBarWindow(), nullptr);
    const std::wstring written = ReadTextFile(ini);
    EXPECT_NE(written.find(L"Clock=0,1250"), std::wstring::npos);
    EXPECT_NE(written.find(L"Channel[4].Id=RA"), std::wstring::npos);
    EXPECT_NE(written.find(L"Mode=RISE"), std::wstring::npos);
}
