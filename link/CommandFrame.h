// The 128-byte frame written to the controller for every command.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "editors/ParameterBlock.h"

constexpr size_t CommandFrameSize = 128;
constexpr size_t OpcodeOffset = 64;
constexpr size_t ParameterReplySize = 128;  // the controller's answer to 'l'

using CommandFrame = std::array<uint8_t, CommandFrameSize>;

// The command numbers are the indices of the CommandEvents that ask for them.
enum ControllerCommand : int {
    CommandDebug = 0,    // 'd': weld and record; the controller streams a recording
    CommandWeld = 1,     // 'w'
    CommandList = 2,     // 'l': the controller answers with its parameter block
    CommandInstall = 3,  // 'i': parameters to RAM
    CommandBurn = 4,     // 'b': parameters to ROM
    CommandRestart = 5,  // 'r'
    CommandFactory = 6,  // 'f'
};
constexpr int ControllerCommandCount = 7;

// The opcode letter of a command; 0 for a number that is no command.
uint8_t CommandOpcode(int command);
// The command's name as status texts use it ("Debug", "Install", ...); null
// for a number that is no command.
const wchar_t* CommandName(int command);
// True for the commands that carry the parameter block in bytes 0 to 63.
bool CommandCarriesParameters(int command);

// Zero-filled, the opcode at byte 64 and, for install and burn, `block` in
// bytes 0 to 63. No frame for a number that is no command, so that nothing
// is sent for it.
std::optional<CommandFrame> BuildCommandFrame(int command, const ParameterBytes& block);
