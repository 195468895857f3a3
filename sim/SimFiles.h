// Where the simulator finds its scenario and writes its frames log: beside
// FTD2XX.dll unless an environment variable names another file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The folder of this DLL, with a trailing backslash.
std::wstring ModuleDirectory();
// The value of an environment variable of this process; empty when unset.
std::wstring EnvironmentValue(const wchar_t* name);

// Appends one line, the written bytes as hex, to FTD2XX.sim.log beside the
// DLL or to the file TAVO_SIM_LOG names. The file is opened and closed for
// every line, so it is complete whenever the program stops.
void LogWrittenBytes(const uint8_t* bytes, size_t count);
