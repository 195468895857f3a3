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
    // Queues DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE; never blocks.
    void Post(WPARAM event);

private:
    void Run();

    std::mutex lock_;
    std::condition_variable queued_;
    std::deque<WPARAM> events_;
    std::thread thread_;
};
