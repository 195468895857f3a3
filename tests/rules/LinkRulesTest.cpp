// The rules of the worker's life (LinkSupervisor) and of preview (PreviewGuard).
#include <gtest/gtest.h>

#include <vector>

#include "editors/ParameterBlock.h"
#include "link/LinkSupervisor.h"
#include "link/PreviewGuard.h"
#include "tests/support/PreviewModel.h"

namespace {

// A supervisor past timer 1 with a worker that has opened its device.
struct ReadyLink {
    LinkSupervisor link;
    uint64_t now = 1000;
    ReadyLink() {
        EXPECT_TRUE(link.StartRequested(now).StartWorker);
        link.WorkerReady(now);
        EXPECT_TRUE(link.ServesRequests());
    }
};

}  // namespace

TEST(LinkSupervisor, BeforeTimer1ArrivalsWaitAndRemovalsShowOffline) {
    LinkSupervisor link;
    EXPECT_FALSE(link.DeviceArrived(0).StartWorker) << "timer 1 starts the first worker";
    EXPECT_TRUE(link.DeviceRemoved(0).ShowOffline);
    EXPECT_FALSE(link.ServesRequests());
    EXPECT_TRUE(link.StartRequested(0).StartWorker);
    EXPECT_EQ(link.Phase(), LinkPhase::Starting);
    EXPECT_FALSE(link.ServesRequests()) << "no requests before the device is open";
}

TEST(LinkSupervisor, NoNoticeStartsASecondWorkerWhileOneLives) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    EXPECT_FALSE(link.StartRequested(0).StartWorker);
    EXPECT_FALSE(link.DeviceArrived(0).StartWorker);
    EXPECT_FALSE(link.DeviceRemoved(0).StartWorker);
    EXPECT_FALSE(link.RetryDue(0).StartWorker);
    // Its end comes once its thread has returned: only then the next start
    // (at once: the removal it never answered may have been its device).
    EXPECT_TRUE(link.WorkerEnded(WorkerEnd::Lost, 0).StartWorker);
    EXPECT_FALSE(link.ServesRequests()) << "a starting worker serves nothing";

    // Command 3010 while a worker ends by itself is kept for after it.
    link.WorkerReady(0);
    EXPECT_FALSE(link.StartRequested(0).StartWorker);
    const LinkActions ended = link.WorkerEnded(WorkerEnd::Lost, 0);
    EXPECT_TRUE(ended.StartWorker);
    EXPECT_EQ(ended.RetryInMs, 0u) << "started at once instead of a retry";
}

TEST(LinkSupervisor, AReplugWhileTheWorkerStillHoldsTheOldHandleStartsOneWorkerAfterIt) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    const LinkActions removal = link.DeviceRemoved(0);
    EXPECT_TRUE(removal.CheckDevice);
    EXPECT_FALSE(removal.ShowOffline) << "it may have been another device";
    EXPECT_FALSE(link.DeviceArrived(0).StartWorker);
    const LinkActions ended = link.WorkerEnded(WorkerEnd::DeviceGone, 0);
    EXPECT_TRUE(ended.ShowOffline);
    EXPECT_TRUE(ended.StartWorker);
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::DeviceGone, 0).StartWorker) << "a repeated notice is stale";
}

TEST(LinkSupervisor, AnotherDeviceComingAndGoingChangesNothing) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    EXPECT_FALSE(link.DeviceArrived(0).StartWorker);
    EXPECT_TRUE(link.DeviceRemoved(0).CheckDevice);
    link.DeviceStillThere(link.Removals());
    EXPECT_TRUE(link.ServesRequests());
    // Ended later for another reason: no start owed to the other device.
    const LinkActions ended = link.WorkerEnded(WorkerEnd::Stopped, 0);
    EXPECT_FALSE(ended.StartWorker);
    EXPECT_FALSE(ended.ShowOffline);
}

