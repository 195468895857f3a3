// What the controller link tells the outside: status texts, the state field,
// the missing driver library, the open device, a decoded recording and a
// repaint. The program's window implements it (app/WindowReporter.h); the
// link and the scope hold no knowledge of windows, controls or boxes, and
// reach the window only through here. Each method says on which thread it is
// called and whether the caller waits.
#pragma once

#include <cstdint>

// The room of one text, terminator included: what a status-bar part holds.
constexpr int LinkTextCapacity = 128;

class LinkReporter {
public:
    virtual ~LinkReporter() = default;

    // Any thread; the caller never waits for the text to show.
    virtual void DeviceText(const wchar_t* text) = 0;   // the device layer: status part 0
    virtual void CommandText(const wchar_t* text) = 0;  // commands and their outcome: status part 1
    // The driver library did not answer (the "FTDI lib issue " box). Any
    // thread; the caller does not wait for the box to be answered.
    virtual void LibraryMissing() = 0;
    // The state field: show `state` (ControllerStateValue). Any thread.
    virtual void ShowControllerState(int32_t state) = 0;
    // A device was removed: offline, the field black until the window repaints.
    virtual void ShowDeviceRemoved() = 0;
    // The whole window is to be drawn again (the device became ready, the
    // worker ended). Any thread; nobody waits.
    virtual void RepaintAll() = 0;
    // Worker thread; each returns once the window has taken it (WM_APP codes
    // APP_LINK_READY and APP_REDRAW_DIAGRAM, both sent).
    virtual void DeviceReady() = 0;
    virtual void RecordingDecoded() = 0;
};

// Tells nothing to anybody: the link before a window attached, and programs
// that use parts of the link alone (benchmarks).
class SilentReporter : public LinkReporter {
public:
    void DeviceText(const wchar_t*) override {}
    void CommandText(const wchar_t*) override {}
    void LibraryMissing() override {}
    void ShowControllerState(int32_t) override {}
    void ShowDeviceRemoved() override {}
    void RepaintAll() override {}
    void DeviceReady() override {}
    void RecordingDecoded() override {}
};

// The reporter the link uses now; a SilentReporter until the window attaches
// one (null puts the silent one back).
LinkReporter& TheLinkReporter();
void SetLinkReporter(LinkReporter* reporter);
