// Reception throughput through the D2XX layer: a recording streamed by the
// simulated controller is collected into the record buffer exactly as after
// the Debug command, and compared with the rate of the 4 Mbaud link
// (400 000 bytes per second). Every reception ends after one second of
// silence; that second is taken off the measured time.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "link/LinkEvents.h"
#include "link/CommunicationWorker.h"
#include "link/Protocol.h"
#include "scope/RecordBuffer.h"
#include "sim/SimControl.h"

namespace {

constexpr double LinkBytesPerSecond = 400000.0;
uint32_t LastReceived = 0;

// The session closes the device and then its event when it goes.
struct Link {
    LinkSession session;
    bool Open() {
        DWORD devices = 0;
        FT_HANDLE handle = nullptr;
        HANDLE event = nullptr;
        const bool opened = FtdiLibraryVersion() && FtdiCountDevices(&devices) && devices == 1 &&
                            FtdiOpenDevice(LinkReadTimeoutMs, LinkWriteTimeoutMs, LinkBaudRate, &handle,
                                           &session.Serial);
        session.Handle.Reset(handle);
        const bool prepared = opened && FtdiPrepareNotification(handle, &event);
        session.FtdiEvent.Reset(event);
        return prepared && FtdiLibrary()->SetEventNotification(handle, FT_EVENT_RXCHAR, event) == FT_OK;
    }
};

// Bytes per second of one reception in the given scenario; 0 on failure.
double ReceiveOnce(const wchar_t* scenario) {
    auto configure = reinterpret_cast<SimConfigureTextFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"FTD2XX.dll"), "SimConfigureText")));
    configure(scenario);
    Link link;
    if (!link.Open()) {
        std::printf("  the simulated device did not open\n");
        return 0;
    }
    const auto start = std::chrono::steady_clock::now();
    uint32_t received = 0;
    if (!WriteCommand(link.session, CommandDebug) || !ReceiveReception(link.session, &received)) {
        std::printf("  nothing was received\n");
        return 0;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    LastReceived = received;
    return received / std::max(seconds - ReplySilenceMs / 1000.0, 1e-6);
}

void Measure(const char* title, const wchar_t* scenario, int runs) {
    std::vector<double> rates;
    for (int i = 0; i < runs; ++i) rates.push_back(ReceiveOnce(scenario));
    std::sort(rates.begin(), rates.end());
    const double median = rates[rates.size() / 2];
    std::printf("  %-44s %10.2f MB/s  ratio to the link %8.2f  (%u bytes, %d runs)\n", title, median / 1e6,
                median / LinkBytesPerSecond, LastReceived, runs);
}

}  // namespace

int main() {
    CreateLinkEvents();
    TheRecord().Reception = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, RecordBufferSize));
    if (!TheRecord().Reception || !FtdiLibrary()) {
        std::printf("no record buffer or no FTD2XX.dll beside the benchmark\n");
        return 1;
    }
    std::printf("Reception through the D2XX layer against the 4 Mbaud link rate (0.4 MB/s)\n");
    Measure("unpaced stream of 8 000 000 bytes", L"[Simulator]\nUnpaced=1\nStreamBytes=8000000\n", 5);
    Measure("stream paced like the link, 400 000 bytes", L"[Simulator]\nStreamBytes=400000\n", 3);
    return 0;
}
