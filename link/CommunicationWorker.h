// The one background thread that owns the FTDI device and carries out the
// controller commands the user interface asks for through the named events.
// Its lifecycle functions are called on the user-interface thread.
#pragma once

#include <windows.h>

// Command 3010: starts a worker unless one is running. When the running one
// has been told to end (its device was removed), the new one starts as soon
// as the old one has ended, so exactly one worker owns the device and events.
void StartCommunicationWorker();
// The device was removed: the running worker closes it and ends.
void EndCommunicationWorker();
// Waits at most `timeoutMs` for the running worker to end, serving the
// worker's blocking requests to this thread meanwhile; at once when none
// runs. True when no worker runs any more.
bool WaitForCommunicationWorker(DWORD timeoutMs);
// The window's answer to WM_WORKER_ENDED, which carries the number of the
// worker that ended (workers are counted as they start).
void OnCommunicationWorkerEnded(unsigned generation);
bool CommunicationWorkerRunning();

// The worker's thread procedure.
DWORD WINAPI CommunicationWorker(LPVOID);

// Read time-out, write time-out and baud rate the device is opened with.
constexpr ULONG LinkReadTimeoutMs = 1000;
constexpr ULONG LinkWriteTimeoutMs = 2500;
constexpr ULONG LinkBaudRate = 4000000;
