// tavo-rec's commands: `info`, `csv`, `plot`, `diff`, `check` and `table`,
// and their exit codes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tavo-rec/CsvExport.h"

// Exit codes besides those of RecordProblem (3 to 8).
constexpr int ExitOk = 0;
constexpr int ExitUnreadable = 3; // RecordProblem::Unreadable: a file or folder cannot be read
constexpr int ExitUsage = 1;      // the command line is wrong
constexpr int ExitSettings = 2;   // the Tavo.ini cannot be read or TAVO would refuse it
constexpr int ExitOutput = 9;     // the output cannot be written
constexpr int ExitDiffer = 10;    // diff: the files differ in parameters or samples; check: a weld failed
constexpr int ExitNoTrigger = 11; // plot, diff, check: TAVO never shows the trigger asked for

// Runs the command line (without the program's name; UTF-8 arguments).
// Without --ini, the Tavo.ini in `programDirectory` is used when there is one.
// Standard output is finished here: a failed write of it is reported once and
// gives ExitOutput, whatever the command's result was.
int RunTavoRec(const std::vector<std::string>& arguments, const std::filesystem::path& programDirectory,
               ByteSink& out, ByteSink& err);
