// The link under faults and their sequences: requests while offline, other
// FTDI devices, replugs, lost links, preview across them, broken replies,
// and what a save writes after a reception that stopped partway.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/AppEvents.h"
#include "app/StatusBar.h"
#include "editors/ParameterBlock.h"
#include "link/Link.h"
#include "resources/resource.h"
#include "scope/DecodingView.h"
#include "scope/RecordBuffer.h"
#include "tests/ui/AppHarness.h"
#include "tests/ui/SimSupport.h"

using namespace harness;
using namespace simulator;

namespace {

testing::AssertionResult WaitForWorkerEnd() {
    if (PumpUntil([] { return !LinkWorkerRunning(); }, 5000)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the worker did not end";
}

// The samples on screen, as bytes.
std::vector<uint8_t> ShownSamples() {
    const DecodingState state = DecodingSnapshot();
    if (!state.SampleStart) return {};
    return std::vector<uint8_t>(state.SampleStart, state.SampleStart + size_t{state.SampleCount} * SampleSize);
}

// The simulated controller writes its weld's number into byte 1 of every
// sample: the set of numbers in a run tells whose samples it holds.
std::vector<uint8_t> WeldsIn(const std::vector<uint8_t>& samples) {
    std::vector<uint8_t> welds;
    for (size_t at = 1; at < samples.size(); at += SampleSize)
        if (welds.empty() || welds.back() != samples[at]) welds.push_back(samples[at]);
    return welds;
}

// Saves through the File menu into `path`, answering the dialog and the box.
testing::AssertionResult SaveThroughTheMenu(DialogCatcher& catcher, const std::wstring& path) {
    DeleteFileW(path.c_str());
    catcher.Clear();
    catcher.Answer(L"Save current data", [path](HWND dialog) { AnswerFileDialog(dialog, path); });
    Command(IDM_SAVE_DATA);
    if (!catcher.WaitForBoxes(1, 15000)) return testing::AssertionFailure() << "no box after the save";
    const std::wstring said = catcher.Boxes()[0].text;
    if (said != L"Data have been saved") return testing::AssertionFailure() << "the box said " << Narrow(said);
    return testing::AssertionSuccess();
}

}  // namespace

TEST(LinkFaults, RequestsMadeWhileNoWorkerServesThemAreDroppedButPreviewIsAMode) {
    Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=3200\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    sim.Unplug();
    ASSERT_TRUE(WaitForState(ControllerOffline));
    ASSERT_TRUE(WaitForWorkerEnd());

    // Weld, burn, factory setting, restart, install, debug and list pressed
    // while the cable is out: none may run when it is back.
    SetFocus(app.Window());
    for (const wchar_t letter : {L'w', L'B', L'f', L'R', L'i', L'D', L'l'}) TypeCharacter(app.Window(), letter);
    EXPECT_EQ(Shown(PartCommand), L"No link to the controller: command not sent");
    const ParameterBytes ram = sim.Ram();
    const ParameterBytes rom = sim.Rom();
    unsigned frames = sim.FrameCount();
    sim.Replug();
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Pump(1500);
    EXPECT_EQ(sim.Opcodes(frames), "l") << "only the new worker's list";
    EXPECT_EQ(sim.Ram(), ram);
    EXPECT_EQ(sim.Rom(), rom);

    // Preview switched on while offline is taken up by the next link.
    sim.Unplug();
    ASSERT_TRUE(WaitForWorkerEnd());
    TypeCharacter(app.Window(), L'p');
    ASSERT_EQ(PreviewActive(), 1);
    frames = sim.FrameCount();
    sim.Replug();
    ASSERT_TRUE(sim.WaitForFrames(frames + 3, 10000));
    EXPECT_EQ(sim.Opcodes(frames).substr(0, 3), "lid") << "list, install with SEK 0, then the polls";
    EXPECT_EQ(sim.Frame(frames + 1)[OffsetSEK], 0);
    TypeCharacter(app.Window(), L'p');
    ASSERT_TRUE(PumpUntil([&] { return sim.Ram() == ram; }, 10000)) << "preview off puts SEK back";
}

TEST(LinkFaults, AnotherFtdiDeviceComingAndGoingLeavesTheLinkAlone) {
    Sim sim(L"[Simulator]\nUnpaced=1\nDevices=2\n");
    sim.UnplugDevice(1);  // only the controller when the program starts
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Pump(200);
    const unsigned frames = sim.FrameCount();
    const unsigned opens = sim.Opens();

    sim.ReplugDevice(1);
    Pump(1500);
    sim.UnplugDevice(1);
    Pump(1500);
    EXPECT_EQ(GetControllerState(), ControllerOnline);
    EXPECT_NE(StatePixel(), RGB(0, 0, 0)) << "the field did not go black";
    EXPECT_EQ(sim.FrameCount(), frames);
    EXPECT_EQ(sim.Opens(), opens);
    EXPECT_EQ(sim.OpenHandles(), 1u);
    Command(IDM_DEBUG);
    EXPECT_TRUE(WaitForCommandText(L"256000 bytes received"));

    // The controller goes while the other adapter is there: the link ends
    // and the one device left is tried, as at a start (the program links to
    // the one FTDI device there is). With the controller back beside it the
    // link stays; once the other one goes, the controller is tried again.
    sim.ReplugDevice(1);
    Pump(300);
    sim.UnplugDevice(0);
    ASSERT_TRUE(PumpUntil([&] { return sim.Opens() == opens + 1 && GetControllerState() == ControllerOnline; }, 10000));
    EXPECT_EQ(sim.FrameDevice(sim.FrameCount() - 1), 1);
    sim.ReplugDevice(0);
    Pump(1000);
    EXPECT_EQ(sim.Opens(), opens + 1);
    sim.UnplugDevice(1);
    ASSERT_TRUE(PumpUntil([&] { return sim.Opens() == opens + 2 && GetControllerState() == ControllerOnline; }, 10000));
    EXPECT_EQ(sim.FrameDevice(sim.FrameCount() - 1), 0);
    EXPECT_EQ(sim.OpenHandles(), 1u);
}

TEST(LinkFaults, UnpluggedDuringARecordingAndPluggedBackAtOnceTheLinkComesBackOnce) {
    Sim sim(L"[Simulator]\nBytesPerSecond=100000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const unsigned opens = sim.Opens();
    Command(IDM_DEBUG);
    ASSERT_TRUE(WaitForState(ControllerActive));
    Pump(300);
    sim.Unplug();
    sim.Replug();
    ASSERT_TRUE(PumpUntil([&] { return sim.Opens() == opens + 1 && GetControllerState() == ControllerOnline; }, 10000))
        << "opens " << sim.Opens() - opens << ", state " << GetControllerState();
    Pump(1500);
    EXPECT_EQ(sim.Opens(), opens + 1);
    EXPECT_EQ(sim.OpenHandles(), 1u);
    EXPECT_EQ(sim.NotificationsClosedFirst(), 0u) << "the device is closed before its event";
}

TEST(LinkFaults, SekComesBackAfterFoldedPressesAndAPreviewThatSpansALostLink) {
    Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=32000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const ParameterBytes before = TheParameterBlock().Read();
    ASSERT_NE(before[OffsetSEK], 0);

    Command(IDM_PREVIEW);
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes().find("id") != std::string::npos; }, 10000));
    // Off and on again while a poll runs: one "InterActive" for two presses.
    ASSERT_TRUE(WaitForState(ControllerActive));
    SendMessageW(app.Window(), WM_COMMAND, IDM_PREVIEW, 0);
    SendMessageW(app.Window(), WM_COMMAND, IDM_PREVIEW, 0);
    Pump(2500);

    // The link goes and comes back while preview stays on.
    sim.Unplug();
    ASSERT_TRUE(WaitForWorkerEnd());
    const unsigned frames = sim.FrameCount();
    sim.Replug();
    ASSERT_TRUE(sim.WaitForFrames(frames + 2, 10000));
    EXPECT_EQ(sim.Opcodes(frames).substr(0, 2), "li");

    Command(IDM_PREVIEW);
    ASSERT_TRUE(PumpUntil([&] { return sim.Ram() == before; }, 10000))
        << "SEK " << int(sim.Ram()[OffsetSEK]) << " instead of " << int(before[OffsetSEK]);
    EXPECT_EQ(TheParameterBlock().Read(), before);
}