TEST(LinkSupervisor, RemovingTheLinkedDeviceNeverStartsAWorkerButAnArrivalItCouldNotSeeDoes) {
    ReadyLink ready;  // linked to the controller
    LinkSupervisor& link = ready.link;
    link.DeviceArrived(0);  // another adapter comes
    link.DeviceRemoved(0);  // the controller goes
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::DeviceGone, 0).StartWorker) << "it would open the adapter";

    // The controller plugged in while another adapter is being opened: the
    // worker may have counted before it came, so once it ends, one more start.
    EXPECT_TRUE(link.DeviceArrived(0).StartWorker);
    link.DeviceArrived(0);
    link.WorkerReady(0);
    link.DeviceRemoved(0);
    EXPECT_TRUE(link.WorkerEnded(WorkerEnd::DeviceGone, 0).StartWorker);

    // The controller's own arrival while a worker starts that then opens it
    // was seen: when it goes, nothing starts (the adapter would be opened).
    link.WorkerEnded(WorkerEnd::Stopped, 0);
    link.DeviceArrived(0, "\\\\?\\FTDIBUS#VID_0403+PID_6014+TAVO0001A#0000#{219d0508}");
    link.DeviceArrived(0, "\\\\?\\FTDIBUS#VID_0403+PID_6014+TAVO0001A#0000#{219d0508}");
    link.WorkerReady(0, "tavo0001");
    link.DeviceRemoved(0);
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::DeviceGone, 0).StartWorker);

    // An arrival while a removal is unanswered, then "still there": owed too.
    link.DeviceArrived(0);
    link.WorkerReady(0);
    link.DeviceRemoved(0);
    link.DeviceArrived(0);
    link.DeviceStillThere(link.Removals());
    EXPECT_TRUE(link.WorkerEnded(WorkerEnd::DeviceGone, 0).StartWorker);
}

TEST(LinkSupervisor, AnAnswerToAnOlderRemovalOrAnUnansweredOneKeepsTheArrivalsAfterIt) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    link.DeviceRemoved(0);
    const uint32_t first = link.Removals();
    link.DeviceRemoved(0);  // our own device, after the worker took the first check
    link.DeviceStillThere(first);  // the answer to the first comes after the second
    link.DeviceArrived(0);         // our device back, while the worker holds the dead handle
    EXPECT_TRUE(link.WorkerEnded(WorkerEnd::DeviceGone, 0).StartWorker);

    // While a worker starts, a removal it has not answered and then an arrival
    // naming the very device it opens: the handle may be the one that went.
    const std::string name = "\\\\?\\FTDIBUS#VID_0403+PID_6014+TAVO0001A#0000#{219d0508}";
    link.DeviceRemoved(0);
    link.DeviceArrived(0, name);
    link.WorkerReady(0, "TAVO0001");
    EXPECT_TRUE(link.WorkerEnded(WorkerEnd::DeviceGone, 0).StartWorker);
}

TEST(LinkSupervisor, StartsThatFindNoDeviceOrTwoWaitForADeviceEvent) {
    for (const WorkerEnd end : {WorkerEnd::NoLibrary, WorkerEnd::NoDevice, WorkerEnd::SeveralDevices,
                                WorkerEnd::OpenFailed, WorkerEnd::Stopped}) {
        LinkSupervisor link;
        link.StartRequested(0);
        const LinkActions ended = link.WorkerEnded(end, 0);
        EXPECT_FALSE(ended.StartWorker) << static_cast<int>(end);
        EXPECT_EQ(ended.RetryInMs, 0u) << static_cast<int>(end);
        EXPECT_TRUE(link.DeviceArrived(0).StartWorker) << static_cast<int>(end);
    }
    // Two devices: a removal does not start one (it may leave the adapter).
    LinkSupervisor link;
    link.StartRequested(0);
    link.WorkerEnded(WorkerEnd::SeveralDevices, 0);
    EXPECT_FALSE(link.DeviceRemoved(0).StartWorker);
}

