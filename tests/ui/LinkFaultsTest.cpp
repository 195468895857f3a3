// The link under faults and their sequences: requests while offline, other
// FTDI devices, replugs, lost links, preview across them, broken replies,
// and what a save writes after a reception that stopped partway.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/LinkEvents.h"
#include "app/StatusBar.h"
#include "editors/ParameterBlock.h"
#include "link/Link.h"
#include "resources/resource.h"
#include "scope/RecordingOnScreen.h"
#include "scope/RecordBuffer.h"
#include "tests/ui/AppHarness.h"
#include "tests/ui/DialogSupport.h"
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

// Judged on what the controller did: it welded (carried out a 'd' or a 'w'
// with a SEK other than 0) exactly `welds` times, the welds asked for; no
// burn stored SEK 0; and every frame it took began where a frame was
// written, so its framing stayed in step.
testing::AssertionResult ControllerStayedSafe(const Sim& sim, unsigned welds = 0) {
    unsigned welded = 0;
    for (const SimExecution& done : sim.Executions()) {
        if (!done.CarriedOut) continue;
        if (!done.Aligned) return testing::AssertionFailure() << "out of step at write " << done.Write;
        if ((done.Opcode == 'd' || done.Opcode == 'w') && done.Sek != 0) ++welded;
        if (done.Opcode == 'b' && done.Sek == 0) return testing::AssertionFailure() << "a burn stored SEK 0";
    }
    if (welded == welds) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "welded " << welded << " times, " << welds << " asked for, in \"" << sim.Opcodes()
                                       << '"';
}

// Until the controller has taken a poll (its recording is on its way): a
// cable pulled while a frame is still leaving the chip would cut it, and the
// controller's framing would be out of step until it restarts.
testing::AssertionResult WaitUntilAPollIsTaken(const Sim& sim) {
    const size_t before = sim.Executions().size();
    if (PumpUntil(
            [&] {
                const std::vector<SimExecution> done = sim.Executions();
                return done.size() > before && done.back().Opcode == 'd';
            },
            10000))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "no poll taken in \"" << sim.Opcodes() << '"';
}

// The 'd' frames written from `first` on.
size_t Polls(const Sim& sim, unsigned first) {
    const std::string opcodes = sim.Opcodes(first);
    return static_cast<size_t>(std::count(opcodes.begin(), opcodes.end(), 'd'));
}

// Waits without pumping (for a thread that has no messages to serve).
bool PumplessWait(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= end) return false;
        Sleep(10);
    }
    return true;
}

ParameterBytes WithSek(ParameterBytes block, uint8_t sek) {
    block[OffsetSEK] = sek;
    return block;
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
    EXPECT_FALSE(MenuEnabled(app.Window(), IDM_SAVE_DATA)) << "a Debug not sent has nothing to save";
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

    // Preview on again while offline, and the close comes during the new
    // link's first list: no install follows the list that was cut short.
    sim.Unplug();
    ASSERT_TRUE(WaitForWorkerEnd());
    TypeCharacter(app.Window(), L'p');
    frames = sim.FrameCount();
    sim.Replug();
    ASSERT_TRUE(sim.WaitForFrames(frames + 1, 10000));
    EXPECT_EQ(app.Close(), 0);
    EXPECT_EQ(sim.Opcodes(frames), "l");
    EXPECT_EQ(sim.Ram(), ram);
}

