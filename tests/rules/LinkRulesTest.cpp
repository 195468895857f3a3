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
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::Lost, false, 0).StartWorker) << "its thread has not returned";
    EXPECT_FALSE(link.DeviceArrived(0).StartWorker);
    EXPECT_FALSE(link.ServesRequests()) << "an ending worker serves nothing";
    EXPECT_TRUE(link.WorkerReturned(0).StartWorker) << "the arrival while it ended";

    // Command 3010 while a worker ends by itself is kept for after it too.
    link.WorkerReady(0);
    link.WorkerEnded(WorkerEnd::Lost, false, 0);
    EXPECT_FALSE(link.StartRequested(0).StartWorker);
    const LinkActions returned = link.WorkerReturned(0);
    EXPECT_TRUE(returned.StartWorker);
    EXPECT_EQ(returned.RetryInMs, 0u) << "started at once instead of a retry";
}

TEST(LinkSupervisor, AReplugWhileTheWorkerStillHoldsTheOldHandleStartsOneWorkerAfterIt) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    const LinkActions removal = link.DeviceRemoved(0);
    EXPECT_TRUE(removal.CheckDevice);
    EXPECT_FALSE(removal.ShowOffline) << "it may have been another device";
    EXPECT_FALSE(link.DeviceArrived(0).StartWorker);
    const LinkActions ended = link.WorkerEnded(WorkerEnd::DeviceGone, true, 0);
    EXPECT_TRUE(ended.ShowOffline);
    EXPECT_TRUE(ended.StartWorker);
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::DeviceGone, true, 0).StartWorker) << "a repeated notice is stale";
}

TEST(LinkSupervisor, AnotherDeviceComingAndGoingChangesNothing) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    EXPECT_FALSE(link.DeviceArrived(0).StartWorker);
    EXPECT_TRUE(link.DeviceRemoved(0).CheckDevice);
    link.DeviceStillThere(link.Removals());
    EXPECT_TRUE(link.ServesRequests());
    // Ended later for another reason: no start owed to the other device.
    const LinkActions ended = link.WorkerEnded(WorkerEnd::Stopped, true, 0);
    EXPECT_FALSE(ended.StartWorker);
    EXPECT_FALSE(ended.ShowOffline);
}

TEST(LinkSupervisor, RemovingTheLinkedDeviceNeverStartsAWorkerButAnArrivalItCouldNotSeeDoes) {
    ReadyLink ready;  // linked to the controller
    LinkSupervisor& link = ready.link;
    link.DeviceArrived(0);  // another adapter comes
    link.DeviceRemoved(0);  // the controller goes
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::DeviceGone, true, 0).StartWorker) << "it would open the adapter";

    // The controller plugged in while another adapter is being opened: the
    // worker may have counted before it came, so once it ends, one more start.
    EXPECT_TRUE(link.DeviceArrived(0).StartWorker);
    link.DeviceArrived(0);
    link.WorkerReady(0);
    link.DeviceRemoved(0);
    EXPECT_TRUE(link.WorkerEnded(WorkerEnd::DeviceGone, true, 0).StartWorker);

    // The controller's own arrival while a worker starts that then opens it
    // was seen: when it goes, nothing starts (the adapter would be opened).
    link.WorkerEnded(WorkerEnd::Stopped, true, 0);
    link.DeviceArrived(0, "\\\\?\\FTDIBUS#VID_0403+PID_6014+TAVO0001A#0000#{219d0508}");
    link.DeviceArrived(0, "\\\\?\\FTDIBUS#VID_0403+PID_6014+TAVO0001A#0000#{219d0508}");
    link.WorkerReady(0, "tavo0001");
    link.DeviceRemoved(0);
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::DeviceGone, true, 0).StartWorker);

    // An arrival while a removal is unanswered, then "still there": owed too.
    link.DeviceArrived(0);
    link.WorkerReady(0);
    link.DeviceRemoved(0);
    link.DeviceArrived(0);
    link.DeviceStillThere(link.Removals());
    EXPECT_TRUE(link.WorkerEnded(WorkerEnd::DeviceGone, true, 0).StartWorker);
}

TEST(LinkSupervisor, AnAnswerToAnOlderRemovalKeepsTheArrivalAfterANewerOne) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    link.DeviceRemoved(0);
    const uint32_t first = link.Removals();
    link.DeviceRemoved(0);  // our own device, after the worker took the first check
    link.DeviceArrived(0);
    link.DeviceStillThere(first);
    EXPECT_TRUE(link.WorkerEnded(WorkerEnd::DeviceGone, true, 0).StartWorker);
}

