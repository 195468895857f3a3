#include "tests/ui/AppHarness.h"

#include <shlobj.h>

#include <fstream>
#include <sstream>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"

namespace harness {

std::wstring ExecutableDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path);
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

void RestoreDefaultSettings() {
    const std::wstring directory = ExecutableDirectory();
    CopyFileW((directory + L"DefaultTavo.ini").c_str(), (directory + L"Tavo.ini").c_str(), FALSE);
}

std::wstring ReadTextFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) bytes.append(chunk, read);
    CloseHandle(file);
    return std::wstring(bytes.begin(), bytes.end());
}

void WriteTextFile(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<uint8_t> ReadBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring TempPath(const wchar_t* name) {
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    return std::wstring(directory) + name;
}

void Pump(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return done();
            }
            DispatchAppMessage(message);
        }
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)),
                                  QS_ALLINPUT);
    }
}

// --- DialogCatcher ------------------------------------------------------------

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BoxIcon IconOf(HWND box) {
    // The message box's icon is a static control; its icon is one of the shared system icons.
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const HICON icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        if (!icon) continue;
        if (icon == LoadIconW(nullptr, IDI_ERROR)) return BoxIcon::Error;
        if (icon == LoadIconW(nullptr, IDI_WARNING)) return BoxIcon::Warning;
        if (icon == LoadIconW(nullptr, IDI_INFORMATION)) return BoxIcon::Information;
        return BoxIcon::Other;
    }
    return BoxIcon::None;
}

}  // namespace

DialogCatcher::DialogCatcher() : thread_([this] { Watch(); }) {}

DialogCatcher::~DialogCatcher() {
    {
        std::lock_guard guard(lock_);
        stop_ = true;
    }
    thread_.join();
}

std::vector<CaughtBox> DialogCatcher::Boxes() const {
    std::lock_guard guard(lock_);
    return boxes_;
}

void DialogCatcher::Clear() {
    std::lock_guard guard(lock_);
    boxes_.clear();
}

bool DialogCatcher::WaitForBoxes(size_t count, DWORD timeoutMs) {
    return PumpUntil([&] { return Boxes().size() >= count; }, timeoutMs);
}

void DialogCatcher::Answer(const std::wstring& caption, std::function<void(HWND)> answer) {
    std::lock_guard guard(lock_);
    answers_.emplace_back(caption, std::move(answer));
}

void DialogCatcher::Watch() {
    for (;;) {
        {
            std::lock_guard guard(lock_);
            if (stop_) return;
        }
        EnumWindows(
            [](HWND window, LPARAM self) -> BOOL {
                reinterpret_cast<DialogCatcher*>(self)->Look(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(this));
        Sleep(10);
    }
}

void DialogCatcher::Look(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || ClassOf(window) != L"#32770") return;
    const std::wstring caption = WindowText(window);
    std::function<void(HWND)> answer;
    {
        std::lock_guard guard(lock_);
        for (HWND done : handled_)
            if (done == window) return;
        for (auto& [wanted, action] : answers_)
            if (wanted == caption) answer = action;
        if (!answer && caption != L"TAVO") return;
        handled_.push_back(window);
    }
    if (answer) return answer(window);
    wchar_t text[1024] = {};
    GetDlgItemTextW(window, 0xFFFF, text, 1024);
    {
        std::lock_guard guard(lock_);
        boxes_.push_back({caption, text, IconOf(window)});
    }
    // Message boxes end with IDOK (a plain OK box) or their first button.
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
}

// --- TavoApp --------------------------------------------------------------------

TavoApp::TavoApp(bool startWorker, bool keepSettings) {
    if (!keepSettings) RestoreDefaultSettings();
    started_ = StartApplication(GetModuleHandleW(nullptr), &startExitCode_);
    if (started_ && !startWorker) KillTimer(Window(), TimerStartWorker);
    if (started_) Pump(50);
}

TavoApp::~TavoApp() {
    if (started_ && !closed_) Close();
}

HWND TavoApp::Window() const { return MainWnd(); }

int TavoApp::Close() {
    closed_ = true;
    if (HWND window = Window()) PostMessageW(window, WM_CLOSE, 0, 0);
    // The close ends in WM_QUIT; run the loop until then.
    MSG message{};
    BOOL got = 0;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) DispatchAppMessage(message);
    // The loop's own outcome: WM_QUIT's exit value, or -1 when the loop failed.
    return ShutDownApplication(got == 0 ? static_cast<int>(message.wParam) : -1);
}

HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    size_t characters = 1;
    for (const auto& path : paths) characters += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& path : paths) {
        std::wmemcpy(names, path.c_str(), path.size() + 1);
        names += path.size() + 1;
    }
    *names = L'\0';
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

UINT MenuState(HWND window, UINT id) { return GetMenuState(GetMenu(window), id, MF_BYCOMMAND); }

bool MenuEnabled(HWND window, UINT id) { return (MenuState(window, id) & (MF_GRAYED | MF_DISABLED)) == 0; }

void TypeCharacter(HWND target, wchar_t character) {
    const SHORT scan = VkKeyScanW(character);
    const UINT key = LOBYTE(scan);
    const LPARAM lParam = 1 | (MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16);
    MSG down{target, WM_KEYDOWN, key, lParam, 0, {}};
    DispatchAppMessage(down);  // the loop's translation posts the character
    Pump(20);
    MSG up{target, WM_KEYUP, key, lParam | (1u << 30) | (1u << 31), 0, {}};
    DispatchAppMessage(up);
    Pump(20);
}

void PressKey(HWND target, UINT virtualKey) {
    const LPARAM lParam = 1 | (MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC) << 16);
    MSG down{target, WM_KEYDOWN, virtualKey, lParam, 0, {}};
    DispatchAppMessage(down);
    Pump(20);
}

void AnswerFileDialog(HWND dialog, const std::wstring& path) {
    HWND edit = nullptr;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM found) -> BOOL {
            wchar_t name[32] = {};
            GetClassNameW(child, name, 32);
            if (_wcsicmp(name, L"Edit") != 0 || !IsWindowVisible(child)) return TRUE;
            *reinterpret_cast<HWND*>(found) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&edit));
    if (edit) SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

COLORREF StatePixel() {
    HWND status = StatusBarWindow();
    const RECT field = StatusBarPartRect(PartState);
    HDC dc = GetDC(status);
    const COLORREF colour = GetPixel(dc, (field.left + field.right) / 2, (field.top + field.bottom) / 2);
    ReleaseDC(status, dc);
    return colour;
}

}  // namespace harness
