// The D2XX driver interface as TAVO uses it: status codes, flags and the
// device-list node, declared here so that the simulated FTD2XX.dll and its
// tests need nothing from the vendor. Layouts and values are the driver's.
#pragma once

#include <cstdint>

using FT_STATUS = uint32_t;  // ULONG on Windows
using FT_HANDLE = void*;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_OTHER_ERROR = 18,
    FT_DEVICE_LIST_NOT_READY = 19,
};

// FT_OpenEx: what its first argument is.
constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;
constexpr uint32_t FT_OPEN_BY_LOCATION = 4;

constexpr uint32_t FT_EVENT_RXCHAR = 1;  // FT_SetEventNotification mask
constexpr uint32_t FT_PURGE_RX = 1;
constexpr uint32_t FT_PURGE_TX = 2;

// FT_DEVICE_LIST_INFO_NODE.Flags and .Type.
constexpr uint32_t FT_FLAGS_OPENED = 1;
constexpr uint32_t FT_FLAGS_HISPEED = 2;
constexpr uint32_t FT_DEVICE_232H = 8;

struct FT_DEVICE_LIST_INFO_NODE {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

// Ordinals under which FTD2XX.dll exports the functions TAVO calls.
namespace D2xxOrdinal {
constexpr int Close = 2;
constexpr int Read = 3;
constexpr int Write = 4;
constexpr int ResetDevice = 6;
constexpr int SetBaudRate = 7;
constexpr int Purge = 16;
constexpr int SetTimeouts = 17;
constexpr int SetEventNotification = 19;
constexpr int GetStatus = 21;
constexpr int OpenEx = 27;
constexpr int SetUSBParameters = 33;
constexpr int StopInTask = 63;
constexpr int RestartInTask = 64;
constexpr int CreateDeviceInfoList = 70;
constexpr int GetDeviceInfoList = 71;
constexpr int GetDriverVersion = 75;
constexpr int GetLibraryVersion = 76;
}  // namespace D2xxOrdinal
