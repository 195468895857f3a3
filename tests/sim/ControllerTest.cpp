// The controller's commands: what the list reply carries after install,
// burn, restart and factory setting, and which commands answer at all.
#include <gtest/gtest.h>

#include <string>

#include "tests/sim/SimDriver.h"

namespace {

Bytes RamOf(const Bytes& listReply) { return Bytes(listReply.begin(), listReply.begin() + 64); }
Bytes RomOf(const Bytes& listReply) { return Bytes(listReply.begin() + 64, listReply.begin() + 128); }

Bytes List(OpenDevice& device) {
    device.Send('l');
    Bytes reply = device.Receive(128);
    EXPECT_EQ(reply.size(), 128u);
    reply.resize(128);
    return reply;
}

}  // namespace

TEST(ListCommand, AnswersRamThenRomAsTheMemoryCommandsLeftThem) {
    UseScenario(L"Unpaced=1");
    OpenDevice device;
    const Bytes factory = List(device);
    EXPECT_EQ(RamOf(factory), RomOf(factory)) << "RAM starts as a copy of ROM";
    EXPECT_LE(factory[1], 32) << "SEK within its limit";
    EXPECT_NE(RamOf(factory), Bytes(64, 0)) << "a block with nothing set tests no editor";

    const Bytes installed = PatternBlock(1), burnt = PatternBlock(7);
    device.Send('i', installed);
    Bytes reply = List(device);
    EXPECT_EQ(RamOf(reply), installed);
    EXPECT_EQ(RomOf(reply), RomOf(factory)) << "install leaves ROM alone";
    device.Send('r');
    EXPECT_EQ(RamOf(List(device)), RomOf(factory)) << "restart reloads RAM from ROM";
    device.Send('b', burnt);
    reply = List(device);
    EXPECT_EQ(RamOf(reply), burnt);
    EXPECT_EQ(RomOf(reply), burnt);
    device.Send('i', installed);
    device.Send('f');
    EXPECT_EQ(List(device), factory);

    ASSERT_EQ(sim::SetRam(installed.data()), 1);
    EXPECT_EQ(RamOf(List(device)), installed) << "the control API reaches the same memory";
}

TEST(Commands, WeldAndUnknownOpcodesAnswerNothing) {
    UseScenario(L"Unpaced=1");
    OpenDevice device;
    for (char opcode : {'w', 'x', '\0', 'l'}) device.Send(opcode);
    const Bytes reply = device.ReadWithin(1024, 300);
    ASSERT_EQ(reply.size(), 128u) << "only the list reply";
    EXPECT_EQ(RamOf(reply), Ram());
}

SimExecution Execution(unsigned index) {
    SimExecution done{};
    EXPECT_EQ(Take<SimGetExecutionFn>("SimGetExecution")(index, &done), 1) << index;
    return done;
}
unsigned PartialFrameBytes() { return Take<SimOpenCountFn>("SimPartialFrameBytes")(); }

TEST(Commands, AFrameCutShortTakesTheNextBytesAsItsRestUntilTheControllerRestarts) {
    UseScenario(L"BytesPerSecond=1000");  // a frame takes 128 ms to leave the chip
    OpenDevice device;
    Bytes frame = CommandFrame('l');
    DWORD written = 0;
    ASSERT_EQ(ft::Write(device.Handle(), frame.data(), 128, &written), FT_OK);
    DWORD queued = 0, transmit = 0, events = 0;
    ASSERT_EQ(ft::GetStatus(device.Handle(), &queued, &transmit, &events), FT_OK);
    EXPECT_EQ(transmit, 128u) << "the frame is still in the chip";
    Sleep(15);
    ASSERT_EQ(ft::Purge(device.Handle(), FT_PURGE_TX), FT_OK);  // cuts the frame on its way
    const unsigned taken = PartialFrameBytes();
    ASSERT_GT(taken, 0u);
    ASSERT_LT(taken, 64u);
    // Nothing on the host's side takes back what the controller received.
    ASSERT_EQ(ft::ResetDevice(device.Handle()), FT_OK);
    ASSERT_EQ(ft::Purge(device.Handle(), FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    EXPECT_EQ(PartialFrameBytes(), taken);

    // The next frame completes the cut one, whose byte 64 is one of its zeros:
    // nothing answers, and the framing stays out of step.
    device.Send('l');
    EXPECT_EQ(device.ReadWithin(256, 300).size(), 0u);
    EXPECT_EQ(PartialFrameBytes(), taken);
    ASSERT_EQ(Take<SimFrameCountFn>("SimExecutionCount")(), 1u);
    const SimExecution cut = Execution(0);
    EXPECT_EQ(cut.Opcode, 0);
    EXPECT_EQ(cut.Write, 1) << "completed by the second write";
    EXPECT_EQ(cut.Aligned, 1) << "it began with the first write's first byte";

    // Switched off and on: no partial frame, deaf while it boots.
    Take<SimRestartFn>("SimRestart")(300);
    EXPECT_EQ(PartialFrameBytes(), 0u);
    device.Send('l');
    EXPECT_EQ(device.ReadWithin(128, 400).size(), 0u) << "sent while it booted";
    device.Send('l');
    EXPECT_EQ(device.Receive(128).size(), 128u);
    const SimExecution first = Execution(Take<SimFrameCountFn>("SimExecutionCount")() - 1);
    EXPECT_EQ(first.Opcode, 'l');
    EXPECT_EQ(first.AfterBoot, 1);
}

TEST(ListReply, HasTheLengthTheScenarioGives) {
    for (int length : {127, 0, 200}) {
        UseScenario(L"Unpaced=1\nListReplyBytes=" + std::to_wstring(length));
        OpenDevice device;
        device.Send('l');
        const Bytes reply = device.ReadWithin(1024, 300);
        ASSERT_EQ(reply.size(), static_cast<size_t>(length));
        const Bytes ram = Ram();
        EXPECT_TRUE(std::equal(reply.begin(), reply.begin() + std::min(length, 64), ram.begin()));
    }
}

TEST(SilentController, TakesEveryFrameAndDoesNothing) {
    UseScenario(L"Silent=1");
    OpenDevice device;
    const Bytes before = Ram();
    device.Send('i', PatternBlock(5));
    device.Send('l');
    device.Send('d');
    EXPECT_EQ(device.ReadWithin(128, 300).size(), 0u);
    EXPECT_EQ(sim::FrameCount(), 3u);
    EXPECT_EQ(Ram(), before);
}
