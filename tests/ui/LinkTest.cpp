// The communication worker against the simulated controller (our FTD2XX.dll
// beside the test executable), in the test's own process.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/LinkEvents.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "editors/ParameterBlock.h"
#include "link/CommandFrame.h"
#include "link/Link.h"
#include "resources/resource.h"
#include "scope/RecordingOnScreen.h"
#include "scope/RecordBuffer.h"
#include "settings/Settings.h"
#include "sim/SimControl.h"
#include "tests/ui/AppHarness.h"
#include "tests/ui/DialogSupport.h"
#include "tests/ui/SimSupport.h"

using namespace harness;

using namespace simulator;

namespace {

const ParameterField& Field(uint8_t offset) {
    for (const auto& field : ParameterFields)
        if (field.Offset == offset) return field;
    return ParameterFields[0];
}

}  // namespace

TEST(Link, ComesUpReadsTheParametersAndEnablesTheCommands) {
    Sim sim(L"[Simulator]\nUnpaced=1\n");
    DialogCatcher catcher;
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    for (UINT id = IDM_DEBUG; id <= IDM_FACTORY; ++id) EXPECT_TRUE(MenuEnabled(app.Window(), id));
    EXPECT_TRUE(WaitForShown(PartCommand, L"Parameters fine"));
    EXPECT_TRUE(WaitForShown(PartDevice, L"FTDI Lib 3.2.21 Drv 2.18.22"));
    EXPECT_EQ(TheParameterBlock().Read(), sim.Ram()) << "the block is the controller's";
    ASSERT_EQ(sim.Opcodes(), "l");
    EXPECT_EQ(sim.Frame(0), BuildCommandFrame(CommandList, ParameterBytes{}));
    EXPECT_TRUE(catcher.Boxes().empty());
}

TEST(Link, DebugRecordsDecodesAndShowsTheByteCount) {
    Sim sim(L"[Simulator]\nUnpaced=1\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Command(IDM_DEBUG);
    ASSERT_TRUE(WaitForCommandText(L"256000 bytes received"));
    ASSERT_TRUE(WaitForState(ControllerOnline));
    EXPECT_EQ(TheRecord().Length.load(), 256000u);
    const DecodingState state = DecodingSnapshot();
    EXPECT_EQ(state.SampleStart, TheRecord().Buffer);
    EXPECT_EQ(state.SampleCount, 8000u);
    EXPECT_GE(state.TriggerCount, 3u) << "the simulated weld crosses the KI threshold several times";
    EXPECT_EQ(state.CurrentTrigger, 1u);
    EXPECT_EQ(sim.Opcodes().back(), 'd');
}

TEST(Link, InstallAndBurnCarryTheCurrentBlock) {
    Sim sim(L"[Simulator]\nUnpaced=1\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    TheParameterBlock().WriteField(Field(28), -1234);  // O1
    TheParameterBlock().WriteField(Field(4), 0x1234);  // FT
    const ParameterBytes block = TheParameterBlock().Read();
    Command(IDM_INSTALL);
    ASSERT_TRUE(sim.WaitForFrames(2, 5000));
    Command(IDM_BURN);
    ASSERT_TRUE(sim.WaitForFrames(3, 5000));
    EXPECT_EQ(sim.Frame(1), BuildCommandFrame(CommandInstall, block));
    EXPECT_EQ(sim.Frame(2), BuildCommandFrame(CommandBurn, block));
    EXPECT_EQ(sim.Ram(), block);
    for (int i = 1; i < CommandEventCount; ++i)
        EXPECT_EQ(WaitForSingleObject(TheLinkEvents().CommandEvent[i], 0), WAIT_TIMEOUT) << "reset after the command";
}

TEST(Link, PreviewZeroesSekWhileOnAndRestoresIt) {
    Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=32000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const unsigned before = sim.FrameCount();
    Command(IDM_PREVIEW);
    ASSERT_TRUE(sim.WaitForFrames(before + 3, 10000)) << "the install, then preview polls";
    const CommandFrame install = sim.Frame(before);
    EXPECT_EQ(install[OpcodeOffset], 'i');
    EXPECT_EQ(install[OffsetSEK], 0);
    EXPECT_EQ(sim.Frame(before + 1)[OpcodeOffset], 'd');
    EXPECT_EQ(TheParameterBlock().ReadByte(OffsetSEK), 0);

    const unsigned on = sim.FrameCount();
    Command(IDM_PREVIEW);
    ASSERT_TRUE(PumpUntil([&] { return TheParameterBlock().ReadByte(OffsetSEK) == 8; }, 10000));
    // The install that ends it, then the list that shows the controller holds it.
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes(on).find("il") != std::string::npos; }, 10000));
    const unsigned restore = on + static_cast<unsigned>(sim.Opcodes(on).find("il"));
    EXPECT_EQ(sim.Frame(restore)[OffsetSEK], 8) << "the controller's own SEK";
    Pump(1500);
    EXPECT_EQ(sim.FrameCount(), restore + 2) << "no polls once preview is off";
}