TEST(LinkFaults, AListReplyWithALostReadIsAnErrorAndAFailedQueueQueryIsNoLostReply) {
    struct Case {
        const wchar_t* scenario;
        const wchar_t* text;
        bool taken;
    };
    // 256 bytes arrive at once; the first read of 128 fails and loses its
    // bytes, the other 128 are dropped: 128 in all, none of them stored.
    // And a status query that fails once leaves the reply queued.
    const Case cases[] = {
        {L"[Simulator]\nUnpaced=1\nListReplyBytes=256\nFailCall=FT_Read\nFailStatus=4\nFailCount=1\n",
         L"Parameters: 128 bytes received - ERROR", false},
        {L"[Simulator]\nUnpaced=1\nFailCall=FT_GetStatus\nFailStatus=4\nFailCount=1\n", L"Parameters fine", true},
    };
    for (const Case& c : cases) {
        Sim sim(c.scenario);
        TavoApp app(true);
        ASSERT_TRUE(WaitForState(ControllerOnline)) << Narrow(c.text);
        Pump(100);
        EXPECT_EQ(Shown(PartCommand), c.text);
        EXPECT_EQ(TheParameterBlock().Read(), c.taken ? sim.Ram() : ParameterBytes{}) << Narrow(c.text);
    }
}

