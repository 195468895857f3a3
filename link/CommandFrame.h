// The 128-byte frame written to the controller for every command.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "editors/ParameterBlock.h"
#include "link/Commands.h"

constexpr size_t CommandFrameSize = 128;
constexpr size_t OpcodeOffset = 64;
constexpr size_t ParameterReplySize = 128;  // the controller's answer to 'l'

using CommandFrame = std::array<uint8_t, CommandFrameSize>;

// The opcode letter of a command; 0 for a number that is no command.
constexpr uint8_t CommandOpcode(int command) { return CommandRow(command) ? CommandRow(command)->Opcode : 0; }
// The command's name as status texts use it ("Debug", "Install", ...); null
// for a number that is no command.
constexpr const wchar_t* CommandName(int command) { return CommandRow(command) ? CommandRow(command)->Name : nullptr; }
// True for the commands that carry the parameter block in bytes 0 to 63.
constexpr bool CommandCarriesParameters(int command) {
    return CommandRow(command) && CommandRow(command)->CarriesParameters;
}

// Zero-filled, the opcode at byte 64 and, for install and burn, `block` in
// bytes 0 to 63. No frame for a number that is no command, so that nothing
// is sent for it.
std::optional<CommandFrame> BuildCommandFrame(int command, const ParameterBytes& block);
