// The buffer that receives recordings and loaded record files.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

constexpr uint32_t RecordBufferSize = 0x840000;  // 8.25 MiB
constexpr uint8_t RecordBufferFill = 0x44;       // every byte after allocation

struct RecordStore {
    // The recording on screen. Null when the allocation failed: then nothing
    // may write or read it.
    uint8_t* Buffer = nullptr;
    // Number of valid bytes in Buffer.
    std::atomic<uint32_t> Length{0};
    // Where the worker collects a recording (same size). Only a reception
    // that ended by silence is copied into Buffer, so one that stops partway
    // (unplug, close, stop) leaves the recording on screen as it was.
    uint8_t* Reception = nullptr;
    // True while the worker collects into Reception.
    std::atomic<bool> Receiving{false};
    // Counts the receptions taken over into Buffer, so that a load that
    // waited can tell that a recording arrived meanwhile.
    std::atomic<uint32_t> Publications{0};
    // Held by whoever changes Buffer and decodes it (a finished reception on
    // the worker thread, a loaded file on the user-interface thread) and by
    // whoever reads its samples (painting, saving): never for longer than a
    // copy and a decoding, so no thread waits long for it.
    std::mutex Lock;
};

// The process-wide buffer and its length.
RecordStore& TheRecord();
