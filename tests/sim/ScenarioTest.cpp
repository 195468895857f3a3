// Scenario files and the faults they select, and the written-frames log.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/sim/SimDriver.h"

namespace {

// Sets an environment variable for the life of the object, then puts the
// old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t old[MAX_PATH] = {};
        had_ = GetEnvironmentVariableW(name, old, MAX_PATH) > 0;
        old_ = old;
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnvironment() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    bool had_;
    std::wstring old_;
};

}  // namespace

TEST(FailingCall, FailsWithItsStatusForEverOrAGivenNumberOfTimes) {
    FT_DEVICE_LIST_INFO_NODE node{};
    DWORD count = 1;
    FT_HANDLE handle = nullptr;
    UseScenario(L"FailCall=FT_SetBaudRate\nFailStatus=7");
    ASSERT_EQ(ft::GetDeviceInfoList(&node, &count), FT_OK);
    ASSERT_EQ(ft::OpenEx(node.SerialNumber, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ft::SetBaudRate(handle, 4000000), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(ft::SetTimeouts(handle, 1000, 2500), FT_OK) << "other calls work";

    UseScenario(L"FailCall=FT_StopInTask\nFailStatus=4\nFailCount=3");
    ASSERT_EQ(ft::OpenEx(node.SerialNumber, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    for (FT_STATUS expected : {FT_IO_ERROR, FT_IO_ERROR, FT_IO_ERROR, FT_OK, FT_OK})
        EXPECT_EQ(ft::StopInTask(handle), expected);

    UseScenario(L"FailCall=FT_CreateDeviceInfoList\nFailStatus=19");
    EXPECT_EQ(ft::CreateDeviceInfoList(&count), FT_DEVICE_LIST_NOT_READY);
    UseScenario(L"FailCall=FT_GetLibraryVersion");
    EXPECT_EQ(ft::GetLibraryVersion(&count), FT_OTHER_ERROR) << "the default status";
}

TEST(FailingCall, AFailedWriteReachesNoControllerAndIsListedWithoutBytes) {
    UseScenario(L"FailCall=FT_Write\nFailStatus=4\nFailCount=1\nUnpaced=1");
    OpenDevice device;
    EXPECT_EQ(device.Send('l'), FT_IO_ERROR);
    ASSERT_EQ(sim::FrameCount(), 1u);
    unsigned char frame[128];
    EXPECT_EQ(sim::GetFrame(0, frame), 0);
    EXPECT_EQ(device.ReadWithin(128, 200).size(), 0u);
}

TEST(ScenarioFile, ComesFromTheEnvironmentElseFromBesideTheDll) {
    TempFile named("scenario.ini");
    std::ofstream(named.Path) << "[Simulator]\r\nDevices=2\r\n";
    {
        ScopedEnvironment environment(L"TAVO_SIM_SCENARIO", named.Path.wstring());
        EXPECT_EQ(sim::Configure(nullptr), 1);
        EXPECT_EQ(DeviceCount(), 2u);
    }
    const std::filesystem::path beside = DllDirectory() / "FTD2XX.sim.ini";
    ASSERT_FALSE(std::filesystem::exists(beside)) << "left from an earlier run?";
    std::filesystem::copy_file(named.Path, beside);
    const int found = sim::Configure(nullptr);
    const DWORD devices = DeviceCount();
    std::filesystem::remove(beside);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(devices, 2u);

    EXPECT_EQ(sim::Configure(nullptr), 0) << "no file: a healthy controller";
    EXPECT_EQ(DeviceCount(), 1u);
}

TEST(ScenarioFile, TakesHexAndClampsAndKeepsTheDefaultForWhatIsNoNumber) {
    for (const auto& [value, devices] : {std::pair{L"0x2", 2u}, {L"two", 1u}, {L"-3", 0u}}) {
        UseScenario(std::wstring(L"Devices=") + value);
        EXPECT_EQ(DeviceCount(), devices) << "Devices=" << value;
    }
}

TEST(FramesLog, HasOneHexLinePerWriteAndTheControlApiTheSameFrames) {
    TempFile log("frames.log");
    ScopedEnvironment environment(L"TAVO_SIM_LOG", log.Path.wstring());
    UseScenario(L"Unpaced=1");
    OpenDevice device;
    const Bytes frames[] = {CommandFrame('l'), CommandFrame('i', PatternBlock(9)), CommandFrame('w')};
    for (const Bytes& frame : frames) device.Send(static_cast<char>(frame[64]), Bytes(frame.begin(), frame.begin() + 64));

    std::istringstream lines(log.Read());
    std::string line;
    size_t index = 0;
    for (; std::getline(lines, line) && index < std::size(frames); ++index) {
        ASSERT_EQ(line.size(), 256u);
        Bytes decoded(128);
        for (size_t i = 0; i < 128; ++i) decoded[i] = static_cast<uint8_t>(std::stoul(line.substr(2 * i, 2), nullptr, 16));
        EXPECT_EQ(decoded, frames[index]) << "line " << index;
    }
    EXPECT_EQ(index, std::size(frames));
    EXPECT_FALSE(std::getline(lines, line)) << "one line per write";

    ASSERT_EQ(sim::FrameCount(), std::size(frames));
    Bytes frame(128);
    for (unsigned i = 0; i < std::size(frames); ++i) {
        EXPECT_EQ(sim::GetFrame(i, frame.data()), 128);
        EXPECT_EQ(frame, frames[i]);
    }
    EXPECT_EQ(sim::GetFrame(3, frame.data()), -1);
}
