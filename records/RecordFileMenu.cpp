#include "records/RecordFileMenu.h"

#include <commdlg.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "app/AppWindow.h"
#include "editors/ParameterBlock.h"
#include "link/LinkEvents.h"
#include "records/RecordFile.h"
#include "scope/RecordingOnScreen.h"
#include "scope/RecordBuffer.h"

namespace {

OPENFILENAMEW RecordFileDialog{};
const wchar_t RecordFilter[] = L"Data Files (*.dat)\0*.dat\0Data Files (*.rec)\0*.rec\0";

void ShowError(const wchar_t* text) { MessageBoxW(MainWnd(), text, L"TAVO", MB_OK | MB_ICONERROR); }

// "<what>:\n<the system's reason>" in an error box.
void ShowSystemError(const wchar_t* what, DWORD error) {
    wchar_t reason[256] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                   static_cast<DWORD>(std::size(reason)), nullptr);
    const std::wstring text = std::wstring(what) + L":\n" + (reason[0] ? reason : L"unknown error");
    ShowError(text.c_str());
}

void ShowBufferMissing() { ShowError(L"There is no memory for recordings: nothing can be saved or loaded."); }
void ShowBufferBusy() { ShowError(L"A recording is being received. Please try again when it is complete."); }
void ShowRecordingArrived() {
    ShowError(L"A recording arrived while the file waited to be loaded; it stays on screen.\n"
              L"Please load the file again.");
}
void ShowPreviewRunning() {
    ShowError(L"Preview is on: the next preview recording would replace the loaded file.\n"
              L"Please switch Preview off first.");
}

// A loaded file would be replaced at once by the recording that is arriving,
// or by the next one of the preview. True (after the box) when that is so.
bool LoadWouldBeReplaced() {
    if (PreviewActive() == 1) {
        ShowPreviewRunning();
        return true;
    }
    if (TheRecord().Receiving) {
        ShowBufferBusy();
        return true;
    }
    return false;
}

void SendTitle(const wchar_t* path) {
    SendToMainWindow(APP_SET_TITLE, reinterpret_cast<LPARAM>(RecordFileName(path)));
}

int RunFileDialog(HWND owner, const wchar_t* title, wchar_t* file, wchar_t* fileTitle, DWORD flags, bool save) {
    RecordFileDialog.hwndOwner = owner;
    RecordFileDialog.lpstrFile = file;
    RecordFileDialog.lpstrFileTitle = fileTitle;
    RecordFileDialog.lpstrTitle = title;
    RecordFileDialog.Flags = flags;
    return save ? GetSaveFileNameW(&RecordFileDialog) : GetOpenFileNameW(&RecordFileDialog);
}

bool WriteAll(HANDLE file, const uint8_t* data, uint32_t size) {
    DWORD written = 0;
    return size == 0 || (WriteFile(file, data, size, &written, nullptr) && written == size);
}

// A temporary file in the directory of `path`, so it can replace `path` in one step.
bool TemporaryFileBeside(const wchar_t* path, wchar_t (&temporary)[MAX_PATH]) {
    std::wstring directory(path);
    const size_t slash = directory.find_last_of(L"\\/");
    directory = slash == std::wstring::npos ? L"." : directory.substr(0, slash + 1);
    return GetTempFileNameW(directory.c_str(), L"tav", 0, temporary) != 0;
}

// Reads the whole file; null (with GetLastError set) when that fails.
std::unique_ptr<uint8_t[]> ReadWholeFile(HANDLE file, uint32_t size) {
    auto data = std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!data) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD read = 0;
    if (!ReadFile(file, data.get(), size, &read, nullptr)) return nullptr;
    if (read != size) {
        SetLastError(ERROR_HANDLE_EOF);
        return nullptr;
    }
    return data;
}

// Takes the file's contents over: block, samples, decoding; then, with the
// record lock released (the window paints under it), the title and the redraw.
void TakeOver(const wchar_t* path, const RecordFileContents& contents) {
    RecordStore& record = TheRecord();
    std::unique_lock guard(record.Lock);
    ApplyRecordFile(contents, record, TheParameterBlock());
    const bool decoded = DecodeHeldRecording();
    guard.unlock();
    SendTitle(path);
    if (decoded) SendToMainWindow(APP_REDRAW_DIAGRAM);
}

}  // namespace

void PrepareRecordFileDialog(HWND owner) {
    RecordFileDialog = {};
    RecordFileDialog.lStructSize = sizeof(RecordFileDialog);
    RecordFileDialog.hwndOwner = owner;
    RecordFileDialog.lpstrFilter = RecordFilter;
    RecordFileDialog.nFilterIndex = 1;
    RecordFileDialog.nMaxFile = MAX_PATH;
    RecordFileDialog.nMaxFileTitle = MAX_PATH;
    RecordFileDialog.lpstrDefExt = L"rec";
}

