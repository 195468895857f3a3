// tavo-rec's commands: `info`, `csv`, `plot` and `diff`, their options and
// exit codes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tavo-rec/CsvExport.h"

// Exit codes besides those of RecordProblem (3 to 8).
constexpr int ExitOk = 0;
constexpr int ExitUsage = 1;      // the command line is wrong
constexpr int ExitSettings = 2;   // the Tavo.ini cannot be read or TAVO would refuse it
constexpr int ExitOutput = 9;     // the output cannot be written
constexpr int ExitDiffer = 10;    // diff: the files differ in parameters or samples
constexpr int ExitNoTrigger = 11; // plot, diff: TAVO never shows the trigger asked for

// Runs the command line (without the program's name; UTF-8 arguments).
// Without --ini, the Tavo.ini in `programDirectory` is used when there is one.
int RunTavoRec(const std::vector<std::string>& arguments, const std::filesystem::path& programDirectory,
               ByteSink& out, ByteSink& err);

// The text of --help.
const char* UsageText();
