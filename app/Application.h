// Process start-up, the message loop and shutdown.
#pragma once

#include <windows.h>

enum ExitCode : int { ExitNormal = 0, ExitScreenTooSmall = 1, ExitSettingsUnreadable = 2 };

// Nonzero when the user's token holds the Administrators group enabled.
int IsUserAdministrator();

// Steps up to the running message loop: on success the main window is shown,
// the timers run and the result is true; otherwise `exitCode` says why not.
bool StartApplication(HINSTANCE instance, int* exitCode);
// Hands one message to the accelerators or its window. Accelerators act only
// on messages for the main window, so letters typed into a dialog never start
// controller commands; no message goes through dialog keyboard handling.
void DispatchAppMessage(MSG& message);
// Runs until WM_QUIT; its exit value.
int RunMessageLoop();
// Releases what start-up made and writes Tavo.ini back; returns the exit
// value the message loop ended with.
int ShutDownApplication(int loopExitCode);
// Writes Tavo.ini from the values in memory, as shutdown does; for a session
// that ends without the message loop coming to its end.
void SaveAppSettings();

// The whole program: start-up, loop, shutdown.
int RunTavo(HINSTANCE instance);
