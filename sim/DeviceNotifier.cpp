#include "sim/DeviceNotifier.h"

#include <dbt.h>

#include <cstddef>
#include <cwchar>
#include <iterator>
#include <mutex>

namespace {

constexpr wchar_t MainWindowClass[] = L"TAVO";
constexpr GUID FtdiInterfaceClass = {0x219D0508, 0x57A8, 0x4FF5, {0x97, 0xA1, 0xBD, 0x86, 0x58, 0x7C, 0x6C, 0x7E}};
// "\\?\USB#VID_0403&PID_6014#TAVO0001#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}":
// the interface name names the device by its serial number.
constexpr size_t InterfaceNameLength = 80;
constexpr size_t NamedDevices = 16;

// The header and the interface name right behind it, as Windows lays them out.
struct InterfaceBroadcast {
    DEV_BROADCAST_DEVICEINTERFACE_W Header;
    wchar_t NameRest[InterfaceNameLength];
};

// Static: a message that outlives a timed-out send still points at valid memory.
const DEV_BROADCAST_DEVICEINTERFACE_W* Broadcast(size_t device) {
    static InterfaceBroadcast broadcasts[NamedDevices];
    static std::once_flag made;
    std::call_once(made, [] {
        for (size_t i = 0; i < NamedDevices; ++i) {
            InterfaceBroadcast& b = broadcasts[i];
            b = {};
            const int length = std::swprintf(
                b.Header.dbcc_name, InterfaceNameLength,
                L"\\\\?\\USB#VID_0403&PID_6014#TAVO%04u#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}",
                static_cast<unsigned>(i + 1));
            b.Header.dbcc_size = static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                                                    (length + 1) * sizeof(wchar_t));
            b.Header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            b.Header.dbcc_classguid = FtdiInterfaceClass;
        }
    });
    return &broadcasts[device < NamedDevices ? device : NamedDevices - 1].Header;
}

// The top-level "TAVO" window of this process, not one of another TAVO
// running on the same desktop.
HWND FindMainWindow() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM result) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            wchar_t name[16] = {};
            if (process != GetCurrentProcessId() || !GetClassNameW(window, name, static_cast<int>(std::size(name))) ||
                std::wcscmp(name, MainWindowClass) != 0)
                return TRUE;
            *reinterpret_cast<HWND*>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace

void DeviceNotifier::Post(WPARAM event, size_t device) {
    std::lock_guard guard(lock_);
    events_.push_back({event, device});
    if (!thread_.joinable()) {
        thread_ = std::thread(&DeviceNotifier::Run, this);
    }
    queued_.notify_one();
}

// WM_DEVICECHANGE carries a pointer, so Windows refuses to post it or to
// send it without waiting; this thread sends it and waits in the program's
// place, never holding the simulator's lock.
void DeviceNotifier::Run() {
    for (;;) {
        Notice notice;
        {
            std::unique_lock guard(lock_);
            queued_.wait(guard, [this] { return !events_.empty(); });
            notice = events_.front();
            events_.pop_front();
            ++sending_;
        }
        if (HWND window = FindMainWindow()) {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_DEVICECHANGE, notice.Event, reinterpret_cast<LPARAM>(Broadcast(notice.Device)),
                                SMTO_ABORTIFHUNG, 5000, &result);
        }
        std::lock_guard guard(lock_);
        --sending_;
    }
}

size_t DeviceNotifier::Pending() {
    std::lock_guard guard(lock_);
    return events_.size() + sending_;
}
