// The buffer that receives recordings and loaded record files.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

constexpr uint32_t RecordBufferSize = 0x840000;  // 8.25 MiB
constexpr uint8_t RecordBufferFill = 0x44;       // every byte after allocation

struct RecordStore {
    // Null when the allocation failed: then nothing may write or read it.
    uint8_t* Buffer = nullptr;
    // Number of valid bytes in Buffer.
    std::atomic<uint32_t> Length{0};
    // Held by whoever fills the buffer and decodes it (a reception on the
    // worker thread, a loaded file on the user-interface thread), so the two
    // never write it at the same time. Painting reads without it.
    std::mutex Lock;
};

// The process-wide buffer and its length.
RecordStore& TheRecord();
