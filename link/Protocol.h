// Commands to the controller and the receptions that follow them. Every
// reply ends by silence: 1000 ms without a receive notification.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "link/CommandFrame.h"
#include "link/Ftdi.h"
#include "link/LinkSupervisor.h"

constexpr DWORD ReplySilenceMs = 1000;

// A removal notice asks the worker whether its own device is still there:
// removals come for every device of the FTDI class. One lives, for the one
// worker there is at a time.
struct DeviceCheck {
    HANDLE Event = nullptr;             // set by the window for each removal
    std::atomic<uint32_t> Removal{0};   // the number of the latest removal
    unsigned Worker = 0;                // the worker's number, for its answer
    WorkerNoticeSink Notify = nullptr;  // where its "still there" goes
};

// What the communication worker owns while the device is open.
struct LinkSession {
    // The event before the device: the device goes first, because the driver
    // may set the event until the device is closed.
    UniqueHandle FtdiEvent;         // set by the driver when bytes arrive
    UniqueFtdiHandle Handle;
    DeviceCheck* Check = nullptr;   // may be null (no removal notices)
    std::string Serial;             // of the opened device
    // The device stopped answering, or a write failed: the link ends (as
    // lost or as gone, which the worker decides once when it ends).
    bool Failed = false;
    uint32_t Dropped = 0;           // bytes of the last recording beyond the room
    bool Up() const { return !Failed; }
};

// Answers a pending device check: the driver is asked about the session's own
// handle (a few times: one failed answer is no removal). Still there: the
// link is told so. Otherwise the session has failed. True while the device
// answers.
bool AnswerDeviceCheck(LinkSession& session);
// True when a removal asked for a check that has not been answered.
bool DeviceCheckPending(const LinkSession& session);

// Frames and writes one command, `block` in bytes 0 to 63 for install and
// burn, after clearing the receive queue. 1 when all 128 bytes went out. A
// write that fails or falls short says so in status part 1 and fails the
// session. The controller assembles frames from the byte stream and cannot
// find a frame's start, so a frame the driver took only in part is completed
// at once with zeros: an opcode that did not go out stays 0, and the next
// frame starts where the controller expects one.
int WriteCommand(LinkSession& session, int command, const ParameterBytes& block = {});

// Collects a recording into `destination` (room for `capacity` bytes; it may
// be null with no room) until the line stays silent. Bytes beyond the room
// are read and dropped, counted in `dropped`. 1 when at least one byte was
// stored and the stream ended by silence.
int ReceiveRecording(LinkSession& session, uint8_t* destination, uint32_t capacity, uint32_t* count,
                     uint32_t* dropped);
// The same into the reception buffer; `*received` its length.
int ReceiveReception(LinkSession& session, uint32_t* received);

// Collects the 128-byte answer to the list command and shows the outcome in
// status-bar part 1; the controller's block when exactly 128 bytes came, all
// read and stored. A reception cut short by the close shows nothing.
std::optional<ParameterBytes> ReceiveParameters(LinkSession& session);

// Waits (briefly) until the chip has sent what was written, so that closing
// or resetting the device never cuts a frame on its way to the controller.
void WaitUntilSent(const LinkSession& session);
