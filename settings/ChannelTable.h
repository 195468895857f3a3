// The 13 measurement channels a recording carries, their names, their
// colours and display order, and the names of the trigger modes.
#pragma once

#include <cstdint>

constexpr int ChannelCount = 13;

struct ChannelEntry {
    int32_t Id;        // 1..13, see ChannelName
    uint32_t Colour;   // 0x00BBGGRR
    int16_t Position;  // display position, 0 = first; -1 = not shown
};

constexpr int16_t NotShown = -1;

enum TriggerModeValue : int32_t { TriggerVoid = 0, TriggerRise = 1, TriggerFall = 2 };

// "K1".."K6", "KU", "KI", "RA".."RE" for Ids 1..13, "VOID" for any other.
const wchar_t* ChannelName(int32_t id);
// Exactly two characters, case-sensitive; 0 for anything that is no name.
int32_t ChannelIdFromName(const wchar_t* text);

const wchar_t* TriggerModeName(int32_t mode);
int32_t TriggerModeFromName(const wchar_t* text);

// Entries with a Position first, in ascending Position; unshown ones after.
void SortChannelTable(ChannelEntry (&table)[ChannelCount]);

constexpr uint32_t MakeColour(uint8_t red, uint8_t green, uint8_t blue) {
    return red | (uint32_t{green} << 8) | (uint32_t{blue} << 16);
}
constexpr uint8_t ColourRed(uint32_t colour) { return colour & 0xFF; }
constexpr uint8_t ColourGreen(uint32_t colour) { return (colour >> 8) & 0xFF; }
constexpr uint8_t ColourBlue(uint32_t colour) { return (colour >> 16) & 0xFF; }
