// The one background thread that owns the FTDI device and carries out the
// controller commands the user interface asks for through the named events
// (link/LinkEvents.h). Only the link glue (link/Link.cpp) starts and waits for
// it, on the user-interface thread, and only when its rules say no worker
// lives. The worker knows nothing of the link glue: it tells the link its
// news through the notice sink it is started with, and the window through
// the link's reporter.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "link/LinkSupervisor.h"

// Starts a worker that tells `notify` its news. `serial`: the device a retry
// must open; empty for the one device there is. Workers are numbered as they
// start; their notices carry the number. Its end (WorkerNoticeKind::Ended)
// is told from the thread pool once its thread has returned.
void StartCommunicationWorker(const std::string& serial, WorkerNoticeSink notify);
unsigned CurrentWorkerNumber();
// The serial number of the device the current worker opened: valid from its
// APP_LINK_READY on.
std::string CurrentWorkerSerial();
// A removal came (the latest has number `removal`): the worker asks the
// driver whether its own device is still there.
void AskWorkerToCheckDevice(uint32_t removal);

// Waits at most `timeoutMs` for the worker's thread to return, serving the
// worker's blocking requests to this thread (link ready, redraw) meanwhile
// without taking posted messages; true when no worker runs (any more).
bool WaitForWorkerThread(DWORD timeoutMs);
bool CommunicationWorkerRunning();

// The worker's thread procedure; its argument is the worker's start data.
DWORD WINAPI CommunicationWorker(LPVOID start);

// Read time-out, write time-out and baud rate the device is opened with.
constexpr ULONG LinkReadTimeoutMs = 1000;
constexpr ULONG LinkWriteTimeoutMs = 2500;
constexpr ULONG LinkBaudRate = 4000000;