TEST(LinkFaults, AnotherFtdiDeviceComingAndGoingLeavesTheLinkAlone) {
    Sim sim(L"[Simulator]\nUnpaced=1\nDevices=2\n");
    sim.UnplugDevice(1);  // only the controller when the program starts
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const unsigned frames = sim.FrameCount();
    const unsigned opens = sim.Opens();
    ReportSpy reports;

    // Nothing happens: the window takes both notices, the worker answers the
    // check, and no frame, open or start follows.
    sim.ReplugDevice(1);
    sim.UnplugDevice(1);
    ASSERT_TRUE(sim.WaitForNotices());
    Pump(1500);
    EXPECT_EQ(GetControllerState(), ControllerOnline);
    EXPECT_EQ(reports.Removed, 0) << "another adapter's removal is not the controller's";
    EXPECT_EQ(sim.FrameCount(), frames);
    EXPECT_EQ(sim.Opens(), opens);
    EXPECT_EQ(sim.OpenHandles(), 1u);
    Command(IDM_DEBUG);
    EXPECT_TRUE(WaitForCommandText(L"256000 bytes received"));
    // A device check whose first status query fails is asked again.
    sim.ReplugDevice(1);
    ASSERT_TRUE(sim.WaitForNotices());
    sim.Fail("FT_GetStatus", 4, 1);
    sim.UnplugDevice(1);
    ASSERT_TRUE(sim.WaitForNotices());
    Pump(1500);  // the worker's check, asked again
    EXPECT_TRUE(LinkServesRequests()) << "one failed answer ended the link";
    EXPECT_EQ(sim.Opens(), opens);

    // The controller goes while the other adapter is there: the link ends
    // and the adapter is never opened, nor when the controller comes back
    // beside it (two devices) and the adapter then goes. Only an arrival
    // with one device there links again.
    sim.ReplugDevice(1);
    ASSERT_TRUE(sim.WaitForNotices());
    sim.UnplugDevice(0);
    ASSERT_TRUE(WaitForWorkerEnd());
    EXPECT_TRUE(PumpUntil([&] { return reports.Removed == 1; }, 5000)) << "the controller's own removal shows";
    sim.ReplugDevice(0);
    ASSERT_TRUE(WaitForShown(PartDevice, L"FTDI: 2 devices found"));
    sim.UnplugDevice(1);
    ASSERT_TRUE(WaitForWorkerEnd());
    ASSERT_TRUE(sim.WaitForNotices());
    Pump(1500);  // nothing opens: no start without an arrival
    EXPECT_EQ(sim.Opens(), opens) << "a removal opened a device";
    EXPECT_EQ(sim.Opcodes(frames), "d") << "only the Debug above";
    EXPECT_EQ(GetControllerState(), ControllerOffline);
    sim.UnplugDevice(0);
    sim.ReplugDevice(0);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    EXPECT_EQ(sim.Opens(), opens + 1);
    EXPECT_EQ(sim.FrameDevice(sim.FrameCount() - 1), 0);
    EXPECT_EQ(sim.OpenHandles(), 1u);
}

TEST(LinkFaults, UnpluggedDuringARecordingAndPluggedBackAtOnceTheLinkComesBackOnce) {
    Sim sim(L"[Simulator]\nBytesPerSecond=100000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const unsigned opens = sim.Opens();
    Command(IDM_DEBUG);
    ASSERT_TRUE(WaitUntilAPollIsTaken(sim)) << "the recording runs";
    sim.Unplug();
    sim.Replug();
    ASSERT_TRUE(PumpUntil([&] { return sim.Opens() == opens + 1 && GetControllerState() == ControllerOnline; }, 10000))
        << "opens " << sim.Opens() - opens << ", state " << GetControllerState() << ", frames " << sim.Opcodes()
        << ", executions " << sim.Executions().size() << ", part 1 " << Narrow(Shown(PartCommand)) << ", part 0 "
        << Narrow(Shown(PartDevice));
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
        // The first burst's read fails; the 128 bytes after it are no reply.
        {L"[Simulator]\nListReplyBytes=192\nBurstBytes=64\nBytesPerSecond=4000\nFailCall=FT_Read\nFailStatus=4\n"
         L"FailCount=1\n",
         L"Parameters: 128 bytes received - ERROR", false},
    };
    for (const Case& c : cases) {
        Sim sim(c.scenario);
        TavoApp app(true);
        ASSERT_TRUE(WaitForCommandText(c.text)) << Narrow(c.text);
        EXPECT_TRUE(WaitForState(c.taken ? ControllerOnline : ControllerOffline)) << "online only with an answer";
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
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes().back() == 'd' && sim.FrameCount() == 3; }, 5000));
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

