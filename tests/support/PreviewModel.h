// The preview guard as the communication worker uses it, against a model of
// the controller's RAM and ROM, for the rule tests and the fuzz target. The
// worker's part is only what it does with the guard's answers: every frame
// is told to the guard, idle turns run the guard's steps, install and burn
// carry what the guard says. Violated invariants are collected in Faults.
//
// The controller's own blocks never hold SEK 0 here, so a 0 anywhere but in
// RAM during preview is preview's 0 leaking.
#pragma once

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
    // What each link wrote, for the invariants.
    std::string frames;        // opcodes of this link
    char lastParameterFrame = 0;
    uint8_t lastInstallSek = 0xFF;
    // Blocks (SEK aside) that were read from the controller or set by the operator.
    std::vector<ParameterBytes> known;
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

    bool Write(int command, const ParameterBytes& carried = {}) {
        if (!linkUp) return false;
        const char opcode = static_cast<char>(CommandOpcode(command));
        const bool whole = !writeFails;
        writeFails = false;
        if (whole) {
            frames += opcode;
            Carry(command, carried);
        } else {
            frames += '!';
            linkUp = false;  // a failed write ends the link as lost
        }
        guard.Written(command, carried, whole, block);
        return whole;
    }

    void Carry(int command, const ParameterBytes& carried) {
        if (CommandCarriesParameters(command)) {
            if (!Known(carried)) Fault("a block nobody read or set was sent");
            lastParameterFrame = static_cast<char>(CommandOpcode(command));
            if (command == CommandInstall) lastInstallSek = carried[OffsetSEK];
        }
        switch (command) {
            case CommandBurn:
                if (carried[OffsetSEK] == 0) Fault("a burn carried preview's SEK 0");
                break;
            case CommandRestart: lastParameterFrame = 'r'; break;
            case CommandFactory: lastParameterFrame = 'f'; break;
            default: break;
        }
        if (silent) return;
        switch (command) {
            case CommandInstall: ram = carried; break;
            case CommandBurn: rom = ram = carried; break;
            case CommandRestart: ram = rom; break;
            case CommandFactory: ram = rom = factory; break;
            default: break;
        }
    }

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
    void LinkComesUp(bool previewOn, int to = 0) {
        if (to != device) {
            std::swap(ram, otherRam);
            std::swap(rom, otherRom);
            std::swap(factory, otherFactory);
            device = to;
        }
        linkUp = true;
        frames.clear();
        lastParameterFrame = 0;
        guard.LinkUp(device ? "A" : "C", block);
        guard.Want(previewOn);
        List();
    }

    void Press(int command) {
        if (!linkUp) return;
        if (command == CommandList) return List();
        if (CommandCarriesParameters(command)) {
            if (!block.Filled()) return;  // the worker refuses a block never read or set
            return void(Write(command, guard.Carried(command, block.Read())));
        }
        Write(command);
    }

    // The operator sets a field (never SEK 0: that would be an operator's 0),
    // in a whole block of the operator's when none was read yet.
    void Edit(size_t offset, uint8_t value) {
        if (offset == OffsetSEK && value == 0) value = 1;
        if (!block.Filled()) block.Replace(Block(value, 9));
        block.WriteByte(offset, value);
        known.push_back(block.Read());
    }

    // Idle turns of the worker: the guard's steps, at most `turns` of them.
    void Idle(int turns = 8) {
        for (int i = 0; i < turns && linkUp; ++i) {
            const PreviewAction action = guard.Take(block);
            switch (action.Step) {
                case PreviewStep::None: return;
                case PreviewStep::List: List(); break;
                case PreviewStep::Install: Write(CommandInstall, action.Block); break;
                case PreviewStep::Poll: Poll(); break;
            }
        }
    }

    void Poll() {
        if (lastParameterFrame != 'i' || lastInstallSek != 0)
            Fault("a preview poll without an install of SEK 0 as the last parameter frame");
        if (ram[OffsetSEK] != 0 && !silent) Fault("a preview poll welds: the controller holds SEK " + std::to_string(ram[OffsetSEK]));
        Write(CommandDebug);
    }

    // After preview ended and the guard has nothing left to do on a link that
    // is up, the controller holds a SEK of its own, never preview's 0.
    void CheckSettled() {
        if (rom[OffsetSEK] == 0) Fault("ROM holds SEK 0");
        if (!linkUp || guard.Wanted() || guard.Running()) return;
        if (guard.Peek(block.Read()) != PreviewStep::None) return;
        if (ram[OffsetSEK] == 0) Fault("preview ended but the controller keeps SEK 0");
        if (block.ReadByte(OffsetSEK) == 0 && block.Filled()) Fault("preview ended but the block in memory keeps SEK 0");
    }
};

}  // namespace preview_model
