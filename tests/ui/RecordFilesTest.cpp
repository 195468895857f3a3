#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <cstring>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "app/Application.h"
#include "link/LinkEvents.h"
#include "link/Link.h"
#include "editors/ParameterBlock.h"
#include "records/RecordFile.h"
#include "records/RecordFileMenu.h"
#include "resources/resource.h"
#include "scope/RecordingOnScreen.h"
#include "scope/RecordBuffer.h"
#include "settings/Settings.h"
#include "tests/support/Samples.h"
#include "tests/ui/AppHarness.h"

using namespace harness;

namespace {

// Samples with a KI pulse every 150 samples crossing 500.
std::vector<uint8_t> Samples(uint32_t count) {
    return samples::Make(count, [](uint32_t i, int id) -> int16_t {
        return id == 8 && (i % 150) > 100 && (i % 150) < 120 ? 1500 : 0;
    });
}

// Puts samples into the reception buffer and publishes them, as the worker
// does after a reception.
void Receive(const std::vector<uint8_t>& bytes) {
    std::memcpy(TheRecord().Reception, bytes.data(), bytes.size());
    PublishReception(static_cast<uint32_t>(bytes.size()));
}

void SetField(uint8_t offset, int32_t value) {
    for (const auto& field : ParameterFields)
        if (field.Offset == offset) TheParameterBlock().WriteField(field, value);
}

// Saves 200 samples with TA 111 in the block, then edits TA to 222, so that
// loading the file meets a block that differs; empty when the save failed.
std::wstring SaveThenEditTheBlock(const wchar_t* name) {
    SetField(OffsetTA, 111);
    Receive(Samples(200));
    const DecodingState state = DecodingSnapshot();
    const std::wstring path = TempPath(name);
    if (!WriteRecordFile(path.c_str(), state.SampleStart, state.SampleCount * SampleSize)) return {};
    SetField(OffsetTA, 222);
    return path;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

const wchar_t* PlainTitle() { return IsUserAdministrator() ? L"Tavo (Administrator)" : L"Tavo"; }

class RecordFiles : public ::testing::Test {
protected:
    DialogCatcher catcher;
    TavoApp app;
    void SetUp() override {
        AppSettings().TriggerChannel = 8;
        AppSettings().TriggerMode = TriggerRise;
        AppSettings().Threshold = 500;
        AppSettings().PreEvent = 50;
        AppSettings().PostEvent = 100;
    }
};

}  // namespace

TEST_F(RecordFiles, SaveThenLoadGivesTheSameRecordingWithoutWarning) {
    SetField(OffsetTA, 900);
    Receive(Samples(1000));
    const DecodingState before = DecodingSnapshot();
    ASSERT_EQ(before.SampleCount, 1000u);
    ASSERT_GT(before.TriggerCount, 2u);
    const ParameterBytes block = TheParameterBlock().Read();

    const std::wstring path = TempPath(L"tavo-save-load.rec");
    ASSERT_EQ(WriteRecordFile(path.c_str(), before.SampleStart, before.SampleCount * SampleSize), 1);
    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_EQ(file.size(), 68u + 32u * 1000u);
    EXPECT_EQ(std::memcmp(file.data(), "TAVO", 4), 0);
    EXPECT_EQ(std::memcmp(file.data() + 4, block.data(), 64), 0);

    Receive(Samples(10));  // something else in memory meanwhile
    EXPECT_EQ(LoadRecord(path.c_str()), 1);
    EXPECT_TRUE(catcher.Boxes().empty()) << "the same block gives no warning";
    const DecodingState after = DecodingSnapshot();
    EXPECT_EQ(after.SampleCount, before.SampleCount);
    EXPECT_EQ(after.TriggerCount, before.TriggerCount);
    EXPECT_EQ(after.CurrentTrigger, 1u);
    EXPECT_EQ(std::memcmp(after.SampleStart, file.data() + 68, 32000), 0);
    EXPECT_EQ(WindowText(app.Window()), std::wstring(PlainTitle()) + L"  tavo-save-load.rec");
    DeleteFileW(path.c_str());
}

TEST_F(RecordFiles, AnEditedBlockIsWarnedAboutAndReplacedByTheFilesBlock) {
    const std::wstring path = SaveThenEditTheBlock(L"tavo-mismatch.rec");
    ASSERT_FALSE(path.empty());
    LoadRecord(path.c_str());
    ASSERT_TRUE(catcher.WaitForBoxes(1, 5000));
    EXPECT_EQ(catcher.Boxes()[0].text, L"Parameter mismatch");
    EXPECT_EQ(catcher.Boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(TheParameterBlock().ReadSigned16(OffsetTA), 111);
    DeleteFileW(path.c_str());
}

TEST_F(RecordFiles, ARecordingPublishedWhileTheMismatchBoxWaitsStaysAndTheLoadIsRefused) {
    const std::wstring path = SaveThenEditTheBlock(L"tavo-meanwhile.rec");
    ASSERT_FALSE(path.empty());
    std::mutex lock;
    std::vector<std::wstring> said;
    catcher.Answer(L"TAVO", [&](HWND box) {
        wchar_t text[256] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 256);
        if (std::wstring(text) == L"Parameter mismatch") Receive(Samples(77));  // a recording arrives meanwhile
        {
            std::lock_guard guard(lock);
            said.push_back(text);
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(LoadRecord(path.c_str()), 1);
    ASSERT_TRUE(PumpUntil([&] { std::lock_guard guard(lock); return said.size() == 2; }, 5000));
    EXPECT_EQ(said[1].rfind(L"A recording arrived while the file waited to be loaded", 0), 0u) << Narrow(said[1]);
    EXPECT_EQ(DecodingSnapshot().SampleCount, 77u) << "the recording that arrived stays on screen";
    EXPECT_EQ(TheParameterBlock().ReadSigned16(OffsetTA), 222) << "nothing of the file was taken";
    DeleteFileW(path.c_str());
}

TEST_F(RecordFiles, ATriggerStepWaitsWhileTheRecordingIsReplaced) {
    Receive(Samples(1000));
    std::unique_lock publishing(TheRecord().Lock);  // as a reception being published holds it
    std::atomic<bool> stepped{false};
    std::thread step([&] {
        StepToNextTrigger();
        stepped = true;
    });
    Sleep(200);
    EXPECT_FALSE(stepped) << "the step read the samples while they were being replaced";
    publishing.unlock();
    step.join();
    EXPECT_TRUE(stepped);
}

TEST_F(RecordFiles, DuringAReceptionOrPreviewALoadIsRefusedWithOneBoxAndChangesNothing) {
    const std::wstring path = SaveThenEditTheBlock(L"tavo-busy.rec");
    ASSERT_FALSE(path.empty());
    Receive(Samples(50));
    const std::wstring title = WindowText(app.Window());
    struct Case {
        const char* name;
        std::atomic<bool>* receiving;
        int32_t preview;
        const wchar_t* says;
    };
    const Case cases[] = {
        {"reception", &TheRecord().Receiving, 0, L"A recording is being received"},
        {"preview", nullptr, 1, L"Preview is on"},
    };
    for (const Case& c : cases) {
        catcher.Clear();
        if (c.receiving) *c.receiving = true;
        SetPreviewActive(c.preview);
        EXPECT_EQ(LoadRecord(path.c_str()), 1) << c.name;
        if (c.receiving) *c.receiving = false;
        SetPreviewActive(0);

        ASSERT_TRUE(catcher.WaitForBoxes(1, 5000)) << c.name;
        ASSERT_EQ(catcher.Boxes().size(), 1u) << c.name << ": no \"Parameter mismatch\" for a block not taken over";
        EXPECT_EQ(catcher.Boxes()[0].icon, BoxIcon::Error) << c.name;
        EXPECT_EQ(catcher.Boxes()[0].text.rfind(c.says, 0), 0u) << c.name;
        EXPECT_EQ(TheParameterBlock().ReadSigned16(OffsetTA), 222) << c.name;
        EXPECT_EQ(DecodingSnapshot().SampleCount, 50u) << c.name;
        EXPECT_EQ(WindowText(app.Window()), title) << c.name;
    }
    DeleteFileW(path.c_str());
}

TEST_F(RecordFiles, RejectedFilesChangeNothingAndSayNothing) {
    SetField(OffsetTA, 77);
    Receive(Samples(300));
    const DecodingState state = DecodingSnapshot();
    const std::wstring good = TempPath(L"tavo-good.rec");
    ASSERT_EQ(WriteRecordFile(good.c_str(), state.SampleStart, 64 * SampleSize), 1);
    const std::vector<uint8_t> bytes = ReadBytes(good);
    const std::wstring title = WindowText(app.Window());

    std::vector<std::pair<std::wstring, std::vector<uint8_t>>> rejected;
    rejected.push_back({TempPath(L"tavo-upper.REC"), bytes});
    rejected.push_back({TempPath(L"tavo-mixed.Rec"), bytes});
    rejected.push_back({TempPath(L"tavo-noextension"), bytes});
    auto badMagic = bytes;
    badMagic[3] = 'o';
    rejected.push_back({TempPath(L"tavo-magic.rec"), badMagic});
    rejected.push_back({TempPath(L"tavo-short.rec"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 67)});
    rejected.push_back({TempPath(L"tavo-tiny.dat"), {'G', 0, 0}});
    rejected.push_back({TempPath(L"tavo-huge.dat"), std::vector<uint8_t>(RecordBufferSize, 'G')});
    SetField(OffsetTA, 55);  // a different block: a loaded .rec would warn
    const ParameterBytes edited = TheParameterBlock().Read();
    for (const auto& [path, content] : rejected) {
        WriteBytes(path, content);
        EXPECT_EQ(LoadRecord(path.c_str()), 1);
        DeleteFileW(path.c_str());
        const DecodingState now = DecodingSnapshot();
        EXPECT_EQ(now.SampleStart, state.SampleStart);
        EXPECT_EQ(now.SampleCount, state.SampleCount) << std::string(path.begin(), path.end());
        EXPECT_EQ(TheParameterBlock().Read(), edited);
        EXPECT_EQ(WindowText(app.Window()), title);
    }
    EXPECT_TRUE(catcher.Boxes().empty());
    EXPECT_EQ(LoadRecord(TempPath(L"tavo-does-not-exist.rec").c_str()), 0);
    DeleteFileW(good.c_str());
}

TEST_F(RecordFiles, DatFilesUpToJustBelowTheBufferSizeLoadAsRawStreams) {
    const ParameterBytes block = TheParameterBlock().Read();
    std::vector<uint8_t> stream = Samples(RecordBufferSize / SampleSize);
    stream.resize(RecordBufferSize - 1);  // 0x83FFFF bytes
    stream.insert(stream.begin(), 0x13);  // a junk byte before the first G
    stream.pop_back();
    const std::wstring path = TempPath(L"tavo-raw.dat");
    WriteBytes(path, stream);
    EXPECT_EQ(LoadRecord(path.c_str()), 1);
    EXPECT_EQ(TheRecord().Length.load(), RecordBufferSize - 1);
    const DecodingState state = DecodingSnapshot();
    EXPECT_EQ(state.SampleStart, TheRecord().Buffer) << "the odd first byte is shifted away";
    EXPECT_EQ(state.SampleCount, (RecordBufferSize - 2) / SampleSize) << "every whole sample of the stream";
    EXPECT_EQ(TheParameterBlock().Read(), block) << ".dat files carry no block";
    DeleteFileW(path.c_str());
}

TEST_F(RecordFiles, ASaveThatCannotBeWrittenIsReportedAndLeavesNoFile) {
    Receive(Samples(100));
    const std::wstring target = TempPath(L"tavo-missing-dir\\weld.rec");
    catcher.Answer(L"Save current data", [&](HWND dialog) { AnswerFileDialog(dialog, target); });
    PostMessageW(app.Window(), WM_COMMAND, IDM_SAVE_DATA, 0);
    ASSERT_TRUE(catcher.WaitForBoxes(1, 10000));
    const CaughtBox box = catcher.Boxes()[0];
    EXPECT_EQ(box.icon, BoxIcon::Error);
    EXPECT_EQ(box.text.rfind(L"The data could not be saved:\n", 0), 0u) << std::string(box.text.begin(), box.text.end());
    EXPECT_EQ(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(RecordFiles, SaveAndLoadThroughTheFileMenu) {
    Receive(Samples(400));
    const std::wstring path = TempPath(L"tavo-menu.rec");
    DeleteFileW(path.c_str());
    catcher.Answer(L"Save current data", [&](HWND dialog) { AnswerFileDialog(dialog, path); });
    PostMessageW(app.Window(), WM_COMMAND, IDM_SAVE_DATA, 0);
    ASSERT_TRUE(catcher.WaitForBoxes(1, 10000));
    EXPECT_EQ(catcher.Boxes()[0].text, L"Data have been saved");
    EXPECT_EQ(catcher.Boxes()[0].icon, BoxIcon::None);
    EXPECT_EQ(ReadBytes(path).size(), 68u + 400u * 32u);
    EXPECT_EQ(WindowText(app.Window()), std::wstring(PlainTitle()) + L"  tavo-menu.rec");

    SendMessageW(app.Window(), WM_COMMAND, IDM_DEBUG, 0);  // enables Save Data
    ResetEvent(TheLinkEvents().CommandEvent[0]);
    Receive(Samples(20));
    catcher.Answer(L"Daten laden", [&](HWND dialog) { AnswerFileDialog(dialog, path); });
    PostMessageW(app.Window(), WM_COMMAND, IDM_LOAD_DATA, 0);
    ASSERT_TRUE(PumpUntil([] { return DecodingSnapshot().SampleCount == 400; }, 10000));
    EXPECT_FALSE(MenuEnabled(app.Window(), IDM_SAVE_DATA));
    DeleteFileW(path.c_str());
}

TEST_F(RecordFiles, ADroppedFileIsLoadedAndTheArrowsStepThroughItsTriggers) {
    Receive(Samples(1200));
    const DecodingState state = DecodingSnapshot();
    const std::wstring path = TempPath(L"tavo-dropped.rec");
    ASSERT_EQ(WriteRecordFile(path.c_str(), state.SampleStart, state.SampleCount * SampleSize), 1);
    Receive(Samples(10));

    SendMessageW(app.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({path})), 0);
    EXPECT_EQ(WindowText(app.Window()), std::wstring(PlainTitle()) + L"  tavo-dropped.rec");
    const DecodingState loaded = DecodingSnapshot();
    ASSERT_EQ(loaded.SampleCount, 1200u);
    ASSERT_EQ(loaded.CurrentTrigger, 1u);
    ASSERT_GE(loaded.TriggerCount, 3u);

    SetFocus(app.Window());
    PressKey(app.Window(), VK_RIGHT);
    EXPECT_EQ(DecodingSnapshot().CurrentTrigger, 2u);
    EXPECT_GT(DecodingSnapshot().ViewStart, loaded.ViewStart);
    PressKey(app.Window(), VK_LEFT);
    EXPECT_EQ(DecodingSnapshot().CurrentTrigger, 1u);
    // Past the last trigger the right arrow finds nothing: the counter stays
    // and nothing is left to draw until the next successful step.
    for (uint32_t i = 0; i < loaded.TriggerCount + 2; ++i) PressKey(app.Window(), VK_RIGHT);
    const DecodingState end = DecodingSnapshot();
    PressKey(app.Window(), VK_RIGHT);
    EXPECT_EQ(DecodingSnapshot().CurrentTrigger, end.CurrentTrigger);
    EXPECT_EQ(DecodingSnapshot().ViewStart, end.ViewStart);
    EXPECT_EQ(DecodingSnapshot().ViewCount, 0u);
    DeleteFileW(path.c_str());
}

TEST_F(RecordFiles, WithoutARecordBufferSavingAndLoadingTellTheOperator) {
    RecordStore& record = TheRecord();
    uint8_t* buffer = record.Buffer;
    record.Buffer = nullptr;
    const std::wstring path = TempPath(L"tavo-nobuffer.dat");
    WriteBytes(path, Samples(10));
    PostMessageW(app.Window(), WM_COMMAND, IDM_SAVE_DATA, 0);
    ASSERT_TRUE(catcher.WaitForBoxes(1, 5000));
    EXPECT_EQ(LoadRecord(path.c_str()), 1);
    ASSERT_TRUE(catcher.WaitForBoxes(2, 5000));
    record.Buffer = buffer;
    for (const CaughtBox& box : catcher.Boxes()) {
        EXPECT_EQ(box.text, L"There is no memory for recordings: nothing can be saved or loaded.");
        EXPECT_EQ(box.icon, BoxIcon::Error);
    }
    EXPECT_EQ(DecodingSnapshot().SampleCount, 0u);
    DeleteFileW(path.c_str());
}