TEST(LinkFaults, AWriteThatFailsOrFallsShortIsShownEndsTheLinkAndNoPollFollowsIt) {
    struct Case {
        const char* call;  // a failing FT_Write, or a short one
        const wchar_t* text;
    };
    for (const Case& c : {Case{"FT_Write", L"Command Install not sent: FT_Write(...) failed Status I/O error"},
                          Case{nullptr, L"Command Install cut short: 64 of 128 bytes written"}}) {
        Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=32000\n");
        TavoApp app(true);
        ASSERT_TRUE(WaitForState(ControllerOnline));
        const unsigned opens = sim.Opens();
        if (c.call)
            sim.Fail(c.call, 4, 1);
        else
            sim.ShortWrites(64, 1);
        Command(IDM_PREVIEW);  // its install is the next write
        ASSERT_TRUE(WaitForCommandText(c.text));
        ASSERT_TRUE(WaitForWorkerEnd());
        EXPECT_EQ(Shown(PartDevice), L"Controller link lost: next attempt in 3 s");
        EXPECT_EQ(GetControllerState(), ControllerOffline);
        if (!c.call) {
            // The rest of the cut frame went out as zeros: its opcode stays 0.
            const unsigned cut = sim.FrameCount() - 2;
            ASSERT_EQ(sim.FrameBytes(cut), 64);
            ASSERT_EQ(sim.FrameBytes(cut + 1), 64);
            EXPECT_EQ(sim.Frame(cut + 1), CommandFrame{});
            EXPECT_EQ(sim.PartialFrameBytes(), 0u) << "the controller's framing is in step";
        }
        // The retry brings the link back, preview with it.
        const unsigned frames = sim.FrameCount();
        ASSERT_TRUE(sim.WaitForFrames(frames + 3, 10000));
        EXPECT_EQ(sim.Opens(), opens + 1);
        EXPECT_EQ(sim.Opcodes(frames).substr(0, 3), "lid");
        EXPECT_TRUE(ControllerStayedSafe(sim));
        Command(IDM_PREVIEW);
        EXPECT_TRUE(PumpUntil([&] { return sim.Ram()[OffsetSEK] == 8; }, 10000));
    }
}

TEST(LinkFaults, RestartFactorySettingAndBurnDuringPreviewAreFollowedBySekZeroBeforeTheNextPoll) {
    for (const UINT command : {IDM_RESTART, IDM_FACTORY, IDM_BURN}) {
        Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=32000\n");
        TavoApp app(true);
        ASSERT_TRUE(WaitForState(ControllerOnline));
        const ParameterBytes before = sim.Ram();
        Command(IDM_PREVIEW);
        ASSERT_TRUE(PumpUntil([&] { return Polls(sim, 0) >= 2; }, 10000));
        const unsigned key = sim.FrameCount();
        Command(command);
        // Two polls after the command: neither may weld.
        ASSERT_TRUE(PumpUntil([&] { return Polls(sim, key + 1) >= 2; }, 15000)) << sim.Opcodes(key);
        EXPECT_TRUE(ControllerStayedSafe(sim)) << command;
        Command(IDM_PREVIEW);
        EXPECT_TRUE(PumpUntil([&] { return sim.Ram() == before; }, 10000)) << "SEK " << int(sim.Ram()[OffsetSEK]);
        EXPECT_EQ(sim.Rom(), before) << "ROM holds the operator's SEK";
    }
}

TEST(LinkFaults, BInThePollThatEndsPreviewBurnsTheOperatorsSekAndRIsNotUndoneByTheEnd) {
    // RAM holds another SEK than ROM, so that a restart shows.
    const ParameterBytes ram = WithSek(Sim(L"[Simulator]\n").Ram(), 5);
    for (const UINT command : {IDM_BURN, IDM_RESTART}) {
        Sim sim(L"[Simulator]\nStreamBytes=64000\nBytesPerSecond=200000\n");
        sim.SetRam(ram);
        TavoApp app(true);
        ASSERT_TRUE(WaitForState(ControllerOnline));
        Command(IDM_PREVIEW);
        ASSERT_TRUE(WaitForState(ControllerActive));
        // Both while a poll runs: preview ends first, then the command.
        SendMessageW(app.Window(), WM_COMMAND, command, 0);
        SendMessageW(app.Window(), WM_COMMAND, IDM_PREVIEW, 0);
        ASSERT_TRUE(PumpUntil([&] { return GetControllerState() == ControllerOnline && sim.Opcodes().back() != 'd'; },
                              10000));
        Pump(1500);  // the restart is learnt by a list
        const std::string opcodes = sim.Opcodes();
        if (command == IDM_BURN) {
            EXPECT_EQ(sim.Rom(), ram) << "SEK " << int(sim.Rom()[OffsetSEK]) << " burnt";
            EXPECT_EQ(sim.Ram(), ram);
        } else {
            EXPECT_EQ(opcodes.substr(opcodes.size() - 3), "irl") << "preview ends first; nothing installed over the restart";
            EXPECT_EQ(sim.Ram(), sim.Rom());
        }
        EXPECT_TRUE(ControllerStayedSafe(sim));
    }
}

