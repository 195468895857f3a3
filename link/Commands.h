// The controller commands, one row each: the menu item that asks for it, the
// CommandEvent it sets (the row's index), the opcode written at byte 64, the
// name status texts use, the text shown when the worker takes it, and what
// the controller answers.
#pragma once

#include <cstdint>

#include "resources/resource.h"

enum class Reply : uint8_t {
    None,        // nothing comes back
    Recording,   // a stream of samples until silence
    Parameters,  // one 128-byte frame, the controller's block first
};

struct ControllerCommandRow {
    int MenuId;
    uint8_t Opcode;
    const wchar_t* Name;
    const wchar_t* Announce;  // shown in status part 1 when taken; null: nothing
    Reply Answer;
    bool CarriesParameters;   // bytes 0 to 63 are the parameter block
};

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

inline constexpr ControllerCommandRow ControllerCommands[ControllerCommandCount] = {
    {IDM_DEBUG, 'd', L"Debug", L"Command Debug", Reply::Recording, false},
    {IDM_WELD, 'w', L"Weld", nullptr, Reply::None, false},
    {IDM_LIST, 'l', L"List", L"Command List Parameter", Reply::Parameters, false},
    {IDM_INSTALL, 'i', L"Install", nullptr, Reply::None, true},
    {IDM_BURN, 'b', L"Burn", nullptr, Reply::None, true},
    {IDM_RESTART, 'r', L"Restart", nullptr, Reply::None, false},
    {IDM_FACTORY, 'f', L"Factory Setting", nullptr, Reply::None, false},
};

// The row of a command number; null for a number that is no command.
constexpr const ControllerCommandRow* CommandRow(int command) {
    return command >= 0 && command < ControllerCommandCount ? &ControllerCommands[command] : nullptr;
}

// The command a menu id asks for; -1 for an id that is none (Preview is a
// mode, not a command).
constexpr int CommandForMenu(int menuId) {
    for (int command = 0; command < ControllerCommandCount; ++command)
        if (ControllerCommands[command].MenuId == menuId) return command;
    return -1;
}
