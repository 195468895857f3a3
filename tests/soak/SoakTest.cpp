// The fault soak: random sequences of unplugs and replugs, a second FTDI
// device coming and going (also while the controller goes), the command
// keys and P pressed online and offline and around each other, calls that
// fail at run time (the in-task, FT_Write failing or falling short,
// FT_GetStatus, FT_Read), a slow FT_OpenEx, a controller that restarts
// (boots of 50 ms to 3 s) or falls silent, short list replies, unplugs in
// the middle of a recording, saves and closes, against the simulated
// controller in this process. Every sequence comes from a seed and is
// printed when an invariant breaks, so it can be run again.
//
// After every step, on what TAVO wrote:
//   - every frame answers a press made while a worker served requests, in
//     that worker's life (the link's own frames: its first list; preview's
//     lists and installs, judged below);
//   - every preview poll was written right after an install of SEK 0, and
//     only while preview is on (or its end is owed);
//   - installs and burns carry only the controller's own block;
//   - a write that fell short is completed with zeros at once, and after it
//     (or a write that failed) its link writes nothing more;
//   - a worker opens a device only after timer 1 or an arrival, or to retry
//     the device it lost: never because the linked device went;
// and on what the controller did and holds:
//   - every preview poll it carried out found SEK 0 in its RAM (but the
//     first frame after a boot, which only its firmware can guard), and a
//     weld asked for after preview ended found the operator's SEK;
//   - every frame it took began where a frame was written (its framing
//     stayed in step), unless the cable cut a frame: then the soak switches
//     it off and on, as only that brings it back in step;
//   - no burn stored SEK 0 and ROM never holds it; once preview is off and
//     the link healthy, RAM and the block in memory get SEK back, also
//     across a close of TAVO (the next one installs what was owed);
// and of the program:
//   - at most one device handle is open;
//   - a saved file holds exactly the samples and the block that were on screen;
//   - once the controller is back and healthy, a worker serves requests
//     within a few seconds (and the retry delay it announced);
//   - every close ends the message loop with 0, the worker with it, in under
//     a second.
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
#include "scope/RecordingOnScreen.h"
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
// How long SEK may stay 0 after preview ended on a healthy link: a poll, a
// Debug recording and a list may still be ahead of the install that ends it.
constexpr ULONGLONG SekBackWithinMs = 8000;
constexpr uint8_t OperatorSek = 8;  // the simulated controller's own SEK; the soak never edits it

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

ParameterBytes NoSek(ParameterBytes block) {
    block[OffsetSEK] = 0;
    return block;
}

class Soak {
public:
    explicit Soak(uint32_t seed) : seed_(seed), random_(seed), sim_(SoakScenario) {
        sim_.UnplugDevice(1);
        factory_ = sim_.Ram();
        Start(false);
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
        out << "seed " << seed_ << ": " << steps_ << " steps, " << framesSeen_ << " frames (" << polls_ << " polls, "
            << brokenWrites_ << " failed or short writes, " << completions_ << " cut frames completed), " << pollsTaken_
            << " preview polls taken by the controller and checked against its RAM (" << bootEdges_
            << " first after a boot), " << restarts_ << " restarts, " << silences_ << " silences, " << cableCuts_
            << " frames cut by the cable, " << sim_.Opens() << " opens, " << presses_ << " presses (" << passed_
            << " passed on), " << saves_ << " saves, " << closes_ << " closes (longest " << longestCloseMs_ << " ms, "
            << closesOwing_ << " with SEK owed in Tavo.ini), " << onlineChecks_ << " link-back checks, "
            << previewChecks_ << " preview round trips";
        return out.str();
    }
    std::string Trail() const {
        std::string trail;
        for (const std::string& step : log_) trail += "  " + step + "\n";
        return trail;
    }

private:
    // A request passed on to a worker, not yet answered by a frame.
    struct Asked {
        char Opcode;
        unsigned Open;       // the open of the worker that took it
        unsigned FrameMark;  // frames written before it
        bool PreviewOff;     // preview was off when it was pressed
    };
    // --- failures ---------------------------------------------------------------

