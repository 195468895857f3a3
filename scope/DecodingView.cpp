#include "scope/DecodingView.h"

#include <windows.h>

#include <mutex>

#include "app/MainWindow.h"
#include "scope/RecordBuffer.h"

bool DecodeHeldRecording() { return TheDecoding().Decode(TheRecord()); }

void AnnounceDecoding() {
    if (HWND window = MainWnd()) SendMessageW(window, WM_APP, APP_REDRAW_DIAGRAM, 0);
}

void DecodeRecording() {
    bool decoded = false;
    {
        std::lock_guard guard(TheRecord().Lock);
        decoded = DecodeHeldRecording();
    }
    // Announced after the lock is released: the window's thread may be
    // trying to take it for a file.
    if (decoded) AnnounceDecoding();
}

bool StepToNextTrigger() { return TheDecoding().StepNext(); }
bool StepToPreviousTrigger() { return TheDecoding().StepPrevious(); }
void ClearDecoding() { TheDecoding().Clear(); }
DecodingState DecodingSnapshot() { return TheDecoding().Snapshot(); }
