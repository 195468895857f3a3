// The devices behind the simulated driver, the handles opened on them and
// the thread that carries the controller's replies over the line. One lock
// guards all of it, so every D2XX call is thread-safe.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/D2xx.h"
#include "sim/DeviceNotifier.h"
#include "sim/Port.h"
#include "sim/Scenario.h"

class Simulator {
public:
    static Simulator& Instance();

    // The D2XX calls, with 32-bit outputs; the exports convert.
    FT_STATUS GetLibraryVersion(uint32_t& version);
    FT_STATUS CreateDeviceInfoList(uint32_t& count);
    FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, uint32_t& count);
    FT_STATUS OpenEx(const void* which, uint32_t flags, FT_HANDLE& handle);
    FT_STATUS Close(FT_HANDLE handle);
    FT_STATUS Read(FT_HANDLE handle, uint8_t* buffer, uint32_t toRead, uint32_t& read);
    FT_STATUS Write(FT_HANDLE handle, const uint8_t* buffer, uint32_t toWrite, uint32_t& written);
    FT_STATUS ResetDevice(FT_HANDLE handle);
    FT_STATUS SetBaudRate(FT_HANDLE handle, uint32_t baud);
    FT_STATUS Purge(FT_HANDLE handle, uint32_t mask);
    FT_STATUS SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs);
    FT_STATUS SetEventNotification(FT_HANDLE handle, uint32_t mask, HANDLE event);
    FT_STATUS GetStatus(FT_HANDLE handle, uint32_t& rxBytes, uint32_t& txBytes, uint32_t& events);
    FT_STATUS SetUSBParameters(FT_HANDLE handle, uint32_t inSize, uint32_t outSize);
    FT_STATUS StopInTask(FT_HANDLE handle);
    FT_STATUS RestartInTask(FT_HANDLE handle);
    FT_STATUS GetDriverVersion(FT_HANDLE handle, uint32_t& version);

    // Control by the tests: start over with a scenario, look inside.
    void Configure(const Scenario& scenario);
    size_t WriteCount();
    // One FT_Write: its bytes (none when the call failed), the device (from
    // 0) it went to, the open (from 1) whose handle wrote it, and whether that
    // controller carried out a frame it completed (a silent one does not).
    struct WrittenFrame {
        std::vector<uint8_t> Bytes;
        size_t Device = 0;
        size_t Open = 0;
        bool CarriedOut = false;
    };
    std::optional<WrittenFrame> Written(size_t index);
    // Every frame a controller assembled and took, in order: what it read
    // as the opcode, the SEK that mattered (an install's or a burn's own,
    // else RAM's as it ran), and how the frame came about.
    struct Execution {
        uint8_t Opcode = 0;
        uint8_t Sek = 0;
        size_t Device = 0;
        size_t Write = 0;
        bool CarriedOut = false;
        bool Aligned = false;
        bool AfterBoot = false;
    };
    size_t ExecutionCount();
    std::optional<Execution> ExecutionAt(size_t index);
    // The first device's controller switched off and on, and how much of a
    // frame it holds.
    void Restart(uint32_t bootMs);
    size_t PartialFrameBytes();
    std::optional<Block> Ram();
    std::optional<Block> Rom();
    bool SetRam(const Block& block);
    size_t OpenHandles();
    // Successful opens since the last configuration.
    size_t Opens();
    // Devices closed after the caller had closed their notification event.
    size_t NotificationsClosedFirst();
    // Device notices not yet taken by the program's window.
    size_t NoticesPending();
    // The whole cable (every device), or one device of several.
    void Unplug();
    void Replug();
    void UnplugDevice(size_t device);
    void ReplugDevice(size_t device);
    // Faults switched while the program runs, without starting over.
    void SetFailure(const FailingCall& fail);
    void SetSilent(bool silent);
    void SetListReplyBytes(uint32_t bytes);
    void SetShortWrites(const ShortWrites& writes);
    void SetOpenDelay(uint32_t ms);

private:
    struct Device {
        Controller Unit;
        TransmitLine Line;       // the chip's transmit side, towards the controller
        uintptr_t OpenedAs = 0;  // handle id, 0 while closed
        bool Plugged = true;
    };
    using Lock = std::unique_lock<std::mutex>;

    Simulator() = default;
    void EnsureConfigured();
    void ConfigureLocked(const Scenario& scenario);
    FT_STATUS InjectedFault(std::string_view call);
    Port* FindPort(FT_HANDLE handle);
    template <typename Action>
    FT_STATUS OnPort(FT_HANDLE handle, std::string_view call, Action action);
    uint32_t PresentDevices() const;
    // The device behind node `node` of the device list (the plugged ones in order).
    size_t PresentDevice(size_t node) const;
    std::optional<size_t> FindDevice(const void* which, uint32_t flags) const;
    void FillNode(size_t device, FT_DEVICE_LIST_INFO_NODE& node) const;
    void UnplugLocked(SimClock::time_point now);
    void ReplugLocked();
    bool UnplugDeviceLocked(size_t device);
    bool ReplugDeviceLocked(size_t device);
    void RunDeviceSchedule(SimClock::time_point now);
    // Bytes that reached device `device`'s controller, and the frames they complete.
    LineDelivery DeliveryTo(size_t device);
    void AdvanceLines(SimClock::time_point now);
    Port* OpenPort(size_t device);
    std::optional<SimClock::time_point> NextWake() const;
    void Pump();

    std::mutex lock_;
    std::condition_variable wake_;      // the pump: something new to carry or to schedule
    std::condition_variable readable_;  // readers: bytes arrived, or their handle went away
    std::thread pump_;
    DeviceNotifier notifier_;

    bool configured_ = false;
    Scenario scenario_;
    std::vector<Device> devices_;
    std::map<uintptr_t, std::unique_ptr<Port>> ports_;
    uintptr_t nextHandle_ = 0x7A000;  // handles are never reused, so a stale one stays invalid
    int32_t failuresLeft_ = 0;
    int32_t shortWritesLeft_ = 0;
    std::vector<WrittenFrame> written_;
    std::vector<Execution> executions_;
    size_t goodWrites_ = 0;
    size_t opens_ = 0;
    size_t notificationsClosedFirst_ = 0;
    bool unplugScheduled_ = false;  // the timed unplug happens once per scenario
    std::optional<SimClock::time_point> unplugAt_;
    std::optional<SimClock::time_point> replugAt_;
};