TEST(LinkSupervisor, StartsThatFindNoDeviceOrTwoWaitForADeviceEvent) {
    for (const WorkerEnd end : {WorkerEnd::NoLibrary, WorkerEnd::NoDevice, WorkerEnd::SeveralDevices,
                                WorkerEnd::OpenFailed, WorkerEnd::Stopped}) {
        LinkSupervisor link;
        link.StartRequested(0);
        const LinkActions ended = link.WorkerEnded(end, true, 0);
        EXPECT_FALSE(ended.StartWorker) << static_cast<int>(end);
        EXPECT_EQ(ended.RetryInMs, 0u) << static_cast<int>(end);
        EXPECT_TRUE(link.DeviceArrived(0).StartWorker) << static_cast<int>(end);
    }
    // Two devices: a removal does not start one (it may leave the adapter).
    LinkSupervisor link;
    link.StartRequested(0);
    link.WorkerEnded(WorkerEnd::SeveralDevices, true, 0);
    EXPECT_FALSE(link.DeviceRemoved(0).StartWorker);
}

TEST(LinkSupervisor, ARetryOpensOnlyTheDeviceItLostAndARemovalMeanwhileBringsItForward) {
    LinkSupervisor link;
    link.StartRequested(0);
    link.WorkerReady(0, "TAVO0001");
    link.WorkerEnded(WorkerEnd::Lost, true, 0);
    const LinkActions retry = link.RetryDue(3000);
    EXPECT_TRUE(retry.StartWorker);
    EXPECT_EQ(retry.Serial, "TAVO0001");
    link.WorkerEnded(WorkerEnd::OpenFailed, true, 3000);  // not open yet: the chain goes on
    ASSERT_TRUE(link.RetryArmed());
    // The device may be the one that went: no "next attempt" while it is out.
    const LinkActions removed = link.DeviceRemoved(4000);
    EXPECT_TRUE(removed.StartWorker);
    EXPECT_EQ(removed.Serial, "TAVO0001");
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::NoDevice, true, 4000).RetryInMs) << "gone: wait for an arrival";
    // The same when the removal comes while the lost worker is still ending.
    link.DeviceArrived(4500);
    link.WorkerReady(4500, "TAVO0001");
    link.WorkerEnded(WorkerEnd::Lost, false, 5000);
    link.DeviceRemoved(5000);
    const LinkActions returned = link.WorkerReturned(5000);
    EXPECT_TRUE(returned.StartWorker);
    EXPECT_EQ(returned.RetryInMs, 0u) << "no \"next attempt\" for a device that may have gone";
    EXPECT_EQ(returned.Serial, "TAVO0001");
    EXPECT_TRUE(link.DeviceArrived(5000).Serial.empty()) << "an arrival starts for the one device there is";
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
    link.WorkerEnded(WorkerEnd::Lost, false, 0);
    EXPECT_EQ(link.ControllerState(), ControllerOffline);
    link.WorkerReturned(0);
    link.RetryDue(3000);
    EXPECT_EQ(link.ControllerState(), ControllerOffline) << "starting again";

    LinkSupervisor missing;  // a missing library leaves the state as it was
    missing.StartRequested(0);
    missing.WorkerEnded(WorkerEnd::NoLibrary, true, 0);
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
        const LinkActions ended = link.WorkerEnded(end, true, now += 500);
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
    EXPECT_EQ(link.WorkerEnded(WorkerEnd::Lost, true, now).RetryInMs, 3000u);
    link.RetryDue(now += 3000);
    link.WorkerReady(now);
    EXPECT_EQ(link.WorkerEnded(WorkerEnd::Lost, true, now += 100).RetryInMs, 6000u);
    link.RetryDue(now += 6000);
    link.WorkerReady(now);
    EXPECT_EQ(link.WorkerEnded(WorkerEnd::Lost, true, now + StableLinkMs).RetryInMs, 3000u) << "stayed up a minute";

    EXPECT_TRUE(link.DeviceArrived(now).StartWorker) << "an arrival does not wait for the retry";
    link.WorkerReady(now);
    EXPECT_EQ(link.WorkerEnded(WorkerEnd::Lost, true, now).RetryInMs, 3000u);
    EXPECT_TRUE(link.RetryDue(now).StartWorker);
    const LinkActions none = link.WorkerEnded(WorkerEnd::NoDevice, true, now);
    EXPECT_EQ(none.RetryInMs, 0u) << "no device: the next arrival starts it";
    EXPECT_FALSE(link.RetryDue(now).StartWorker) << "no retry was armed";
}