TEST(LinkSupervisor, ARetryOpensOnlyTheDeviceItLostAndARemovalMeanwhileBringsItForward) {
    LinkSupervisor link;
    link.StartRequested(0);
    link.WorkerReady(0, "TAVO0001");
    link.WorkerEnded(WorkerEnd::Lost, 0);
    const LinkActions retry = link.RetryDue(3000);
    EXPECT_TRUE(retry.StartWorker);
    EXPECT_EQ(retry.Serial, "TAVO0001");
    link.WorkerEnded(WorkerEnd::OpenFailed, 3000);  // not open yet: the chain goes on
    ASSERT_TRUE(link.RetryArmed());
    // The device may be the one that went: no "next attempt" while it is out.
    const LinkActions removed = link.DeviceRemoved(4000);
    EXPECT_TRUE(removed.StartWorker);
    EXPECT_EQ(removed.Serial, "TAVO0001");
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::NoDevice, 4000).RetryInMs) << "gone: wait for an arrival";
    // The same when the removal comes while the lost worker is still ending
    // (its thread has not returned, and never answers the check).
    link.DeviceArrived(4500);
    link.WorkerReady(4500, "TAVO0001");
    link.DeviceRemoved(5000);
    const LinkActions returned = link.WorkerEnded(WorkerEnd::Lost, 5000);
    EXPECT_TRUE(returned.StartWorker);
    EXPECT_EQ(returned.RetryInMs, 0u) << "no \"next attempt\" for a device that may have gone";
    EXPECT_EQ(returned.Serial, "TAVO0001");
    EXPECT_TRUE(link.DeviceArrived(5000).Serial.empty()) << "an arrival starts for the one device there is";

    // Lost beside another adapter: the retry that meets both, and an
    // arrival meanwhile, keep trying the lost device alone; the adapter's
    // removal brings the retry forward.
    LinkSupervisor beside;
    beside.StartRequested(0);
    beside.WorkerReady(0, "TAVO0001");
    beside.WorkerEnded(WorkerEnd::Lost, 0);
    EXPECT_EQ(beside.RetryDue(3000).Serial, "TAVO0001");
    EXPECT_EQ(beside.WorkerEnded(WorkerEnd::SeveralDevices, 3000).RetryInMs, 6000u);
    const LinkActions arrival = beside.DeviceArrived(4000);
    EXPECT_TRUE(arrival.StartWorker);
    EXPECT_EQ(arrival.Serial, "TAVO0001");
    EXPECT_TRUE(beside.WorkerEnded(WorkerEnd::SeveralDevices, 4000).RetryInMs);
    const LinkActions gone = beside.DeviceRemoved(5000);
    EXPECT_TRUE(gone.StartWorker);
    EXPECT_EQ(gone.Serial, "TAVO0001");
}

TEST(LinkSupervisor, TheStateFieldFollowsThePhaseAndWhatTheControllerAnswered) {
    LinkSupervisor link;
    EXPECT_EQ(link.ControllerState(), ControllerNotAvailable);
    link.StartRequested(0);
    link.WorkerReady(0);
    EXPECT_EQ(link.ControllerState(), ControllerNotAvailable) << "the first list is on its way";
    link.ControllerAnswered(false);
    EXPECT_EQ(link.ControllerState(), ControllerOffline) << "no answer to the list: not online";
    link.Recording(true);
    EXPECT_EQ(link.ControllerState(), ControllerActive);
    link.ControllerAnswered(true);
    link.Recording(false);
    EXPECT_EQ(link.ControllerState(), ControllerOnline);
    link.ControllerAnswered(false);
    EXPECT_EQ(link.ControllerState(), ControllerOnline) << "a silent poll later stays online";
    link.WorkerEnded(WorkerEnd::Lost, 0);
    EXPECT_EQ(link.ControllerState(), ControllerOffline);
    link.RetryDue(3000);
    EXPECT_EQ(link.ControllerState(), ControllerOffline) << "starting again";

    LinkSupervisor missing;  // a missing library leaves the state as it was
    missing.StartRequested(0);
    missing.WorkerEnded(WorkerEnd::NoLibrary, 0);
    EXPECT_EQ(missing.ControllerState(), ControllerNotAvailable);
}

TEST(LinkSupervisor, ALostLinkIsTriedAgainOnASlowBoundedSchedule) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    uint64_t now = ready.now;
    std::vector<uint32_t> delays;
    for (int i = 0; i < 7; ++i) {
        // After a retry the link fails again at once, or the device does
        // not even open: the retries go on either way.
        const WorkerEnd end = i % 2 == 0 ? WorkerEnd::Lost : WorkerEnd::OpenFailed;
        if (end == WorkerEnd::Lost && i > 0) link.WorkerReady(now);
        const LinkActions ended = link.WorkerEnded(end, now += 500);
        ASSERT_FALSE(ended.StartWorker);
        delays.push_back(ended.RetryInMs);
        now += ended.RetryInMs;
        ASSERT_TRUE(link.RetryDue(now).StartWorker);
    }
    EXPECT_EQ(delays, (std::vector<uint32_t>{3000, 6000, 12000, 24000, 30000, 30000, 30000}));
}

