// Reads a scenario file, section [Simulator], with the profile functions.
#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "sim/Scenario.h"
#include "sim/SimFiles.h"

namespace {

constexpr const wchar_t* Section = L"Simulator";

class ScenarioReader {
public:
    explicit ScenarioReader(const std::wstring& path) : path_(path) {}

    std::wstring Text(const wchar_t* key) const {
        wchar_t buffer[256] = {};
        GetPrivateProfileStringW(Section, key, L"", buffer, static_cast<DWORD>(std::size(buffer)), path_.c_str());
        return buffer;
    }

    // Decimal, or hex with 0x; negative values allowed. A missing key or a
    // value that is not one whole number leaves the default.
    template <typename T>
    void Number(const wchar_t* key, T& value, int64_t low, int64_t high) const {
        const std::wstring text = Text(key);
        if (text.empty()) return;
        wchar_t* end = nullptr;
        const long long number = std::wcstoll(text.c_str(), &end, 0);
        if (*end != L'\0') return;
        value = static_cast<T>(std::clamp<long long>(number, low, high));
    }

    void Flag(const wchar_t* key, bool& value) const {
        int number = value ? 1 : 0;
        Number(key, number, 0, 1);
        value = number != 0;
    }

private:
    const std::wstring& path_;
};

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += static_cast<char>(c < 0x80 ? c : '?');
    return narrow;
}

}  // namespace

bool LoadScenario(const std::wstring& path, Scenario& scenario) {
    scenario = Scenario{};
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    const ScenarioReader read(path);
    constexpr int64_t Max32 = 0xFFFFFFFF;
    read.Number(L"Devices", scenario.Devices, 0, 8);
    read.Number(L"LibraryVersion", scenario.LibraryVersion, 0, Max32);
    read.Number(L"DriverVersion", scenario.DriverVersion, 0, Max32);

    scenario.Fail.Name = Narrow(read.Text(L"FailCall"));
    read.Number(L"FailStatus", scenario.Fail.Status, 0, Max32);
    read.Number(L"FailCount", scenario.Fail.Count, -1, INT32_MAX);

    ControllerSetup& controller = scenario.Controller;
    read.Flag(L"Silent", controller.Silent);
    read.Number(L"ListReplyBytes", controller.ListReplyBytes, 0, 65536);
    read.Number(L"StreamBytes", controller.Recording.StreamBytes, 0, 64 << 20);
    read.Number(L"LeadingJunkBytes", controller.Recording.LeadingJunkBytes, 0, 65536);
    read.Number(L"CounterJumpAt", controller.Recording.CounterJumpAt, -1, INT32_MAX);
    read.Number(L"CounterJumpBy", controller.Recording.CounterJumpBy, 1, CounterPeriod - 1);
    read.Number(L"WeldPulses", controller.Recording.WeldPulses, 1, 20);
    read.Number(L"Seed", controller.Recording.Seed, 0, Max32);

    Pacing& link = scenario.Link;
    read.Flag(L"Unpaced", link.Unpaced);
    read.Number(L"BytesPerSecond", link.BytesPerSecond, 1, 100'000'000);
    read.Number(L"BurstBytes", link.BurstBytes, 1, 1 << 20);
    read.Number(L"PauseAfterBytes", link.PauseAfterBytes, 0, Max32);
    read.Number(L"PauseMs", link.PauseMs, 0, 600'000);
    read.Flag(L"PauseRepeat", link.PauseRepeat);

    read.Number(L"UnplugAfterMs", scenario.UnplugAfterMs, -1, 3'600'000);
    read.Number(L"UnplugAfterFrames", scenario.UnplugAfterFrames, 0, Max32);
    read.Number(L"ReplugAfterMs", scenario.ReplugAfterMs, -1, 3'600'000);
    read.Number(L"ShortWriteBytes", scenario.Short.Bytes, 0, 65536);
    read.Number(L"ShortWriteCount", scenario.Short.Count, -1, INT32_MAX);
    read.Number(L"OpenDelayMs", scenario.OpenDelayMs, 0, 60'000);
    return true;
}

std::wstring DefaultScenarioPath() {
    std::wstring path = EnvironmentValue(L"TAVO_SIM_SCENARIO");
    return path.empty() ? ModuleDirectory() + L"FTD2XX.sim.ini" : path;
}