TEST(LinkFaults, AnEndOfPreviewThatDoesNotReachTheControllerIsOwedToTheNextLink) {
    Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=32000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const ParameterBytes before = sim.Ram();
    Command(IDM_PREVIEW);
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes().find("id") != std::string::npos; }, 10000));
    sim.Fail("FT_Write", 4, 1);  // the install that ends preview
    Command(IDM_PREVIEW);
    EXPECT_TRUE(WaitForCommandText(L"Command Install not sent"));
    EXPECT_EQ(sim.Ram()[OffsetSEK], 0);
    ASSERT_TRUE(PumpUntil([&] { return sim.Ram() == before; }, 15000)) << "the retried link restores SEK";
    EXPECT_EQ(TheParameterBlock().Read(), before);
}

TEST(LinkFaults, WithoutABlockFromTheControllerPreviewHoldsAndNothingIsInstalled) {
    Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=32000\nListReplyBytes=100\n");
    TavoApp app(true);
    Command(IDM_PREVIEW);  // before the link: its first list is preview's too
    ASSERT_TRUE(WaitForLink());
    const ParameterBytes ram = sim.Ram();
    EXPECT_TRUE(WaitForCommandText(L"Preview held: the controller's parameters could not be read"));
    Command(IDM_INSTALL);
    EXPECT_TRUE(WaitForCommandText(L"Command Install not sent: no parameters read or set yet"));
    Command(IDM_BURN);
    EXPECT_TRUE(WaitForCommandText(L"Command Burn not sent: no parameters read or set yet"));
    EXPECT_EQ(sim.Opcodes(), "l") << "nothing was installed";
    EXPECT_EQ(sim.Ram(), ram);

    // Once the controller answers a list, preview starts on its block.
    sim.ListReplyBytes(128);
    Command(IDM_LIST);
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes().find("lid") != std::string::npos; }, 10000));
    EXPECT_TRUE(ControllerStayedSafe(sim));
    EXPECT_EQ(WithSek(sim.Ram(), 8), ram);
}

TEST(LinkFaults, TheControllerPluggedInWhileAnotherAdapterOpensIsTriedOnceThatAdapterGoes) {
    Sim sim(L"[Simulator]\nUnpaced=1\nDevices=2\nOpenDelayMs=1500\n");
    sim.UnplugDevice(0);  // only the other adapter at the start
    TavoApp app(true);
    ASSERT_TRUE(WaitForShown(PartDevice, L"FTDI: 1 devices found"));
    sim.ReplugDevice(0);  // while the adapter is being opened
    ASSERT_TRUE(PumpUntil([&] { return sim.Opens() == 1 && LinkServesRequests(); }, 10000));
    sim.OpenDelay(0);
    sim.UnplugDevice(1);
    ASSERT_TRUE(PumpUntil([&] { return sim.Opens() == 2 && GetControllerState() == ControllerOnline; }, 10000));
    EXPECT_EQ(sim.FrameDevice(sim.FrameCount() - 1), 0);
}

