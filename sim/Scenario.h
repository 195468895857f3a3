// What the simulated controller and its link do: a healthy controller with
// one device unless a scenario file says otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "sim/Controller.h"

// How replies travel from the controller into the host's receive queue.
struct Pacing {
    bool Unpaced = false;             // a whole reply becomes readable at once
    uint32_t BytesPerSecond = 400000; // a 4 Mbaud line, 10 bits per byte
    uint32_t BurstBytes = 4096;       // one USB transfer
    uint32_t PauseAfterBytes = 0;     // 0: no pauses
    uint32_t PauseMs = 300;
    bool PauseRepeat = true;          // after every PauseAfterBytes, or only the first time
};

// One D2XX function that fails with a given status.
struct FailingCall {
    std::string Name;       // e.g. "FT_SetBaudRate"; empty: nothing fails
    uint32_t Status = 18;   // FT_OTHER_ERROR
    int32_t Count = -1;     // how many calls fail before it works again; -1 for ever
};

// Writes that take fewer bytes than asked, as a link that breaks mid-frame.
struct ShortWrites {
    uint32_t Bytes = 0;   // bytes each such write takes; 0: every write is whole
    int32_t Count = -1;   // how many writes fall short; -1 for ever
};

struct Scenario {
    uint32_t Devices = 1;
    uint32_t LibraryVersion = 0x00030215;  // 3.2.21
    uint32_t DriverVersion = 0x00021216;   // 2.18.22
    FailingCall Fail;
    ControllerSetup Controller;
    Pacing Link;
    int32_t UnplugAfterMs = -1;    // after the first open; -1 never
    uint32_t UnplugAfterFrames = 0; // right after that many writes; 0 never
    int32_t ReplugAfterMs = -1;    // after an unplug; -1 never
    ShortWrites Short;
    uint32_t OpenDelayMs = 0;      // FT_OpenEx takes this long (devices may come and go meanwhile)
};

// Loads the scenario file at `path`; a missing file or key gives the default.
// Returns false when the file does not exist.
bool LoadScenario(const std::wstring& path, Scenario& scenario);
// The scenario file TAVO_SIM_SCENARIO names, else FTD2XX.sim.ini beside the DLL.
std::wstring DefaultScenarioPath();
