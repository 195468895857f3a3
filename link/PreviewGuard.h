// Preview never welds. Preview records without welding: the controller must
// hold SEK 0 whenever a preview poll goes out. This is the one owner of
// preview and of the controller's SEK: it is told every frame the worker
// writes and every list reply, knows what the controller holds, and answers
// the worker's questions (may it poll, which block does an install or a burn
// carry, what must be listed or installed before the next poll or when
// preview ends). The worker does what it answers. Plain rules without
// windows.h.
//
// What the controller holds, as far as this link has seen:
//   - a block TAVO may install with only SEK changed (its basis): the block
//     listed on this link, or the last one written whole by an install or a
//     burn. A restart or a factory setting makes the controller take a block
//     of its own, which is learnt (listed) before anything is installed.
//   - whether a poll is safe: the last parameter frame of this link was an
//     install with SEK 0, written whole, and no restart, factory setting or
//     burn came after it.
//
// While preview runs, the parameter block in memory holds SEK 0 and the
// operator's SEK is kept here; installs carry SEK 0, burns the operator's
// SEK. Preview's end is done only when the install that restores SEK was
// written whole: across a lost link the operator's value survives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "editors/ParameterBlock.h"

enum class PreviewStep : uint8_t {
    None,     // nothing to do: wait for requests
    List,     // learn the controller's block before anything is installed
    Install,  // write the block PreviewAction carries
    Poll,     // a preview recording ('d')
};

struct PreviewAction {
    PreviewStep Step = PreviewStep::None;
    ParameterBytes Block{};  // for Install
};

// Why preview waits with the check mark on (or its end is owed).
enum class PreviewHold : uint8_t {
    None,
    NoBlock,  // the controller's parameters could not be read on this link
};

class PreviewGuard {
public:
    // A worker has opened the device with this serial number: nothing is
    // known of what it holds. A device left with preview's 0 by an earlier
    // link keeps its end owed until a link to it comes back; another device
    // starts without one (the block in memory gets the operator's SEK back).
    void LinkUp(const std::string& serial, ParameterBlock& block);
    // The operator's mode as the worker takes it: when it serves
    // "InterActive", and when a new link is ready.
    void Want(bool on);

    // What the worker must do when no request waits; `Take` also begins
    // preview (zeroing SEK in `block`) when it answers the first install.
    PreviewStep Peek(const ParameterBytes& block) const;
    PreviewAction Take(ParameterBlock& block);

    // The 64 bytes an install or a burn asked for by the operator carries,
    // for the block in memory as it is now.
    ParameterBytes Carried(int command, const ParameterBytes& block) const;

    // Every frame the worker writes: the command (CommandFrame.h numbers),
    // the block it carried (install and burn), and whether all 128 bytes
    // went out.
    void Written(int command, const ParameterBytes& carried, bool whole, ParameterBlock& block);
    // A list reply of exactly 128 bytes: its first 64, which replace the
    // block in memory (with SEK 0 while preview runs).
    void Listed(const ParameterBytes& listed, ParameterBlock& block);
    // A list whose reply was no block (or that was cut short).
    void ListFailed();

    bool MayPoll() const { return wanted_ && running_ && pollSafe_; }
    // SEK is zeroed in memory and the operator's value kept here.
    bool Running() const { return running_; }
    bool Wanted() const { return wanted_; }
    uint8_t Saved() const { return saved_; }
    PreviewHold Hold() const;

private:
    void Begin(ParameterBlock& block);
    void Finish(ParameterBlock& block, uint8_t sek);
    bool BasisIs(const ParameterBytes& block) const;

    bool wanted_ = false;
    bool running_ = false;
    uint8_t saved_ = 0;
    std::optional<ParameterBytes> basis_;
    // False after a burn that changed SEK: RAM holds the basis with its SEK
    // or the one before.
    bool basisSekKnown_ = false;
    bool pollSafe_ = false;
    // A list made for preview failed: no more until the operator presses P
    // or L, or a new link lists.
    bool blocked_ = false;
    // The device of this link, and the devices an earlier link left holding
    // preview's 0, with the SEK each is owed.
    std::string serial_;
    struct Owed {
        std::string Serial;
        uint8_t Sek;
    };
    std::vector<Owed> owed_;
};

// The process-wide guard; only the communication worker uses it, and only
// one worker lives at a time.
PreviewGuard& ThePreviewGuard();