TEST(LinkSupervisor, RetriesStartShortAgainAfterAStableLinkOrAnArrivalAndStopWithoutADevice) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    uint64_t now = ready.now;
    EXPECT_EQ(link.WorkerEnded(WorkerEnd::Lost, now).RetryInMs, 3000u);
    link.RetryDue(now += 3000);
    link.WorkerReady(now);
    EXPECT_EQ(link.WorkerEnded(WorkerEnd::Lost, now += 100).RetryInMs, 6000u);
    link.RetryDue(now += 6000);
    link.WorkerReady(now);
    EXPECT_EQ(link.WorkerEnded(WorkerEnd::Lost, now + StableLinkMs).RetryInMs, 3000u) << "stayed up a minute";

    EXPECT_TRUE(link.DeviceArrived(now).StartWorker) << "an arrival does not wait for the retry";
    link.WorkerReady(now);
    EXPECT_EQ(link.WorkerEnded(WorkerEnd::Lost, now).RetryInMs, 3000u);
    EXPECT_TRUE(link.RetryDue(now).StartWorker);
    const LinkActions none = link.WorkerEnded(WorkerEnd::NoDevice, now);
    EXPECT_EQ(none.RetryInMs, 0u) << "no device: the next arrival starts it";
    EXPECT_FALSE(link.RetryDue(now).StartWorker) << "no retry was armed";
}

TEST(LinkSupervisor, AfterTheCloseNothingStarts) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    link.DeviceRemoved(0);
    link.DeviceArrived(0);
    link.Close();
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::DeviceGone, 0).StartWorker);
    EXPECT_FALSE(link.DeviceArrived(0).StartWorker);
    EXPECT_FALSE(link.StartRequested(0).StartWorker);
    EXPECT_FALSE(link.RetryDue(0).StartWorker);
    EXPECT_FALSE(link.ServesRequests());
}

// --- preview ---------------------------------------------------------------

using preview_model::Model;

namespace {

testing::AssertionResult NoFaults(const Model& m) {
    if (m.faults.empty()) return testing::AssertionSuccess();
    auto failure = testing::AssertionFailure();
    for (const std::string& fault : m.faults) failure << fault << "; ";
    return failure;
}

// A new link with preview on, up to its first poll: listed, then SEK 0
// installed right before the poll.
void PreviewOnNewLink(Model& m) {
    m.LinkComesUp(false, 0);
    m.Preview(true);
    m.Idle(1);
    EXPECT_EQ(m.frames, "lid");
}

struct Previewing : Model {
    Previewing() { PreviewOnNewLink(*this); }
};

}  // namespace

TEST(PreviewGuard, EveryPollFollowsAnInstallOfSekZeroInItsCycleSoARestartBetweenPollsNeverWelds) {
    Model m;
    m.LinkComesUp(false, 0);
    EXPECT_EQ(m.guard.Peek(m.block), PreviewStep::None);
    m.Preview(true);
    m.writeFails = true;  // the install does not reach the controller
    m.Idle();
    EXPECT_EQ(m.frames, "l!") << "no poll after an install that failed";
    EXPECT_EQ(m.ram[OffsetSEK], 8);

    m.LinkComesUp(true, 0);
    m.Idle(2);
    EXPECT_EQ(m.frames, "lidid");
    EXPECT_EQ(m.block.ReadByte(OffsetSEK), 0);
    m.Restart();  // switched off and on between two polls: SEK from ROM
    m.Idle(1);
    EXPECT_EQ(m.frames, "lididid");
    // A poll that got no answer (restarting, silent): listed before the next install.
    m.silent = true;
    m.Idle(1);
    m.silent = false;
    m.Idle(2);
    EXPECT_EQ(m.frames, "lidididid" "lid");
    m.Preview(false);
    m.Idle();
    EXPECT_EQ(m.frames.substr(12), "il") << "the end, and the list that shows it";
    EXPECT_EQ(m.ram, m.factory);
    EXPECT_EQ(m.block.Read(), m.factory);
    EXPECT_TRUE(NoFaults(m));
}

TEST(PreviewGuard, PressesThatCancelOutChangeNothingAndTheDialogsSekDuringPreviewIsTheOneToRestore) {
    Previewing m;
    m.Switch();
    m.Switch();  // off and on again before the worker looked
    m.ServeSwitch();
    m.Idle(1);
    EXPECT_EQ(m.frames, "lidid");
    EXPECT_EQ(m.guard.OwedHere(), 8) << "the zeroed SEK must not become the owed one";
    m.Edit(OffsetSEK, 12);  // the parameter dialog's OK, which installs
    m.Press(CommandInstall);
    EXPECT_EQ(m.ram[OffsetSEK], 0) << "an install during preview keeps SEK 0";
    m.Press(CommandBurn);
    EXPECT_EQ(m.rom[OffsetSEK], 12) << "a burn during preview stores the operator's SEK";
    m.Preview(false);
    m.Idle();
    EXPECT_EQ(m.ram[OffsetSEK], 12);
    EXPECT_EQ(m.block.Read(), m.ram);
    EXPECT_TRUE(NoFaults(m));
}

