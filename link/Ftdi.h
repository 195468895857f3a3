// The thin layer over the FTDI D2XX driver library (FTD2XX.dll), loaded at
// run time with its functions taken by ordinal. Only the communication worker
// calls into it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/Handles.h"

using FT_HANDLE = void*;
using FT_STATUS = ULONG;
constexpr FT_STATUS FT_OK = 0;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_EVENT_RXCHAR = 1;
constexpr ULONG FT_PURGE_RX = 1;

struct FT_DEVICE_LIST_INFO_NODE {
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

// The 17 functions the program uses, each taken by its ordinal.
struct FtdiFunctions {
    FT_STATUS(WINAPI* Close)(FT_HANDLE);                                          // 2
    FT_STATUS(WINAPI* Read)(FT_HANDLE, LPVOID, DWORD, LPDWORD);                   // 3
    FT_STATUS(WINAPI* Write)(FT_HANDLE, LPVOID, DWORD, LPDWORD);                  // 4
    FT_STATUS(WINAPI* ResetDevice)(FT_HANDLE);                                    // 6
    FT_STATUS(WINAPI* SetBaudRate)(FT_HANDLE, ULONG);                             // 7
    FT_STATUS(WINAPI* Purge)(FT_HANDLE, ULONG);                                   // 16
    FT_STATUS(WINAPI* SetTimeouts)(FT_HANDLE, ULONG, ULONG);                      // 17
    FT_STATUS(WINAPI* SetEventNotification)(FT_HANDLE, DWORD, PVOID);             // 19
    FT_STATUS(WINAPI* GetStatus)(FT_HANDLE, DWORD*, DWORD*, DWORD*);              // 21
    FT_STATUS(WINAPI* OpenEx)(PVOID, DWORD, FT_HANDLE*);                          // 27
    FT_STATUS(WINAPI* SetUSBParameters)(FT_HANDLE, ULONG, ULONG);                 // 33
    FT_STATUS(WINAPI* StopInTask)(FT_HANDLE);                                     // 63
    FT_STATUS(WINAPI* RestartInTask)(FT_HANDLE);                                  // 64
    FT_STATUS(WINAPI* CreateDeviceInfoList)(LPDWORD);                             // 70
    FT_STATUS(WINAPI* GetDeviceInfoList)(FT_DEVICE_LIST_INFO_NODE*, LPDWORD);     // 71
    FT_STATUS(WINAPI* GetDriverVersion)(FT_HANDLE, LPDWORD);                      // 75
    FT_STATUS(WINAPI* GetLibraryVersion)(LPDWORD);                                // 76
};

// The library's functions, or null when FTD2XX.dll is missing or lacks one
// of them. Loaded once and kept for the life of the process.
const FtdiFunctions* FtdiLibrary();

// An opened device, closed with FT_Close.
struct FtdiDeviceKind {
    using Type = FT_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) {
        if (const FtdiFunctions* ftdi = FtdiLibrary()) ftdi->Close(handle);
    }
};
using UniqueFtdiHandle = Unique<FtdiDeviceKind>;

struct FtdiVersion {
    uint32_t Major, Minor, Build;
};

// Library and driver versions as reported, for status texts and tests.
FtdiVersion LibraryVersion();
FtdiVersion DriverVersion();

void FtdiSplitVersion(uint32_t packed, uint32_t* major, uint32_t* minor, uint32_t* build);
const wchar_t* FtdiStatusText(FT_STATUS status);

// Each returns 1 on success, 0 on failure, and shows its progress or failure
// in status-bar part 0 as described with each.
int FtdiLibraryVersion();
int FtdiCountDevices(DWORD* count);
// Opens device 0 of the list by its serial number, written to `serial`. When
// `required` is not empty and device 0 is another one, nothing is opened:
// the result is 0 and `serial` names the device that is there.
int FtdiOpenDevice(ULONG readTimeout, ULONG writeTimeout, ULONG baudRate, FT_HANDLE* handle, std::string* serial,
                   const std::string& required = {});
// True when a device with this serial number is in the device list (also
// when the list cannot be read: then nobody can tell it went).
bool FtdiDevicePresent(const std::string& serial);
int FtdiPrepareNotification(FT_HANDLE handle, HANDLE* event);
// Stops the in-task, purges the receive queue (stale replies) and restarts
// it. The transmit side is never purged: it may still hold the end of the
// last frame, and the controller, which assembles frames from the byte
// stream, would then take the next frame's bytes for the rest of that one.
// The in-task calls are retried for about a second; 0 (with a text in part 0)
// when they never succeed, and the caller must then give up the device.
int FtdiClearQueues(FT_HANDLE handle);
