#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>

#include <cstring>
#include <regex>
#include <string>

#include "link/LinkEvents.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "link/Commands.h"
#include "link/Link.h"
#include "app/StatusBar.h"
#include "resources/resource.h"
#include "editors/ParameterBlock.h"
#include "tests/ui/AppHarness.h"
#include "tests/ui/SimSupport.h"

using namespace harness;
using namespace simulator;

namespace {

bool EventSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

const wchar_t* PlainTitle() { return IsUserAdministrator() ? L"Tavo (Administrator)" : L"Tavo"; }

void ResetCommandEvents() {
    for (HANDLE event : TheLinkEvents().CommandEvent) ResetEvent(event);
    ResetEvent(TheLinkEvents().InterActive);
}

}  // namespace

// A silent controller takes every frame and answers nothing, so each
// command shows as its frame at once.
constexpr const wchar_t* SilentController = L"[Simulator]\nUnpaced=1\nSilent=1\n";

TEST(MainWindow, CommandsStayGrayAndTheirLettersDoNothingUntilTheLinkIsReady) {
    Sim sim(SilentController);
    TavoApp app;
    HWND window = app.Window();
    for (UINT id = IDM_DEBUG; id <= IDM_FACTORY; ++id) EXPECT_FALSE(MenuEnabled(window, id)) << id;
    EXPECT_FALSE(MenuEnabled(window, IDM_SAVE_DATA));
    EXPECT_TRUE(MenuEnabled(window, IDM_LOAD_DATA));
    EXPECT_TRUE(MenuEnabled(window, IDM_PARAMETER));

    SetFocus(window);
    TypeCharacter(window, L'd');
    TypeCharacter(window, L'B');
    EXPECT_FALSE(EventSet(TheLinkEvents().CommandEvent[0]));
    EXPECT_FALSE(EventSet(TheLinkEvents().CommandEvent[4]));

    Command(IDM_START_WORKER);
    ASSERT_TRUE(WaitForLink());
    TheParameterBlock().Replace(sim.Ram());  // the silent controller lists nothing; a burn needs a block
    for (UINT id = IDM_DEBUG; id <= IDM_FACTORY; ++id) EXPECT_TRUE(MenuEnabled(window, id)) << id;
    EXPECT_EQ(sim.Opcodes(), "l") << "the letters pressed before did nothing";
    SetFocus(window);
    TypeCharacter(window, L'd');
    TypeCharacter(window, L'B');
    EXPECT_TRUE(sim.WaitForFrames(3, 5000));
    EXPECT_EQ(sim.Opcodes(), "ldb");
    EXPECT_TRUE(MenuEnabled(window, IDM_SAVE_DATA)) << "Debug enables Save Data";
}

TEST(MainWindow, EveryCommandLetterInEitherCaseSendsItsCommand) {
    Sim sim(SilentController);
    TavoApp app(true);
    ASSERT_TRUE(WaitForLink());
    TheParameterBlock().Replace(sim.Ram());  // install and burn need a block read or set
    HWND window = app.Window();
    SetFocus(window);
    const std::wstring letters = L"DwWlLiIbrRfF";
    const std::string opcodes = "dwwlliibrrff";
    for (size_t i = 0; i < letters.size(); ++i) {
        const unsigned before = sim.FrameCount();
        TypeCharacter(window, letters[i]);
        ASSERT_TRUE(sim.WaitForFrames(before + 1, 5000)) << char(letters[i]);
        EXPECT_EQ(sim.Frame(before)[OpcodeOffset], opcodes[i]) << char(letters[i]);
        // Taken when the worker has reset the command's event (the list's after
        // its reply): a second letter of the same kind before that is folded.
        int command = 0;
        while (ControllerCommands[command].Opcode != static_cast<uint8_t>(opcodes[i])) ++command;
        ASSERT_TRUE(PumpUntil([&] { return !EventSet(TheLinkEvents().CommandEvent[command]); }, 5000));
    }
    const unsigned before = sim.FrameCount();
    TypeCharacter(window, L'x');
    Pump(300);  // a command would have reached the controller by now
    EXPECT_EQ(sim.FrameCount(), before) << "x asked for a command";
}

TEST(MainWindow, PreviewTogglesItsModeCheckMarkAndText) {
    TavoApp app;
    HWND window = app.Window();
    SendMessageW(window, WM_APP, APP_SET_TITLE, reinterpret_cast<LPARAM>(L"old.rec"));

    SendMessageW(window, WM_COMMAND, IDM_PREVIEW, 0);
    EXPECT_EQ(PreviewActive(), 1);
    EXPECT_TRUE(MenuState(window, IDM_PREVIEW) & MF_CHECKED);
    EXPECT_FALSE(EventSet(TheLinkEvents().InterActive)) << "no worker to tell: the next one follows the mode";
    EXPECT_EQ(StatusBarText(PartCommand), L"Preview");
    EXPECT_EQ(WindowText(window), PlainTitle()) << "preview removes the file name from the title";
    EXPECT_FALSE(MenuEnabled(window, IDM_SAVE_DATA));

    SendMessageW(window, WM_COMMAND, IDM_PREVIEW, 0);
    EXPECT_EQ(PreviewActive(), 0);
    EXPECT_FALSE(MenuState(window, IDM_PREVIEW) & MF_CHECKED);
    EXPECT_EQ(StatusBarText(PartCommand), L"");
    EXPECT_TRUE(MenuEnabled(window, IDM_SAVE_DATA));
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

    SendMessageW(window, WM_COMMAND, IDM_DEBUG, 0);
    EXPECT_EQ(WindowText(window), PlainTitle()) << "Debug resets the title";
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
    EXPECT_EQ(StatePixel(), RGB(0, 150, 0)) << "the main window repaints online in its own green";
    SetControllerState(ControllerActive);
    EXPECT_EQ(StatePixel(), RGB(0, 255, 0));
    SetControllerState(ControllerOffline);
    EXPECT_EQ(StatePixel(), RGB(255, 0, 0));
    EXPECT_EQ(StatusBarText(PartState), L"Controller offline");

    // A fill from another thread reaches the field without blocking that thread.
    std::thread worker([] { SetControllerState(ControllerOnline); });
    worker.join();
    EXPECT_TRUE(PumpUntil([] { return StatePixel() == RGB(0, 155, 0); }, 2000));
}

TEST(MainWindow, DeviceRemovalShowsOfflineBlackUntilTheNextRepaint) {
    TavoApp app;
    HWND window = app.Window();
    SetControllerState(ControllerOnline);
    DEV_BROADCAST_DEVICEINTERFACE_W header{};
    header.dbcc_size = sizeof(header);
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(GetControllerState(), ControllerOffline);
    EXPECT_EQ(StatusBarText(PartState), L"Controller offline");
    EXPECT_EQ(StatePixel(), RGB(0, 0, 0));
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
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
    SendMessageW(window, WM_COMMAND, IDM_PREVIEW, 0);
    SendMessageW(window, WM_COMMAND, IDM_PREVIEW, 0);  // switched off: Save Data enabled
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
