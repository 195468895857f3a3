// FTD2XX.dll loaded the way TAVO loads it: from beside the executable, the
// D2XX functions by ordinal, and the simulator's control API by name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "sim/D2xx.h"
#include "sim/SimControl.h"

// An export by name or by MAKEINTRESOURCEA(ordinal); the test process ends
// at once if the DLL or the export is missing.
void* Export(LPCSTR name);

template <typename Function>
Function Take(LPCSTR name) {
    return reinterpret_cast<Function>(Export(name));
}

namespace ft {
#define TAVO_FT(name, ...) inline const auto name = Take<FT_STATUS(WINAPI*)(__VA_ARGS__)>(MAKEINTRESOURCEA(D2xxOrdinal::name))
TAVO_FT(Close, FT_HANDLE);
TAVO_FT(Read, FT_HANDLE, LPVOID, DWORD, LPDWORD);
TAVO_FT(Write, FT_HANDLE, LPVOID, DWORD, LPDWORD);
TAVO_FT(ResetDevice, FT_HANDLE);
TAVO_FT(SetBaudRate, FT_HANDLE, ULONG);
TAVO_FT(Purge, FT_HANDLE, ULONG);
TAVO_FT(SetTimeouts, FT_HANDLE, ULONG, ULONG);
TAVO_FT(SetEventNotification, FT_HANDLE, DWORD, PVOID);
TAVO_FT(GetStatus, FT_HANDLE, DWORD*, DWORD*, DWORD*);
TAVO_FT(OpenEx, PVOID, DWORD, FT_HANDLE*);
TAVO_FT(SetUSBParameters, FT_HANDLE, ULONG, ULONG);
TAVO_FT(StopInTask, FT_HANDLE);
TAVO_FT(RestartInTask, FT_HANDLE);
TAVO_FT(CreateDeviceInfoList, LPDWORD);
TAVO_FT(GetDeviceInfoList, FT_DEVICE_LIST_INFO_NODE*, LPDWORD);
TAVO_FT(GetDriverVersion, FT_HANDLE, LPDWORD);
TAVO_FT(GetLibraryVersion, LPDWORD);
#undef TAVO_FT
}  // namespace ft

namespace sim {
inline const auto Configure = Take<SimConfigureFn>("SimConfigure");
inline const auto ConfigureText = Take<SimConfigureTextFn>("SimConfigureText");
inline const auto FrameCount = Take<SimFrameCountFn>("SimFrameCount");
inline const auto GetFrame = Take<SimGetFrameFn>("SimGetFrame");
inline const auto GetRam = Take<SimGetBlockFn>("SimGetRam");
inline const auto GetRom = Take<SimGetBlockFn>("SimGetRom");
inline const auto SetRam = Take<SimSetRamFn>("SimSetRam");
inline const auto OpenHandles = Take<SimOpenHandlesFn>("SimOpenHandles");
inline const auto Unplug = Take<SimPlugFn>("SimUnplug");
inline const auto Replug = Take<SimPlugFn>("SimReplug");
}  // namespace sim

using Bytes = std::vector<uint8_t>;

// Starts the simulator over with the lines of a [Simulator] section.
void UseScenario(const std::wstring& lines);
DWORD DeviceCount();
std::filesystem::path DllDirectory();
// A 128-byte command frame; `block` (64 bytes) goes into bytes 0..63.
Bytes CommandFrame(char opcode, const Bytes& block = {});
// A 64-byte block with every byte different, so misplaced bytes show.
Bytes PatternBlock(uint8_t start);
Bytes Ram();

// The first device, opened and set up as the program does (4 Mbaud, read
// time-out 1000 ms, 32 KiB in-transfers, notification event); closed at the end.
class OpenDevice {
public:
    OpenDevice();
    ~OpenDevice() { ft::Close(handle_); }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;

    FT_HANDLE Handle() const { return handle_; }
    HANDLE Event() const { return event_.Get(); }
    FT_STATUS Send(char opcode, const Bytes& block = {});
    // One FT_Read of up to `count` bytes under the given read time-out.
    Bytes ReadWithin(size_t count, DWORD timeoutMs);
    // The program's receive loop (event, status, read of exactly the queued
    // count) until `expected` bytes came; counts the notifications taken.
    Bytes Receive(size_t expected, int* notifications = nullptr);
    DWORD Queued();

private:
    FT_HANDLE handle_ = nullptr;
    UniqueHandle event_;
};

// A file in the temporary folder, removed at the end.
struct TempFile {
    explicit TempFile(const char* name);
    ~TempFile();
    std::string Read() const;
    std::filesystem::path Path;
};