TEST(LinkFaults, ARecordingThatStopsPartwayLeavesTheRecordingOnScreenWhichSaveWrites) {
    Sim sim(L"[Simulator]\nBytesPerSecond=400000\n");
    DialogCatcher catcher;
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Command(IDM_DEBUG);
    ASSERT_TRUE(WaitForCommandText(L"256000 bytes received"));
    const std::vector<uint8_t> first = ShownSamples();
    ASSERT_EQ(first.size(), 8000u * SampleSize);
    ASSERT_EQ(WeldsIn(first), std::vector<uint8_t>{1});

    // The second weld's recording is cut off by the unplug.
    Command(IDM_DEBUG);
    ASSERT_TRUE(WaitForState(ControllerActive));
    Pump(250);
    sim.Unplug();
    ASSERT_TRUE(WaitForWorkerEnd());
    EXPECT_EQ(ShownSamples(), first);

    const std::wstring path = TempPath(L"tavo-partway.rec");
    ASSERT_TRUE(SaveThroughTheMenu(catcher, path));
    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_EQ(file.size(), 68u + first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), file.begin() + 68)) << "welds " << WeldsIn({file.begin() + 68, file.end()}).size();
    DeleteFileW(path.c_str());
}

TEST(LinkFaults, SaveDuringPreviewWritesOneWholeRecording) {
    Sim sim(L"[Simulator]\nStreamBytes=64000\nBytesPerSecond=400000\n");
    DialogCatcher catcher;
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Command(IDM_PREVIEW);
    ASSERT_TRUE(PumpUntil([] { return DecodingSnapshot().SampleCount == 2000; }, 10000));
    // Saved while the next preview recording arrives.
    ASSERT_TRUE(WaitForState(ControllerActive));
    const std::wstring path = TempPath(L"tavo-preview.rec");
    ASSERT_TRUE(SaveThroughTheMenu(catcher, path));
    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_EQ(file.size(), 68u + 2000u * SampleSize);
    const std::vector<uint8_t> samples(file.begin() + 68, file.end());
    EXPECT_EQ(WeldsIn(samples).size(), 1u) << "one weld's samples, not a mix";
    EXPECT_EQ(file[4 + OffsetSEK], 0) << "the block as it is during preview";
    Command(IDM_PREVIEW);
    DeleteFileW(path.c_str());
}