TEST(LinkSupervisor, AfterTheCloseNothingStarts) {
    ReadyLink ready;
    LinkSupervisor& link = ready.link;
    link.DeviceRemoved(0);
    link.DeviceArrived(0);
    link.Close();
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::DeviceGone, true, 0).StartWorker);
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

// A new link with preview on, up to its first poll: listed, SEK 0
// installed, one poll.
void PreviewOnNewLink(Model& m) {
    m.LinkComesUp(false);
    m.guard.Want(true);
    m.Idle(2);
    EXPECT_EQ(m.frames, "lid");
}

struct Previewing : Model {
    Previewing() { PreviewOnNewLink(*this); }
};

}  // namespace

TEST(PreviewGuard, PollsOnlyOnceAnInstallOfSekZeroWentOutWholeAndOffPutsSekBack) {
    Model m;
    m.LinkComesUp(false);
    EXPECT_EQ(m.guard.Peek(m.block.Read()), PreviewStep::None);
    m.guard.Want(true);
    EXPECT_EQ(m.guard.Peek(m.block.Read()), PreviewStep::Install) << "the install before any poll";
    m.writeFails = true;  // the install does not reach the controller
    m.Idle();
    EXPECT_EQ(m.frames, "l!");
    EXPECT_FALSE(m.guard.MayPoll());
    EXPECT_EQ(m.ram[OffsetSEK], 8);

    m.LinkComesUp(true);
    m.Idle(3);
    EXPECT_EQ(m.frames, "lidd");
    EXPECT_EQ(m.block.ReadByte(OffsetSEK), 0);
    m.guard.Want(false);
    m.Idle();
    EXPECT_EQ(m.frames, "liddi");
    EXPECT_EQ(m.ram, m.factory);
    EXPECT_EQ(m.block.Read(), m.factory);
    EXPECT_TRUE(NoFaults(m));
}

TEST(PreviewGuard, PressesThatCancelOutAndTheDialogsSekDuringPreviewChangeNothing) {
    Previewing m;
    m.guard.Want(false);
    m.guard.Want(true);  // off and on again before the worker looked
    m.Idle(1);
    EXPECT_EQ(m.frames, "lidd");
    EXPECT_EQ(m.guard.Saved(), 8) << "the zeroed SEK must not become the saved one";
    m.Edit(OffsetSEK, 12);  // the parameter dialog wrote SEK meanwhile
    m.Press(CommandInstall);
    EXPECT_EQ(m.ram[OffsetSEK], 0) << "an install during preview keeps SEK 0";
    m.guard.Want(false);
    m.Idle();
    EXPECT_EQ(m.block.Read(), m.factory) << "the block before preview, byte for byte";
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
    for (const Case& c : {Case{CommandRestart, "lidrlidi", rom}, Case{CommandFactory, "lidflidi", burnt},
                          Case{CommandBurn, "lidbiddi", burnt}}) {
        Model m;
        m.rom = rom;
        PreviewOnNewLink(m);
        m.Press(c.command);
        m.Idle(3);
        m.guard.Want(false);
        m.Idle();
        EXPECT_EQ(m.frames, c.frames);
        EXPECT_EQ(m.ram, c.after) << c.frames;
        EXPECT_TRUE(NoFaults(m)) << c.frames;
    }
}

