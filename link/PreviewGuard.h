// Preview never welds. Preview records without welding: the controller must
// hold SEK 0 whenever a preview poll goes out. This is the one owner of
// preview and of the controller's SEK: it is told every frame the worker
// writes, every list reply and every poll's outcome, and answers the
// worker's questions (what to do when no request waits, which block an
// install or a burn carries). The worker does what it answers. Plain rules
// without windows.h.
//
// The controller acknowledges nothing: it may restart (RAM from ROM) between
// two polls, fall silent, or take a frame without carrying it out. So:
//   - every poll is written right after an install of the controller's
//     block with SEK 0, in the same cycle; after a poll that got no answer
//     the controller's block is listed again before the next install;
//   - from the moment preview starts until a list shows the controller
//     holding the operator's SEK again, that SEK is owed: every install and
//     burn outside preview carries it, across lost links and a close of TAVO
//     (the owed values are kept with each controller's serial number);
//   - the installs preview makes carry the block this link listed or
//     installed whole (its basis), with only SEK changed; never the block in
//     memory, which the operator may have changed or cancelled back.
//
// While preview runs the block in memory holds SEK 0 (ParameterBlock's
// held SEK); a SEK the operator sets meanwhile (the dialog's OK) becomes the
// one to restore.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "editors/ParameterBlock.h"

enum class PreviewStep : uint8_t {
    None,     // nothing to do: wait for requests
    List,     // learn the controller's block before anything is installed
    Install,  // the end of preview: the block PreviewAction carries
    Poll,     // install the block PreviewAction carries (SEK 0), then a preview recording ('d')
};

struct PreviewAction {
    PreviewStep Step = PreviewStep::None;
    ParameterBytes Block{};  // for Install and Poll
};

// SEK owed to each controller, by serial number.
using OwedSek = std::map<std::string, uint8_t>;

class PreviewGuard {
public:
    // What an earlier TAVO left owed (Tavo.ini), and what this one leaves.
    void Restore(const OwedSek& owed) { owed_ = owed; }
    const OwedSek& Owed() const { return owed_; }

    // A worker has opened the device with this serial number: nothing is
    // known of what it holds until it lists. Another device than the last
    // one gets the block in memory's SEK back; the owed value stays with
    // the device it belongs to.
    void LinkUp(const std::string& serial, ParameterBlock& block);
    // The operator's mode as the worker takes it: when it serves
    // "InterActive", before it serves a command, and when a new link is ready.
    // Off with no end due gives the block in memory the operator's SEK back.
    void Want(bool on, ParameterBlock& block);

    // What the worker must do when no request waits; `Take` also begins
    // preview (holding SEK at 0 in `block`) when it answers the first poll.
    PreviewStep Peek(const ParameterBlock& block) const;
    PreviewAction Take(ParameterBlock& block);

    // Whether the operator's install or burn may carry the block in memory:
    // only one the operator set, or this link's controller listed.
    bool MaySend(const ParameterBlock& block) const;
    // The 64 bytes an install or a burn asked for by the operator carries.
    ParameterBytes Carried(int command, ParameterBlock& block);

    // Every frame the worker writes: the command (CommandFrame.h numbers),
    // the block it carried (install and burn), and whether all 128 bytes
    // went out.
    void Written(int command, const ParameterBytes& carried, bool whole, ParameterBlock& block);
    // A list reply of exactly 128 bytes: its first 64, which replace the
    // block in memory (with preview's or the owed SEK where due).
    void Listed(const ParameterBytes& listed, ParameterBlock& block);
    // A list whose reply was no block: preview and its end hold until the
    // operator presses P or L, or a new link lists.
    void ListFailed() { held_ = true; }
    // A preview poll's reception: whether any byte came back.
    void Polled(bool answered);

    bool Wanted() const { return wanted_; }
    // Preview, or its end, waits for a list that failed.
    bool Held() const { return held_ && (wanted_ || end_ != End::None); }
    // The operator's SEK this link's controller is owed, if any.
    std::optional<uint8_t> OwedHere() const;
    // Preview is off and the install that ends it is still to be written.
    bool EndDue() const { return !wanted_ && end_ == End::Install; }
    // Preview is off and no list has shown the controller holding the
    // operator's SEK since (a weld asked for now might not weld).
    bool EndUnconfirmed() const { return !wanted_ && end_ != End::None; }

private:
    void Begin(ParameterBlock& block);
    void AdoptOperatorSek(ParameterBlock& block);
    // The block in memory gets the operator's SEK back; with nothing left
    // to do for the controller, nothing is owed any more.
    void Release(ParameterBlock& block);

    bool wanted_ = false;
    // The block the controller holds as this link knows it (SEK aside).
    std::optional<ParameterBytes> basis_;
    // What the owed SEK still needs once preview is off: an install (the
    // controller may hold preview's 0), a list that shows it (installed
    // whole, but the controller acknowledges nothing), or nothing.
    enum class End : uint8_t { None, Install, Confirm };
    End end_ = End::None;
    bool held_ = false;
    std::string serial_;
    BlockSource link_ = SourceNone;
    OwedSek owed_;
};

// The process-wide guard; only the communication worker uses it while a
// worker lives (the window restores and reads its owed values before the
// first and after the last).
PreviewGuard& ThePreviewGuard();