TEST(Link, ListRepliesOfAnotherLengthAreErrorsThatLeaveTheBlock) {
    for (const auto& [length, text] : {std::pair<const wchar_t*, const wchar_t*>{L"127", L"Parameters: 127 bytes received - ERROR"},
                                       {L"0", L"Parameters: 0 bytes received - ERROR"},
                                       {L"200", L"Parameters: 200 bytes received - ERROR"}}) {
        const std::wstring scenario = std::wstring(L"[Simulator]\nUnpaced=1\nListReplyBytes=") + length + L"\n";
        Sim sim(scenario.c_str());
        TavoApp app(true);
        ASSERT_TRUE(WaitForCommandText(text));
        EXPECT_TRUE(WaitForState(ControllerOffline)) << "no answer: not online";
        EXPECT_EQ(TheParameterBlock().Read(), ParameterBytes{}) << "the block stays as it was";
    }
}

TEST(Link, ARecordingInBurstsWithShortPausesIsOneRecording) {
    Sim sim(L"[Simulator]\nPauseAfterBytes=65536\nPauseMs=400\nBytesPerSecond=4000000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Command(IDM_DEBUG);
    ASSERT_TRUE(WaitForCommandText(L"256000 bytes received", 15000));
    EXPECT_EQ(DecodingSnapshot().SampleCount, 8000u);
}

TEST(Link, APauseOfASecondEndsTheRecording) {
    Sim sim(L"[Simulator]\nPauseAfterBytes=96000\nPauseMs=1300\nPauseRepeat=0\nBytesPerSecond=4000000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Command(IDM_DEBUG);
    ASSERT_TRUE(WaitForCommandText(L"96000 bytes received", 15000));
    EXPECT_EQ(DecodingSnapshot().SampleCount, 3000u);
}

TEST(Link, AStreamLargerThanTheBufferKeepsWhatFitsAndSaysSo) {
    Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=9000000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Command(IDM_DEBUG);
    ASSERT_TRUE(WaitForCommandText(L"8650752 bytes received", 20000));
    EXPECT_EQ(Shown(PartCommand), L"8650752 bytes received - 349248 bytes beyond the buffer dropped");
    EXPECT_EQ(TheRecord().Length.load(), RecordBufferSize);
}

TEST(Link, WithoutExactlyOneDeviceTheLinkGoesOfflineWithoutABox) {
    for (const auto& [scenario, count] : {std::pair<const wchar_t*, const wchar_t*>{L"[Simulator]\nDevices=0\n", L"0"},
                                          {L"[Simulator]\nDevices=2\n", L"2"}}) {
        Sim sim(scenario);
        DialogCatcher catcher;
        TavoApp app(true);
        ASSERT_TRUE(WaitForState(ControllerOffline));
        EXPECT_TRUE(WaitForShown(PartDevice, std::wstring(L"FTDI: ") + count + L" devices found"));
        EXPECT_TRUE(catcher.Boxes().empty());
        EXPECT_EQ(sim.OpenHandles(), 0u);
        EXPECT_FALSE(MenuEnabled(app.Window(), IDM_DEBUG));
    }
}

TEST(Link, ARefusedBaudRateIsShownAndTheOpenedHandleClosed) {
    Sim sim(L"[Simulator]\nFailCall=FT_SetBaudRate\nFailStatus=7\n");
    DialogCatcher catcher;
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOffline));
    EXPECT_TRUE(WaitForShown(PartDevice, L"FT_SetBaudRate(...) failed Status invalid baud rate"));
    EXPECT_EQ(sim.OpenHandles(), 0u);
    EXPECT_TRUE(catcher.Boxes().empty());
}

