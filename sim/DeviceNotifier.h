// Tells the program's main window that the device went away or came back,
// as Windows does for a registered device-interface class: WM_DEVICECHANGE
// with a DEV_BROADCAST_DEVICEINTERFACE of the FTDI D2XX class.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class DeviceNotifier {
public:
    // Queues DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE for a device (its
    // number from 0); never blocks.
    void Post(WPARAM event, size_t device);
    // Notices queued or being sent: 0 once the window has taken every one.
    size_t Pending();

private:
    struct Notice {
        WPARAM Event;
        size_t Device;
    };
    void Run();

    std::mutex lock_;
    std::condition_variable queued_;
    std::deque<Notice> events_;
    size_t sending_ = 0;
    std::thread thread_;
};
