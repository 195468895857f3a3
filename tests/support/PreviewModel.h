// The preview guard as the communication worker uses it, against a model of
// the controller (RAM, ROM; it may restart or fall silent between any two of
// the worker's turns), for the rule tests and the fuzz target. The worker's
// part is only what it does with the guard's answers: every frame is told to
// the guard, idle turns run the guard's steps (a poll right after its
// install), commands take the mode first, install and burn carry what the
// guard says. Violated invariants are checked on what the controller holds
// and collected in Faults.
//
// The controller's own blocks never hold SEK 0 here, so a 0 anywhere but in
// RAM during preview is preview's 0 leaking.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "editors/ParameterBlock.h"
#include "link/CommandFrame.h"
#include "link/PreviewGuard.h"

namespace preview_model {

inline ParameterBytes Block(uint8_t seed, uint8_t sek) {
    ParameterBytes bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(seed + 7 * i);
    bytes[OffsetSEK] = sek;
    return bytes;
}

struct Model {
    PreviewGuard guard;
    ParameterBlock block;  // the block in memory
    bool mode = false;     // PreviewActive, as the window keeps it
    ParameterBytes factory = Block(1, 8);
    ParameterBytes ram = factory, rom = factory;  // the linked device's
    // A second FTDI device (another adapter) a link may open instead.
    ParameterBytes otherRam = Block(2, 9), otherRom = otherRam, otherFactory = otherRam;
    int device = 0;
    bool linkUp = false;
    // Faults the next frames meet.
    bool writeFails = false;   // the next write does not go out whole (the link is then lost)
    bool listFails = false;    // the next list reply is no block
    bool silent = false;       // frames go out whole, nothing is carried out or answered
    std::string frames;        // opcodes of this link ('!' a write that failed)
    // Blocks (SEK aside) that were read from the controller or set by the operator.
    std::vector<ParameterBytes> known;
    std::optional<ParameterCopy> dialog;  // what an open parameter dialog would put back
    std::vector<std::string> faults;

    static ParameterBytes NoSek(ParameterBytes bytes) {
        bytes[OffsetSEK] = 0;
        return bytes;
    }
    bool Known(const ParameterBytes& bytes) const {
        for (const ParameterBytes& k : known)
            if (NoSek(k) == NoSek(bytes)) return true;
        return false;
    }
    void Fault(const std::string& what) { faults.push_back(what + " after \"" + frames + "\""); }

    // --- the controller's side -------------------------------------------------

    // `poll`: a 'd' preview wrote, not the operator.
    bool Write(int command, const ParameterBytes& carried = {}, bool poll = false) {
        if (!linkUp) return false;
        const bool whole = !writeFails;
        writeFails = false;
        frames += whole ? static_cast<char>(CommandOpcode(command)) : '!';
        if (whole) Carry(command, carried, poll);
        else linkUp = false;  // a failed write ends the link as lost
        guard.Written(command, carried, whole, block);
        return whole;
    }

    void Carry(int command, const ParameterBytes& carried, bool poll) {
        if (CommandCarriesParameters(command) && !Known(carried)) Fault("a block nobody read or set was sent");
        if (silent) return;
        switch (command) {
            case CommandDebug:
            case CommandWeld:
                if (poll && ram[OffsetSEK] != 0)
                    Fault("a preview poll welds: the controller holds SEK " + std::to_string(ram[OffsetSEK]));
                if (!poll && !guard.Wanted() && ram[OffsetSEK] == 0)
                    Fault("a weld asked for after preview ended finds preview's SEK 0");
                break;
            case CommandInstall: ram = carried; break;
            case CommandBurn:
                if (carried[OffsetSEK] == 0) Fault("a burn stored preview's SEK 0");
                rom = ram = carried;
                break;
            case CommandRestart: ram = rom; break;
            case CommandFactory: ram = rom = factory; break;
            default: break;
        }
    }

    // The welder switched off and on: RAM from ROM, the adapter stays.
    void Restart() { ram = rom; }

    // --- the worker's side -----------------------------------------------------

    void List() {
        if (!Write(CommandList)) return;
        if (listFails || silent) {
            listFails = false;
            return guard.ListFailed();
        }
        known.push_back(ram);
        guard.Listed(ram, block);
    }

