#include "link/PreviewGuard.h"

#include "link/CommandFrame.h"

namespace {

ParameterBytes WithSek(ParameterBytes block, uint8_t sek) {
    block[OffsetSEK] = sek;
    return block;
}

bool SameButSek(const ParameterBytes& a, const ParameterBytes& b) { return WithSek(a, 0) == WithSek(b, 0); }

}  // namespace

std::optional<uint8_t> PreviewGuard::OwedHere() const {
    const auto owed = owed_.find(serial_);
    return owed == owed_.end() ? std::nullopt : std::optional<uint8_t>(owed->second);
}

void PreviewGuard::LinkUp(const std::string& serial, ParameterBlock& block) {
    basis_.reset();
    held_ = false;
    ++link_;
    if (serial != serial_) {
        // What preview did concerns the device it did it to: the block in
        // memory gets the operator's SEK back, the device keeps its debt.
        if (block.SekHeldForPreview()) block.ReleaseSek(OwedHere().value_or(0));
        serial_ = serial;
    }
    // It may still hold preview's 0: its first list tells.
    end_ = OwedHere() ? End::Install : End::None;
}

void PreviewGuard::Want(bool on, ParameterBlock& block) {
    wanted_ = on;
    // A press tries again what a failed list held back.
    held_ = false;
    if (!on && end_ == End::None && block.SekHeldForPreview()) Release(block);
}

PreviewStep PreviewGuard::Peek(const ParameterBlock& block) const {
    const PreviewStep learn = held_ ? PreviewStep::None : PreviewStep::List;
    if (wanted_) {
        if (!basis_) return learn;
        // Preview begins on the controller's own block only: a block in
        // memory that differs (a record file) is listed over first.
        if (!block.SekHeldForPreview() && !SameButSek(*basis_, block.Read())) return learn;
        return PreviewStep::Poll;
    }
    if (end_ == End::None) return PreviewStep::None;
    return end_ == End::Install && basis_ ? PreviewStep::Install : learn;
}

PreviewAction PreviewGuard::Take(ParameterBlock& block) {
    const PreviewStep step = Peek(block);
    if (step == PreviewStep::Poll && !block.SekHeldForPreview()) Begin(block);
    if (step == PreviewStep::Poll) return {step, WithSek(*basis_, 0)};
    if (step == PreviewStep::Install) return {step, WithSek(*basis_, *OwedHere())};
    return {step};
}

bool PreviewGuard::MaySend(const ParameterBlock& block) const {
    const BlockSource source = block.Source();
    return source == SourceOperator || (source != SourceNone && source == link_);
}

ParameterBytes PreviewGuard::Carried(int command, ParameterBlock& block) {
    AdoptOperatorSek(block);
    if (wanted_ && command == CommandInstall) {
        // An install while preview is on keeps the controller from welding.
        if (!block.SekHeldForPreview()) Begin(block);
        return WithSek(block.Read(), 0);
    }
    const ParameterBytes bytes = block.Read();
    // A burn during preview, and anything sent while SEK is owed, carries the
    // operator's SEK, never preview's 0.
    const std::optional<uint8_t> owed = OwedHere();
    if (owed && (block.SekHeldForPreview() || bytes[OffsetSEK] == 0)) return WithSek(bytes, *owed);
    return bytes;
}

void PreviewGuard::Written(int command, const ParameterBytes& carried, bool whole, ParameterBlock& block) {
    if (!whole) {
        // The controller may have taken part of it, or nothing: unknown.
        basis_.reset();
        return;
    }
    switch (command) {
        case CommandInstall: {
            basis_ = carried;
            const uint8_t sek = carried[OffsetSEK];
            if (!OwedHere()) break;
            // Preview's 0; or the operator's SEK as the controller should now
            // hold it, owed until a list shows it there.
            end_ = sek == 0 ? End::Install : End::Confirm;
            if (sek == 0) break;
            owed_[serial_] = sek;
            if (!wanted_ && block.SekHeldForPreview()) block.ReleaseSek(sek);
            break;
        }
        case CommandBurn:
            // Burning may set RAM too: RAM holds the block before or the one
            // burnt, which differ in SEK alone or are not known.
            if (basis_ && SameButSek(*basis_, carried)) break;
            [[fallthrough]];
        case CommandRestart:
        case CommandFactory:
            // The controller takes a block of its own, or (silent) nothing:
            // learnt by the next list.
            basis_.reset();
            break;
        default: break;
    }
}

void PreviewGuard::Listed(const ParameterBytes& listed, ParameterBlock& block) {
    AdoptOperatorSek(block);
    basis_ = listed;
    held_ = false;
    const uint8_t sek = listed[OffsetSEK];
    if (OwedHere()) {
        // A 0 is preview's, still there (the end did not reach it, or a
        // silent controller took R or F without carrying it out). Another
        // SEK is the operator's, or one of its own (a restart, R or F took
        // it), which preview restores if it still runs.
        end_ = sek == 0 ? End::Install : End::None;
        if (sek != 0 && wanted_) owed_[serial_] = sek;
        if (sek != 0 && !wanted_) owed_.erase(serial_);
    }
    if (block.SekHeldForPreview() && (wanted_ || end_ == End::Install))
        return block.TakeListed(WithSek(listed, 0), link_);
    const std::optional<uint8_t> owed = OwedHere();
    const ParameterBytes shown = owed && sek == 0 ? WithSek(listed, *owed) : listed;
    block.TakeListed(shown, link_);
    if (block.SekHeldForPreview()) block.ReleaseSek(shown[OffsetSEK]);
}

void PreviewGuard::Polled(bool answered) {
    // A silent or restarting controller: what it holds is learnt again
    // before the next install.
    if (!answered) basis_.reset();
}

void PreviewGuard::Begin(ParameterBlock& block) {
    // An operator's SEK of 0 leaves nothing to keep.
    if (block.ReadByte(OffsetSEK) == 0 && !OwedHere()) return;
    const uint8_t sek = block.HoldSekForPreview();
    if (sek != 0) owed_[serial_] = sek;
}

void PreviewGuard::Release(ParameterBlock& block) {
    block.ReleaseSek(OwedHere().value_or(0));
    if (end_ == End::None) owed_.erase(serial_);
}

void PreviewGuard::AdoptOperatorSek(ParameterBlock& block) {
    if (const std::optional<uint8_t> sek = block.TakeSekWrittenWhileHeld()) owed_[serial_] = *sek;
}

PreviewGuard& ThePreviewGuard() {
    static PreviewGuard guard;
    return guard;
}
