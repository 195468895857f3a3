#include "link/CommandFrame.h"

#include <algorithm>

std::optional<CommandFrame> BuildCommandFrame(int command, const ParameterBytes& block) {
    const uint8_t opcode = CommandOpcode(command);
    if (opcode == 0) return std::nullopt;
    CommandFrame frame{};
    if (CommandCarriesParameters(command)) std::copy(block.begin(), block.end(), frame.begin());
    frame[OpcodeOffset] = opcode;
    return frame;
}
