// The fault soak: random sequences of unplugs and replugs, a second FTDI
// device coming and going, the command keys and P pressed online and
// offline, in-task calls that fail, a silent controller, short list
// replies, unplugs in the middle of a recording, saves and closes, against
// the simulated controller in this process. Every sequence comes from a seed
// and is printed when an invariant breaks, so it can be run again.
//
// After every step:
//   - every frame the controller received was asked for while a worker could
//     serve it (a new worker's list, and the installs and polls of preview,
//     count as asked for);
//   - the controller's RAM and ROM changed only through those frames;
//   - at most one device handle is open;
//   - a saved file holds exactly the samples that were on screen;
//   - after a preview, the controller holds the block from before it;
//   - once the controller is back and healthy, the link is online within a
//     few seconds (and the retry delay it announced);
//   - every close ends with exit code 0 in under a second.
//
// TAVO_SOAK_STEPS and TAVO_SOAK_SEEDS (comma separated) set the length and
// the seeds; scripts/soak runs it for minutes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/StatusBar.h"
#include "editors/ParameterBlock.h"
#include "link/Link.h"
#include "resources/resource.h"
#include "scope/DecodingView.h"
#include "scope/RecordBuffer.h"
#include "tests/ui/AppHarness.h"
#include "tests/ui/SimSupport.h"

using namespace harness;
using namespace simulator;

namespace {

// Two devices, the second one out at the start; a recording of 2000
// samples that takes about a third of a second on the line.
constexpr const wchar_t* SoakScenario = L"[Simulator]\nDevices=2\nStreamBytes=64000\nBytesPerSecond=200000\n";
constexpr DWORD OnlineWithinMs = 8000;
constexpr long long CloseWithinMs = 1000;
constexpr DWORD PreviewEndWithinMs = 6000;

uint32_t EnvironmentNumber(const char* name, uint32_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : fallback;
}

std::vector<uint32_t> Seeds() {
    std::vector<uint32_t> seeds;
    if (const char* text = std::getenv("TAVO_SOAK_SEEDS")) {
        std::stringstream list(text);
        for (std::string item; std::getline(list, item, ',');)
            if (!item.empty()) seeds.push_back(static_cast<uint32_t>(std::strtoul(item.c_str(), nullptr, 10)));
    }
    if (seeds.empty()) seeds = {1, 2};
    return seeds;
}

// The samples on screen, read as painting reads them.
std::vector<uint8_t> ShownSamples() {
    std::lock_guard guard(TheRecord().Lock);
    const DecodingState state = DecodingSnapshot();
    if (!state.SampleStart) return {};
    return std::vector<uint8_t>(state.SampleStart, state.SampleStart + size_t{state.SampleCount} * SampleSize);
}

// The simulated controller writes its weld's number into byte 1 of every
// sample: one recording has one number throughout.
bool OneRecording(const std::vector<uint8_t>& samples) {
    for (size_t at = 1 + SampleSize; at < samples.size(); at += SampleSize)
        if (samples[at] != samples[1]) return false;
    return true;
}

// What the controller behind device 0 must hold, replayed from the frames it got.
struct ControllerModel {
    ParameterBytes Factory{}, Ram{}, Rom{};
    void Take(const CommandFrame& frame) {
        ParameterBytes payload;
        std::copy_n(frame.begin(), ParameterBlockSize, payload.begin());
        switch (frame[OpcodeOffset]) {
            case 'i': Ram = payload; break;
            case 'b': Ram = Rom = payload; break;
            case 'r': Ram = Rom; break;
            case 'f': Ram = Rom = Factory; break;
            default: break;
        }
    }
};

class Soak {
public:
    explicit Soak(uint32_t seed) : seed_(seed), random_(seed), sim_(SoakScenario) {
        sim_.UnplugDevice(1);
        controller_.Factory = controller_.Ram = controller_.Rom = sim_.Ram();
        Start();
    }

    void Run(uint32_t steps) {
        for (uint32_t i = 0; i < steps && !failed_; ++i) {
            Step();
            Check();
            ++steps_;
        }
    }

