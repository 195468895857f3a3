#include "link/Ftdi.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <vector>

#include "link/LinkEvents.h"
#include "link/LinkReporter.h"

namespace {

constexpr int MessageCapacity = 256;
// How long the in-task calls are retried before the device is given up.
constexpr ULONGLONG InTaskRetryMs = 1000;
constexpr DWORD InTaskRetryPauseMs = 5;
// The open reads node 0 only; the room for a few more keeps a device plugged
// in between the count and the list from writing past the array.
constexpr DWORD DeviceNodeRoom = 4;
constexpr const wchar_t* Abandoned = L" - command abandoned";

std::atomic<uint32_t> PackedLibraryVersion{0};
std::atomic<uint32_t> PackedDriverVersion{0};

template <typename Function>
bool Take(HMODULE module, int ordinal, Function& function) {
    function = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
    return function != nullptr;
}

bool TakeAll(HMODULE module, FtdiFunctions& f) {
    return Take(module, 2, f.Close) && Take(module, 3, f.Read) && Take(module, 4, f.Write) &&
           Take(module, 6, f.ResetDevice) && Take(module, 7, f.SetBaudRate) && Take(module, 16, f.Purge) &&
           Take(module, 17, f.SetTimeouts) && Take(module, 19, f.SetEventNotification) &&
           Take(module, 21, f.GetStatus) && Take(module, 27, f.OpenEx) && Take(module, 33, f.SetUSBParameters) &&
           Take(module, 63, f.StopInTask) && Take(module, 64, f.RestartInTask) &&
           Take(module, 70, f.CreateDeviceInfoList) && Take(module, 71, f.GetDeviceInfoList) &&
           Take(module, 75, f.GetDriverVersion) && Take(module, 76, f.GetLibraryVersion);
}

// Shows "<call>(...) failed Status <text>" (plus `suffix`) in part 0; always 0.
int ShowFailure(const wchar_t* call, FT_STATUS status, const wchar_t* suffix = L"") {
    wchar_t message[MessageCapacity];
    std::swprintf(message, MessageCapacity, L"%ls(...) failed Status %ls%ls", call, FtdiStatusText(status), suffix);
    TheLinkReporter().DeviceText(message);
    return 0;
}

std::string SerialOf(const FT_DEVICE_LIST_INFO_NODE& node) {
    return std::string(node.SerialNumber, strnlen(node.SerialNumber, sizeof node.SerialNumber));
}

int ShowMissing(const std::string& serial) {
    wchar_t message[MessageCapacity];
    const std::wstring wide(serial.begin(), serial.end());
    std::swprintf(message, MessageCapacity, L"FTDI: device %ls not found", wide.c_str());
    TheLinkReporter().DeviceText(message);
    return 0;
}

FtdiVersion Split(uint32_t packed) {
    FtdiVersion version{};
    FtdiSplitVersion(packed, &version.Major, &version.Minor, &version.Build);
    return version;
}

// Calls `function` until it answers FT_OK, about a second has passed or the
// application is closing (the close waits for this thread).
FT_STATUS RetryInTask(FT_STATUS(WINAPI* function)(FT_HANDLE), FT_HANDLE handle) {
    const ULONGLONG start = GetTickCount64();
    HANDLE closing = TheLinkEvents().ApplicationDone;
    FT_STATUS status = function(handle);
    while (status != FT_OK && GetTickCount64() - start < InTaskRetryMs) {
        if (closing && WaitForSingleObject(closing, InTaskRetryPauseMs) == WAIT_OBJECT_0) break;
        if (!closing) Sleep(InTaskRetryPauseMs);
        status = function(handle);
    }
    return status;
}

}  // namespace

