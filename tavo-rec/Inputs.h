// What every command does with its record files and its failures: a file is
// read and judged by TAVO's rules, and a failure is one line on standard
// error with its exit code.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tavo-rec/CsvExport.h"
#include "tavo-rec/RecSettings.h"
#include "tavo-rec/RecordImage.h"

struct Failure {
    int Code;
    std::string Text;
};

// Reads and examines one file; a failure says why TAVO would not show it.
std::optional<Failure> Examine(const std::string& name, RecordImage& image, RecordReport& report);

// Examines the files one after the other in the one image: each that TAVO
// would not show is reported, `each` takes the others until it returns false.
// The code of the first failure, or ExitOk.
int ForEachRecord(const std::vector<std::string>& names, RecordImage& image, ByteSink& err,
                  const std::function<bool(const std::string& name, const RecordReport& report)>& each);

// Without a Tavo.ini the settings are those of the one TAVO ships: says
// which of them the command took.
void NoteShipped(const RecSettings& settings, const char* what, ByteSink& err);

// The whole text to standard output (whose failure the program reports
// once, at its end), or to the file `output`, of which only a complete file
// ever appears. ExitOk, or the exit code of a failure already reported.
int WriteWhole(const std::optional<std::string>& output, const std::string& text, ByteSink& out, ByteSink& err);

// A failure when `output` names one of the record files: an output never
// goes over its input.
std::optional<Failure> NamesARecord(const std::optional<std::string>& output, const std::vector<std::string>& records);

// Reports the failure and gives its code.
int Fail(ByteSink& err, const Failure& failure);

// "tavo-rec: TEXT" as one line.
void Report(ByteSink& err, const Failure& failure);
void Note(ByteSink& err, const std::string& text);

// Only ASCII matters in an option's value or a file's extension: other bytes
// cannot match.
std::wstring Widened(const std::string& text);