TEST(PreviewGuard, RestartFactorySettingAndBurnDuringPreviewAreFollowedBySekZeroBeforeTheNextPoll) {
    struct Case {
        int command;
        const char* frames;
        ParameterBytes after;  // what the controller holds once preview ended
    };
    const ParameterBytes burnt = preview_model::Block(1, 8);
    const ParameterBytes rom = preview_model::Block(3, 5);
    for (const Case& c : {Case{CommandRestart, "lidrlididil", rom}, Case{CommandFactory, "lidflididil", burnt},
                          Case{CommandBurn, "lidbidididil", burnt}}) {
        Model m;
        m.rom = rom;
        PreviewOnNewLink(m);
        m.Press(c.command);
        m.Idle(3);
        m.Preview(false);
        m.Idle();
        EXPECT_EQ(m.frames, c.frames);
        EXPECT_EQ(m.ram, c.after) << c.frames;
        EXPECT_TRUE(NoFaults(m)) << c.frames;
    }
    // P right after the list that learnt the restart: nothing to install,
    // and the block in memory gets the controller's own SEK.
    Model m;
    m.rom = rom;
    PreviewOnNewLink(m);
    m.Press(CommandRestart);
    m.Idle(1);
    m.Preview(false);
    m.Idle();
    EXPECT_EQ(m.frames, "lidrl");
    EXPECT_EQ(m.block.Read(), rom);
}

TEST(PreviewGuard, ACommandAfterThePThatEndsPreviewFindsTheOperatorsSek) {
    // B, R, F or D pressed after P in the same poll: preview ends first.
    struct Case {
        int command;
        const char* frames;
    };
    for (const Case& c : {Case{CommandBurn, "lidibl"}, Case{CommandRestart, "lidirl"}, Case{CommandFactory, "lidifl"},
                          Case{CommandDebug, "lidild"}, Case{CommandInstall, "lidiil"}}) {
        Model m;
        m.rom = preview_model::Block(3, 5);
        PreviewOnNewLink(m);
        m.Switch();
        m.Press(c.command);
        m.ServeSwitch();
        m.Idle();
        EXPECT_EQ(m.frames, c.frames);
        EXPECT_NE(m.ram[OffsetSEK], 0) << c.frames;
        const bool stored = c.command == CommandBurn || c.command == CommandFactory;
        EXPECT_EQ(m.rom, stored ? m.factory : preview_model::Block(3, 5)) << c.frames;
        EXPECT_TRUE(NoFaults(m)) << c.frames;
    }
    // The end cannot be done (its list fails after a restart): D and W are not
    // sent, so they never run without welding.
    Previewing m;
    m.Press(CommandRestart);
    m.Switch();
    m.listFails = true;
    m.Press(CommandDebug);
    m.listFails = true;
    m.Press(CommandWeld);
    EXPECT_EQ(m.frames, "lidrl");
    EXPECT_TRUE(m.guard.Held());
    EXPECT_TRUE(NoFaults(m));
}

