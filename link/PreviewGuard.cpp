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
    if (owed == owed_.end()) return std::nullopt;
    return owed->second;
}

void PreviewGuard::LinkUp(const std::string& serial, ParameterBlock& block) {
    basis_.reset();
    held_ = false;
    link_ = link_ + 1 == SourceOperator ? 1 : link_ + 1;
    if (serial != serial_) {
        // What preview did concerns the device it did it to: the block in
        // memory gets the operator's SEK back, the device keeps its debt.
        if (block.SekHeldForPreview()) block.ReleaseSek(OwedHere().value_or(0));
        serial_ = serial;
    }
    // It may still hold preview's 0: its first list tells.
    end_ = OwedHere() ? End::Install : End::None;
    endFromEarlier_ = false;
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
    switch (end_) {
        case End::None: return PreviewStep::None;
        case End::Install: return basis_ ? PreviewStep::Install : learn;
        case End::Confirm: return learn;
    }
    return PreviewStep::None;
}

PreviewAction PreviewGuard::Take(ParameterBlock& block) {
    const PreviewStep step = Peek(block);
    switch (step) {
        case PreviewStep::Poll:
            if (!block.SekHeldForPreview()) Begin(block);
            return {step, WithSek(*basis_, 0)};
        case PreviewStep::Install: return {step, WithSek(*basis_, *OwedHere()), endFromEarlier_};
        default: return {step};
    }
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
            if (sek == 0) {
                end_ = End::Install;
                break;
            }
            // The operator's SEK as the controller should now hold it, owed
            // until a list shows it there.
            owed_[serial_] = sek;
            end_ = End::Confirm;
            endFromEarlier_ = false;
            if (!wanted_ && block.SekHeldForPreview()) block.ReleaseSek(sek);
            break;
        }
        case CommandBurn:
            // Burning may set RAM too: RAM holds the block before or the one
            // burnt, which differ in SEK alone or are not known.
            if (!basis_ || !SameButSek(*basis_, carried)) basis_.reset();
            break;
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
        if (sek == 0) {
            // Preview's 0 is still there (the end did not reach it, or a
            // silent controller took R or F without carrying it out).
            end_ = End::Install;
            endFromEarlier_ = !wanted_ && !block.SekHeldForPreview();
        } else {
            // The operator's SEK, or one of its own (a restart, R or F took
            // it), which preview restores if it still runs.
            if (wanted_) owed_[serial_] = sek;
            end_ = End::None;
        }
    }
    const std::optional<uint8_t> owed = OwedHere();
    const bool keepZero = block.SekHeldForPreview() && (wanted_ || end_ == End::Install);
    block.TakeListed(keepZero ? WithSek(listed, 0) : owed && sek == 0 ? WithSek(listed, *owed) : listed, link_);
    if (keepZero) return;
    if (block.SekHeldForPreview()) block.ReleaseSek(block.ReadByte(OffsetSEK));
    if (!wanted_ && end_ == End::None) owed_.erase(serial_);
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
