#include "sim/DeviceNotifier.h"

#include <dbt.h>

#include <cstddef>
#include <cwchar>
#include <iterator>

namespace {

constexpr wchar_t MainWindowClass[] = L"TAVO";
constexpr GUID FtdiInterfaceClass = {0x219D0508, 0x57A8, 0x4FF5, {0x97, 0xA1, 0xBD, 0x86, 0x58, 0x7C, 0x6C, 0x7E}};
constexpr wchar_t InterfaceName[] = L"\\\\?\\USB#VID_0403&PID_6014#TAVO0001#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}";

// The header and the interface name right behind it, as Windows lays them out.
struct InterfaceBroadcast {
    DEV_BROADCAST_DEVICEINTERFACE_W Header;
    wchar_t NameRest[std::size(InterfaceName)];
};

// Static: a message that outlives a timed-out send still points at valid memory.
const DEV_BROADCAST_DEVICEINTERFACE_W* Broadcast() {
    static const InterfaceBroadcast broadcast = [] {
        InterfaceBroadcast b{};
        b.Header.dbcc_size = static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + sizeof(InterfaceName));
        b.Header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        b.Header.dbcc_classguid = FtdiInterfaceClass;
        std::wmemcpy(b.Header.dbcc_name, InterfaceName, std::size(InterfaceName));
        return b;
    }();
    return &broadcast.Header;
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

void DeviceNotifier::Post(WPARAM event) {
    std::lock_guard guard(lock_);
    events_.push_back(event);
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
        WPARAM event;
        {
            std::unique_lock guard(lock_);
            queued_.wait(guard, [this] { return !events_.empty(); });
            event = events_.front();
            events_.pop_front();
        }
        if (HWND window = FindMainWindow()) {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(Broadcast()), SMTO_ABORTIFHUNG,
                                5000, &result);
        }
    }
}
