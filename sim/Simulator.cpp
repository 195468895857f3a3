#include "sim/Simulator.h"

#include <dbt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/SimFiles.h"

namespace {

constexpr uint32_t DeviceId = 0x04036014;  // VID 0403, PID 6014: an FT232H
constexpr uint32_t FirstLocation = 0x11;
constexpr char Description[] = "TAVO Controller";
constexpr uint32_t LowestBaud = 183;
constexpr uint32_t HighestBaud = 12'000'000;

FT_HANDLE AsHandle(uintptr_t id) { return reinterpret_cast<FT_HANDLE>(id); }

void SerialNumber(size_t device, char (&serial)[16]) {
    std::snprintf(serial, sizeof serial, "TAVO%04u", static_cast<unsigned>(device + 1));
}

// The pump and the notifier run code of this DLL for the rest of the
// process, so the DLL must never be unloaded under them.
void PinThisModule() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&PinThisModule), &self);
}

}  // namespace

Simulator& Simulator::Instance() {
    // Never destroyed: the pump thread may still wait on its members while
    // the process exits.
    static Simulator* instance = new Simulator;
    return *instance;
}

void Simulator::EnsureConfigured() {
    if (configured_) return;
    Scenario scenario;
    LoadScenario(DefaultScenarioPath(), scenario);
    ConfigureLocked(scenario);
}

void Simulator::Configure(const Scenario& scenario) {
    Lock lock(lock_);
    ConfigureLocked(scenario);
}

void Simulator::ConfigureLocked(const Scenario& scenario) {
    scenario_ = scenario;
    ports_.clear();  // every handle from before is invalid now
    devices_.clear();
    const uint32_t lineSpeed = scenario.Link.Unpaced ? 0 : scenario.Link.BytesPerSecond;
    for (uint32_t i = 0; i < scenario.Devices; ++i)
        devices_.push_back({Controller(scenario.Controller), TransmitLine(lineSpeed)});
    failuresLeft_ = scenario.Fail.Count;
    shortWritesLeft_ = scenario.Short.Count;
    written_.clear();
    executions_.clear();
    goodWrites_ = 0;
    opens_ = 0;
    notificationsClosedFirst_ = 0;
    unplugScheduled_ = false;
    unplugAt_.reset();
    replugAt_.reset();
    configured_ = true;
    if (!pump_.joinable()) {
        PinThisModule();
        pump_ = std::thread(&Simulator::Pump, this);
    }
    wake_.notify_all();
    readable_.notify_all();
}

FT_STATUS Simulator::InjectedFault(std::string_view call) {
    if (scenario_.Fail.Name != call || failuresLeft_ == 0) return FT_OK;
    if (failuresLeft_ > 0) --failuresLeft_;
    return scenario_.Fail.Status;
}

Port* Simulator::FindPort(FT_HANDLE handle) {
    const auto found = ports_.find(reinterpret_cast<uintptr_t>(handle));
    return found == ports_.end() ? nullptr : found->second.get();
}

// The common frame of the calls that take a handle: an unknown handle is
// invalid, a handle whose device went away fails with an I/O error, then
// the scenario may make the call fail.
template <typename Action>
FT_STATUS Simulator::OnPort(FT_HANDLE handle, std::string_view call, Action action) {
    Lock lock(lock_);
    EnsureConfigured();
    Port* port = FindPort(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (port->Lost()) return FT_IO_ERROR;
    if (const FT_STATUS fault = InjectedFault(call)) return fault;
    return action(*port, lock);
}

FT_STATUS Simulator::GetLibraryVersion(uint32_t& version) {
    Lock lock(lock_);
    EnsureConfigured();
    if (const FT_STATUS fault = InjectedFault("FT_GetLibraryVersion")) return fault;
    version = scenario_.LibraryVersion;
    return FT_OK;
}

FT_STATUS Simulator::CreateDeviceInfoList(uint32_t& count) {
    Lock lock(lock_);
    EnsureConfigured();
    if (const FT_STATUS fault = InjectedFault("FT_CreateDeviceInfoList")) return fault;
    count = PresentDevices();
    return FT_OK;
}

uint32_t Simulator::PresentDevices() const {
    return static_cast<uint32_t>(
        std::count_if(devices_.begin(), devices_.end(), [](const Device& device) { return device.Plugged; }));
}

size_t Simulator::PresentDevice(size_t node) const {
    for (size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].Plugged && node-- == 0) return i;
    return devices_.size();
}