const FtdiFunctions* FtdiLibrary() {
    static std::mutex lock;
    static FtdiFunctions functions{};
    static bool loaded = false;
    std::lock_guard guard(lock);
    if (!loaded) {
        // A library that was missing may be installed later: try again then.
        // Only TAVO's own folder (the simulator beside it) and System32 (the
        // vendor's driver): a FTD2XX.dll planted in the current directory or
        // on PATH is never loaded.
        HMODULE module =
            LoadLibraryExW(L"FTD2XX.dll", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        loaded = module && TakeAll(module, functions);
    }
    return loaded ? &functions : nullptr;
}

FtdiVersion LibraryVersion() { return Split(PackedLibraryVersion); }
FtdiVersion DriverVersion() { return Split(PackedDriverVersion); }

void FtdiSplitVersion(uint32_t packed, uint32_t* major, uint32_t* minor, uint32_t* build) {
    *build = packed & 0xFF;
    *minor = (packed >> 8) & 0xFF;
    *major = (packed >> 16) & 0xFF;
}

const wchar_t* FtdiStatusText(FT_STATUS status) {
    static const wchar_t* const texts[] = {
        L"OK",
        L"invalid handle",
        L"device not found",
        L"device not opened",
        L"I/O error",
        L"insufficient resources",
        L"invalid parameter",
        L"invalid baud rate",
        L"device not opened for erase",
        L"device not open for write",
        L"failed to write device",
        L"EEPROM read failed",
        L"EEPROM write failed",
        L"EEPROM erase failed",
        L"EEPROM not present",
        L"EEPROM not programmed",
        L"invalid arguments",
        L"not supported",
        L"other error",
        L"device list not ready",
    };
    return status < std::size(texts) ? texts[status] : L"unknown status";
}

int FtdiLibraryVersion() {
    const FtdiFunctions* ftdi = FtdiLibrary();
    DWORD packed = 0;
    if (!ftdi || ftdi->GetLibraryVersion(&packed) != FT_OK) {
        TheLinkReporter().DeviceText(L"Failure to determine FTDI lib version");
        return 0;
    }
    PackedLibraryVersion = packed;
    const FtdiVersion version = Split(packed);
    wchar_t message[MessageCapacity];
    std::swprintf(message, MessageCapacity, L"FTDI Lib %u.%u.%u", version.Major, version.Minor, version.Build);
    TheLinkReporter().DeviceText(message);
    return 1;
}

int FtdiCountDevices(DWORD* count) {
    const FtdiFunctions* ftdi = FtdiLibrary();
    if (!ftdi) return 0;
    const FT_STATUS status = ftdi->CreateDeviceInfoList(count);
    // Shown too: without exactly one device it is the last word on the link.
    wchar_t message[MessageCapacity];
    std::swprintf(message, MessageCapacity, L"FTDI: %u devices found", static_cast<unsigned>(*count));
    TheLinkReporter().DeviceText(message);
    return status == FT_OK;
}

int FtdiOpenDevice(ULONG readTimeout, ULONG writeTimeout, ULONG baudRate, FT_HANDLE* handle, std::string* serial,
                   const std::string& required) {
    *handle = nullptr;
    serial->clear();
    const FtdiFunctions* ftdi = FtdiLibrary();
    if (!ftdi) return 0;
    FT_DEVICE_LIST_INFO_NODE devInfo[DeviceNodeRoom] = {};
    DWORD nodes = 0;
    FT_STATUS status = ftdi->GetDeviceInfoList(devInfo, &nodes);
    if (status != FT_OK) return ShowFailure(L"FT_GetDeviceInfoList", status);
    *serial = SerialOf(devInfo[0]);
    // A retry opens only the device it lost, never another adapter.
    if (!required.empty() && *serial != required) return ShowMissing(required);
    status = ftdi->OpenEx(devInfo[0].SerialNumber, FT_OPEN_BY_SERIAL_NUMBER, handle);
    if (status != FT_OK) return ShowFailure(L"FT_OpenEx", status);
    status = ftdi->SetTimeouts(*handle, readTimeout, writeTimeout);
    if (status != FT_OK) return ShowFailure(L"FT_SetTimeouts", status);
    status = ftdi->SetBaudRate(*handle, baudRate);
    if (status != FT_OK) return ShowFailure(L"FT_SetBaudRate", status);

    DWORD packed = 0;
    ftdi->GetDriverVersion(*handle, &packed);
    PackedDriverVersion = packed;
    const FtdiVersion library = LibraryVersion();
    const FtdiVersion driver = Split(packed);
    wchar_t message[MessageCapacity];
    std::swprintf(message, MessageCapacity, L"FTDI Lib %u.%u.%u Drv %u.%u.%u", library.Major, library.Minor,
                  library.Build, driver.Major, driver.Minor, driver.Build);
    TheLinkReporter().DeviceText(message);
    return 1;
}

bool FtdiDevicePresent(const std::string& serial) {
    const FtdiFunctions* ftdi = FtdiLibrary();
    DWORD count = 0;
    if (!ftdi || ftdi->CreateDeviceInfoList(&count) != FT_OK) return true;
    // Room for a few that may come between the count and the list.
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count + DeviceNodeRoom);
    DWORD listed = 0;
    if (ftdi->GetDeviceInfoList(nodes.data(), &listed) != FT_OK) return true;
    listed = std::min<DWORD>(listed, static_cast<DWORD>(nodes.size()));
    for (DWORD i = 0; i < listed; ++i)
        if (SerialOf(nodes[i]) == serial) return true;
    return false;
}

int FtdiPrepareNotification(FT_HANDLE handle, HANDLE* event) {
    const FtdiFunctions* ftdi = FtdiLibrary();
    if (!ftdi || ftdi->ResetDevice(handle) != FT_OK) return 0;
    if (ftdi->SetUSBParameters(handle, 0x8000, 0) != FT_OK) return 0;
    *event = CreateEventW(nullptr, TRUE, FALSE, L"FTDI");
    return *event != nullptr;
}

int FtdiClearQueues(FT_HANDLE handle) {
    const FtdiFunctions* ftdi = FtdiLibrary();
    if (!ftdi) return 0;
    FT_STATUS status = RetryInTask(ftdi->StopInTask, handle);
    if (status != FT_OK) return ShowFailure(L"FT_StopInTask", status, Abandoned);
    ftdi->Purge(handle, FT_PURGE_RX);
    status = RetryInTask(ftdi->RestartInTask, handle);
    if (status != FT_OK) return ShowFailure(L"FT_RestartInTask", status, Abandoned);
    return 1;
}
