#include "link/CommandFrame.h"

#include <algorithm>

namespace {
constexpr uint8_t Opcodes[ControllerCommandCount] = {'d', 'w', 'l', 'i', 'b', 'r', 'f'};
}  // namespace

uint8_t CommandOpcode(int command) {
    return command >= 0 && command < ControllerCommandCount ? Opcodes[command] : 0;
}

bool CommandCarriesParameters(int command) { return command == CommandInstall || command == CommandBurn; }

std::optional<CommandFrame> BuildCommandFrame(int command, const ParameterBytes& block) {
    if (CommandOpcode(command) == 0) return std::nullopt;
    CommandFrame frame{};
    if (CommandCarriesParameters(command)) std::copy(block.begin(), block.end(), frame.begin());
    frame[OpcodeOffset] = CommandOpcode(command);
    return frame;
}
