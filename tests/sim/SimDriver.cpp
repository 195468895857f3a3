#include "tests/sim/SimDriver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

HMODULE Module() {
    static const HMODULE module = [] {
        // Frames written by the tests go nowhere unless a test names a log.
        SetEnvironmentVariableW(L"TAVO_SIM_LOG", L"NUL");
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        return LoadLibraryW((std::filesystem::path(exe).parent_path() / L"FTD2XX.dll").c_str());
    }();
    return module;
}

}  // namespace

void* Export(LPCSTR name) {
    void* address = Module() ? reinterpret_cast<void*>(GetProcAddress(Module(), name)) : nullptr;
    if (!address) {
        std::fprintf(stderr, "FTD2XX.dll or one of its exports is missing\n");
        std::abort();
    }
    return address;
}

std::filesystem::path DllDirectory() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(Module(), path, MAX_PATH);
    return std::filesystem::path(path).parent_path();
}

void UseScenario(const std::wstring& lines) { ASSERT_EQ(sim::ConfigureText((L"[Simulator]\n" + lines).c_str()), 1); }

DWORD DeviceCount() {
    DWORD count = 99;
    EXPECT_EQ(ft::CreateDeviceInfoList(&count), FT_OK);
    return count;
}

Bytes CommandFrame(char opcode, const Bytes& block) {
    Bytes frame(128, 0);
    std::copy(block.begin(), block.end(), frame.begin());
    frame[64] = static_cast<uint8_t>(opcode);
    return frame;
}

Bytes PatternBlock(uint8_t start) {
    Bytes block(64);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(start + 3 * i);
    return block;
}

Bytes Ram() {
    Bytes block(64);
    EXPECT_EQ(sim::GetRam(block.data()), 1);
    return block;
}

OpenDevice::OpenDevice() {
    FT_DEVICE_LIST_INFO_NODE node{};
    DWORD count = 1;
    EXPECT_EQ(ft::GetDeviceInfoList(&node, &count), FT_OK);
    EXPECT_EQ(ft::OpenEx(node.SerialNumber, FT_OPEN_BY_SERIAL_NUMBER, &handle_), FT_OK);
    EXPECT_EQ(ft::SetTimeouts(handle_, 1000, 2500), FT_OK);
    EXPECT_EQ(ft::SetBaudRate(handle_, 4000000), FT_OK);
    EXPECT_EQ(ft::ResetDevice(handle_), FT_OK);
    EXPECT_EQ(ft::SetUSBParameters(handle_, 0x8000, 0), FT_OK);
    event_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(ft::SetEventNotification(handle_, FT_EVENT_RXCHAR, event_.Get()), FT_OK);
}

FT_STATUS OpenDevice::Send(char opcode, const Bytes& block) {
    Bytes frame = CommandFrame(opcode, block);
    DWORD written = 0;
    const FT_STATUS status = ft::Write(handle_, frame.data(), 128, &written);
    EXPECT_EQ(written, status == FT_OK ? 128u : 0u);
    return status;
}

Bytes OpenDevice::ReadWithin(size_t count, DWORD timeoutMs) {
    EXPECT_EQ(ft::SetTimeouts(handle_, timeoutMs, 2500), FT_OK);
    Bytes bytes(count);
    DWORD read = 0;
    EXPECT_EQ(ft::Read(handle_, bytes.data(), static_cast<DWORD>(count), &read), FT_OK);
    bytes.resize(read);
    return bytes;
}

DWORD OpenDevice::Queued() {
    DWORD rx = 0, tx = 0, events = 0;
    EXPECT_EQ(ft::GetStatus(handle_, &rx, &tx, &events), FT_OK);
    return rx;
}

// Resets the event before asking for the count, so that bytes arriving
// between the two are never left without a notification.
Bytes OpenDevice::Receive(size_t expected, int* notifications) {
    Bytes received;
    int rounds = 0;
    while (received.size() < expected && WaitForSingleObject(event_.Get(), 5000) == WAIT_OBJECT_0) {
        ResetEvent(event_.Get());
        ++rounds;
        const DWORD queued = Queued();
        const size_t at = received.size();
        received.resize(at + queued);
        DWORD read = 0;
        EXPECT_EQ(ft::Read(handle_, received.data() + at, queued, &read), FT_OK);
        EXPECT_EQ(read, queued) << "a read of the queued count returns all of it at once";
    }
    if (notifications) *notifications = rounds;
    return received;
}

TempFile::TempFile(const char* name)
    : Path(std::filesystem::temp_directory_path() / (std::to_string(GetCurrentProcessId()) + name)) {}

TempFile::~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(Path, ignored);
}

std::string TempFile::Read() const {
    std::ifstream file(Path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}
