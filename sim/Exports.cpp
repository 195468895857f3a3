// The entry points of FTD2XX.dll: the D2XX functions (exported by ordinal,
// see FTD2XX.def) and the control API for tests. No exception leaves them.
#include <windows.h>

#include <algorithm>
#include <new>

#include "base/Handles.h"
#include "sim/D2xx.h"
#include "sim/SimControl.h"
#include "sim/SimFiles.h"
#include "sim/Simulator.h"

namespace {

Simulator& Sim() { return Simulator::Instance(); }

template <typename Body>
FT_STATUS Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return FT_INSUFFICIENT_RESOURCES;
    } catch (...) {
        return FT_OTHER_ERROR;
    }
}

// Calls `body` with a 32-bit output and copies it to the caller's DWORD.
template <typename Body>
FT_STATUS WithOutput(LPDWORD out, Body body) noexcept {
    if (!out) return FT_INVALID_PARAMETER;
    return Guarded([&]() -> FT_STATUS {
        uint32_t value = 0;
        const FT_STATUS status = body(value);
        *out = value;
        return status;
    });
}

// A scenario text in a file of its own, removed again when done.
class TemporaryScenario {
public:
    explicit TemporaryScenario(const wchar_t* text) {
        wchar_t folder[MAX_PATH + 1];
        wchar_t name[MAX_PATH + 1];
        if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"sim", 0, name)) return;
        path_ = name;
        UniqueFile file(CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (!file) return;
        // UTF-16 with a byte-order mark, which the profile functions read as such.
        const std::wstring content = L"\xFEFF" + std::wstring(text);
        const DWORD bytes = static_cast<DWORD>(content.size() * sizeof(wchar_t));
        DWORD written = 0;
        written_ = WriteFile(file.Get(), content.data(), bytes, &written, nullptr) && written == bytes;
    }
    TemporaryScenario(const TemporaryScenario&) = delete;
    TemporaryScenario& operator=(const TemporaryScenario&) = delete;
    ~TemporaryScenario() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    bool Written() const { return written_; }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    bool written_ = false;
};

template <typename Body>
int GuardedInt(Body body, int onFailure = 0) noexcept {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

// One thing about write `index`, or `missing` when there is no such write.
template <typename Field>
int FromWrite(unsigned index, int missing, Field field) noexcept {
    return GuardedInt(
        [&] {
            const auto write = Sim().Written(index);
            return write ? field(*write) : missing;
        },
        missing);
}

}  // namespace

extern "C" {

FT_STATUS WINAPI FT_Close(FT_HANDLE handle) {
    return Guarded([&] { return Sim().Close(handle); });
}

FT_STATUS WINAPI FT_Read(FT_HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read) {
    return WithOutput(read, [&](uint32_t& count) { return Sim().Read(handle, static_cast<uint8_t*>(buffer), toRead, count); });
}

FT_STATUS WINAPI FT_Write(FT_HANDLE handle, LPVOID buffer, DWORD toWrite, LPDWORD written) {
    return WithOutput(written, [&](uint32_t& count) {
        return Sim().Write(handle, static_cast<const uint8_t*>(buffer), toWrite, count);
    });
}

FT_STATUS WINAPI FT_ResetDevice(FT_HANDLE handle) {
    return Guarded([&] { return Sim().ResetDevice(handle); });
}

FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE handle, ULONG baud) {
    return Guarded([&] { return Sim().SetBaudRate(handle, baud); });
}

FT_STATUS WINAPI FT_Purge(FT_HANDLE handle, ULONG mask) {
    return Guarded([&] { return Sim().Purge(handle, mask); });
}

FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) {
    return Guarded([&] { return Sim().SetTimeouts(handle, readMs, writeMs); });
}

FT_STATUS WINAPI FT_SetEventNotification(FT_HANDLE handle, DWORD mask, PVOID event) {
    return Guarded([&] { return Sim().SetEventNotification(handle, mask, static_cast<HANDLE>(event)); });
}

FT_STATUS WINAPI FT_GetStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventStatus) {
    if (!rxBytes || !txBytes || !eventStatus) return FT_INVALID_PARAMETER;
    return Guarded([&] {
        uint32_t rx = 0, tx = 0, events = 0;
        const FT_STATUS status = Sim().GetStatus(handle, rx, tx, events);
        *rxBytes = rx, *txBytes = tx, *eventStatus = events;
        return status;
    });
}

FT_STATUS WINAPI FT_OpenEx(PVOID which, DWORD flags, FT_HANDLE* handle) {
    if (!handle) return FT_INVALID_PARAMETER;
    return Guarded([&] { return Sim().OpenEx(which, flags, *handle); });
}

FT_STATUS WINAPI FT_SetUSBParameters(FT_HANDLE handle, ULONG inSize, ULONG outSize) {
    return Guarded([&] { return Sim().SetUSBParameters(handle, inSize, outSize); });
}

FT_STATUS WINAPI FT_StopInTask(FT_HANDLE handle) {
    return Guarded([&] { return Sim().StopInTask(handle); });
}

FT_STATUS WINAPI FT_RestartInTask(FT_HANDLE handle) {
    return Guarded([&] { return Sim().RestartInTask(handle); });
}

FT_STATUS WINAPI FT_CreateDeviceInfoList(LPDWORD count) {
    return WithOutput(count, [](uint32_t& n) { return Sim().CreateDeviceInfoList(n); });
}

FT_STATUS WINAPI FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, LPDWORD count) {
    if (!nodes) return FT_INVALID_PARAMETER;
    return WithOutput(count, [&](uint32_t& n) { return Sim().GetDeviceInfoList(nodes, n); });
}

