// Finding and opening the device: exports, versions, the device list,
// FT_OpenEx and handle validity.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tests/sim/SimDriver.h"

TEST(Exports, EachD2xxFunctionHasItsOrdinalAndItsName) {
    const std::pair<int, const char*> exports[] = {
        {2, "FT_Close"}, {3, "FT_Read"}, {4, "FT_Write"}, {6, "FT_ResetDevice"}, {7, "FT_SetBaudRate"},
        {16, "FT_Purge"}, {17, "FT_SetTimeouts"}, {19, "FT_SetEventNotification"}, {21, "FT_GetStatus"},
        {27, "FT_OpenEx"}, {33, "FT_SetUSBParameters"}, {63, "FT_StopInTask"}, {64, "FT_RestartInTask"},
        {70, "FT_CreateDeviceInfoList"}, {71, "FT_GetDeviceInfoList"}, {75, "FT_GetDriverVersion"},
        {76, "FT_GetLibraryVersion"}};
    for (const auto& [ordinal, name] : exports) EXPECT_EQ(Export(MAKEINTRESOURCEA(ordinal)), Export(name)) << name;
}

TEST(Versions, ArePackedAndTheScenarioCanReplaceThem) {
    for (const wchar_t* scenario : {L"", L"LibraryVersion=0x00020812\nDriverVersion=131602"}) {
        UseScenario(scenario);
        OpenDevice device;
        DWORD library = 0, driver = 0;
        ASSERT_EQ(ft::GetLibraryVersion(&library), FT_OK);
        ASSERT_EQ(ft::GetDriverVersion(device.Handle(), &driver), FT_OK);
        if (*scenario) {
            EXPECT_EQ(library, 0x00020812u);
            EXPECT_EQ(driver, 131602u);
        } else {
            EXPECT_EQ(library >> 24 | driver >> 24, 0u) << "bits 24..31 are unused";
            EXPECT_GE(std::min(library, driver) >> 16, 2u) << "a plausible major version";
        }
    }
}

TEST(DeviceList, CountsThePresentDevicesAndWritesNoNodeBeyondThem) {
    UseScenario(L"");
    EXPECT_EQ(DeviceCount(), 1u) << "a healthy controller without a scenario";
    for (int devices : {0, 1, 2}) {
        UseScenario(L"Devices=" + std::to_wstring(devices));
        EXPECT_EQ(DeviceCount(), static_cast<DWORD>(devices));
        FT_DEVICE_LIST_INFO_NODE nodes[3];
        std::memset(nodes, 0xCC, sizeof nodes);
        DWORD count = 0;
        ASSERT_EQ(ft::GetDeviceInfoList(nodes, &count), FT_OK);
        EXPECT_EQ(count, static_cast<DWORD>(devices));
        const auto* rest = reinterpret_cast<const unsigned char*>(nodes + devices);
        for (size_t i = 0; i < (3 - devices) * sizeof nodes[0]; ++i) ASSERT_EQ(rest[i], 0xCC) << devices << " devices";
    }
}

TEST(DeviceList, NodesNameDistinctDevicesThatOpenBySerialNumber) {
    UseScenario(L"Devices=2");
    FT_DEVICE_LIST_INFO_NODE nodes[2] = {};
    DWORD count = 0;
    ASSERT_EQ(ft::GetDeviceInfoList(nodes, &count), FT_OK);
    std::set<std::string> serials;
    FT_HANDLE handles[2] = {};
    for (int i = 0; i < 2; ++i) {
        ASSERT_NE(std::memchr(nodes[i].SerialNumber, 0, 16), nullptr);
        serials.insert(nodes[i].SerialNumber);
        EXPECT_EQ(nodes[i].Flags & FT_FLAGS_OPENED, 0u);
        ASSERT_EQ(ft::OpenEx(nodes[i].SerialNumber, FT_OPEN_BY_SERIAL_NUMBER, &handles[i]), FT_OK);
    }
    EXPECT_EQ(serials.size(), 2u);
    EXPECT_FALSE(serials.count(""));
    ASSERT_EQ(ft::GetDeviceInfoList(nodes, &count), FT_OK);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(nodes[i].Flags & FT_FLAGS_OPENED, FT_FLAGS_OPENED);
        EXPECT_EQ(nodes[i].ftHandle, handles[i]);
        EXPECT_EQ(ft::Close(handles[i]), FT_OK);
    }
}

TEST(OpenEx, RefusesUnknownMissingAndAlreadyOpenedDevices) {
    UseScenario(L"");
    FT_DEVICE_LIST_INFO_NODE node{};
    DWORD count = 1;
    ASSERT_EQ(ft::GetDeviceInfoList(&node, &count), FT_OK);
    FT_HANDLE handle = nullptr, second = nullptr;
    char unknown[] = "NOSUCH01";
    EXPECT_EQ(ft::OpenEx(unknown, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_DEVICE_NOT_FOUND);
    ASSERT_EQ(ft::OpenEx(node.SerialNumber, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    EXPECT_EQ(ft::OpenEx(node.SerialNumber, FT_OPEN_BY_SERIAL_NUMBER, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(ft::Close(handle), FT_OK);
    EXPECT_EQ(ft::OpenEx(node.Description, FT_OPEN_BY_DESCRIPTION, &handle), FT_OK) << "free again after closing";
    EXPECT_EQ(ft::Close(handle), FT_OK);
    UseScenario(L"Devices=0");
    EXPECT_EQ(ft::OpenEx(node.SerialNumber, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_DEVICE_NOT_FOUND);
}

TEST(Handles, ClosedForeignAndEarlierScenariosHandlesAreInvalid) {
    UseScenario(L"");
    FT_HANDLE closed;
    {
        OpenDevice device;
        closed = device.Handle();
        EXPECT_EQ(sim::OpenHandles(), 1u);
    }
    EXPECT_EQ(sim::OpenHandles(), 0u);
    DWORD value = 0, rx = 0, tx = 0;
    uint8_t buffer[128] = {};
    for (FT_HANDLE handle : {closed, static_cast<FT_HANDLE>(nullptr), static_cast<FT_HANDLE>(buffer)}) {
        EXPECT_EQ(ft::Close(handle), FT_INVALID_HANDLE);
        EXPECT_EQ(ft::Write(handle, buffer, 128, &value), FT_INVALID_HANDLE);
        EXPECT_EQ(ft::Read(handle, buffer, 1, &value), FT_INVALID_HANDLE);
        EXPECT_EQ(ft::GetStatus(handle, &rx, &tx, &value), FT_INVALID_HANDLE);
    }
    OpenDevice device;
    UseScenario(L"");  // starting over closes what was open
    EXPECT_EQ(sim::OpenHandles(), 0u);
    EXPECT_EQ(ft::Purge(device.Handle(), FT_PURGE_RX), FT_INVALID_HANDLE);
}
