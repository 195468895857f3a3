// Runs the real TAVO application inside a test process: start-up with the
// default Tavo.ini beside the test executable, the message loop driven by the
// test, and the close path. Message boxes are caught and dismissed.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace harness {

// The directory of the test executable, with its closing backslash.
std::wstring ExecutableDirectory();
// Copies the default settings shipped beside the tests to Tavo.ini.
void RestoreDefaultSettings();
std::wstring ReadTextFile(const std::wstring& path);
void WriteTextFile(const std::wstring& path, const std::string& text);
// A file's bytes (empty when it cannot be read), and a whole file written.
std::vector<uint8_t> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
// A path in the temporary folder.
std::wstring TempPath(const wchar_t* name);

// Dispatches the thread's messages as the program's loop does, for `ms`.
void Pump(DWORD ms);
// Pumps until `done` answers true or `timeoutMs` passes; the last answer.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

enum class BoxIcon { None, Error, Warning, Information, Other };

struct CaughtBox {
    std::wstring caption;
    std::wstring text;
    BoxIcon icon = BoxIcon::None;
};

// Watches the process's top-level windows from a thread of its own and
// answers message boxes captioned "TAVO" with their first button, recording
// what they said. Further dialogs can be answered by caption.
class DialogCatcher {
public:
    DialogCatcher();
    ~DialogCatcher();
    DialogCatcher(const DialogCatcher&) = delete;
    DialogCatcher& operator=(const DialogCatcher&) = delete;

    std::vector<CaughtBox> Boxes() const;
    void Clear();
    // Waits (pumping the calling thread) until `count` boxes were caught.
    bool WaitForBoxes(size_t count, DWORD timeoutMs);
    // Runs `answer` on the catcher's thread for each new top-level dialog
    // with this caption (for example a file dialog).
    void Answer(const std::wstring& caption, std::function<void(HWND)> answer);

private:
    void Watch();
    void Look(HWND window);

    mutable std::mutex lock_;
    std::vector<CaughtBox> boxes_;
    std::vector<std::pair<std::wstring, std::function<void(HWND)>>> answers_;
    std::vector<HWND> handled_;
    bool stop_ = false;
    std::thread thread_;
};

// The application from start-up to shutdown.
class TavoApp {
public:
    // Starts with the default settings unless `keepSettings`; `startWorker`
    // false stops timer 1, so no communication worker is started.
    explicit TavoApp(bool startWorker = false, bool keepSettings = false);
    ~TavoApp();
    TavoApp(const TavoApp&) = delete;
    TavoApp& operator=(const TavoApp&) = delete;

    bool Started() const { return started_; }
    int StartExitCode() const { return startExitCode_; }
    HWND Window() const;
    // Sends WM_CLOSE and runs the loop to its end; the shutdown's exit code.
    int Close();

private:
    bool started_ = false;
    bool closed_ = false;
    int startExitCode_ = 0;
};

// A drop of the given paths, as the shell hands it to a window with WM_DROPFILES.
HDROP MakeDrop(const std::vector<std::wstring>& paths);

std::wstring WindowText(HWND window);
// The colour in the middle of the status bar's state field, as on screen.
COLORREF StatePixel();
UINT MenuState(HWND window, UINT id);
bool MenuEnabled(HWND window, UINT id);
// Types a character as the keyboard would: key down, character, key up,
// each through the program's dispatch.
void TypeCharacter(HWND target, wchar_t character);
void PressKey(HWND target, UINT virtualKey);
// Answers a file dialog by typing the path into its file name box and pressing OK.
void AnswerFileDialog(HWND dialog, const std::wstring& path);

}  // namespace harness