TEST(LinkFaults, TheLibraryBoxIsShownByTheWindowAndTheWorkerDoesNotWaitForIt) {
    Sim sim(L"[Simulator]\nFailCall=FT_GetLibraryVersion\n");
    DialogCatcher catcher;
    const DWORD windowThread = GetCurrentThreadId();
    std::atomic<DWORD> boxThread{0};
    std::atomic<bool> workerEnded{false};
    catcher.Answer(L"TAVO", [&](HWND box) {
        // Answered only once the worker has ended, or after three seconds.
        workerEnded = PumplessWait([] { return !LinkWorkerRunning(); }, 3000);
        boxThread = GetWindowThreadProcessId(box, nullptr);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    TavoApp app(true);
    ASSERT_TRUE(PumpUntil([&] { return boxThread != 0; }, 10000));
    EXPECT_EQ(boxThread, windowThread);
    EXPECT_TRUE(workerEnded) << "the worker waited for the box";
    EXPECT_EQ(Shown(PartDevice), L"Failure to determine FTDI lib version");
}

TEST(LinkFaults, ARestartOrASilenceDuringPreviewNeverLetsAPollWeldAndNoFrameIsCut) {
    // Paced: every frame takes 320 us to leave the chip, so a purge of the
    // transmit side before the poll would cut the install before it.
    Sim sim(L"[Simulator]\nStreamBytes=32000\nBytesPerSecond=400000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const ParameterBytes before = sim.Ram();
    Command(IDM_PREVIEW);
    // Switched off and on while a poll's reply comes, once with a boot that
    // swallows the next cycle (whose poll then gets no answer: the block is
    // listed again once it has booted).
    for (const unsigned boot : {50u, 1500u}) {
        ASSERT_TRUE(WaitUntilAPollIsTaken(sim));
        Pump(40);  // the reply's first bursts have come
        const unsigned mark = sim.FrameCount();
        sim.Restart(boot);
        ASSERT_TRUE(PumpUntil([&] { return Polls(sim, mark) >= 3; }, 15000)) << sim.Opcodes(mark);
    }
    // A silence from the next cycle on, over once its poll was taken: the
    // block is listed before the next install.
    ASSERT_TRUE(WaitUntilAPollIsTaken(sim));
    sim.Silent(true);
    const unsigned silent = sim.FrameCount();
    ASSERT_TRUE(PumpUntil(
        [&] {
            const std::vector<SimExecution> done = sim.Executions();
            return Polls(sim, silent) >= 1 && done.back().Opcode == 'd' && !done.back().CarriedOut;
        },
        10000))
        << sim.Opcodes(silent);
    sim.Silent(false);
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes(silent).find("idlid") != std::string::npos; }, 10000))
        << sim.Opcodes(silent);
    Command(IDM_PREVIEW);
    EXPECT_TRUE(PumpUntil([&] { return sim.Ram() == before; }, 10000)) << "SEK " << int(sim.Ram()[OffsetSEK]);
    EXPECT_TRUE(ControllerStayedSafe(sim));
}

TEST(LinkFaults, CommandsAfterThePThatEndsPreviewFindTheOperatorsSek) {
    Sim sim(L"[Simulator]\nStreamBytes=64000\nBytesPerSecond=200000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    Command(IDM_PREVIEW);
    ASSERT_TRUE(WaitForState(ControllerActive));
    // While a poll's reception runs: P, then D and I.
    for (const UINT id : {IDM_PREVIEW, IDM_DEBUG, IDM_INSTALL}) SendMessageW(app.Window(), WM_COMMAND, id, 0);
    ASSERT_TRUE(WaitForCommandText(L"64000 bytes received", 15000));
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes().back() == 'i'; }, 5000));
    EXPECT_EQ(sim.Frame(sim.FrameCount() - 1)[OffsetSEK], 8) << "the install after P carries the operator's SEK";
    EXPECT_TRUE(ControllerStayedSafe(sim, 1)) << "the Debug welds";
}