// Fills one node per present device: the caller must have room for all of
// them, as with the real library. Nothing is written past that count.
FT_STATUS Simulator::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, uint32_t& count) {
    Lock lock(lock_);
    EnsureConfigured();
    if (const FT_STATUS fault = InjectedFault("FT_GetDeviceInfoList")) return fault;
    count = PresentDevices();
    for (uint32_t i = 0; i < count; ++i) FillNode(PresentDevice(i), nodes[i]);
    return FT_OK;
}

void Simulator::FillNode(size_t device, FT_DEVICE_LIST_INFO_NODE& node) const {
    const uintptr_t opened = devices_[device].OpenedAs;
    node = {};
    node.Flags = FT_FLAGS_HISPEED | (opened ? FT_FLAGS_OPENED : 0);
    node.Type = FT_DEVICE_232H;
    node.ID = DeviceId;
    node.LocId = FirstLocation + static_cast<uint32_t>(device);
    SerialNumber(device, node.SerialNumber);
    std::snprintf(node.Description, sizeof node.Description, "%s", Description);
    node.ftHandle = opened ? AsHandle(opened) : nullptr;
}

std::optional<size_t> Simulator::FindDevice(const void* which, uint32_t flags) const {
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (!devices_[i].Plugged) continue;
        char serial[16];
        SerialNumber(i, serial);
        switch (flags) {
        case FT_OPEN_BY_SERIAL_NUMBER:
            if (std::strncmp(static_cast<const char*>(which), serial, sizeof serial) == 0) return i;
            break;
        case FT_OPEN_BY_DESCRIPTION:
            if (std::strncmp(static_cast<const char*>(which), Description, 64) == 0) return i;
            break;
        case FT_OPEN_BY_LOCATION:  // the location itself stands in the pointer argument
            if (reinterpret_cast<uintptr_t>(which) == FirstLocation + i) return i;
            break;
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

FT_STATUS Simulator::OpenEx(const void* which, uint32_t flags, FT_HANDLE& handle) {
    Lock lock(lock_);
    EnsureConfigured();
    // A slow open: devices may come and go meanwhile; the one asked for is
    // looked up when the open ends.
    if (const uint32_t delay = scenario_.OpenDelayMs) {
        lock.unlock();
        Sleep(delay);
        lock.lock();
    }
    if (const FT_STATUS fault = InjectedFault("FT_OpenEx")) return fault;
    if (!which && flags != FT_OPEN_BY_LOCATION) return FT_INVALID_PARAMETER;
    const std::optional<size_t> device = FindDevice(which, flags);
    if (!device) return FT_DEVICE_NOT_FOUND;
    if (devices_[*device].OpenedAs) return FT_DEVICE_NOT_OPENED;  // one opener at a time
    const uintptr_t id = nextHandle_ += 0x10;
    ++opens_;
    ports_.emplace(id, std::make_unique<Port>(*device, opens_, scenario_.Link));
    devices_[*device].OpenedAs = id;
    handle = AsHandle(id);
    if (scenario_.UnplugAfterMs >= 0 && !unplugScheduled_) {
        unplugScheduled_ = true;
        unplugAt_ = SimClock::now() + std::chrono::milliseconds(scenario_.UnplugAfterMs);
        wake_.notify_all();
    }
    return FT_OK;
}

// Closing works on a handle whose device went away too: that is how the
// host lets go of it.
FT_STATUS Simulator::Close(FT_HANDLE handle) {
    Lock lock(lock_);
    EnsureConfigured();
    Port* port = FindPort(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (const FT_STATUS fault = InjectedFault("FT_Close")) return fault;
    const uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    // The driver may set the notification event until the device is closed:
    // the caller must not have closed it yet.
    DWORD flags = 0;
    if (port->CallerEvent() && !GetHandleInformation(port->CallerEvent(), &flags)) ++notificationsClosedFirst_;
    Device& device = devices_[port->Device()];
    if (device.OpenedAs == id) device.OpenedAs = 0;
    ports_.erase(id);
    readable_.notify_all();
    return FT_OK;
}

// Returns at once when enough bytes are queued; otherwise waits for them up
// to the read time-out and then returns what there is, with FT_OK. A read
// that the scenario makes fail loses the bytes it would have read, as a
// transfer that fails on the bus does.
FT_STATUS Simulator::Read(FT_HANDLE handle, uint8_t* buffer, uint32_t toRead, uint32_t& read) {
    read = 0;
    Lock lock(lock_);
    EnsureConfigured();
    Port* port = FindPort(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (port->Lost()) return FT_IO_ERROR;
    if (!buffer && toRead > 0) return FT_INVALID_PARAMETER;
    if (const FT_STATUS fault = InjectedFault("FT_Read")) {
        std::vector<uint8_t> lost(std::min<size_t>(toRead, port->Readable()));
        port->Read(lost.data(), lost.size());
        return fault;
    }
    const uint32_t timeoutMs = port->ReadTimeoutMs();
    // The port may be closed while we wait: look it up afresh each time.
    const auto ready = [&] {
        Port* now = FindPort(handle);
        return !now || now->Lost() || now->Readable() >= toRead;
    };
    if (timeoutMs == 0) {
        readable_.wait(lock, ready);
    } else {
        readable_.wait_until(lock, SimClock::now() + std::chrono::milliseconds(timeoutMs), ready);
    }
    Port* after = FindPort(handle);
    if (!after) return FT_INVALID_HANDLE;
    if (after->Lost()) return FT_IO_ERROR;
    read = static_cast<uint32_t>(after->Read(buffer, toRead));
    return FT_OK;
}

FT_STATUS Simulator::Write(FT_HANDLE handle, const uint8_t* buffer, uint32_t toWrite, uint32_t& written) {
    written = 0;
    Lock lock(lock_);
    EnsureConfigured();
    Port* port = FindPort(handle);
    if (!port) return FT_INVALID_HANDLE;
    FT_STATUS status = port->Lost() ? FT_IO_ERROR : InjectedFault("FT_Write");
    if (status == FT_OK && !buffer && toWrite > 0) status = FT_INVALID_PARAMETER;
    if (status != FT_OK) {
        // What the host tried is listed too, without bytes.
        written_.push_back({{}, port->Device(), port->Open(), false});
        return status;
    }
    // A write that falls short takes only the first bytes of the frame.
    if (scenario_.Short.Bytes > 0 && shortWritesLeft_ != 0 && toWrite > scenario_.Short.Bytes) {
        toWrite = scenario_.Short.Bytes;
        if (shortWritesLeft_ > 0) --shortWritesLeft_;
    }
    LogWrittenBytes(buffer, toWrite);
    const SimClock::time_point now = SimClock::now();
    const size_t device = port->Device();
    written_.push_back({std::vector<uint8_t>(buffer, buffer + toWrite), device, port->Open(), false});
    devices_[device].Line.Queue(buffer, toWrite, written_.size() - 1, now);
    AdvanceLines(now);
    written = toWrite;
    wake_.notify_all();
    if (scenario_.UnplugAfterFrames > 0 && ++goodWrites_ == scenario_.UnplugAfterFrames) {
        // Right after the frame has reached the controller.
        devices_[device].Line.Flush(DeliveryTo(device));
        UnplugLocked(now);
    }
    return FT_OK;
}

// A reset empties the chip: what had not left it for the controller is lost.
FT_STATUS Simulator::ResetDevice(FT_HANDLE handle) {
    return OnPort(handle, "FT_ResetDevice", [&](Port& port, Lock&) -> FT_STATUS {
        const SimClock::time_point now = SimClock::now();
        port.PurgeReceive();
        devices_[port.Device()].Line.Cut(now, DeliveryTo(port.Device()));
        port.RestartInTask(now);
        return FT_OK;
    });
}

FT_STATUS Simulator::SetBaudRate(FT_HANDLE handle, uint32_t baud) {
    return OnPort(handle, "FT_SetBaudRate", [&](Port&, Lock&) -> FT_STATUS {
        return baud < LowestBaud || baud > HighestBaud ? FT_INVALID_BAUD_RATE : FT_OK;
    });
}

FT_STATUS Simulator::Purge(FT_HANDLE handle, uint32_t mask) {
    return OnPort(handle, "FT_Purge", [&](Port& port, Lock&) -> FT_STATUS {
        if (mask & FT_PURGE_RX) port.PurgeReceive();
        // The transmit side: what has not left the chip; the controller
        // keeps what it got, a frame cut short included.
        if (mask & FT_PURGE_TX) devices_[port.Device()].Line.Cut(SimClock::now(), DeliveryTo(port.Device()));
        return FT_OK;
    });
}

FT_STATUS Simulator::SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t) {
    return OnPort(handle, "FT_SetTimeouts", [&](Port& port, Lock&) -> FT_STATUS {
        port.SetReadTimeout(readMs);
        return FT_OK;
    });
}

FT_STATUS Simulator::SetEventNotification(FT_HANDLE handle, uint32_t mask, HANDLE event) {
    return OnPort(handle, "FT_SetEventNotification", [&](Port& port, Lock&) -> FT_STATUS {
        return port.SetNotification(mask, event) ? FT_OK : FT_INVALID_PARAMETER;
    });
}

FT_STATUS Simulator::GetStatus(FT_HANDLE handle, uint32_t& rxBytes, uint32_t& txBytes, uint32_t& events) {
    return OnPort(handle, "FT_GetStatus", [&](Port& port, Lock&) -> FT_STATUS {
        AdvanceLines(SimClock::now());
        rxBytes = static_cast<uint32_t>(port.Readable());
        txBytes = static_cast<uint32_t>(devices_[port.Device()].Line.Pending());
        events = port.TakeEventStatus();
        return FT_OK;
    });
}

// The in-transfer size must be a multiple of 64 from 64 to 64 KiB; it
// bounds how many bytes arrive at once. The out size is not used.
FT_STATUS Simulator::SetUSBParameters(FT_HANDLE handle, uint32_t inSize, uint32_t) {
    return OnPort(handle, "FT_SetUSBParameters", [&](Port& port, Lock&) -> FT_STATUS {
        if (inSize < 64 || inSize > 65536 || inSize % 64 != 0) return FT_INVALID_PARAMETER;
        port.SetInTransferSize(inSize);
        return FT_OK;
    });
}

FT_STATUS Simulator::StopInTask(FT_HANDLE handle) {
    return OnPort(handle, "FT_StopInTask", [&](Port& port, Lock&) -> FT_STATUS {
        port.StopInTask();
        return FT_OK;
    });
}

FT_STATUS Simulator::RestartInTask(FT_HANDLE handle) {
    return OnPort(handle, "FT_RestartInTask", [&](Port& port, Lock&) -> FT_STATUS {
        port.RestartInTask(SimClock::now());
        wake_.notify_all();
        return FT_OK;
    });
}

FT_STATUS Simulator::GetDriverVersion(FT_HANDLE handle, uint32_t& version) {
    return OnPort(handle, "FT_GetDriverVersion", [&](Port&, Lock&) -> FT_STATUS {
        version = scenario_.DriverVersion;
        return FT_OK;
    });
}

size_t Simulator::WriteCount() {
    Lock lock(lock_);
    return written_.size();
}

std::optional<Simulator::WrittenFrame> Simulator::Written(size_t index) {
    Lock lock(lock_);
    if (index >= written_.size()) return std::nullopt;
    return written_[index];
}

size_t Simulator::ExecutionCount() {
    Lock lock(lock_);
    return executions_.size();
}

std::optional<Simulator::Execution> Simulator::ExecutionAt(size_t index) {
    Lock lock(lock_);
    if (index >= executions_.size()) return std::nullopt;
    return executions_[index];
}

void Simulator::Restart(uint32_t bootMs) {
    Lock lock(lock_);
    EnsureConfigured();
    if (devices_.empty()) return;
    const SimClock::time_point now = SimClock::now();
    AdvanceLines(now);
    devices_.front().Unit.Restart(now, bootMs);
    if (Port* port = OpenPort(0)) port->DropReplies();
}

size_t Simulator::PartialFrameBytes() {
    Lock lock(lock_);
    EnsureConfigured();
    AdvanceLines(SimClock::now());
    return devices_.empty() ? 0 : devices_.front().Unit.PartialBytes();
}

Port* Simulator::OpenPort(size_t device) {
    const uintptr_t id = devices_[device].OpenedAs;
    Port* port = id ? FindPort(AsHandle(id)) : nullptr;
    return port && !port->Lost() ? port : nullptr;
}

LineDelivery Simulator::DeliveryTo(size_t device) {
    return [this, device](const LinePiece& piece, SimClock::time_point arrivedAt) {
        Controller& unit = devices_[device].Unit;
        unit.Receive(piece, [&](const AssembledFrame& frame) {
            const uint8_t opcode = frame.Bytes[OpcodeOffset];
            const bool carriesBlock = opcode == 'i' || opcode == 'b';
            Execution done{opcode, carriesBlock ? frame.Bytes[1] : unit.Ram()[1], device, frame.Write,
                           !unit.Silent(), frame.Aligned, frame.AfterBoot};
            Reply reply = unit.Execute(frame.Bytes);
            if (done.CarriedOut && frame.Write < written_.size()) written_[frame.Write].CarriedOut = true;
            executions_.push_back(done);
            if (Port* port = OpenPort(device)) port->QueueReply(std::move(reply), arrivedAt);
            wake_.notify_all();
        });
    };
}

void Simulator::AdvanceLines(SimClock::time_point now) {
    for (size_t device = 0; device < devices_.size(); ++device) devices_[device].Line.Advance(now, DeliveryTo(device));
}

std::optional<Block> Simulator::Ram() {
    Lock lock(lock_);
    EnsureConfigured();
    if (devices_.empty()) return std::nullopt;
    return devices_.front().Unit.Ram();
}

std::optional<Block> Simulator::Rom() {
    Lock lock(lock_);
    EnsureConfigured();
    if (devices_.empty()) return std::nullopt;
    return devices_.front().Unit.Rom();
}

bool Simulator::SetRam(const Block& block) {
    Lock lock(lock_);
    EnsureConfigured();
    if (devices_.empty()) return false;
    devices_.front().Unit.SetRam(block);
    return true;
}

size_t Simulator::OpenHandles() {
    Lock lock(lock_);
    return ports_.size();
}

void Simulator::Unplug() {
    Lock lock(lock_);
    EnsureConfigured();
    UnplugLocked(SimClock::now());
}

void Simulator::Replug() {
    Lock lock(lock_);
    EnsureConfigured();
    ReplugLocked();
}

void Simulator::UnplugDevice(size_t device) {
    Lock lock(lock_);
    EnsureConfigured();
    UnplugDeviceLocked(device);
}

void Simulator::ReplugDevice(size_t device) {
    Lock lock(lock_);
    EnsureConfigured();
    ReplugDeviceLocked(device);
}

size_t Simulator::Opens() {
    Lock lock(lock_);
    return opens_;
}

size_t Simulator::NotificationsClosedFirst() {
    Lock lock(lock_);
    return notificationsClosedFirst_;
}

size_t Simulator::NoticesPending() { return notifier_.Pending(); }

void Simulator::SetFailure(const FailingCall& fail) {
    Lock lock(lock_);
    EnsureConfigured();
    scenario_.Fail = fail;
    failuresLeft_ = fail.Count;
}

void Simulator::SetSilent(bool silent) {
    Lock lock(lock_);
    EnsureConfigured();
    for (Device& device : devices_) device.Unit.SetSilent(silent);
}

void Simulator::SetShortWrites(const ShortWrites& writes) {
    Lock lock(lock_);
    EnsureConfigured();
    scenario_.Short = writes;
    shortWritesLeft_ = writes.Count;
}

void Simulator::SetOpenDelay(uint32_t ms) {
    Lock lock(lock_);
    EnsureConfigured();
    scenario_.OpenDelayMs = ms;
}

void Simulator::SetListReplyBytes(uint32_t bytes) {
    Lock lock(lock_);
    EnsureConfigured();
    for (Device& device : devices_) device.Unit.SetListReplyBytes(bytes);
}

// One device goes: its open handle stays until closed but only fails from
// now on; the program's window hears of it from the notifier thread, never
// from inside a D2XX call.
bool Simulator::UnplugDeviceLocked(size_t device) {
    if (device >= devices_.size() || !devices_[device].Plugged) return false;
    Device& gone = devices_[device];
    gone.Plugged = false;
    // The converter loses power: what had not left it never reaches the controller.
    gone.Line.Cut(SimClock::now(), DeliveryTo(device));
    for (auto& [id, port] : ports_)
        if (port->Device() == device) port->Lose();
    gone.OpenedAs = 0;
    readable_.notify_all();
    notifier_.Post(DBT_DEVICEREMOVECOMPLETE, device);
    return true;
}

bool Simulator::ReplugDeviceLocked(size_t device) {
    if (device >= devices_.size() || devices_[device].Plugged) return false;
    devices_[device].Plugged = true;
    notifier_.Post(DBT_DEVICEARRIVAL, device);
    return true;
}

// Every device goes at once, as when the cable is pulled.
void Simulator::UnplugLocked(SimClock::time_point now) {
    unplugAt_.reset();
    bool any = false;
    for (size_t device = 0; device < devices_.size(); ++device) any |= UnplugDeviceLocked(device);
    if (any && scenario_.ReplugAfterMs >= 0) replugAt_ = now + std::chrono::milliseconds(scenario_.ReplugAfterMs);
    wake_.notify_all();
}

void Simulator::ReplugLocked() {
    replugAt_.reset();
    for (size_t device = 0; device < devices_.size(); ++device) ReplugDeviceLocked(device);
}

void Simulator::RunDeviceSchedule(SimClock::time_point now) {
    if (unplugAt_ && *unplugAt_ <= now) UnplugLocked(now);
    if (replugAt_ && *replugAt_ <= now) ReplugLocked();
}

std::optional<SimClock::time_point> Simulator::NextWake() const {
    std::optional<SimClock::time_point> next;
    const auto consider = [&](const std::optional<SimClock::time_point>& at) {
        if (at && (!next || *at < *next)) next = at;
    };
    consider(unplugAt_);
    consider(replugAt_);
    for (const auto& [id, port] : ports_) consider(port->NextDue());
    for (const Device& device : devices_) consider(device.Line.NextDue());
    return next;
}

// Carries the replies over the line burst by burst and runs the timed
// unplug and replug.
void Simulator::Pump() {
    Lock lock(lock_);
    for (;;) {
        const SimClock::time_point now = SimClock::now();
        AdvanceLines(now);
        RunDeviceSchedule(now);
        bool arrived = false;
        for (auto& [id, port] : ports_) {
            try {
                arrived |= port->Deliver(now);
            } catch (...) {
                port->Lose();  // out of memory for the receive queue: the link is dead
            }
        }
        if (arrived) readable_.notify_all();
        if (const auto next = NextWake()) {
            wake_.wait_until(lock, *next);
        } else {
            wake_.wait(lock);
        }
    }
}
