#include "link/LinkEvents.h"

#include <atomic>
#include <cwchar>

namespace {

std::atomic<int32_t> PreviewFlag{0};

HANDLE CreateNamedEvent(const wchar_t* name) { return CreateEventW(nullptr, TRUE, FALSE, name); }

void CloseEvent(HANDLE& event) {
    if (event) CloseHandle(event);
    event = nullptr;
}

}  // namespace

LinkEvents& TheLinkEvents() {
    static LinkEvents events;
    return events;
}

void CreateLinkEvents() {
    LinkEvents& events = TheLinkEvents();
    events.ApplicationDone = CreateNamedEvent(L"ApplicationDone");
    events.StopRecording = CreateNamedEvent(L"StopRecording");
    events.RecordingDone = CreateNamedEvent(L"RecordingDone");
    events.InterActive = CreateNamedEvent(L"InterActive");
    for (int i = 0; i < CommandEventCount; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"Command %u", static_cast<unsigned>(i));
        events.CommandEvent[i] = CreateNamedEvent(name);
    }
}

void CloseLinkEvents() {
    LinkEvents& events = TheLinkEvents();
    CloseEvent(events.ApplicationDone);
    CloseEvent(events.StopRecording);
    CloseEvent(events.RecordingDone);
    CloseEvent(events.InterActive);
    for (HANDLE& event : events.CommandEvent) CloseEvent(event);
}

int32_t PreviewActive() { return PreviewFlag; }

void SetPreviewActive(int32_t active) { PreviewFlag = active; }
