// The buffer that receives recordings and loaded record files.
#pragma once

#include <atomic>
#include <cstdint>

constexpr uint32_t RecordBufferSize = 0x840000;  // 8.25 MiB
constexpr uint8_t RecordBufferFill = 0x44;       // every byte after allocation

struct RecordStore {
    // Null when the allocation failed: then nothing may write or read it.
    uint8_t* Buffer = nullptr;
    // Number of valid bytes in Buffer.
    std::atomic<uint32_t> Length{0};
};

// The process-wide buffer and its length.
RecordStore& TheRecord();