    void Fail(const std::string& what) {
        if (failed_) return;
        failed_ = true;
        ADD_FAILURE() << "seed " << seed_ << ", step " << steps_ << ": " << what << "\nsteps so far:\n" << Trail()
                      << "last frames:\n" << Frames();
    }

    // The last frames: opcode, device, open, bytes, whether carried out, and SEK.
    std::string Frames() const {
        std::ostringstream out;
        const unsigned count = sim_.FrameCount();
        for (unsigned i = count > 20 ? count - 20 : 0; i < count; ++i) {
            const CommandFrame frame = sim_.Frame(i);
            out << "  " << i << ": '" << static_cast<char>(frame[OpcodeOffset] ? frame[OpcodeOffset] : '?') << "' to "
                << sim_.FrameDevice(i) << " by open " << sim_.FrameOpen(i) << ", " << sim_.FrameBytes(i) << " bytes"
                << (sim_.FrameCarriedOut(i) ? "" : " (not carried out)") << ", SEK " << int(frame[OffsetSEK]) << "\n";
        }
        const std::vector<SimExecution> done = sim_.Executions();
        for (size_t i = done.size() > 10 ? done.size() - 10 : 0; i < done.size(); ++i)
            out << "  taken: '" << static_cast<char>(done[i].Opcode ? done[i].Opcode : '?') << "' by " << done[i].Device
                << " from write " << done[i].Write << ", SEK " << int(done[i].Sek)
                << (done[i].CarriedOut ? "" : " (silent)") << (done[i].Aligned ? "" : " (out of step)")
                << (done[i].AfterBoot ? " (first after a boot)" : "") << "\n";
        return out.str();
    }

    void Note(const std::string& step) {
        log_.push_back(step + " [state " + std::to_string(GetControllerState()) + ", preview " +
                       std::to_string(PreviewActive()) + ", serves " + std::to_string(LinkServesRequests()) +
                       ", frames " + std::to_string(sim_.FrameCount()) + ", opens " + std::to_string(sim_.Opens()) +
                       "]");
        if (std::getenv("TAVO_SOAK_TRACE")) std::printf("%u: %s\n", steps_, log_.back().c_str());
        if (log_.size() > 60) log_.erase(log_.begin());
    }

    uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_); }

    // --- the program --------------------------------------------------------------

    // A new TAVO; after a close it keeps the Tavo.ini the last one wrote.
    void Start(bool keepSettings) {
        app_ = std::make_unique<TavoApp>(true, keepSettings);
        reports_ = std::make_unique<ReportSpy>();
        if (!app_->Started()) Fail("the program did not start");
        ++openCredits_;  // timer 1
    }

    // What a worker serving requests looks like from outside at one moment.
    struct Moment {
        bool Serving;
        unsigned Opens;
        unsigned Frames;
    };
    Moment Now() const { return {LinkServesRequests(), sim_.Opens(), sim_.FrameCount()}; }

    // Presses a key on the main window as the keyboard would. A request the
    // link passed on is credited to the open of the worker that took it,
    // for frames written from then on.
    void Press(wchar_t key) {
        const Moment before = Now();
        const int droppedBefore = reports_->Dropped;
        SeePreview();
        SetFocus(app_->Window());
        TypeCharacter(app_->Window(), key);
        SeePreview();
        const Moment after = Now();
        const char opcode = static_cast<char>(std::tolower(key));
        // A command not passed on says so ("No link to the controller").
        const bool taken = opcode != 'p' && reports_->Dropped == droppedBefore;
        ++presses_;
        Note(std::string("press ") + static_cast<char>(key) + (taken ? " (passed on)" : opcode == 'p' ? "" : " (no worker)"));
        if (!taken) return;
        ++passed_;
        // The worker that took it had opened its device: the one serving before
        // the press, or one that became ready during it.
        const unsigned open = before.Serving ? before.Opens : after.Opens;
        asked_.push_back({opcode, open, before.Frames, PreviewActive() == 0});
    }

    // Preview on now: the grace SEK has to come back starts anew once it is off.
    void SeePreview() {
        if (PreviewActive() != 1) return;
        previewSeen_ = 2;
        previewSeenMs_ = GetTickCount64();
        sekZeroSince_.reset();
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
        if (take(5)) return Unplug();
        if (take(7)) return Replug();
        if (take(4)) return SecondDevice(true);
        if (take(4)) return SecondDevice(false);
        if (take(2)) return ControllerGoesBesideAnAdapter();
        if (take(26)) return Press(L"DWLIBRFdwlibrf"[Below(14)]);
        if (take(5)) return Press(Below(2) ? L'P' : L'p');
        if (take(5)) return PreviewRoundTrip();
        if (take(2)) return InTaskFault();
        if (take(4)) return WriteFault();
        if (take(3)) return QueryFault();
        if (take(2)) return SlowOpen();
        if (take(3)) return ControllerFault();
        if (take(3)) return Restart();
        if (take(3)) return UnplugDuringARecording();
        if (take(4)) return Save();
        if (take(2)) return Close();
        if (take(8)) return BackAndHealthy();
        return Wait(50 + Below(1200));
    }

    // The cable out and in again before the worker can have noticed.
    void PullAndPutBack() {
        if (!controllerPlugged_) return Replug();
        Note("pull the controller's cable and put it back at once");
        Removal();
        UnplugController();
        Arrival();
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
        Removal();
        UnplugController();
        Pump(Below(400));
    }

    // A cable pulled while a frame was leaving the chip leaves the controller
    // with part of it, and nothing on TAVO's side brings its framing back in
    // step: the operator switches the welder off and on.
    void UnplugController() {
        sim_.UnplugDevice(0);
        if (sim_.PartialFrameBytes() == 0) return;
        Note("the cable cut a frame: switch the controller off and on");
        ++cableCuts_;
        RestartController(50);
    }

    void RestartController(unsigned bootMs) {
        CheckFrames();
        sim_.Restart(bootMs);
        ++restarts_;
    }

    // Switched off and on, the USB converter staying: RAM from ROM.
    void Restart() {
        const unsigned boot = 50 + Below(2950);
        Note("the controller restarts (boot " + std::to_string(boot) + " ms)");
        RestartController(boot);
        Pump(Below(600));
    }

    void Replug() {
        if (controllerPlugged_) return Wait(100);
        Note("plug the controller back");
        controllerPlugged_ = true;
        Arrival();
        sim_.ReplugDevice(0);
        Pump(Below(400));
    }

    void SecondDevice(bool in) {
        if (secondPlugged_ == in) return Wait(100);
        Note(in ? "plug in a second FTDI device" : "unplug the second FTDI device");
        secondPlugged_ = in;
        if (in) {
            Arrival();
            sim_.ReplugDevice(1);
        } else {
            Removal();
            sim_.UnplugDevice(1);
        }
        Pump(Below(400));
    }

    // The adapter stays while the controller goes: nothing may open it.
    void ControllerGoesBesideAnAdapter() {
        if (!secondPlugged_) SecondDevice(true);
        if (controllerPlugged_) Unplug();
        Wait(500 + Below(1000));
    }

    // A device event: whether it may lead to an open. An arrival does when no
    // worker serves requests, or when a removal came since the last open
    // (the device that went may be the one that came back).
    void Arrival() {
        if (!LinkServesRequests() || removalSinceOpen_) ++openCredits_;
    }
    void Removal() { removalSinceOpen_ = true; }

    // The fault bites at the next command: here a list.
    void InTaskFault() {
        Note("the in-task stops answering FT_OK");
        sim_.Fail(Below(2) ? "FT_StopInTask" : "FT_RestartInTask", 4, -1);
        Press(L'l');
        Pump(Below(300));
    }

    // The next write fails or falls short: a command's, or preview's.
    void WriteFault() {
        if (Below(2)) {
            Note("the next FT_Write fails");
            sim_.Fail("FT_Write", 4, 1);
        } else {
            Note("the next FT_Write takes 64 bytes only");
            sim_.ShortWrites(64, 1);
        }
        if (Below(2)) Press(L"ilwbrf"[Below(6)]);
        Pump(Below(600));
    }

    void QueryFault() {
        const bool status = Below(2) != 0;
        const int count = 1 + static_cast<int>(Below(3));
        Note(std::string(status ? "FT_GetStatus" : "FT_Read") + " fails " + std::to_string(count) + " times");
        sim_.Fail(status ? "FT_GetStatus" : "FT_Read", 4, count);
        if (Below(2)) Press(Below(2) ? L'l' : L'd');
        Pump(Below(600));
    }

    // Opens take long: device events land while a worker opens one.
    void SlowOpen() {
        Note("FT_OpenEx takes 700 ms");
        sim_.OpenDelay(700);
        if (Below(2)) PullAndPutBack();
        else SecondDevice(!secondPlugged_);
    }

    void ControllerFault() {
        if (Below(2)) {
            Note("the controller falls silent");
            silent_ = true;
            ++silences_;
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

    // Saves through the File menu; the file must hold the samples and the
    // block that were on screen just before or just after (preview may
    // replace them while the save runs, but never mix two).
    void Save() {
        Note("save");
        const std::wstring path = TempPath(L"tavo-soak.rec");
        DeleteFileW(path.c_str());
        catcher_.Clear();
        catcher_.Answer(L"Save current data", [path](HWND dialog) { AnswerFileDialog(dialog, path); });
        const std::vector<uint8_t> before = ShownSamples();
        const ParameterBytes blockBefore = TheParameterBlock().Read();
        PostMessageW(app_->Window(), WM_COMMAND, IDM_SAVE_DATA, 0);
        if (!catcher_.WaitForBoxes(1, 15000)) return Fail("the save ended in no box");
        const std::vector<uint8_t> after = ShownSamples();
        const ParameterBytes blockAfter = TheParameterBlock().Read();
        if (catcher_.Boxes()[0].text != L"Data have been saved")
            return Fail("the save said " + Narrow(catcher_.Boxes()[0].text));
        const std::vector<uint8_t> file = ReadBytes(path);
        DeleteFileW(path.c_str());
        ++saves_;
        if (file.size() < 68) return Fail("the saved file is " + std::to_string(file.size()) + " bytes");
        const std::vector<uint8_t> samples(file.begin() + 68, file.end());
        ParameterBytes header;
        std::copy_n(file.begin() + 4, ParameterBlockSize, header.begin());
        if (!OneRecording(samples)) return Fail("the saved file mixes two recordings");
        if (samples != before && samples != after)
            return Fail("the saved samples (" + std::to_string(samples.size() / SampleSize) +
                        ") are not those on screen (" + std::to_string(before.size() / SampleSize) + " before, " +
                        std::to_string(after.size() / SampleSize) + " after)");
        if (header != blockBefore && header != blockAfter) Fail("the saved block is not the one in memory");
    }

    void Close() {
        Note("close and start again");
        const auto start = std::chrono::steady_clock::now();
        const int code = app_->Close();
        reports_.reset();
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        const bool workerLeft = LinkWorkerRunning();
        app_.reset();
        ++closes_;
        longestCloseMs_ = std::max(longestCloseMs_, ms);
        if (code != 0) return Fail("the close ended the loop with " + std::to_string(code));
        if (workerLeft) return Fail("the worker outlived the close");
        if (ms >= CloseWithinMs) return Fail("the close took " + std::to_string(ms) + " ms");
        // A new program knows nothing of the last one's requests; what the
        // last one still owed the controller it finds in Tavo.ini.
        CheckFrames();
        if (ReadTextFile(ExecutableDirectory() + L"Tavo.ini").find(L"[Owed SEK]") != std::wstring::npos) ++closesOwing_;
        asked_.clear();
        openCredits_ = 0;
        Start(true);
    }

    // The controller back alone and healthy: a worker serves requests within
    // a few seconds, or after the retry it announced. Without a retry nothing
    // starts by itself once another adapter went (it might have been the
    // controller that went): the operator plugs the controller in again.
    void BackAndHealthy() {
        Note("the controller back alone and healthy");
        sim_.Heal();
        sim_.ShortWrites(0, 0);
        sim_.OpenDelay(0);
        SwitchSilent(false);
        sim_.ListReplyBytes(128);
        silent_ = shortList_ = false;
        if (secondPlugged_) SecondDevice(false);
        if (!controllerPlugged_) Replug();
        ++onlineChecks_;
        if (PumpUntil([] { return LinkServesRequests(); }, 1500)) return;
        unsigned retryS = 0;
        const bool retry =
            std::swscanf(Shown(PartDevice).c_str(), L"Controller link lost: next attempt in %u s", &retryS) == 1;
        if (!retry && !LinkWorkerRunning()) {
            Note("plug the controller in again");
            Removal();
            UnplugController();
            Arrival();
            sim_.ReplugDevice(0);
        }
        const DWORD within = OnlineWithinMs + retryS * 1000;
        if (!PumpUntil([] { return LinkServesRequests(); }, within))
            Fail("no worker served requests within " + std::to_string(within) + " ms; part 0 \"" +
                 Narrow(Shown(PartDevice)) + "\"");
    }

    // Preview on, then folded presses, commands around it, link losses,
    // welds and waits, then off: the controller ends with the SEK it had.
    void PreviewRoundTrip() {
        if (PreviewActive() == 1) return Press(L'p');
        BackAndHealthy();
        if (failed_) return;
        Note("preview round trip");
        ++previewChecks_;
        Press(L'P');
        for (uint32_t i = 0, inner = 1 + Below(4); i < inner && !failed_; ++i) {
            switch (Below(8)) {
                case 0:
                    Note("P twice at once");
                    SendMessageW(app_->Window(), WM_COMMAND, IDM_PREVIEW, 0);
                    SendMessageW(app_->Window(), WM_COMMAND, IDM_PREVIEW, 0);
                    Pump(1500 + Below(1000));
                    break;
                case 1: PullAndPutBack(); break;
                case 2:
                    Unplug();
                    Pump(Below(1500));
                    Replug();
                    PumpUntil([] { return LinkServesRequests(); }, OnlineWithinMs);
                    break;
                case 3: Press(L"dwbrf"[Below(5)]); break;
                case 4:
                    // A command in the same poll as the P that ends preview.
                    PumpUntil([] { return GetControllerState() == ControllerActive; }, 1500);
                    Press(L"brfi"[Below(4)]);
                    Press(L'p');
                    Press(L'P');
                    break;
                case 5: WriteFault(); break;
                case 6: Restart(); break;
                default: Wait(Below(1500)); break;
            }
            CheckFrames();
        }
        Press(L'p');
    }

    // --- invariants ---------------------------------------------------------------

    void Check() {
        if (failed_) return;
        if (sim_.OpenHandles() > 1) return Fail(std::to_string(sim_.OpenHandles()) + " device handles open");
        if (sim_.NotificationsClosedFirst() > 0) return Fail("a notification event was closed before its device");
        if (!OneRecording(ShownSamples())) return Fail("the samples on screen mix two recordings");
        CheckFrames();
        CheckSek();
    }

    void SwitchSilent(bool silent) {
        CheckFrames();
        sim_.Silent(silent);
    }

    // ROM never holds preview's 0; RAM and the block in memory get SEK back
    // soon after preview ended on a healthy link.
    void CheckSek() {
        if (failed_) return;
        if (sim_.Rom()[OffsetSEK] == 0) return Fail("ROM holds SEK 0");
        const bool healthy = LinkServesRequests() && controllerPlugged_ && !secondPlugged_ && !silent_ && !shortList_;
        const bool zero = sim_.Ram()[OffsetSEK] == 0 || TheParameterBlock().ReadByte(OffsetSEK) == 0;
        if (PreviewActive() == 1 || !healthy || !zero) {
            sekZeroSince_.reset();
            return;
        }
        // A new link since restarts the grace: it lists before it installs.
        if (!sekZeroSince_ || sekZeroOpens_ != sim_.Opens()) {
            sekZeroSince_ = GetTickCount64();
            sekZeroOpens_ = sim_.Opens();
        }
        // A short wait here tells a slow end from a lost one.
        PumpUntil([&] { return sim_.Ram()[OffsetSEK] != 0 && TheParameterBlock().ReadByte(OffsetSEK) != 0; }, 200);
        CheckFrames();
        if (sim_.Ram()[OffsetSEK] != 0 && TheParameterBlock().ReadByte(OffsetSEK) != 0) {
            sekZeroSince_.reset();
        } else if (GetTickCount64() - *sekZeroSince_ > SekBackWithinMs) {
            Fail("preview ended but SEK stays 0 (controller " + std::to_string(sim_.Ram()[OffsetSEK]) + ", memory " +
                 std::to_string(TheParameterBlock().ReadByte(OffsetSEK)) + ")");
        }
    }

    // The request a frame answers, taken off the list; none for the link's
    // own frames. An install of SEK 0 answers no install asked for with
    // preview off: preview's end goes first, so that one carries the operator's.
    std::optional<Asked> UseRequest(char opcode, unsigned open, unsigned frame, bool sekZero) {
        const auto found = std::find_if(asked_.begin(), asked_.end(), [&](const Asked& a) {
            return a.Opcode == opcode && a.Open == open && a.FrameMark <= frame && !(sekZero && a.PreviewOff);
        });
        if (found == asked_.end()) return std::nullopt;
        const Asked request = *found;
        asked_.erase(found);
        return request;
    }

    // Preview was on at this or the last check, or so shortly before that a
    // cycle begun then may still be on its way: each of its two writes may
    // wait about a second for the driver's in-task.
    bool PreviewRecent() const { return previewSeen_ > 0 || GetTickCount64() - previewSeenMs_ < 3000; }

    // What the soak knows of each open's frames.
    struct LinkFrames {
        unsigned Frames = 0;
        char Last = 0;           // the opcode of its last whole frame
        uint8_t LastSek = 0xFF;  // and that frame's SEK
        bool Broken = false;     // a write failed or fell short
        int Missing = 0;         // bytes of a frame cut short still to come, as zeros
        bool Preview = false;    // preview was on, or its end owed, during this link
        int Device = -1;
    };
    // What a 'd' or 'w' written was: a preview poll, a weld asked for after
    // preview ended (it must find the operator's SEK), or another one.
    enum class Weld : uint8_t { Poll, AfterPreview, Other };

    void CheckFrames() {
        for (; framesSeen_ < sim_.FrameCount() && !failed_; ++framesSeen_) {
            CheckTaken(framesSeen_);
            CheckFrame(framesSeen_);
        }
        CheckTaken(framesSeen_);
        // A new worker acts only on what is asked from then on: requests
        // served by an earlier one are void.
        const unsigned opens = sim_.Opens();
        std::erase_if(asked_, [&](const Asked& a) { return a.Open < opens; });
        if (previewSeen_ > 0) --previewSeen_;
        SeePreview();
        if (previewSeen_ && byOpen_.count(opens)) byOpen_[opens].Preview = true;
    }

    // What the controllers took from writes before `write`, on what their
    // RAM held: polls that find SEK 0, welds asked for after preview that
    // find the operator's, burns that never store 0, and a framing in step.
    void CheckTaken(unsigned write) {
        for (const SimExecution& done : sim_.Executions(executionsSeen_)) {
            if (failed_ || static_cast<unsigned>(done.Write) >= write) return;
            ++executionsSeen_;
            if (!done.CarriedOut) continue;
            const std::string at = " (taken from write " + std::to_string(done.Write) + ")";
            if (!done.Aligned) return Fail("the controller's framing went out of step" + at);
            const auto weld = welds_.find(static_cast<unsigned>(done.Write));
            switch (done.Opcode) {
                case 'd':
                case 'w':
                    if (weld == welds_.end()) break;
                    if (weld->second == Weld::Poll) {
                        ++pollsTaken_;
                        if (done.Sek == 0) break;
                        // Its install was lost in a boot that ended between the
                        // two: a gap only the controller's firmware can close.
                        if (done.AfterBoot) {
                            ++bootEdges_;
                            break;
                        }
                        return Fail("a preview poll welds: the controller held SEK " + std::to_string(done.Sek) + at);
                    }
                    if (weld->second == Weld::AfterPreview && done.Sek == 0)
                        return Fail("a weld asked for after preview ended found preview's SEK 0" + at);
                    break;
                case 'b':
                    if (done.Sek == 0) return Fail("a burn stored preview's SEK 0" + at);
                    break;
                case 'l':
                    // Preview's 0 still there: the end's install is owed.
                    if (done.Sek == 0) zeroSent_[done.Device] = true;
                    break;
                default: break;
            }
        }
    }

    // A new open: after timer 1, an arrival, or a retry of the device last linked.
    void CheckOpen(LinkFrames& link, unsigned open, int device) {
        link.Device = device;
        link.Preview = previewSeen_ > 0 || zeroSent_[device];
        if (openCredits_ > 0) {
            --openCredits_;
        } else if (device != lastOpenDevice_) {
            Fail("open " + std::to_string(open) + " linked device " + std::to_string(device) +
                 " without timer 1, an arrival or a retry of device " + std::to_string(lastOpenDevice_));
        }
        lastOpenDevice_ = device;
        removalSinceOpen_ = false;
    }

    // A write that fell short, and the zeros that complete it.
    bool CheckShortWrite(LinkFrames& link, const CommandFrame& frame, int bytes, const std::string& at) {
        if (link.Missing > 0) {
            const bool zeros = bytes > 0 && bytes <= link.Missing &&
                               std::all_of(frame.begin(), frame.begin() + bytes, [](uint8_t b) { return b == 0; });
            if (!zeros) Fail("a frame cut short was not completed with zeros" + at);
            link.Missing -= bytes;
            if (link.Missing == 0) ++completions_;
            return true;
        }
        if (link.Broken) {
            Fail("a link wrote on after a write that failed or fell short" + at);
            return true;
        }
        if (bytes == static_cast<int>(CommandFrameSize)) return false;
        ++brokenWrites_;
        link.Broken = true;
        if (bytes > 0) link.Missing = static_cast<int>(CommandFrameSize) - bytes;
        return true;
    }

    void CheckFrame(unsigned index) {
        const CommandFrame frame = sim_.Frame(index);
        const unsigned open = static_cast<unsigned>(sim_.FrameOpen(index));
        const int device = sim_.FrameDevice(index);
        LinkFrames& link = byOpen_[open];
        if (link.Frames++ == 0) CheckOpen(link, open, device);
        const std::string at = " (frame " + std::to_string(index) + " by open " + std::to_string(open) + ")";
        if (CheckShortWrite(link, frame, sim_.FrameBytes(index), at)) return;
        const char opcode = static_cast<char>(frame[OpcodeOffset]);
        ParameterBytes payload;
        std::copy_n(frame.begin(), ParameterBlockSize, payload.begin());
        const uint8_t sek = payload[OffsetSEK];
        const char last = std::exchange(link.Last, opcode);
        const uint8_t lastSek = std::exchange(link.LastSek, sek);
        if (link.Frames == 1) {
            if (opcode != 'l') Fail(std::string("a link began with '") + opcode + "'" + at);
            return;
        }
        // The end of preview goes before a command asked for after it: an
        // install of the operator's SEK over preview's 0 is that end, not the
        // operator's I (which follows it).
        bool& zeroSent = zeroSent_[device];
        const bool endOfPreview = opcode == 'i' && sek == OperatorSek && zeroSent;
        const std::optional<Asked> asked =
            endOfPreview ? std::nullopt : UseRequest(opcode, open, index, opcode == 'i' && sek == 0);
        const auto weldAsked = [&] { return asked->PreviewOff && !PreviewRecent() ? Weld::AfterPreview : Weld::Other; };
        switch (opcode) {
            case 'd':
                if (asked) {
                    welds_[index] = weldAsked();
                    return;
                }
                ++polls_;
                welds_[index] = Weld::Poll;
                if (last != 'i' || lastSek != 0) return Fail("a preview poll not right after an install of SEK 0" + at);
                if (!PreviewRecent()) return Fail("a preview poll with preview off" + at);
                return;
            case 'w':
                if (!asked) return Fail("frame 'w' nobody asked for" + at);
                welds_[index] = weldAsked();
                return;
            case 'i': {
                if (NoSek(payload) != NoSek(factory_)) return Fail("an install of a block nobody read" + at);
                const bool zeroOut = zeroSent;
                zeroSent = sek == 0;
                if (asked) return;
                if (sek == 0 && !PreviewRecent()) return Fail("an install of SEK 0 with preview off" + at);
                // Preview's end: the operator's SEK back over preview's 0 (which
                // a silent controller may not have taken).
                if (sek != 0 && (sek != OperatorSek || !zeroOut)) return Fail("an install nobody asked for" + at);
                return;
            }
            case 'b':
                if (sek == 0) return Fail("a burn carried preview's SEK 0" + at);
                if (NoSek(payload) != NoSek(factory_)) return Fail("a burn of a block nobody read" + at);
                if (!asked) Fail("a burn nobody asked for" + at);
                return;
            case 'r':
            case 'f':
                zeroSent = false;
                if (!asked) Fail(std::string("frame '") + opcode + "' nobody asked for" + at);
                return;
            case 'l':
                // Preview learns the controller's block before it installs,
                // and lists once more to see the SEK it restored.
                if (!asked && !link.Preview && !PreviewRecent() && !zeroSent) Fail("a list nobody asked for" + at);
                return;
            default: Fail(std::string("an unknown frame '") + opcode + "'" + at);
        }
    }

    uint32_t seed_;
    std::mt19937 random_;
    Sim sim_;
    DialogCatcher catcher_;
    std::unique_ptr<TavoApp> app_;
    std::unique_ptr<ReportSpy> reports_;
    std::vector<std::string> log_;
    bool failed_ = false;

    bool controllerPlugged_ = true;
    bool secondPlugged_ = false;
    bool silent_ = false;
    bool shortList_ = false;

    ParameterBytes factory_{};
    unsigned framesSeen_ = 0;
    unsigned executionsSeen_ = 0;
    std::vector<Asked> asked_;  // requests passed on, not yet answered by a frame
    std::map<unsigned, Weld> welds_;  // by write
    std::map<unsigned, LinkFrames> byOpen_;
    int previewSeen_ = 0;  // preview was on at this or the last check
    ULONGLONG previewSeenMs_ = 0;
    // By device: the last install that went out, or a list reply since, carried SEK 0.
    std::map<int, bool> zeroSent_;
    int openCredits_ = 0;
    bool removalSinceOpen_ = false;
    int lastOpenDevice_ = 0;
    std::optional<ULONGLONG> sekZeroSince_;
    unsigned sekZeroOpens_ = 0;

    uint32_t steps_ = 0;
    uint32_t polls_ = 0;
    uint32_t brokenWrites_ = 0;
    uint32_t presses_ = 0;
    uint32_t passed_ = 0;
    uint32_t saves_ = 0;
    uint32_t closes_ = 0;
    uint32_t closesOwing_ = 0;
    uint32_t completions_ = 0;
    uint32_t pollsTaken_ = 0;
    uint32_t bootEdges_ = 0;
    uint32_t restarts_ = 0;
    uint32_t silences_ = 0;
    uint32_t cableCuts_ = 0;
    uint32_t onlineChecks_ = 0;
    uint32_t previewChecks_ = 0;
    long long longestCloseMs_ = 0;
};

}  // namespace

TEST(Soak, RandomFaultSequencesKeepTheLinkSafe) {
    const uint32_t steps = EnvironmentNumber("TAVO_SOAK_STEPS", 100);
    for (const uint32_t seed : Seeds()) {
        Soak soak(seed);
        soak.Run(steps);
        std::printf("soak %s\n", soak.Report().c_str());
        if (soak.Failed()) break;
    }
}
