// The decoding as the program's threads use it: after a reception or a load,
// on the arrow keys, and when painting.
#pragma once

#include "scope/Decoding.h"

// Takes a reception that ended by silence over as the recording: the first
// `length` bytes of the reception buffer are copied into the record buffer
// and decoded, and the main window is told to redraw the diagram (a blocking
// send, after the lock is released). Used by the communication worker.
void PublishReception(uint32_t length);
// For a caller that holds TheRecord().Lock and has just changed the record
// buffer: decodes it. When the buffer holds no run any more, the view is
// cleared too, so no trace shows bytes that are no recording. True when the
// diagram must be redrawn; announce that after releasing the lock.
bool DecodeHeldRecording();
void AnnounceDecoding();

// The arrow keys; true when the view moved to another trigger.
bool StepToNextTrigger();
bool StepToPreviousTrigger();

// Start-up: no recording yet.
void ClearDecoding();
DecodingState DecodingSnapshot();
