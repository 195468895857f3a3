#include "link/CommandFrame.h"

#include <algorithm>

namespace {
constexpr uint8_t Opcodes[ControllerCommandCount] = {'d', 'w', 'l', 'i', 'b', 'r', 'f'};
constexpr const wchar_t* Names[ControllerCommandCount] = {L"Debug",   L"Weld",    L"List",           L"Install",
                                                          L"Burn",    L"Restart", L"Factory Setting"};
}  // namespace

uint8_t CommandOpcode(int command) {
    return command >= 0 && command < ControllerCommandCount ? Opcodes[command] : 0;
}

const wchar_t* CommandName(int command) {
    return command >= 0 && command < ControllerCommandCount ? Names[command] : nullptr;
}

bool CommandCarriesParameters(int command) { return command == CommandInstall || command == CommandBurn; }

std::optional<CommandFrame> BuildCommandFrame(int command, const ParameterBytes& block) {
    const uint8_t opcode = CommandOpcode(command);
    if (opcode == 0) return std::nullopt;
    CommandFrame frame{};
    if (CommandCarriesParameters(command)) std::copy(block.begin(), block.end(), frame.begin());
    frame[OpcodeOffset] = opcode;
    return frame;
}
