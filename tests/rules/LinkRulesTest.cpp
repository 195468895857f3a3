// The rules of the worker's life (LinkSupervisor) and of preview's SEK switch.
#include <gtest/gtest.h>

#include <vector>

#include "editors/ParameterBlock.h"
#include "link/LinkSupervisor.h"
#include "link/PreviewSek.h"

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

TEST(LinkSupervisor, WhenTheLinkedDeviceGoesADeviceThatCameMeanwhileIsTried) {
    ReadyLink ready;  // linked to another adapter while the controller was out
    LinkSupervisor& link = ready.link;
    link.DeviceArrived(0);  // the controller comes back: two devices now
    link.DeviceRemoved(0);  // the adapter goes
    const LinkActions ended = link.WorkerEnded(WorkerEnd::DeviceGone, true, 0);
    EXPECT_TRUE(ended.StartWorker) << "the controller may be the one left";

    // Without a device that came meanwhile, a removal waits for an arrival.
    link.WorkerReady(0);
    link.DeviceRemoved(0);
    EXPECT_FALSE(link.WorkerEnded(WorkerEnd::DeviceGone, true, 0).StartWorker);
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
    // Two devices: a removal may leave the one we want.
    LinkSupervisor link;
    link.StartRequested(0);
    link.WorkerEnded(WorkerEnd::SeveralDevices, true, 0);
    EXPECT_TRUE(link.DeviceRemoved(0).StartWorker);
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

// --- preview's SEK switch ------------------------------------------------------

namespace {

struct PreviewBlock {
    ParameterBlock block;
    PreviewSek preview;
    ParameterBytes before;
    PreviewBlock() {
        ParameterBytes bytes;
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(3 * i + 5);
        bytes[OffsetSEK] = 7;
        block.Replace(bytes);
        before = bytes;
    }
    uint8_t Sek() const { return block.ReadByte(OffsetSEK); }
};

}  // namespace

TEST(PreviewSek, OnZeroesSekOffPutsItBackAndPressesThatCancelOutChangeNothing) {
    PreviewBlock p;
    EXPECT_TRUE(p.preview.Follow(true, p.block));
    EXPECT_EQ(p.Sek(), 0);
    EXPECT_EQ(p.preview.Saved(), 7);
    EXPECT_FALSE(p.preview.Follow(true, p.block)) << "two presses folded into one event";
    EXPECT_EQ(p.preview.Saved(), 7) << "the zeroed SEK must not become the saved one";
    p.block.WriteByte(OffsetSEK, 12);  // the parameter dialog wrote SEK meanwhile
    EXPECT_TRUE(p.preview.Follow(false, p.block));
    EXPECT_EQ(p.block.Read(), p.before) << "the block before preview, byte for byte";
    EXPECT_FALSE(p.preview.Follow(false, p.block));
    EXPECT_EQ(p.block.Read(), p.before);
}

TEST(PreviewSek, APreviewThatSpansALostLinkKeepsTheValueSavedBeforeIt) {
    PreviewBlock p;
    p.preview.Follow(true, p.block);
    // The new worker lists the controller's block: SEK 0, installed earlier.
    ParameterBytes listed = p.before;
    listed[OffsetSEK] = 0;
    p.block.Replace(listed);
    EXPECT_TRUE(p.preview.LinkUp(true, p.block)) << "installs again";
    EXPECT_EQ(p.Sek(), 0);
    EXPECT_TRUE(p.preview.Follow(false, p.block));
    EXPECT_EQ(p.block.Read(), p.before);

    // Switched off while the link was down: the next link puts it back.
    p.preview.Follow(true, p.block);
    p.block.Replace(listed);
    EXPECT_TRUE(p.preview.LinkUp(false, p.block));
    EXPECT_EQ(p.block.Read(), p.before);
    EXPECT_FALSE(p.preview.LinkUp(false, p.block)) << "nothing to put back";
}

TEST(PreviewSek, SwitchedOnWhileNoLinkWasUpTakesTheSekItListsWhenTheLinkComesUp) {
    PreviewBlock p;
    EXPECT_TRUE(p.preview.LinkUp(true, p.block));
    EXPECT_EQ(p.Sek(), 0);
    EXPECT_EQ(p.preview.Saved(), 7);
    EXPECT_TRUE(p.preview.Follow(false, p.block));
    EXPECT_EQ(p.block.Read(), p.before);
}
