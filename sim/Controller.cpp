#include "sim/Controller.h"

#include <algorithm>
#include <utility>

namespace {

void Put16(Block& block, size_t offset, int value) {
    block[offset] = static_cast<uint8_t>(value & 0xFF);
    block[offset + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

Block FactoryBlock() {
    Block block{};
    block[0] = 1;        // ID
    block[1] = 8;        // SEK (at most 32)
    block[2] = 0x0F;     // AO: auto offset on K1..K4
    block[3] = 0x00;     // NE: no negated channel
    Put16(block, 4, 50);     // FT SysTicks per preview
    Put16(block, 6, 8000);   // FH SysTicks per second
    Put16(block, 8, 1);      // NA weld code
    Put16(block, 10, 2);     // NP detector code
    const int potentiometers[8] = {512, 512, 768, 256, 1024, 1024, 2048, 1800};  // P1..P6, PU, PI
    for (int i = 0; i < 8; ++i) Put16(block, 12 + 2 * i, potentiometers[i]);
    const int offsets[8] = {-12, 7, 0, -3, 15, -8, 4, -6};  // O1..O6, OU, OI
    for (int i = 0; i < 8; ++i) Put16(block, 28 + 2 * i, offsets[i]);
    Put16(block, 44, 1000);  // VA
    Put16(block, 46, -1000); // VB
    const int regulator[6] = {120, 15, 80, 30, 40, 60};  // G1, T1, G2, T2, G3, T3
    for (int i = 0; i < 6; ++i) Put16(block, 48 + 2 * i, regulator[i]);
    Put16(block, 60, 500);   // TA, lower edge of the shaded band
    Put16(block, 62, 1500);  // TE, upper edge
    return block;
}

Controller::Controller(ControllerSetup setup) : setup_(setup), ram_(FactoryBlock()), rom_(ram_) {}

void Controller::Receive(const LinePiece& piece, const std::function<void(const AssembledFrame&)>& onFrame) {
    if (booting_) {
        // Booted, and the line idle since: these bytes start a new run.
        if (piece.RunStart < bootEnd_) return;
        booting_ = false;
        firstSinceBoot_ = true;
    }
    const uint8_t* bytes = piece.Bytes;
    size_t offset = piece.Offset;
    for (size_t count = piece.Count; count > 0;) {
        if (partialSize_ == 0) partialAligned_ = offset == 0;
        const size_t take = std::min(count, FrameBytes - partialSize_);
        std::copy_n(bytes, take, partial_.begin() + partialSize_);
        partialSize_ += take;
        bytes += take;
        offset += take;
        count -= take;
        if (partialSize_ < FrameBytes) break;
        partialSize_ = 0;
        onFrame({partial_, piece.Write, partialAligned_, std::exchange(firstSinceBoot_, false)});
    }
}

void Controller::Restart(SimClock::time_point now, uint32_t bootMs) {
    ram_ = rom_;
    partialSize_ = 0;
    booting_ = true;
    bootEnd_ = now + std::chrono::milliseconds(bootMs);
}

Reply Controller::Execute(const Frame& frame) {
    if (setup_.Silent) return nullptr;
    Block payload;
    std::copy_n(frame.begin(), BlockBytes, payload.begin());
    switch (frame[OpcodeOffset]) {
    case 'l': return ListReply();
    case 'd': return RecordingReply();
    case 'i': ram_ = payload; break;
    case 'b': rom_ = ram_ = payload; break;
    case 'r': ram_ = rom_; break;
    case 'f': rom_ = ram_ = FactoryBlock(); break;
    case 'w': break;  // welds without recording; nothing to tell
    default: break;   // the controller ignores what it does not know
    }
    return nullptr;
}

// RAM block, then ROM block; a faulty controller may send more or fewer.
Reply Controller::ListReply() const {
    auto reply = std::make_shared<std::vector<uint8_t>>(setup_.ListReplyBytes, 0);
    Frame both;
    std::copy(ram_.begin(), ram_.end(), both.begin());
    std::copy(rom_.begin(), rom_.end(), both.begin() + BlockBytes);
    std::copy_n(both.begin(), std::min(both.size(), reply->size()), reply->begin());
    return reply;
}

Reply Controller::RecordingReply() {
    if (!waveforms_) waveforms_ = std::make_shared<const std::vector<uint8_t>>(MakeRecording(setup_.Recording));
    auto reply = std::make_shared<std::vector<uint8_t>>(*waveforms_);
    StampWeldNumber(*reply, setup_.Recording, ++welds_);
    return reply;
}
