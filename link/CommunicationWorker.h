// The one background thread that owns the FTDI device and carries out the
// controller commands the user interface asks for through the named events.
// Only the link glue (link/Link.cpp) starts and waits for it, on the
// user-interface thread, and only when its rules say no worker lives.
#pragma once

#include <windows.h>

#include <cstdint>

// Starts a worker whose notices go to `window`. Workers are numbered as they
// start; the notices carry the number.
void StartCommunicationWorker(HWND window);
unsigned CurrentWorkerNumber();
// A removal came (the latest has number `removal`): the worker asks the
// driver whether its own device is still there.
void AskWorkerToCheckDevice(uint32_t removal);

// Waits at most `timeoutMs` for the worker's thread to return; true when no
// worker runs (any more).
bool WaitForWorkerThread(DWORD timeoutMs);
// The same while serving the worker's blocking requests to this thread (link
// ready, redraw), for the close.
bool WaitForCommunicationWorker(DWORD timeoutMs);
bool CommunicationWorkerRunning();

// The worker's thread procedure.
DWORD WINAPI CommunicationWorker(LPVOID);

// Read time-out, write time-out and baud rate the device is opened with.
constexpr ULONG LinkReadTimeoutMs = 1000;
constexpr ULONG LinkWriteTimeoutMs = 2500;
constexpr ULONG LinkBaudRate = 4000000;