TEST(PreviewGuard, InTheWaitThatEndsPreviewABurnStoresTheOperatorsSekAndARestartIsLearntNotOverwritten) {
    Previewing burn;
    burn.Press(CommandBurn);  // B and P pressed in the same poll: the burn is served first
    burn.guard.Want(false);
    burn.Idle();
    EXPECT_EQ(burn.frames, "lidbi");
    EXPECT_EQ(burn.rom, burn.factory) << "SEK " << int(burn.rom[OffsetSEK]);
    EXPECT_TRUE(NoFaults(burn));

    for (const int command : {CommandRestart, CommandFactory}) {
        Model m;
        m.rom = preview_model::Block(3, 5);
        const std::string op(1, static_cast<char>(CommandOpcode(command)));
        PreviewOnNewLink(m);
        m.Press(command);
        m.guard.Want(false);
        m.Idle();
        EXPECT_EQ(m.frames.substr(3), op + "l")
            << "nothing installed over what the controller took";
        EXPECT_EQ(m.block.Read(), m.ram) << "the block is the one it took";
        // The same with the list failing: still nothing installed over it,
        // and the end stays owed until the controller's block is learnt.
        PreviewOnNewLink(m);
        m.Press(command);
        m.listFails = true;
        m.guard.Want(false);
        m.Idle();
        EXPECT_EQ(m.frames.substr(3), op + "l");
        EXPECT_TRUE(m.guard.Running());
        m.LinkComesUp(false);
        m.Idle();
        EXPECT_EQ(m.frames, "l") << "its own SEK: nothing to restore";
        EXPECT_FALSE(m.guard.Running());
        EXPECT_TRUE(NoFaults(m));

        // A silent controller took the command without carrying it out: the
        // 0 it lists once it answers again is preview's, not its own, and
        // the operator's SEK goes back before a burn stores it.
        PreviewOnNewLink(m);
        m.silent = true;
        m.Press(command);
        m.guard.Want(false);
        m.Idle();
        m.silent = false;
        m.LinkComesUp(false);
        m.Idle();
        m.Press(CommandBurn);
        EXPECT_EQ(m.frames, "lib");
        EXPECT_NE(m.ram[OffsetSEK], 0);
        EXPECT_TRUE(NoFaults(m));

        // Learnt, then B and P in one poll: the burn stored the block the
        // controller holds, SEK and all; preview ends without a frame.
        PreviewOnNewLink(m);
        m.Press(command);
        m.Idle(1);
        m.Press(CommandBurn);
        m.guard.Want(false);
        m.Idle();
        EXPECT_EQ(m.frames.substr(3), op + "lb");
        EXPECT_FALSE(m.guard.Running());
        EXPECT_EQ(m.rom, m.ram);
        EXPECT_TRUE(NoFaults(m));
    }
}

TEST(PreviewGuard, AnEndOfPreviewThatDidNotReachTheControllerIsOwedToTheNextLink) {
    Previewing m;
    m.guard.Want(false);
    m.writeFails = true;
    m.Idle();
    EXPECT_EQ(m.frames, "lid!");
    EXPECT_TRUE(m.guard.Running());
    m.LinkComesUp(false);  // lists the controller's 0
    m.Idle();
    EXPECT_EQ(m.frames, "li");
    EXPECT_EQ(m.ram, m.factory);
    EXPECT_EQ(m.block.Read(), m.factory);

    // Meanwhile a link to another adapter: its block settles nothing of the
    // controller's, which gets its SEK back once linked again.
    Previewing other;
    other.guard.Want(false);
    other.writeFails = true;
    other.Idle();
    other.LinkComesUp(false, 1);
    other.Press(CommandRestart);
    other.Idle();
    EXPECT_EQ(other.frames, "lr") << "nothing installed on the other adapter";
    other.listFails = true;
    other.LinkComesUp(false, 0);
    other.Idle();
    other.LinkComesUp(false, 0);
    other.Idle();
    EXPECT_EQ(other.frames, "li");
    EXPECT_EQ(other.ram, other.factory);
    EXPECT_TRUE(NoFaults(other));

    // Preview on across a lost link: the new link lists 0 and keeps the value.
    Previewing on;
    on.LinkComesUp(true);
    on.Idle(2);
    EXPECT_EQ(on.frames, "lid");
    on.guard.Want(false);
    on.Idle();
    EXPECT_EQ(on.ram, on.factory);
    EXPECT_TRUE(NoFaults(m));
    EXPECT_TRUE(NoFaults(on));
}

TEST(PreviewGuard, WithoutABlockReadOnThisLinkPreviewListsFirstAndOtherwiseHolds) {
    Model m;
    m.listFails = true;
    m.LinkComesUp(false);  // the start list failed: the block is still all zeros
    m.guard.Want(true);
    m.listFails = true;
    m.Idle();
    EXPECT_EQ(m.frames, "ll") << "P lists first";
    EXPECT_EQ(m.guard.Hold(), PreviewHold::NoBlock);
    m.Press(CommandInstall);
    m.Press(CommandBurn);
    EXPECT_EQ(m.frames, "ll") << "a block never read or set is not sent";
    m.Idle();
    EXPECT_EQ(m.frames, "ll") << "held until P or L again";
    m.Press(CommandList);
    m.Idle(2);
    EXPECT_EQ(m.frames, "lllid");
    EXPECT_EQ(m.guard.Hold(), PreviewHold::None);

    // A block loaded from a file is not the controller's: listed before preview.
    Model file;
    file.LinkComesUp(false);
    file.block.Replace(preview_model::Block(9, 4));
    file.guard.Want(true);
    file.Idle(3);
    EXPECT_EQ(file.frames, "llid");
    EXPECT_TRUE(NoFaults(m));
    EXPECT_TRUE(NoFaults(file));
}
