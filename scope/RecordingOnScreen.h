// The recording on screen, as the program's threads reach it: a finished
// reception or a loaded file taken over and decoded, the arrow keys' trigger
// steps, the snapshot painting draws from. The window-side half of scope/:
// the rules themselves are scope/Decoding.h.
#pragma once

#include <cstdint>

#include "scope/Decoding.h"

// Takes a reception that ended by silence over as the recording: the first
// `length` bytes of the reception buffer are copied into the record buffer
// and decoded under the record lock. True when the diagram must be redrawn;
// the caller says so (the worker through its reporter).
bool PublishReception(uint32_t length);
// For a caller that holds TheRecord().Lock and has just changed the record
// buffer: decodes it. When the buffer holds no run any more, the view is
// cleared too, so no trace shows bytes that are no recording. True when the
// diagram must be redrawn; announce that after releasing the lock.
bool DecodeHeldRecording();

// The arrow keys; true when the view moved to another trigger.
bool StepToNextTrigger();
bool StepToPreviousTrigger();

// Start-up: no recording yet.
void ClearDecoding();
DecodingState DecodingSnapshot();