FT_STATUS WINAPI FT_GetDriverVersion(FT_HANDLE handle, LPDWORD version) {
    return WithOutput(version, [&](uint32_t& v) { return Sim().GetDriverVersion(handle, v); });
}

FT_STATUS WINAPI FT_GetLibraryVersion(LPDWORD version) {
    return WithOutput(version, [](uint32_t& v) { return Sim().GetLibraryVersion(v); });
}

int SimConfigure(const wchar_t* scenarioPath) {
    return GuardedInt([&] {
        Scenario scenario;
        const bool found = LoadScenario(scenarioPath ? scenarioPath : DefaultScenarioPath(), scenario);
        Sim().Configure(scenario);
        return found ? 1 : 0;
    });
}

int SimConfigureText(const wchar_t* scenarioText) {
    return GuardedInt([&] {
        const TemporaryScenario file(scenarioText ? scenarioText : L"");
        Scenario scenario;
        const bool found = file.Written() && LoadScenario(file.Path(), scenario);
        Sim().Configure(scenario);
        return found ? 1 : 0;
    });
}

unsigned SimFrameCount(void) {
    return static_cast<unsigned>(GuardedInt([] { return static_cast<int>(Sim().WriteCount()); }));
}

int SimGetFrame(unsigned index, unsigned char out[128]) {
    return GuardedInt(
        [&] {
            const auto write = Sim().Written(index);
            if (!write) return -1;
            std::copy_n(write->Bytes.begin(), std::min(write->Bytes.size(), FrameBytes), out);
            return static_cast<int>(write->Bytes.size());
        },
        -1);
}

int SimFrameDevice(unsigned index) {
    return FromWrite(index, -1, [](const Simulator::WrittenFrame& write) { return static_cast<int>(write.Device); });
}

int SimFrameOpen(unsigned index) {
    return FromWrite(index, -1, [](const Simulator::WrittenFrame& write) { return static_cast<int>(write.Open); });
}

int SimFrameCarriedOut(unsigned index) {
    return FromWrite(index, 0, [](const Simulator::WrittenFrame& write) { return write.CarriedOut ? 1 : 0; });
}

unsigned SimExecutionCount(void) {
    return static_cast<unsigned>(GuardedInt([] { return static_cast<int>(Sim().ExecutionCount()); }));
}

int SimGetExecution(unsigned index, SimExecution* out) {
    return GuardedInt([&] {
        const auto done = Sim().ExecutionAt(index);
        if (!done || !out) return 0;
        *out = {static_cast<int>(done->Device), static_cast<int>(done->Write), done->Opcode, done->Sek,
                done->CarriedOut, done->Aligned, done->AfterBoot};
        return 1;
    });
}

void SimRestart(unsigned bootMs) {
    GuardedInt([&] {
        Sim().Restart(bootMs);
        return 1;
    });
}

unsigned SimPartialFrameBytes(void) {
    return static_cast<unsigned>(GuardedInt([] { return static_cast<int>(Sim().PartialFrameBytes()); }));
}

int SimGetRam(unsigned char out[64]) {
    return GuardedInt([&] {
        const auto block = Sim().Ram();
        if (block) std::copy(block->begin(), block->end(), out);
        return block ? 1 : 0;
    });
}

int SimGetRom(unsigned char out[64]) {
    return GuardedInt([&] {
        const auto block = Sim().Rom();
        if (block) std::copy(block->begin(), block->end(), out);
        return block ? 1 : 0;
    });
}

int SimSetRam(const unsigned char block[64]) {
    return GuardedInt([&] {
        Block copy;
        std::copy_n(block, BlockBytes, copy.begin());
        return Sim().SetRam(copy) ? 1 : 0;
    });
}

unsigned SimOpenHandles(void) {
    return static_cast<unsigned>(GuardedInt([] { return static_cast<int>(Sim().OpenHandles()); }));
}

void SimUnplug(void) {
    GuardedInt([] {
        Sim().Unplug();
        return 1;
    });
}

void SimReplug(void) {
    GuardedInt([] {
        Sim().Replug();
        return 1;
    });
}

void SimUnplugDevice(unsigned device) {
    GuardedInt([&] {
        Sim().UnplugDevice(device);
        return 1;
    });
}

void SimReplugDevice(unsigned device) {
    GuardedInt([&] {
        Sim().ReplugDevice(device);
        return 1;
    });
}

unsigned SimNotificationsClosedFirst(void) {
    return static_cast<unsigned>(GuardedInt([] { return static_cast<int>(Sim().NotificationsClosedFirst()); }));
}

unsigned SimNoticesPending(void) {
    return static_cast<unsigned>(GuardedInt([] { return static_cast<int>(Sim().NoticesPending()); }));
}

unsigned SimOpenCount(void) {
    return static_cast<unsigned>(GuardedInt([] { return static_cast<int>(Sim().Opens()); }));
}

void SimSetFailure(const char* call, unsigned status, int count) {
    GuardedInt([&] {
        Sim().SetFailure({call ? call : "", status, count});
        return 1;
    });
}

void SimSetSilent(int silent) {
    GuardedInt([&] {
        Sim().SetSilent(silent != 0);
        return 1;
    });
}

void SimSetListReplyBytes(unsigned bytes) {
    GuardedInt([&] {
        Sim().SetListReplyBytes(bytes);
        return 1;
    });
}

void SimSetShortWrites(unsigned bytes, int count) {
    GuardedInt([&] {
        Sim().SetShortWrites({bytes, count});
        return 1;
    });
}

void SimSetOpenDelay(unsigned ms) {
    GuardedInt([&] {
        Sim().SetOpenDelay(ms);
        return 1;
    });
}

}  // extern "C"
