// tavo-rec's command line: the commands, their options and what each
// option's value must be.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tavo-rec/Inputs.h"
#include "tavo-rec/RecSettings.h"

struct TriggerFlags {
    std::optional<int16_t> Threshold, Pre, Post;
    std::optional<int32_t> Channel, Mode;
    bool Any() const { return Threshold || Pre || Post || Channel || Mode; }
    bool All() const { return Threshold && Pre && Post && Channel && Mode; }
};

struct PictureSize {
    int Width, Height;
};

// --band N for every channel, --band KI=N,KU=M for single ones (these win).
struct BandFlags {
    std::optional<uint32_t> Every;
    std::map<int32_t, uint32_t> Channels;  // by channel Id
    bool Any() const { return Every || !Channels.empty(); }
    std::optional<uint32_t> For(int32_t id) const;
};

struct Options {
    std::string Command;
    std::vector<std::string> Files;
    std::optional<std::string> Ini, Output, Reference;
    std::optional<ClockTenths> Clock;
    TriggerFlags Trigger;
    std::optional<uint32_t> ShowTrigger;
    std::optional<PictureSize> Size;
    std::optional<uint32_t> Tolerance;
    BandFlags Band;
    bool Levels = false;
    bool German = false;
    bool All = false;
    bool Csv = false;
    bool NoCaption = false;
    bool Parameters = false;
    bool Help = false;
    bool Version = false;
    // Said on standard error before the command runs.
    std::vector<std::string> Warnings;
};

std::optional<Failure> ParseArguments(const std::vector<std::string>& arguments, Options& options);

// The text of --help.
const char* UsageText();
