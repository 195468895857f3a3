// Commands to the controller and the receptions that follow them. Every
// reply ends by silence: 1000 ms without a receive notification.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "link/CommandFrame.h"
#include "link/Ftdi.h"

constexpr DWORD ReplySilenceMs = 1000;

// A removal notice asks the worker whether its own device is still there:
// removals come for every device of the FTDI class.
struct DeviceCheck {
    HANDLE Event = nullptr;                          // set by the window for each removal
    const std::atomic<uint32_t>* Removal = nullptr;  // the number of the latest removal
    HWND Window = nullptr;                           // where "still there" is posted
    unsigned Worker = 0;                             // the asking worker's number
};

// What the communication worker owns while the device is open.
struct LinkSession {
    FT_HANDLE Handle = nullptr;
    HANDLE FtdiEvent = nullptr;     // set by the driver when bytes arrive
    DeviceCheck* Check = nullptr;   // may be null (no removal notices)
    bool Lost = false;              // the device stopped answering: give it up
    bool Gone = false;              // the device was removed
    uint32_t Dropped = 0;           // bytes of the last recording beyond the room
    bool Up() const { return !Lost && !Gone; }
};

// Answers a pending device check: the driver is asked about the session's own
// handle. Still there: the answer is posted to the window. Gone: the session
// is marked so. True while the device is there.
bool AnswerDeviceCheck(LinkSession& session);
// True when a removal asked for a check that has not been answered.
bool DeviceCheckPending(const LinkSession& session);

// Clears the queues and writes the frame; 1 when all 128 bytes went out.
// When the queues cannot be cleared, or the write fails and the driver no
// longer knows the handle, the session is marked lost.
int WriteFrame(LinkSession& session, const CommandFrame& frame);

// Collects a recording into `destination` (room for `capacity` bytes; it may
// be null with no room) until the line stays silent. Bytes beyond the room
// are read and dropped, counted in `dropped`. 1 when at least one byte was
// stored and the stream ended by silence.
int ReceiveRecording(LinkSession& session, uint8_t* destination, uint32_t capacity, uint32_t* count,
                     uint32_t* dropped);

// Collects the 128-byte answer to the list command; exactly 128 bytes, all
// stored and none dropped, replace the parameter block. Shows the outcome in
// status-bar part 1.
int ReceiveParameters(LinkSession& session);

// Frames and writes one command and runs its reply handling: a recording for
// the debug command (into the reception buffer; the result is the
// reception's and `*received` its length), the parameter reply for the list
// command; 1 for the others. A number that is no command writes nothing and
// gives 0.
int SendCommand(LinkSession& session, int command, uint32_t* received = nullptr);