TEST(Link, ALinkLostWithItsDevicePresentIsShownAndComesBackByItself) {
    Sim sim(L"[Simulator]\nUnpaced=1\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const unsigned opens = sim.Opens();
    sim.Fail("FT_StopInTask", 4, -1);  // the in-task never stops again
    Command(IDM_LIST);
    ASSERT_TRUE(WaitForState(ControllerOffline, 10000));
    ASSERT_TRUE(PumpUntil([] { return !LinkWorkerRunning(); }, 5000));
    EXPECT_EQ(sim.OpenHandles(), 0u);
    EXPECT_EQ(Shown(PartDevice), L"Controller link lost: next attempt in 3 s");

    sim.Heal();
    const unsigned frames = sim.FrameCount();
    ASSERT_TRUE(WaitForState(ControllerOnline, 10000)) << "tried again a few seconds later";
    EXPECT_EQ(sim.Opens(), opens + 1);
    EXPECT_EQ(sim.Opcodes(frames), "l");
    EXPECT_EQ(sim.OpenHandles(), 1u);
}

TEST(Link, UnplugGoesOfflineAndReplugStartsExactlyOneNewWorker) {
    Sim sim(L"[Simulator]\nUnpaced=1\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    sim.Unplug();
    ASSERT_TRUE(WaitForState(ControllerOffline));
    ASSERT_TRUE(PumpUntil([] { return !LinkWorkerRunning() && !LinkServesRequests(); }, 5000)) << "the old worker ends";
    EXPECT_EQ(sim.OpenHandles(), 0u);
    EXPECT_EQ(StatePixel(), RGB(0, 0, 0)) << "the field stays black after the worker ended";
    InvalidateRect(app.Window(), nullptr, TRUE);
    UpdateWindow(app.Window());
    EXPECT_EQ(StatePixel(), RGB(255, 0, 0)) << "until the next repaint";
    const unsigned before = sim.FrameCount();
    sim.Replug();
    ASSERT_TRUE(WaitForState(ControllerOnline));
    ASSERT_TRUE(sim.WaitForNotices());
    EXPECT_EQ(sim.OpenHandles(), 1u);
    EXPECT_EQ(sim.FrameCount(), before + 1) << "one new worker listed the parameters once";

    // Pulled and put back at once: the new worker waits for the old one to end.
    sim.Unplug();
    sim.Replug();
    ASSERT_TRUE(PumpUntil([&] { return sim.FrameCount() == before + 2 && GetControllerState() == ControllerOnline; },
                          8000))
        << "frames " << sim.FrameCount() - before << ", state " << GetControllerState() << ", worker "
        << LinkWorkerRunning();
    ASSERT_TRUE(sim.WaitForNotices());
    EXPECT_EQ(sim.OpenHandles(), 1u);
    EXPECT_EQ(sim.FrameCount(), before + 2);
}

TEST(Link, ClosingDuringARecordingEndsTheWorkerWithinTheCloseWait) {
    Sim sim(L"[Simulator]\nBytesPerSecond=20000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Command(IDM_DEBUG);
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes().back() == 'd'; }, 5000)) << "the recording runs";
    EXPECT_EQ(app.Close(), 0);
    EXPECT_FALSE(LinkWorkerRunning());
}

TEST(Link, AFieldEditedInTheParameterDialogReachesTheControllerWithTheInstall) {
    Sim sim(L"[Simulator]\nUnpaced=1\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const unsigned before = sim.FrameCount();
    HWND dialog = dialogs::Open(IDM_PARAMETER);
    ASSERT_NE(dialog, nullptr);
    SetDlgItemTextW(dialog, Field(28).EditId, L"-1.234");  // O1, as the spin would write it
    SetDlgItemTextW(dialog, Field(12).EditId, L"40000");   // P1
    dialogs::Press(dialog, IDOK);
    ASSERT_TRUE(sim.WaitForFrames(before + 1, 5000));
    const CommandFrame install = sim.Frame(before);
    EXPECT_EQ(install[OpcodeOffset], 'i');
    EXPECT_EQ(install[28], 0x2E);  // -1234 = 0xFB2E
    EXPECT_EQ(install[29], 0xFB);
    EXPECT_EQ(install[12], 0x40);  // 40000 = 0x9C40
    EXPECT_EQ(install[13], 0x9C);
    EXPECT_EQ(install, BuildCommandFrame(CommandInstall, TheParameterBlock().Read()));
    EXPECT_EQ(sim.Ram(), TheParameterBlock().Read()) << "the controller took the edited set";
}
