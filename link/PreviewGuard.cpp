#include "link/PreviewGuard.h"

#include <algorithm>

#include "link/CommandFrame.h"

namespace {

ParameterBytes WithSek(ParameterBytes block, uint8_t sek) {
    block[OffsetSEK] = sek;
    return block;
}

bool SameButSek(const ParameterBytes& a, const ParameterBytes& b) { return WithSek(a, 0) == WithSek(b, 0); }

}  // namespace

void PreviewGuard::LinkUp(const std::string& serial, ParameterBlock& block) {
    // A restart or factory setting before a lost link still counts: the
    // controller keeps the block it took.
    basis_.reset();
    pollSafe_ = false;
    blocked_ = false;
    if (serial == serial_) return;
    // Another device: what preview did concerns the one it did it to.
    if (running_) {
        owed_.push_back({serial_, saved_});
        Finish(block, saved_);
    }
    serial_ = serial;
    const auto owed = std::find_if(owed_.begin(), owed_.end(), [&](const Owed& o) { return o.Serial == serial; });
    if (owed == owed_.end()) return;
    // This device still holds preview's 0: its end is owed, as if never left.
    saved_ = owed->Sek;
    owed_.erase(owed);
    block.WriteByte(OffsetSEK, 0);
    running_ = true;
}

void PreviewGuard::Want(bool on) {
    wanted_ = on;
    // A press tries again what a failed list held back.
    blocked_ = false;
}

bool PreviewGuard::BasisIs(const ParameterBytes& block) const { return basis_ && *basis_ == block; }

PreviewStep PreviewGuard::Peek(const ParameterBytes& block) const {
    if (wanted_) {
        if (!running_) {
            // Preview changes SEK in the controller's own block only: the
            // block in memory must be the one the controller holds.
            if (BasisIs(block)) return PreviewStep::Install;
            return blocked_ ? PreviewStep::None : PreviewStep::List;
        }
        if (pollSafe_) return PreviewStep::Poll;
        if (basis_) return PreviewStep::Install;
        return blocked_ ? PreviewStep::None : PreviewStep::List;
    }
    if (!running_) return PreviewStep::None;
    // Preview's end is owed: the operator's block with its SEK, unless the
    // controller took a block of its own meanwhile (learnt first).
    if (basis_) return PreviewStep::Install;
    return blocked_ ? PreviewStep::None : PreviewStep::List;
}

PreviewAction PreviewGuard::Take(ParameterBlock& block) {
    const PreviewStep step = Peek(block.Read());
    if (step != PreviewStep::Install) return {step, {}};
    if (!wanted_) {
        const ParameterBytes end = WithSek(block.Read(), saved_);
        // Listed since preview zeroed SEK, the controller holds this already:
        // preview ends without a frame.
        if (BasisIs(end) && basisSekKnown_) {
            Finish(block, saved_);
            return {};
        }
        return {step, end};
    }
    if (!running_) Begin(block);
    return {step, WithSek(*basis_, 0)};
}

ParameterBytes PreviewGuard::Carried(int command, const ParameterBytes& block) const {
    if (!running_) return block;
    // While preview runs an install keeps the controller from welding; a
    // burn stores the operator's SEK, never preview's 0.
    return WithSek(block, command == CommandInstall && wanted_ ? 0 : saved_);
}

void PreviewGuard::Written(int command, const ParameterBytes& carried, bool whole, ParameterBlock& block) {
    if (!whole) {
        // The controller may have taken part of it, or nothing: unknown.
        basis_.reset();
        pollSafe_ = false;
        return;
    }
    switch (command) {
        case CommandInstall:
            basis_ = carried;
            basisSekKnown_ = true;
            pollSafe_ = carried[OffsetSEK] == 0;
            if (running_ && !wanted_ && carried[OffsetSEK] == saved_) Finish(block, saved_);
            break;
        case CommandBurn:
            // Burning may set RAM too: RAM holds the block before or the one
            // burnt. Known only when the two differ in SEK alone; SEK too when
            // they are the same block.
            if (!basis_ || !SameButSek(*basis_, carried)) {
                basis_.reset();
            } else {
                if ((*basis_)[OffsetSEK] != carried[OffsetSEK]) basisSekKnown_ = false;
                basis_ = carried;
            }
            pollSafe_ = false;
            break;
        case CommandRestart:
        case CommandFactory:
            // The controller takes a block of its own, or (silent) nothing:
            // learnt by the next list.
            basis_.reset();
            pollSafe_ = false;
            break;
        default: break;
    }
}

void PreviewGuard::Listed(const ParameterBytes& listed, ParameterBlock& block) {
    basis_ = listed;
    basisSekKnown_ = true;
    blocked_ = false;
    const uint8_t sek = listed[OffsetSEK];
    // The controller would weld with it: a poll needs SEK 0 installed again.
    if (sek != 0) pollSafe_ = false;
    if (!running_) return block.Replace(listed);
    // A SEK other than preview's 0 is the controller's own (a restart or
    // factory setting took it): that value is the one to restore. A 0 is
    // preview's, even after a restart or factory setting, which a silent
    // controller may not have carried out: the operator's value stays.
    const bool own = sek != 0;
    if (own) saved_ = sek;
    if (!wanted_ && own) {
        // Nothing to restore: the controller already holds its own SEK.
        block.Replace(listed);
        running_ = false;
        return;
    }
    block.Replace(WithSek(listed, 0));
}

void PreviewGuard::ListFailed() {
    // Preview's end stays owed: nothing is installed over a block that
    // could not be learnt, and the operator's SEK is kept until it is.
    blocked_ = true;
}

PreviewHold PreviewGuard::Hold() const {
    return blocked_ && (wanted_ || running_) ? PreviewHold::NoBlock : PreviewHold::None;
}

void PreviewGuard::Begin(ParameterBlock& block) {
    saved_ = block.ExchangeByte(OffsetSEK, 0);
    running_ = true;
}

void PreviewGuard::Finish(ParameterBlock& block, uint8_t sek) {
    block.WriteByte(OffsetSEK, sek);
    running_ = false;
}

PreviewGuard& ThePreviewGuard() {
    static PreviewGuard guard;
    return guard;
}
