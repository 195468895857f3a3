#include "app/Application.h"

#include <commctrl.h>

#include <clocale>
#include <cwchar>

#include "link/LinkEvents.h"
#include "app/MainWindow.h"
#include "app/ScreenCheck.h"
#include "app/SingleInstance.h"
#include "editors/ParameterBlock.h"
#include "link/Link.h"
#include "link/PreviewGuard.h"
#include "settings/Conversions.h"
#include "scope/RecordingOnScreen.h"
#include "scope/RecordBuffer.h"
#include "settings/ProfileFile.h"
#include "settings/Settings.h"
#include "app/StatusBar.h"

namespace {

HACCEL Accelerators = nullptr;
wchar_t NameParamFile[MAX_PATH] = {};

// The directory of the running executable with its closing backslash.
void BuildSettingsPath() {
    const DWORD length = GetModuleFileNameW(nullptr, NameParamFile, MAX_PATH);
    NameParamFile[length < MAX_PATH ? length : MAX_PATH - 1] = L'\0';
    wchar_t* slash = std::wcsrchr(NameParamFile, L'\\');
    if (slash) slash[1] = L'\0';
    const size_t used = std::wcslen(NameParamFile);
    std::wcsncat(NameParamFile, L"Tavo.ini", MAX_PATH - 1 - used);
}

// The record buffer and, beside it, the one receptions fill: a reception
// that stops partway never touches the recording on screen.
void AllocateRecordBuffer() {
    RecordStore& record = TheRecord();
    record.Buffer = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, RecordBufferSize));
    record.Length = 0;
    if (record.Buffer) {
        FillMemory(record.Buffer, RecordBufferSize, RecordBufferFill);
        record.Reception = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, RecordBufferSize));
    }
}

void FreeRecordBuffer() {
    RecordStore& record = TheRecord();
    for (uint8_t** buffer : {&record.Reception, &record.Buffer}) {
        if (*buffer) HeapFree(GetProcessHeap(), 0, *buffer);
        *buffer = nullptr;
    }
    record.Length = 0;
}

// The SEK an earlier preview left owed to each controller (by serial
// number), kept in a section of Tavo.ini that nothing else reads or
// rewrites, so that the next TAVO puts it back.
constexpr wchar_t OwedSekSection[] = L"Owed SEK";

OwedSek ReadOwedSek() {
    OwedSek owed;
    for (const auto& [serial, text] : ProfileFile(NameParamFile).Section(OwedSekSection)) {
        uint8_t sek = 0;
        if (!serial.empty() && serial.size() < 16 && TextToByte(text.c_str(), &sek) && sek != 0)
            owed[std::string(serial.begin(), serial.end())] = sek;
    }
    return owed;
}

void WriteOwedSek(const OwedSek& owed) {
    ProfileFile::Entries entries;
    for (const auto& [serial, sek] : owed)
        entries.emplace_back(std::wstring(serial.begin(), serial.end()), std::to_wstring(sek));
    ProfileFile(NameParamFile).PutSection(OwedSekSection, entries);
}

}  // namespace

bool StartApplication(HINSTANCE instance, int* exitCode) {
    if (!CheckScreenResolution()) {
        *exitCode = ExitScreenTooSmall;
        return false;
    }
    // A second TAVO of this session ends here, before it opens any event.
    if (!ClaimSingleInstance()) {
        *exitCode = ExitNormal;
        return false;
    }
    SetAppInstance(instance);
    Accelerators = LoadAcceleratorsW(instance, L"ACCEL");
    // Numbers are formatted and parsed with a decimal comma everywhere.
    std::setlocale(LC_ALL, "German");
    SetPreviewActive(0);
    CreateLinkEvents();
    BuildSettingsPath();
    Settings& settings = AppSettings();
    ResetChannelTable(settings);
    if (!LoadSettings(NameParamFile)) {
        MessageBoxW(nullptr, L"Fehler beim Einlesen der Parameter aus Tavo.ini", L"TAVO", MB_OK | MB_ICONERROR);
        *exitCode = ExitSettingsUnreadable;
        // Named events left open would keep their state for a later start
        // in this process (a set "ApplicationDone" would end its worker).
        CloseLinkEvents();
        ReleaseSingleInstance();
        return false;
    }
    ClearDecoding();

    INITCOMMONCONTROLSEX controls{sizeof(controls), 0x28FF};
    InitCommonControlsEx(&controls);
    TheParameterBlock().Clear();
    RegisterMainWindowClass(instance);
    HWND window = CreateMainWindow(instance);
    SetMainWnd(window);
    ThePreviewGuard().Restore(ReadOwedSek());
    SetUserIsAdmin(IsUserAdministrator());
    ShowWindow(window, SW_SHOWMAXIMIZED);
    UpdateWindow(window);
    SendMessageW(window, WM_APP, APP_SET_TITLE, 0);
    AllocateRecordBuffer();
    SetTimer(window, TimerClock, 1000, nullptr);
    SetTimer(window, TimerStartWorker, 1000, nullptr);
    *exitCode = ExitNormal;
    return true;
}

// Accelerators act only on messages for the main window itself: letters typed
// into a dialog's controls are that dialog's. No message goes through dialog
// keyboard handling, so Enter in a dialog never presses its OK button (the
// parameter dialog's OK would install the parameters in the controller).
void DispatchAppMessage(MSG& message) {
    HWND mainWindow = MainWnd();
    HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root && root == mainWindow && Accelerators && TranslateAcceleratorW(mainWindow, Accelerators, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

int RunMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchAppMessage(message);
    return static_cast<int>(message.wParam);
}

int ShutDownApplication(int loopExitCode) {
    UnregisterClassW(L"TAVO", AppInstance());
    SetMainWnd(nullptr);
    SaveAppSettings();
    // A worker that did not end within the close wait may still use the
    // buffer and the events: then they are left to the end of the process.
    if (!LinkWorkerRunning()) {
        FreeRecordBuffer();
        CloseLinkEvents();
        // Only now may a new TAVO start: it reads the written Tavo.ini and
        // makes fresh events.
        ReleaseSingleInstance();
    }
    return loopExitCode;
}

void SaveAppSettings() {
    SaveSettings(NameParamFile);
    WriteOwedSek(ThePreviewGuard().Owed());
}

int RunTavo(HINSTANCE instance) {
    int startCode = ExitNormal;
    if (!StartApplication(instance, &startCode)) return startCode;
    const int exitCode = ShutDownApplication(RunMessageLoop());
    // A worker that outlasted the close wait (a write blocking in the driver)
    // must not run on while the process tears down what it uses: Tavo.ini is
    // written, so the process ends here, worker and all.
    if (LinkWorkerRunning()) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    return exitCode;
}
