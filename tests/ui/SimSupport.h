// The simulated controller as the window tests drive it: our FTD2XX.dll
// beside the test executable, in the test's own process, with its control
// functions taken by name. And waits on what the status bar shows.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/AppWindow.h"
#include "app/WindowReporter.h"
#include "app/StatusBar.h"
#include "editors/ParameterBlock.h"
#include "link/CommandFrame.h"
#include "link/Link.h"
#include "sim/SimControl.h"
#include "tests/ui/AppHarness.h"

namespace simulator {

class Sim {
public:
    // Starts the simulator over with the text of a scenario file.
    explicit Sim(const wchar_t* scenario) : module_(LoadLibraryW(L"FTD2XX.dll")) {
        Take<SimConfigureTextFn>("SimConfigureText")(scenario);
    }
    unsigned FrameCount() const { return Take<SimFrameCountFn>("SimFrameCount")(); }
    CommandFrame Frame(unsigned index) const {
        CommandFrame frame{};
        Take<SimGetFrameFn>("SimGetFrame")(index, frame.data());
        return frame;
    }
    int FrameDevice(unsigned index) const { return Take<SimFrameDeviceFn>("SimFrameDevice")(index); }
    int FrameOpen(unsigned index) const { return Take<SimFrameDeviceFn>("SimFrameOpen")(index); }
    bool FrameCarriedOut(unsigned index) const { return Take<SimFrameDeviceFn>("SimFrameCarriedOut")(index) == 1; }
    // The opcodes of the frames written from `first` on.
    std::string Opcodes(unsigned first = 0) const {
        std::string opcodes;
        for (unsigned i = first; i < FrameCount(); ++i) opcodes += static_cast<char>(Frame(i)[OpcodeOffset]);
        return opcodes;
    }
    ParameterBytes Ram() const { return Block("SimGetRam"); }
    ParameterBytes Rom() const { return Block("SimGetRom"); }
    void SetRam(const ParameterBytes& block) const { Take<SimSetRamFn>("SimSetRam")(block.data()); }
    unsigned OpenHandles() const { return Take<SimOpenHandlesFn>("SimOpenHandles")(); }
    unsigned Opens() const { return Take<SimOpenCountFn>("SimOpenCount")(); }
    unsigned NotificationsClosedFirst() const { return Take<SimOpenCountFn>("SimNotificationsClosedFirst")(); }
    void Unplug() const { Take<SimPlugFn>("SimUnplug")(); }
    void Replug() const { Take<SimPlugFn>("SimReplug")(); }
    void UnplugDevice(unsigned device) const { Take<SimPlugDeviceFn>("SimUnplugDevice")(device); }
    void ReplugDevice(unsigned device) const { Take<SimPlugDeviceFn>("SimReplugDevice")(device); }
    void Fail(const char* call, unsigned status, int count) const {
        Take<SimSetFailureFn>("SimSetFailure")(call, status, count);
    }
    void Heal() const { Fail("", 0, 0); }
    void Silent(bool silent) const { Take<SimSetSilentFn>("SimSetSilent")(silent ? 1 : 0); }
    void ListReplyBytes(unsigned bytes) const { Take<SimSetListReplyBytesFn>("SimSetListReplyBytes")(bytes); }
    void ShortWrites(unsigned bytes, int count) const { Take<SimSetShortWritesFn>("SimSetShortWrites")(bytes, count); }
    void OpenDelay(unsigned ms) const { Take<SimSetOpenDelayFn>("SimSetOpenDelay")(ms); }
    // The controller switched off and on, booting for `bootMs`.
    void Restart(unsigned bootMs) const { Take<SimRestartFn>("SimRestart")(bootMs); }
    unsigned PartialFrameBytes() const { return Take<SimOpenCountFn>("SimPartialFrameBytes")(); }
    // What the controllers assembled and took, from `first` on.
    std::vector<SimExecution> Executions(unsigned first = 0) const {
        std::vector<SimExecution> done;
        SimExecution one{};
        for (unsigned i = first; Take<SimGetExecutionFn>("SimGetExecution")(i, &one) == 1; ++i) done.push_back(one);
        return done;
    }
    // Bytes write `index` had (-1 when there is no such write).
    int FrameBytes(unsigned index) const {
        unsigned char frame[128];
        return Take<SimGetFrameFn>("SimGetFrame")(index, frame);
    }
    // Waits (pumping) until the window has taken every plug notice.
    bool WaitForNotices(DWORD timeoutMs = 5000) const {
        return harness::PumpUntil([&] { return Take<SimOpenCountFn>("SimNoticesPending")() == 0; }, timeoutMs);
    }
    // Waits (pumping) until `count` frames were written.
    bool WaitForFrames(unsigned count, DWORD timeoutMs) const {
        return harness::PumpUntil([&] { return FrameCount() >= count; }, timeoutMs);
    }

private:
    template <typename F>
    F Take(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    ParameterBytes Block(const char* name) const {
        ParameterBytes block{};
        Take<SimGetBlockFn>(name)(block.data());
        return block;
    }
    HMODULE module_;
};

// The text the status bar shows in a part (not merely what is stored for it).
inline std::wstring Shown(int part) {
    wchar_t text[256] = {};
    SendMessageW(StatusBarWindow(), SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return text;
}

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// On failure, what the status bar said then.
inline testing::AssertionResult WithStatus(bool reached) {
    if (reached) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "state " << GetControllerState() << ", part 0 \"" << Narrow(Shown(PartDevice))
                                       << "\", part 1 \"" << Narrow(Shown(PartCommand)) << '"';
}

inline testing::AssertionResult WaitForState(int32_t state, DWORD timeoutMs = 8000) {
    return WithStatus(harness::PumpUntil([&] { return GetControllerState() == state; }, timeoutMs));
}

// Until a worker serves requests and its first list has ended, whatever the
// controller answered (a silent one answers nothing and shows offline).
inline testing::AssertionResult WaitForLink(DWORD timeoutMs = 8000) {
    return WithStatus(harness::PumpUntil(
        [] {
            const int32_t state = GetControllerState();
            return LinkServesRequests() && state != ControllerNotAvailable && state != ControllerActive;
        },
        timeoutMs));
}

inline testing::AssertionResult WaitForShown(int part, const std::wstring& text, DWORD timeoutMs = 10000) {
    return WithStatus(harness::PumpUntil([&] { return Shown(part) == text; }, timeoutMs));
}

inline testing::AssertionResult WaitForCommandText(const std::wstring& prefix, DWORD timeoutMs = 10000) {
    return WithStatus(harness::PumpUntil([&] { return Shown(PartCommand).rfind(prefix, 0) == 0; }, timeoutMs));
}

inline void Command(UINT id) { PostMessageW(MainWnd(), WM_COMMAND, id, 0); }

// What the link reported to the window, counted on the way: put in place of
// the window's reporter once the application runs, it passes everything on.
class ReportSpy final : public LinkReporter {
public:
    explicit ReportSpy(LinkReporter& window = TheWindowReporter()) : window_(window) { SetLinkReporter(this); }
    ~ReportSpy() override { SetLinkReporter(&window_); }
    ReportSpy(const ReportSpy&) = delete;
    ReportSpy& operator=(const ReportSpy&) = delete;

    std::atomic<int> Removed{0};
    std::atomic<int> Ready{0};
    std::atomic<int> Dropped{0};  // requests dropped for want of a link
    // Every state the field was asked to show, in order.
    std::vector<int32_t> States() const {
        std::lock_guard guard(lock_);
        return states_;
    }

    void DeviceText(const wchar_t* text) override { window_.DeviceText(text); }
    void CommandText(const wchar_t* text) override {
        if (std::wstring(text) == L"No link to the controller: command not sent") ++Dropped;
        window_.CommandText(text);
    }
    void LibraryMissing() override { window_.LibraryMissing(); }
    void ShowControllerState(int32_t state) override {
        {
            std::lock_guard guard(lock_);
            states_.push_back(state);
        }
        window_.ShowControllerState(state);
    }
    void ShowDeviceRemoved() override {
        ++Removed;
        window_.ShowDeviceRemoved();
    }
    void RepaintAll() override { window_.RepaintAll(); }
    void DeviceReady() override {
        ++Ready;
        window_.DeviceReady();
    }
    void RecordingDecoded() override { window_.RecordingDecoded(); }

private:
    LinkReporter& window_;
    mutable std::mutex lock_;
    std::vector<int32_t> states_;
};

}  // namespace simulator