TEST(LinkFaults, TheOperatorsSekStaysOwedUntilAListShowsItAcrossASilenceAndAClose) {
    // The end of preview taken by a silent controller: the next list shows
    // preview's 0, and the end goes out again.
    Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=32000\n");
    auto app = std::make_unique<TavoApp>(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const ParameterBytes before = sim.Ram();
    Command(IDM_PREVIEW);
    ASSERT_TRUE(PumpUntil([&] { return Polls(sim, 0) >= 1; }, 10000));
    sim.Silent(true);
    Command(IDM_PREVIEW);
    // The end went out, and the list after it got no answer.
    ASSERT_TRUE(WaitForCommandText(L"SEK not restored yet: the controller's parameters could not be read"));
    sim.Silent(false);
    EXPECT_EQ(sim.Ram()[OffsetSEK], 0);
    Command(IDM_LIST);
    EXPECT_TRUE(PumpUntil([&] { return sim.Ram() == before; }, 10000)) << "SEK " << int(sim.Ram()[OffsetSEK]);

    // Closed with preview's end owed and the link down: Tavo.ini keeps it
    // for the controller's serial number, and the next TAVO installs it.
    Command(IDM_PREVIEW);
    ASSERT_TRUE(PumpUntil([&] { return sim.Ram()[OffsetSEK] == 0; }, 10000));
    sim.Unplug();
    ASSERT_TRUE(WaitForState(ControllerOffline));
    EXPECT_EQ(app->Close(), 0);
    app.reset();
    const std::wstring ini = ExecutableDirectory() + L"Tavo.ini";
    EXPECT_NE(ReadTextFile(ini).find(L"[Owed SEK]\r\nTAVO0001=8"), std::wstring::npos) << Narrow(ReadTextFile(ini));
    sim.Replug();
    app = std::make_unique<TavoApp>(true, true);
    EXPECT_TRUE(WaitForCommandText(L"SEK 8 restored: an earlier preview had left the controller SEK 0"));
    EXPECT_EQ(sim.Ram(), before);
    // Confirmed by the next list: the section goes.
    Command(IDM_LIST);
    ASSERT_TRUE(WaitForCommandText(L"Parameters fine"));
    EXPECT_EQ(app->Close(), 0);
    EXPECT_EQ(ReadTextFile(ini).find(L"Owed SEK"), std::wstring::npos);
}

TEST(LinkFaults, ALostLinkComesBackOnItsOwnDeviceOnceAnAdapterBesideItLeaves) {
    Sim sim(L"[Simulator]\nUnpaced=1\nDevices=2\n");
    sim.UnplugDevice(1);
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    sim.Fail("FT_Write", 4, 1);
    Command(IDM_WELD);  // its write fails: the link is lost, the controller stays
    ASSERT_TRUE(WaitForShown(PartDevice, L"Controller link lost: next attempt in 3 s"));
    const unsigned opens = sim.Opens();
    sim.ReplugDevice(1);  // an adapter beside it before the retry: neither is opened
    ASSERT_TRUE(sim.WaitForNotices());
    Pump(1000);
    EXPECT_EQ(sim.Opens(), opens);
    EXPECT_TRUE(WaitForShown(PartDevice, L"Controller link lost: next attempt in 3 s"));
    sim.UnplugDevice(1);
    ASSERT_TRUE(WaitForState(ControllerOnline, 15000));
    EXPECT_EQ(sim.Opens(), opens + 1);
    EXPECT_EQ(sim.FrameDevice(sim.FrameCount() - 1), 0);
}

TEST(LinkFaults, UnpluggedDuringARecordingTheFieldNeverShowsOnlineOnItsWayOffline) {
    Sim sim(L"[Simulator]\nBytesPerSecond=100000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    ReportSpy reports;
    Command(IDM_DEBUG);
    ASSERT_TRUE(WaitForState(ControllerActive));
    Pump(300);
    sim.Unplug();
    ASSERT_TRUE(WaitForState(ControllerOffline));
    Pump(500);
    const std::vector<int32_t> states = reports.States();
    EXPECT_EQ(std::count(states.begin(), states.end(), ControllerOnline), 0);
    EXPECT_EQ(reports.Removed, 1);
}

TEST(LinkFaults, PreviewsZeroShownInAParameterDialogNeverComesBackOverTheOperatorsSek) {
    Sim sim(L"[Simulator]\nUnpaced=1\nStreamBytes=32000\n");
    TavoApp app(true);
    ASSERT_TRUE(WaitForState(ControllerOnline));
    const ParameterBytes before = sim.Ram();
    for (const int button : {IDCANCEL, IDOK}) {
        Command(IDM_PREVIEW);
        ASSERT_TRUE(PumpUntil([&] { return TheParameterBlock().ReadByte(OffsetSEK) == 0; }, 10000));
        HWND dialog = dialogs::Open(IDM_PARAMETER);  // shows preview's 0
        ASSERT_NE(dialog, nullptr);
        Command(IDM_PREVIEW);
        ASSERT_TRUE(PumpUntil([&] { return TheParameterBlock().ReadByte(OffsetSEK) == 8; }, 10000));
        dialogs::Press(dialog, button);
        EXPECT_EQ(TheParameterBlock().Read(), before) << button;
        if (button == IDOK) {
            ASSERT_TRUE(PumpUntil([&] { return sim.FrameCount() > 0 && sim.Opcodes().back() == 'i'; }, 5000));
            EXPECT_EQ(sim.Frame(sim.FrameCount() - 1)[OffsetSEK], 8) << "the dialog's OK installs the operator's SEK";
        }
    }
    Command(IDM_BURN);
    EXPECT_TRUE(PumpUntil([&] { return sim.Rom() == before; }, 5000));
}
