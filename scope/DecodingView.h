// The decoding as the program's threads use it: after a reception or a load,
// on the arrow keys, and when painting.
#pragma once

#include "scope/Decoding.h"

// Decodes the record buffer and, when a run was found, tells the main window
// to redraw the diagram (a blocking send). Used by the communication worker.
void DecodeRecording();
// The same in two halves, for a caller that already holds TheRecord().Lock:
// decode under the lock, then announce after releasing it.
bool DecodeHeldRecording();
void AnnounceDecoding();

// The arrow keys; true when the view moved to another trigger.
bool StepToNextTrigger();
bool StepToPreviousTrigger();

// Start-up: no recording yet.
void ClearDecoding();
DecodingState DecodingSnapshot();