int ChooseSaveFile(HWND owner, const wchar_t* title, wchar_t* file, wchar_t* fileTitle) {
    return RunFileDialog(owner, title, file, fileTitle, OFN_OVERWRITEPROMPT, true);
}

int ChooseOpenFile(HWND owner, const wchar_t* title, wchar_t* file, wchar_t* fileTitle) {
    return RunFileDialog(owner, title, file, fileTitle, OFN_CREATEPROMPT | OFN_HIDEREADONLY, false);
}

int WriteRecordFile(const wchar_t* path, const uint8_t* samples, uint32_t byteCount, const ParameterBytes* block) {
    wchar_t temporary[MAX_PATH];
    if (!TemporaryFileBeside(path, temporary)) return 0;
    const auto header = RecordFileHeader(block ? *block : TheParameterBlock().Read());
    bool written = false;
    {
        UniqueFile file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        written = file && WriteAll(file.Get(), header.data(), RecordHeaderSize) &&
                  WriteAll(file.Get(), samples, byteCount) && FlushFileBuffers(file.Get());
    }
    // Only a complete file replaces the chosen one.
    if (written && MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 1;
    const DWORD error = GetLastError();
    DeleteFileW(temporary);
    SetLastError(error);
    return 0;
}

namespace {

// The save dialog with the default name of this moment; false when cancelled.
bool AskSaveFileName(wchar_t (&file)[MAX_PATH]) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t fileTitle[MAX_PATH] = L"";
    DefaultRecordFileName(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, file, MAX_PATH);
    return ChooseSaveFile(MainWnd(), L"Save current data", file, fileTitle) != 0;
}

void ReportSave(const wchar_t* file, bool saved) {
    if (!saved) return ShowSystemError(L"The data could not be saved", GetLastError());
    MessageBoxW(MainWnd(), L"Data have been saved", L"TAVO", MB_OK);
    SendTitle(file);
}

// The samples on screen and the block, copied together: preview may put a
// new recording into the buffer while the save dialog is open.
struct ShownRecording {
    std::vector<uint8_t> Samples;
    ParameterBytes Block;
};

bool TakeShownRecording(ShownRecording& shown) {
    RecordStore& record = TheRecord();
    std::lock_guard guard(record.Lock);
    const DecodingState state = DecodingSnapshot();
    const size_t bytes = size_t{state.SampleCount} * SampleSize;
    try {
        shown.Samples.assign(state.SampleStart, state.SampleStart + (state.SampleStart ? bytes : 0));
    } catch (const std::bad_alloc&) {
        return false;
    }
    shown.Block = TheParameterBlock().Read();
    return true;
}

}  // namespace

void SaveCurrentRecording() {
    if (!TheRecord().Buffer) return ShowBufferMissing();
    ShownRecording shown;
    if (!TakeShownRecording(shown)) return ShowError(L"There is no memory to save the recording.");
    wchar_t file[MAX_PATH];
    if (!AskSaveFileName(file)) return;
    const bool saved = WriteRecordFile(file, shown.Samples.data(), static_cast<uint32_t>(shown.Samples.size()),
                                       &shown.Block);
    ReportSave(file, saved);
}

int LoadRecord(const wchar_t* path) {
    UniqueFile file(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    LARGE_INTEGER size{};
    const RecordKind kind = RecordKindOf(path);
    if (!GetFileSizeEx(file.Get(), &size) || !RecordFileSizeAcceptable(kind, size.QuadPart)) return 1;
    if (!TheRecord().Buffer) {
        ShowBufferMissing();
        return 1;
    }
    const auto data = ReadWholeFile(file.Get(), static_cast<uint32_t>(size.QuadPart));
    if (!data) {
        ShowSystemError(L"The file could not be read", GetLastError());
        return 1;
    }
    const RecordFileContents contents = ParseRecordFile(kind, data.get(), size.QuadPart);
    if (!contents.Loadable) return 1;
    // Refused before the warning, which announces that the block is replaced.
    if (LoadWouldBeReplaced()) return 1;
    if (contents.Parameters && !TheParameterBlock().Equals(contents.Parameters)) {
        const uint32_t published = TheRecord().Publications;
        MessageBoxW(MainWnd(), L"Parameter mismatch", L"TAVO", MB_OK | MB_ICONWARNING);
        // The box waited for the operator: look again before anything is replaced.
        if (LoadWouldBeReplaced()) return 1;
        if (TheRecord().Publications != published) {
            ShowRecordingArrived();
            return 1;
        }
    }
    TakeOver(path, contents);
    return 1;
}

void LoadRecordWithDialog() {
    wchar_t file[MAX_PATH] = L"";
    wchar_t fileTitle[MAX_PATH] = L"";
    if (ChooseOpenFile(MainWnd(), L"Daten laden", file, fileTitle)) LoadRecord(file);
}
