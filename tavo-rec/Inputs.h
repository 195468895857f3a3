// What every command does with its record files and its failures: a file is
// read and judged by TAVO's rules, and a failure is one line on standard
// error with its exit code.
#pragma once

#include <optional>
#include <string>

#include "tavo-rec/CsvExport.h"
#include "tavo-rec/RecordImage.h"

struct Failure {
    int Code;
    std::string Text;
};

// Reads and examines one file; a failure says why TAVO would not show it.
std::optional<Failure> Examine(const std::string& name, RecordImage& image, RecordReport& report);

// The whole text to standard output (whose failure the program reports
// once, at its end), or to the file `output`, of which only a complete file
// ever appears. ExitOk, or the exit code of a failure already reported.
int WriteWhole(const std::optional<std::string>& output, const std::string& text, ByteSink& out, ByteSink& err);

// Reports the failure and gives its code.
int Fail(ByteSink& err, const Failure& failure);

// "tavo-rec: TEXT" as one line.
void Report(ByteSink& err, const Failure& failure);
void Note(ByteSink& err, const std::string& text);

// Only ASCII matters in an option's value or a file's extension: other bytes
// cannot match.
std::wstring Widened(const std::string& text);
