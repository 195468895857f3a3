// Pulling and putting back the cable: the device list, the open handle,
// a stream in flight, and WM_DEVICECHANGE to the program's main window.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <vector>

#include "tests/sim/SimDriver.h"

namespace {

constexpr GUID FtdiClass = {0x219D0508, 0x57A8, 0x4FF5, {0x97, 0xA1, 0xBD, 0x86, 0x58, 0x7C, 0x6C, 0x7E}};

struct Notice {
    WPARAM Event;
    DEV_BROADCAST_DEVICEINTERFACE_W Header;
    bool DuringSimCall;
};
std::vector<Notice> notices;
bool inSimCall = false;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DEVICECHANGE || !lParam) return DefWindowProcW(window, message, wParam, lParam);
    notices.push_back({wParam, *reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam), inSimCall});
    return TRUE;
}

// A stand-in for the program's main window: a hidden top-level window of class "TAVO".
class MainWindow {
public:
    MainWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = MainWindowProc;
        windowClass.lpszClassName = L"TAVO";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, L"TAVO", L"TAVO", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
        notices.clear();
    }
    ~MainWindow() { DestroyWindow(window_); }

    // Serves messages until `count` notices came or 10 s passed.
    void AwaitNotices(size_t count) const {
        ASSERT_NE(window_, nullptr);
        for (const DWORD start = GetTickCount(); notices.size() < count && GetTickCount() - start < 10000;) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
    }

private:
    HWND window_;
};

void ExpectRemovalThenArrival() {
    ASSERT_EQ(notices.size(), 2u);
    for (const Notice& notice : notices) {
        EXPECT_EQ(notice.Header.dbcc_devicetype, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
        EXPECT_GE(notice.Header.dbcc_size, sizeof(DEV_BROADCAST_DEVICEINTERFACE_W));
        EXPECT_TRUE(IsEqualGUID(notice.Header.dbcc_classguid, FtdiClass));
        EXPECT_FALSE(notice.DuringSimCall) << "delivered inside a call of the program's thread";
    }
    EXPECT_EQ(notices[0].Event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(notices[1].Event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
}

}  // namespace

TEST(Unplug, TheDeviceVanishesAndItsOpenHandleFailsUntilClosed) {
    UseScenario(L"Unpaced=1");
    OpenDevice device;
    sim::Unplug();
    EXPECT_EQ(DeviceCount(), 0u);
    Bytes buffer(128);
    DWORD value = 0, rx = 0, tx = 0;
    EXPECT_EQ(device.Send('l'), FT_IO_ERROR);
    EXPECT_EQ(ft::Read(device.Handle(), buffer.data(), 1, &value), FT_IO_ERROR);
    EXPECT_EQ(ft::GetStatus(device.Handle(), &rx, &tx, &value), FT_IO_ERROR);
    EXPECT_EQ(ft::StopInTask(device.Handle()), FT_IO_ERROR);
    FT_HANDLE other = nullptr;
    char serial[] = "TAVO0001";
    EXPECT_EQ(ft::OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &other), FT_DEVICE_NOT_FOUND);

    sim::Replug();
    EXPECT_EQ(DeviceCount(), 1u);
    EXPECT_EQ(device.Send('l'), FT_IO_ERROR) << "the old handle stays dead";
    ASSERT_EQ(ft::OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &other), FT_OK) << "the device is free for a new open";
    EXPECT_EQ(sim::OpenHandles(), 2u);
    EXPECT_EQ(ft::Close(other), FT_OK);
}

TEST(Unplug, StopsAStreamAndItsNotifications) {
    UseScenario(L"");
    OpenDevice device;
    device.Send('d');
    ASSERT_EQ(WaitForSingleObject(device.Event(), 5000), WAIT_OBJECT_0);
    sim::Unplug();
    ResetEvent(device.Event());
    EXPECT_EQ(WaitForSingleObject(device.Event(), 300), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(Unplug, FollowsTheNthFrameOfTheScenario) {
    UseScenario(L"UnplugAfterFrames=2");
    OpenDevice device;
    EXPECT_EQ(device.Send('w'), FT_OK);
    EXPECT_EQ(DeviceCount(), 1u);
    EXPECT_EQ(device.Send('w'), FT_OK);
    EXPECT_EQ(DeviceCount(), 0u);
    EXPECT_EQ(device.Send('w'), FT_IO_ERROR);
}

TEST(DeviceChange, TheMainWindowHearsOfRemovalAndArrivalAfterTheCalls) {
    UseScenario(L"");
    const MainWindow window;
    inSimCall = true;
    sim::Unplug();
    sim::Replug();
    inSimCall = false;
    window.AwaitNotices(2);
    ExpectRemovalThenArrival();
}

TEST(DeviceChange, TimedUnplugAndReplugFollowTheOpen) {
    UseScenario(L"UnplugAfterMs=50\nReplugAfterMs=100");
    const MainWindow window;
    OpenDevice device;
    window.AwaitNotices(2);
    ExpectRemovalThenArrival();
    EXPECT_EQ(DeviceCount(), 1u);
    EXPECT_EQ(device.Send('w'), FT_IO_ERROR);
}
