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

TEST(Commands, AreCarriedOutOnWholeFramesOnly) {
    UseScenario(L"Unpaced=1");
    OpenDevice device;
    Bytes frame = CommandFrame('l');
    DWORD written = 0;
    ASSERT_EQ(ft::Write(device.Handle(), frame.data(), 100, &written), FT_OK);
    EXPECT_EQ(device.ReadWithin(128, 200).size(), 0u) << "100 bytes are no frame yet";
    ASSERT_EQ(ft::Write(device.Handle(), frame.data() + 100, 28, &written), FT_OK);
    EXPECT_EQ(device.Receive(128).size(), 128u) << "the frame completed by a second write";

    ASSERT_EQ(ft::Write(device.Handle(), frame.data(), 64, &written), FT_OK);
    ASSERT_EQ(ft::Purge(device.Handle(), FT_PURGE_TX), FT_OK);
    device.Send('l');
    EXPECT_EQ(device.Receive(128).size(), 128u) << "purging the transmit side drops the half frame";
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