    bool Failed() const { return failed_; }
    std::string Report() const {
        std::ostringstream out;
        out << "seed " << seed_ << ": " << steps_ << " steps, " << framesSeen_ << " frames, " << sim_.Opens()
            << " opens, " << saves_ << " saves, " << closes_ << " closes (longest " << longestCloseMs_ << " ms), "
            << onlineChecks_ << " link-back checks, " << previewChecks_ << " preview checks";
        return out.str();
    }
    std::string Trail() const {
        std::string trail;
        for (const std::string& step : log_) trail += "  " + step + "\n";
        return trail;
    }

private:
    // --- failures ---------------------------------------------------------------

    void Fail(const std::string& what) {
        if (failed_) return;
        failed_ = true;
        ADD_FAILURE() << "seed " << seed_ << ", step " << steps_ << ": " << what << "\nsteps so far:\n" << Trail()
                      << "last frames:\n" << Frames();
    }

    // The last frames: opcode, device, whether carried out, and SEK.
    std::string Frames() const {
        std::ostringstream out;
        const unsigned count = sim_.FrameCount();
        for (unsigned i = count > 16 ? count - 16 : 0; i < count; ++i) {
            const CommandFrame frame = sim_.Frame(i);
            out << "  " << i << ": '" << static_cast<char>(frame[OpcodeOffset]) << "' to " << sim_.FrameDevice(i)
                << (sim_.FrameCarriedOut(i) ? "" : " (not carried out)") << ", SEK " << int(frame[OffsetSEK]) << "\n";
        }
        return out.str();
    }

    void Note(const std::string& step) {
        log_.push_back(step + " [state " + std::to_string(GetControllerState()) + ", preview " +
                       std::to_string(PreviewActive()) + ", frames " + std::to_string(sim_.FrameCount()) + "]");
        if (std::getenv("TAVO_SOAK_TRACE")) std::printf("%u: %s\n", steps_, log_.back().c_str());
        if (log_.size() > 60) log_.erase(log_.begin());
    }

    uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_); }

    // --- the program --------------------------------------------------------------

    void Start() {
        app_ = std::make_unique<TavoApp>(true);
        if (!app_->Started()) Fail("the program did not start");
    }

    // Presses a key on the main window as the keyboard would; notes whether
    // a worker could serve it then. The window takes the key on its own
    // thread, so a link that comes or goes meanwhile may have served it.
    void Press(wchar_t key) {
        const bool servedBefore = LinkServesRequests();
        SetFocus(app_->Window());
        TypeCharacter(app_->Window(), key);
        const bool served = servedBefore || LinkServesRequests();
        const char opcode = static_cast<char>(std::tolower(key));
        Note(std::string("press ") + static_cast<char>(key) + (served ? " (served)" : " (no worker)"));
        if (opcode == 'p') return PreviewPressed(served);
        if (served) asked_.push_back({opcode, sim_.Opens()});
    }

    void PreviewPressed(bool served) {
        if (served) asked_.push_back({'i', sim_.Opens()});
        if (PreviewActive() == 1) previewWasOn_ = true;
    }

    // --- steps --------------------------------------------------------------------

    // The steps and how often each comes, out of 100.
    void Step() {
        uint32_t pick = Below(100);
        const auto take = [&](uint32_t weight) {
            if (pick < weight) return true;
            pick -= weight;
            return false;
        };
        if (take(3)) return PullAndPutBack();
        if (take(6)) return Unplug();
        if (take(8)) return Replug();
        if (take(4)) return SecondDevice(true);
        if (take(5)) return SecondDevice(false);
        if (take(30)) return Press(L"DWLIBRFdwlibrf"[Below(14)]);
        if (take(5)) return Press(Below(2) ? L'P' : L'p');
        if (take(3)) return PreviewRoundTrip();
        if (take(3)) return InTaskFault();
        if (take(3)) return ControllerFault();
        if (take(4)) return UnplugDuringARecording();
        if (take(4)) return Save();
        if (take(2)) return Close();
        if (take(8)) return BackAndHealthy();
        return Wait(50 + Below(1200));
    }

    // The cable out and in again before the worker can have noticed.
    void PullAndPutBack() {
        if (!controllerPlugged_) return Replug();
        Note("pull the controller's cable and put it back at once");
        sim_.UnplugDevice(0);
        sim_.ReplugDevice(0);
        Pump(Below(400));
    }

    void Wait(DWORD ms) {
        Note("wait " + std::to_string(ms) + " ms");
        Pump(ms);
    }

    void Unplug() {
        if (!controllerPlugged_) return Wait(100);
        Note("unplug the controller");
        controllerPlugged_ = false;
        sim_.UnplugDevice(0);
        Pump(Below(400));
    }

    void Replug() {
        if (controllerPlugged_) return Wait(100);
        Note("plug the controller back");
        controllerPlugged_ = true;
        sim_.ReplugDevice(0);
        Pump(Below(400));
    }

    void SecondDevice(bool in) {
        if (secondPlugged_ == in) return Wait(100);
        Note(in ? "plug in a second FTDI device" : "unplug the second FTDI device");
        secondPlugged_ = in;
        if (in)
            sim_.ReplugDevice(1);
        else
            sim_.UnplugDevice(1);
        Pump(Below(400));
    }

    // The fault bites at the next command: here a list.
    void InTaskFault() {
        Note("the in-task stops answering FT_OK");
        inTaskFault_ = true;
        sim_.Fail(Below(2) ? "FT_StopInTask" : "FT_RestartInTask", 4, -1);
        Press(L'l');
        Pump(Below(300));
    }

    void ControllerFault() {
        if (Below(2)) {
            Note("the controller falls silent");
            silent_ = true;
            SwitchSilent(true);
        } else {
            Note("the controller answers 'l' with 100 bytes");
            shortList_ = true;
            sim_.ListReplyBytes(100);
        }
        Pump(Below(300));
    }

    void UnplugDuringARecording() {
        if (!LinkServesRequests() || !controllerPlugged_) return Press(L'd');
        Press(L'd');
        PumpUntil([] { return GetControllerState() == ControllerActive; }, 1500);
        Pump(Below(300));
        Unplug();
    }

    // Saves through the File menu; the file must hold the samples that
    // were on screen just before or just after (preview may replace them
    // while the save runs, but never mix two).
    void Save() {
        Note("save");
        const std::wstring path = TempPath(L"tavo-soak.rec");
        DeleteFileW(path.c_str());
        catcher_.Clear();
        catcher_.Answer(L"Save current data", [path](HWND dialog) { AnswerFileDialog(dialog, path); });
        const std::vector<uint8_t> before = ShownSamples();
        PostMessageW(app_->Window(), WM_COMMAND, IDM_SAVE_DATA, 0);
        if (!catcher_.WaitForBoxes(1, 15000)) return Fail("the save ended in no box");
        const std::vector<uint8_t> after = ShownSamples();
        if (catcher_.Boxes()[0].text != L"Data have been saved")
            return Fail("the save said " + Narrow(catcher_.Boxes()[0].text));
        const std::vector<uint8_t> file = ReadBytes(path);
        DeleteFileW(path.c_str());
        ++saves_;
        if (file.size() < 68) return Fail("the saved file is " + std::to_string(file.size()) + " bytes");
        const std::vector<uint8_t> samples(file.begin() + 68, file.end());
        if (!OneRecording(samples)) return Fail("the saved file mixes two recordings");
        if (samples != before && samples != after)
            Fail("the saved samples (" + std::to_string(samples.size() / SampleSize) +
                 ") are not those on screen (" + std::to_string(before.size() / SampleSize) + " before, " +
                 std::to_string(after.size() / SampleSize) + " after)");
    }

    void Close() {
        Note("close and start again");
        const auto start = std::chrono::steady_clock::now();
        const int code = app_->Close();
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        app_.reset();
        ++closes_;
        longestCloseMs_ = std::max(longestCloseMs_, ms);
        if (code != 0) return Fail("the close ended with " + std::to_string(code));
        if (ms >= CloseWithinMs) return Fail("the close took " + std::to_string(ms) + " ms");
        // A new program knows nothing of the last one's requests.
        CheckFrames();
        asked_.clear();
        Start();
    }

    // The controller back alone and healthy: the link is online within a
    // few seconds, or after the retry it announced.
    void BackAndHealthy() {
        Note("the controller back alone and healthy");
        sim_.Heal();
        SwitchSilent(false);
        sim_.ListReplyBytes(128);
        inTaskFault_ = silent_ = shortList_ = false;
        if (secondPlugged_) SecondDevice(false);
        if (!controllerPlugged_) Replug();
        const std::wstring part0 = Shown(PartDevice);
        unsigned retryS = 0;
        std::swscanf(part0.c_str(), L"Controller link lost: next attempt in %u s", &retryS);
        const DWORD within = OnlineWithinMs + retryS * 1000;
        ++onlineChecks_;
        if (!PumpUntil([] { return GetControllerState() == ControllerOnline || GetControllerState() == ControllerActive; },
                       within))
            Fail("the link was not back within " + std::to_string(within) + " ms; part 0 \"" + Narrow(Shown(PartDevice)) +
                 "\"");
    }

    bool Online() const {
        return GetControllerState() == ControllerOnline || GetControllerState() == ControllerActive;
    }

    // Preview on, then folded presses, link losses, welds and waits, then
    // off: the controller holds the block from before, byte for byte.
    void PreviewRoundTrip() {
        if (PreviewActive() == 1) return Press(L'p');
        BackAndHealthy();
        if (failed_) return;
        Pump(1200);  // the new worker's list ends by a second of silence
        if (TheParameterBlock().ReadByte(OffsetSEK) == 0) {
            // A SEK of 0 would hide a lost value: factory values, listed.
            Press(L'f');
            Press(L'l');
            Pump(1500);
        }
        const ParameterBytes before = TheParameterBlock().Read();
        if (sim_.Ram() != before || before[OffsetSEK] == 0) return Wait(100);  // a request still on its way
        Note("preview round trip");
        Press(L'P');
        for (uint32_t i = 0, inner = 1 + Below(4); i < inner && !failed_; ++i) {
            switch (Below(5)) {
                case 0:
                    Note("P twice at once");
                    SendMessageW(app_->Window(), WM_COMMAND, IDM_PREVIEW, 0);
                    SendMessageW(app_->Window(), WM_COMMAND, IDM_PREVIEW, 0);
                    Pump(1500 + Below(1000));  // the worker takes the one event after its poll
                    break;
                case 1: PullAndPutBack(); break;
                case 2:
                    Unplug();
                    Pump(Below(1500));
                    Replug();
                    PumpUntil([&] { return Online(); }, OnlineWithinMs);
                    break;
                case 3: Press(Below(2) ? L'd' : L'w'); break;
                default: Wait(Below(1500)); break;
            }
            CheckFrames();
        }
        Press(L'p');
        if (!PumpUntil([&] { return Online(); }, OnlineWithinMs)) return Fail("the link did not come back in preview");
        // A poll and a Debug recording may still be ahead of the install that
        // ends preview: each takes its bytes and a second of silence.
        PumpUntil([&] { return sim_.Ram() == before && TheParameterBlock().Read() == before; }, PreviewEndWithinMs);
        Pump(300);  // nothing more comes that changes it again
        ++previewChecks_;
        if (sim_.Ram() != before)
            Fail("after preview the controller's SEK is " + std::to_string(sim_.Ram()[OffsetSEK]) + ", before it was " +
                 std::to_string(before[OffsetSEK]));
        else if (TheParameterBlock().Read() != before)
            Fail("after preview the program's block differs from before it");
    }

    // --- invariants ---------------------------------------------------------------

    void Check() {
        if (failed_) return;
        if (sim_.OpenHandles() > 1) return Fail(std::to_string(sim_.OpenHandles()) + " device handles open");
        if (sim_.NotificationsClosedFirst() > 0) return Fail("a notification event was closed before its device");
        if (!OneRecording(ShownSamples())) return Fail("the samples on screen mix two recordings");
        if (PreviewActive() == 1) previewWasOn_ = true;
        CheckFrames();
    }

    void SwitchSilent(bool silent) {
        CheckFrames();
        sim_.Silent(silent);
    }

    bool UseRequest(char opcode) {
        const auto found = std::find_if(asked_.begin(), asked_.end(), [&](const Asked& a) { return a.Opcode == opcode; });
        if (found == asked_.end()) return false;
        asked_.erase(found);
        return true;
    }

    // Each frame uses up one request it answers.
    void CheckFrames() {
        const unsigned opens = sim_.Opens();
        // Every new worker lists once and may install once for preview: its
        // own frames, told apart by the open whose handle wrote them.
        for (unsigned open = opensSeen_ + 1; open <= opens; ++open) byLink_[open] = {1, 1};
        for (; framesSeen_ < sim_.FrameCount() && !failed_; ++framesSeen_) {
            const CommandFrame frame = sim_.Frame(framesSeen_);
            const char opcode = static_cast<char>(frame[OpcodeOffset]);
            if (sim_.FrameDevice(framesSeen_) == 0 && sim_.FrameCarriedOut(framesSeen_)) controller_.Take(frame);
            if (opcode == 'd' && previewWasOn_) continue;  // the polls of preview
            LinkFrames& own = byLink_[static_cast<unsigned>(sim_.FrameOpen(framesSeen_))];
            int* credit = opcode == 'l' ? &own.Lists : opcode == 'i' ? &own.Installs : nullptr;
            if (credit && *credit > 0) {
                --*credit;
            } else if (!UseRequest(opcode)) {
                Fail(std::string("frame '") + opcode + "' (frame " + std::to_string(framesSeen_) +
                     ") was not asked for while a worker could serve it");
            }
        }
        // A new worker acts only on what is asked from then on: requests
        // served by an earlier one are void.
        std::erase_if(asked_, [&](const Asked& a) { return a.Opens < opens; });
        opensSeen_ = opens;
        previewWasOn_ = PreviewActive() == 1;
        if (!failed_ && sim_.Ram() != controller_.Ram) Fail("the controller's RAM changed without a frame");
        if (!failed_ && sim_.Rom() != controller_.Rom) Fail("the controller's ROM changed without a frame");
    }

    uint32_t seed_;
    std::mt19937 random_;
    Sim sim_;
    DialogCatcher catcher_;
    std::unique_ptr<TavoApp> app_;
    std::vector<std::string> log_;
    bool failed_ = false;

    bool controllerPlugged_ = true;
    bool secondPlugged_ = false;
    bool inTaskFault_ = false;
    bool silent_ = false;
    bool shortList_ = false;

    ControllerModel controller_;
    unsigned framesSeen_ = 0;
    unsigned opensSeen_ = 0;
    struct Asked {
        char Opcode;
        unsigned Opens;  // the opens when it was asked for: whose worker served it
    };
    std::vector<Asked> asked_;    // served requests not yet answered by a frame
    struct LinkFrames {
        int Lists = 0;
        int Installs = 0;
    };
    std::map<unsigned, LinkFrames> byLink_;  // by open: frames a new worker may write by itself
    bool previewWasOn_ = false;

    uint32_t steps_ = 0;
    uint32_t saves_ = 0;
    uint32_t closes_ = 0;
    uint32_t onlineChecks_ = 0;
    uint32_t previewChecks_ = 0;
    long long longestCloseMs_ = 0;
};

}  // namespace

TEST(Soak, RandomFaultSequencesKeepTheLinkSafe) {
    const uint32_t steps = EnvironmentNumber("TAVO_SOAK_STEPS", 120);
    for (const uint32_t seed : Seeds()) {
        Soak soak(seed);
        soak.Run(steps);
        std::printf("soak %s\n", soak.Report().c_str());
        if (soak.Failed()) break;
    }
}
