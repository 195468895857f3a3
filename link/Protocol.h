// Commands to the controller and the receptions that follow them. Every
// reply ends by silence: 1000 ms without a receive notification.
#pragma once

#include <windows.h>

#include <cstdint>

#include "link/CommandFrame.h"
#include "link/Ftdi.h"

constexpr DWORD ReplySilenceMs = 1000;

// What the communication worker owns while the device is open.
struct LinkSession {
    FT_HANDLE Handle = nullptr;
    HANDLE FtdiEvent = nullptr;  // set by the driver when bytes arrive
    HANDLE Quit = nullptr;       // set when the worker must end (device removed); may be null
    bool Lost = false;           // the device stopped answering: give it up
    uint32_t Dropped = 0;        // bytes of the last recording beyond the record buffer
};

// Clears the queues and writes the frame; 1 when all 128 bytes went out.
// When the queues cannot be cleared the session is marked lost and nothing
// is written.
int WriteFrame(LinkSession& session, const CommandFrame& frame);

// Collects a recording into `destination` (room for `capacity` bytes; it may
// be null with no room) until the line stays silent. Bytes beyond the room
// are read and dropped, counted in `dropped`. 1 when at least one byte was
// stored and the stream ended by silence.
int ReceiveRecording(LinkSession& session, uint8_t* destination, uint32_t capacity, uint32_t* count,
                     uint32_t* dropped);

// Collects the 128-byte answer to the list command; exactly 128 bytes replace
// the parameter block. Shows the outcome in status-bar part 1.
int ReceiveParameters(LinkSession& session);

// Frames and writes one command and runs its reply handling: a recording into
// the record buffer for the debug command (the result is the reception's),
// the parameter reply for the list command; 1 for the others.
int SendCommand(LinkSession& session, int command);