TEST(PreviewGuard, TheOperatorsSekIsOwedUntilAListShowsItEvenAfterASilenceALostLinkOrAClose) {
    // The end written whole to a silent controller: a later list shows 0, and
    // the end goes out again before anything else.
    Previewing silent;
    silent.silent = true;
    silent.Preview(false);
    silent.Idle();
    silent.silent = false;
    silent.Press(CommandList);
    silent.Press(CommandBurn);
    EXPECT_EQ(silent.rom, silent.factory) << "SEK " << int(silent.rom[OffsetSEK]);
    EXPECT_EQ(silent.guard.OwedHere(), 8);
    silent.Press(CommandList);
    EXPECT_EQ(silent.frames, "lidillibl") << "the list after the end failed; L lists 0";
    EXPECT_FALSE(silent.guard.OwedHere()) << "the list confirmed it";
    EXPECT_TRUE(NoFaults(silent));

    // Before the list confirms it, a record file saved during preview
    // brings SEK 0 into memory: a burn still stores the operator's SEK.
    Previewing file;
    file.Preview(false);
    file.Idle(1);
    file.block.Replace(Model::NoSek(file.factory));
    file.Press(CommandBurn);
    EXPECT_EQ(file.rom, file.factory);
    EXPECT_TRUE(NoFaults(file));

    // Across a lost link and a close of TAVO: the next program installs it.
    for (const bool close : {false, true}) {
        Previewing m;
        m.Preview(false);
        m.writeFails = true;
        m.Idle();
        EXPECT_EQ(m.frames, "lid!");
        if (close) m.CloseAndStart();
        m.LinkComesUp(0);  // lists the controller's 0
        m.Idle();
        EXPECT_EQ(m.frames, "lil") << close;
        EXPECT_EQ(m.ram, m.factory) << close;
        EXPECT_EQ(m.block.Read(), m.factory) << close;
        EXPECT_TRUE(NoFaults(m)) << close;
    }
    // The end of a close whose link is down stays owed with its device; a
    // list that shows the operator's SEK settles it.
    Previewing closed;
    closed.linkUp = false;
    closed.CloseAndStart();
    EXPECT_EQ(closed.guard.Owed(), (OwedSek{{"C", 8}}));
    closed.LinkComesUp(0);
    closed.Idle();
    EXPECT_EQ(closed.frames, "lil");
    EXPECT_TRUE(closed.guard.Owed().empty()) << "the list after the install settled it";

    // Meanwhile a link to another adapter: its block settles nothing of the
    // controller's, which gets its SEK back once linked again.
    Previewing other;
    other.Preview(false);
    other.writeFails = true;
    other.Idle();
    other.LinkComesUp(1);
    other.Press(CommandRestart);
    other.Idle();
    EXPECT_EQ(other.frames, "lr") << "nothing installed on the other adapter";
    other.LinkComesUp(0);
    other.Idle();
    EXPECT_EQ(other.frames, "lil");
    EXPECT_EQ(other.ram, other.factory);
    EXPECT_TRUE(NoFaults(other));
}

TEST(PreviewGuard, CancelNeverBringsBackPreviewsZeroNorSendsABlockNobodyReadOnThisLink) {
    // Opened before the first list, cancelled during preview: the end carries
    // the controller's block, and the zeros are never sent.
    Model before;
    before.OpenDialog();
    PreviewOnNewLink(before);
    before.CancelDialog();
    before.Press(CommandBurn);
    before.Preview(false);
    before.Idle();
    EXPECT_EQ(before.frames, "lidil") << "the burn of a block nobody read is not sent";
    EXPECT_EQ(before.ram, before.factory);

    // Opened during preview, cancelled after it ended: the burn stores the
    // operator's SEK.
    Previewing during;
    during.OpenDialog();
    during.Preview(false);
    during.Idle();
    during.CancelDialog();
    during.Press(CommandBurn);
    EXPECT_EQ(during.frames, "lidilb");
    EXPECT_EQ(during.rom, during.factory);

    // Opened on an earlier link, cancelled on this one: that block is not
    // this controller's.
    Previewing earlier;
    earlier.OpenDialog();
    earlier.LinkComesUp(true, 0);
    earlier.CancelDialog();
    earlier.Press(CommandInstall);
    EXPECT_EQ(earlier.frames, "l");
    EXPECT_TRUE(NoFaults(before));
    EXPECT_TRUE(NoFaults(during));
    EXPECT_TRUE(NoFaults(earlier));
}

TEST(PreviewGuard, WithoutABlockReadOnThisLinkPreviewListsFirstAndOtherwiseHolds) {
    Model m;
    m.listFails = true;
    m.LinkComesUp(false, 0);  // the start list failed: the block is still all zeros
    m.Preview(true);
    m.listFails = true;
    m.Idle();
    EXPECT_EQ(m.frames, "ll") << "P lists first";
    EXPECT_TRUE(m.guard.Held());
    m.Press(CommandInstall);
    m.Press(CommandBurn);
    EXPECT_EQ(m.frames, "ll") << "a block never read or set is not sent";
    m.Idle();
    EXPECT_EQ(m.frames, "ll") << "held until P or L again";
    m.Press(CommandList);
    m.Idle(1);
    EXPECT_EQ(m.frames, "lllid");
    EXPECT_FALSE(m.guard.Held());

    // A block loaded from a file is not the controller's: listed before preview.
    Model file;
    file.LinkComesUp(false, 0);
    file.block.Replace(preview_model::Block(9, 4));
    file.Preview(true);
    file.Idle(2);
    EXPECT_EQ(file.frames, "llid");
    EXPECT_TRUE(NoFaults(m));
    EXPECT_TRUE(NoFaults(file));
}