    // A new link to `to` (0 the controller, 1 the other adapter): the worker
    // opens, takes the mode and lists.
    void LinkComesUp(int to = 0) {
        if (to != device) {
            std::swap(ram, otherRam);
            std::swap(rom, otherRom);
            std::swap(factory, otherFactory);
            device = to;
        }
        linkUp = true;
        frames.clear();
        guard.LinkUp(device ? "A" : "C", block);
        guard.Want(mode, block);
        List();
    }
    void LinkComesUp(bool previewOn, int to) {
        mode = previewOn;
        LinkComesUp(to);
    }

    // P: the window switches the mode; the worker takes it when it serves
    // "InterActive" (or before its next command).
    void Switch() { mode = !mode; }
    void ServeSwitch() {
        if (linkUp) guard.Want(mode, block);
    }
    void Preview(bool on) {
        mode = on;
        ServeSwitch();
    }

    // A command the operator asked for, as the worker serves it: the mode
    // first, preview's end if it is off, then the command.
    void Press(int command) {
        if (!linkUp) return;
        if (mode != guard.Wanted()) guard.Want(mode, block);
        const bool welds = command == CommandDebug || command == CommandWeld;
        for (int step = 0; step < 3 && linkUp && (guard.EndDue() || (welds && guard.EndUnconfirmed())); ++step)
            if (Turn() == PreviewStep::None) break;
        if (!linkUp) return;
        if (welds && guard.EndUnconfirmed()) return;  // not sent: SEK not restored yet
        if (command == CommandList) return List();
        if (CommandCarriesParameters(command)) {
            if (!guard.MaySend(block)) return;  // a block never read or set is not sent
            return void(Write(command, guard.Carried(command, block)));
        }
        if (Write(command) && command == CommandDebug) guard.Polled(!silent);
    }

    // The operator sets a field (never SEK 0: that would be an operator's 0),
    // in a whole block of the operator's when none was read yet.
    void Edit(size_t offset, uint8_t value) {
        if (offset == OffsetSEK && value == 0) value = 1;
        if (!block.Filled()) block.Replace(Block(value, 9));
        block.WriteByte(offset, value);
        known.push_back(block.Read());
    }
    // The parameter dialog opened, and cancelled later.
    void OpenDialog() { dialog = block.Copy(); }
    void CancelDialog() {
        if (dialog) block.Restore(*dialog);
        dialog.reset();
    }

    // One idle turn of the worker: the guard's step.
    PreviewStep Turn() {
        const PreviewAction action = guard.Take(block);
        switch (action.Step) {
            case PreviewStep::None: break;
            case PreviewStep::List: List(); break;
            case PreviewStep::Install: Write(CommandInstall, action.Block); break;
            case PreviewStep::Poll:
                if (Write(CommandInstall, action.Block) && Write(CommandDebug, {}, true)) guard.Polled(!silent);
                break;
        }
        return action.Step;
    }
    void Idle(int turns = 8) {
        for (int i = 0; i < turns && linkUp && Turn() != PreviewStep::None; ++i) {
        }
    }

    // TAVO closes and starts again: the worker ends preview if it can, the
    // owed values go to Tavo.ini and come back in the new program.
    void CloseAndStart() {
        if (linkUp) {
            guard.Want(false, block);
            const PreviewAction action = guard.Take(block);
            if (action.Step == PreviewStep::Install) Write(CommandInstall, action.Block);
        }
        const OwedSek owed = guard.Owed();
        guard = PreviewGuard{};
        guard.Restore(owed);
        block.Clear();
        dialog.reset();  // the dialogs close with the program
        mode = false;
        linkUp = false;
    }

    // Once the faults are gone, the link is up, preview is off and the guard
    // has nothing left to do, the controller and the block in memory hold a
    // SEK of their own, never preview's 0.
    void CheckSettled() {
        if (rom[OffsetSEK] == 0) Fault("ROM holds SEK 0");
        if (!linkUp || mode || silent || guard.Held() || guard.Peek(block) != PreviewStep::None) return;
        if (ram[OffsetSEK] == 0) Fault("preview ended but the controller keeps SEK 0");
        if (block.ReadByte(OffsetSEK) == 0 && block.Filled()) Fault("preview ended but the block in memory keeps SEK 0");
    }

    // The faults healed, preview switched off, the link back: everything owed
    // must reach the controller.
    void Settle() {
        silent = writeFails = listFails = false;
        mode = false;
        if (!linkUp) LinkComesUp(0);
        ServeSwitch();
        Idle();
        if (guard.Held()) {
            LinkComesUp(0);  // a new link lists again
            Idle();
        }
        CheckSettled();
        if (guard.EndDue() || ram[OffsetSEK] == 0) Fault("settled with SEK 0 in the controller");
    }
};

}  // namespace preview_model
