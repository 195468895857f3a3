// The line between controller and host: pacing in bursts, the notification
// event, reads against the time-out, purge and the in-task.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/sim/SimDriver.h"

namespace {

constexpr size_t RecordingBytes = 256000;

bool Signalled(HANDLE event, DWORD withinMs) { return WaitForSingleObject(event, withinMs) == WAIT_OBJECT_0; }

}  // namespace

TEST(Pacing, ARecordingArrivesInBurstsEachAnnouncedByTheEvent) {
    UseScenario(L"Unpaced=1");
    Bytes whole;
    {
        OpenDevice device;
        device.Send('d');
        whole = device.ReadWithin(RecordingBytes, 10000);
    }
    UseScenario(L"");
    OpenDevice device;
    device.Send('d');
    int notifications = 0;
    EXPECT_EQ(device.Receive(RecordingBytes, &notifications), whole) << "pacing neither loses nor reorders bytes";
    EXPECT_GT(notifications, 1) << "at 4 Mbaud a recording takes many USB transfers";
}

TEST(Pacing, APauseHoldsTheRestOfTheReplyBack) {
    UseScenario(L"Unpaced=1\nStreamBytes=20000\nPauseAfterBytes=4096\nPauseRepeat=0\nPauseMs=60000");
    OpenDevice device;
    device.Send('d');
    EXPECT_EQ(device.ReadWithin(20000, 300).size(), 4096u);
    ASSERT_EQ(ft::Purge(device.Handle(), FT_PURGE_RX), FT_OK);
    device.Send('l');
    EXPECT_EQ(device.Receive(128).size(), 128u) << "a purge also ends the pause";

    UseScenario(L"StreamBytes=20000\nPauseAfterBytes=4096\nPauseMs=20");
    OpenDevice again;
    again.Send('d');
    EXPECT_EQ(again.Receive(20000).size(), 20000u) << "short pauses lose nothing";
}

TEST(Events, AreSetWhenBytesArriveAndOnlyThen) {
    UseScenario(L"Unpaced=1");
    OpenDevice device;
    EXPECT_FALSE(Signalled(device.Event(), 0));
    device.Send('l');
    ASSERT_TRUE(Signalled(device.Event(), 5000));
    DWORD rx = 0, tx = 0, events = 0;
    ASSERT_EQ(ft::GetStatus(device.Handle(), &rx, &tx, &events), FT_OK);
    EXPECT_EQ(rx, 128u);
    EXPECT_EQ(events, FT_EVENT_RXCHAR);
    EXPECT_EQ(device.ReadWithin(128, 1000).size(), 128u);
    ResetEvent(device.Event());
    EXPECT_FALSE(Signalled(device.Event(), 200)) << "nothing more arrived";
    ASSERT_EQ(ft::GetStatus(device.Handle(), &rx, &tx, &events), FT_OK);
    EXPECT_EQ(rx + events, 0u) << "the event status is reported once";

    ASSERT_EQ(ft::SetEventNotification(device.Handle(), 0, nullptr), FT_OK);
    device.Send('l');
    EXPECT_EQ(device.ReadWithin(128, 2000).size(), 128u);
    EXPECT_FALSE(Signalled(device.Event(), 0)) << "no longer registered";
}

TEST(Read, WaitsForMissingBytesUpToTheTimeoutThenReturnsWhatCame) {
    UseScenario(L"");
    OpenDevice device;
    device.Send('d');
    EXPECT_EQ(device.ReadWithin(RecordingBytes, 10000).size(), RecordingBytes) << "waits while bytes keep coming";
    device.Send('l');
    EXPECT_EQ(device.ReadWithin(1000, 300).size(), 128u);
}

TEST(Read, ClosingTheHandleWakesABlockedRead) {
    UseScenario(L"Silent=1");
    OpenDevice device;
    ASSERT_EQ(ft::SetTimeouts(device.Handle(), 0, 0), FT_OK);  // wait for ever
    std::atomic<FT_STATUS> status{FT_OK};
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread reader([&] {
        uint8_t buffer[128];
        DWORD read = 0;
        status = ft::Read(device.Handle(), buffer, sizeof buffer, &read);
        SetEvent(done.Get());
    });
    EXPECT_FALSE(Signalled(done.Get(), 100)) << "a silent controller keeps the read waiting";
    ASSERT_EQ(ft::Close(device.Handle()), FT_OK);
    const bool woke = Signalled(done.Get(), 10000);
    if (woke) reader.join(); else reader.detach();  // never hang the whole run
    ASSERT_TRUE(woke);
    EXPECT_EQ(status, FT_INVALID_HANDLE);
}

TEST(InTask, AStoppedInTaskHoldsRepliesBackUntilRestarted) {
    UseScenario(L"Unpaced=1");
    OpenDevice device;
    ASSERT_EQ(ft::StopInTask(device.Handle()), FT_OK);
    device.Send('l');
    EXPECT_FALSE(Signalled(device.Event(), 200));
    EXPECT_EQ(device.Queued(), 0u);
    ASSERT_EQ(ft::RestartInTask(device.Handle()), FT_OK);
    EXPECT_EQ(device.Receive(128).size(), 128u);
}

TEST(Purge, DropsQueuedBytesAndTheRestOfTheReply) {
    UseScenario(L"");
    OpenDevice device;
    device.Send('d');
    ASSERT_TRUE(Signalled(device.Event(), 5000));
    ASSERT_EQ(ft::StopInTask(device.Handle()), FT_OK);
    ASSERT_EQ(ft::Purge(device.Handle(), FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    ASSERT_EQ(ft::RestartInTask(device.Handle()), FT_OK);
    EXPECT_EQ(device.Queued(), 0u);
    ResetEvent(device.Event());

    device.Send('l');
    const Bytes reply = device.Receive(128);
    ASSERT_EQ(reply.size(), 128u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 64), Ram()) << "the list reply, not recording bytes";
    EXPECT_EQ(device.ReadWithin(1, 300).size(), 0u) << "nothing of the recording follows";
}
