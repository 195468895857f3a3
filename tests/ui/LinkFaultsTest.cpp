// The link under faults and their sequences: requests while offline, other
// FTDI devices, replugs, lost links, preview across them, broken replies,
// and what a save writes after a reception that stopped partway.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
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

// Every preview poll ('d' while `operatorDebugs` allows none) came after an
// install of SEK 0 written whole on the same open, with no restart, factory
// setting or burn after it: otherwise the controller would weld.
testing::AssertionResult PollsFollowAnInstallOfSekZero(const Sim& sim, unsigned first = 0) {
    std::map<int, bool> safe;  // by open
    for (unsigned i = first; i < sim.FrameCount(); ++i) {
        const CommandFrame frame = sim.Frame(i);
        bool& open = safe[sim.FrameOpen(i)];
        if (sim.FrameBytes(i) != static_cast<int>(CommandFrameSize)) {
            open = false;  // a write that failed or fell short: who knows what the controller took
            continue;
        }
        switch (frame[OpcodeOffset]) {
            case 'i': open = frame[OffsetSEK] == 0; break;
            case 'b':
            case 'r':
            case 'f': open = false; break;
            case 'd':
                if (!open) return testing::AssertionFailure() << "poll " << i << " in \"" << sim.Opcodes() << "\" welds";
                break;
            default: break;
        }
    }
    return testing::AssertionSuccess();
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
    ReportSpy reports(WindowLinkReports());

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
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes().back() == 'd'; }, 5000)) << "the recording runs";
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
        // The retry brings the link back, preview with it.
        const unsigned frames = sim.FrameCount();
        ASSERT_TRUE(sim.WaitForFrames(frames + 3, 10000));
        EXPECT_EQ(sim.Opens(), opens + 1);
        EXPECT_EQ(sim.Opcodes(frames).substr(0, 3), "lid");
        EXPECT_TRUE(PollsFollowAnInstallOfSekZero(sim));
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
        ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes().find("idd") != std::string::npos; }, 10000));
        const unsigned key = sim.FrameCount();
        Command(command);
        // Two polls after the command: each must have SEK 0 installed before it.
        ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes(key).find("dd", 1) != std::string::npos; }, 15000))
            << sim.Opcodes(key);
        EXPECT_TRUE(PollsFollowAnInstallOfSekZero(sim)) << command;
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
        // Both while a poll runs: the command is served first, then the end.
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
            EXPECT_EQ(opcodes.substr(opcodes.rfind('r')), "rl") << "nothing installed over the restart";
            EXPECT_EQ(sim.Ram(), sim.Rom());
            EXPECT_EQ(TheParameterBlock().Read(), sim.Rom()) << "the block is the one the controller took";
        }
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
    ASSERT_TRUE(WaitForLink());
    const ParameterBytes ram = sim.Ram();
    Command(IDM_PREVIEW);
    EXPECT_TRUE(WaitForCommandText(L"Preview held: the controller's parameters could not be read"));
    Command(IDM_INSTALL);
    EXPECT_TRUE(WaitForCommandText(L"Command Install not sent: no parameters read or set yet"));
    Command(IDM_BURN);
    EXPECT_TRUE(WaitForCommandText(L"Command Burn not sent: no parameters read or set yet"));
    EXPECT_EQ(sim.Opcodes(), "ll") << "preview listed first, nothing was installed";
    EXPECT_EQ(sim.Ram(), ram);

    // Once the controller answers a list, preview starts on its block.
    sim.ListReplyBytes(128);
    Command(IDM_LIST);
    ASSERT_TRUE(PumpUntil([&] { return sim.Opcodes().find("lid") != std::string::npos; }, 10000));
    EXPECT_TRUE(PollsFollowAnInstallOfSekZero(sim));
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
