// The console program's contact with the file system and the console: the
// only part of tavo-rec that differs between Windows and other systems.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "tavo-rec/CsvExport.h"
#include "tavo-rec/RecordImage.h"

// A command-line argument (UTF-8) as a path.
std::filesystem::path PathFromArgument(const std::string& argument);

// A path as UTF-8 text, for messages.
std::string PathText(const std::filesystem::path& path);

// The folder of the running program, where TAVO keeps its Tavo.ini; empty
// when it cannot be found.
std::filesystem::path ProgramDirectory();

// Reads a record file into the image: its size, and its bytes when the size
// is below RecordFileLimit (a larger file is not read). False with the
// system's reason when the file cannot be opened or read.
bool ReadRecordFile(const std::filesystem::path& path, RecordImage& image, std::string* why);

// Reads a small file whole (a Tavo.ini).
bool ReadSmallFile(const std::filesystem::path& path, std::string* bytes, std::string* why);

// True when both name the same existing file.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Output to an open stream (standard output or error).
class StreamSink final : public ByteSink {
public:
    explicit StreamSink(std::FILE* stream) : stream_(stream) {}
    bool Write(const char* data, size_t size) override;
    bool Finish();  // flushes; false when anything failed

private:
    std::FILE* stream_;
};

// An output file written through a temporary file beside it: only a
// complete file ever appears under the name, and a failed or abandoned one
// leaves nothing behind.
class OutputFile final : public ByteSink {
public:
    explicit OutputFile(std::filesystem::path target);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Open(std::string* why);
    bool Write(const char* data, size_t size) override;
    // Closes the temporary, which stays until Commit or the end of the
    // object: many files can then wait for their commit without holding a
    // handle each. False (and the temporary removed) when any write failed.
    bool Close(std::string* why);
    // Closes the temporary and puts it under the target's name.
    bool Commit(std::string* why);

private:
    void Discard();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::FILE* file_ = nullptr;
    bool closed_ = false;
    int error_ = 0;  // the first write error
};

// Makes the standard streams carry bytes unchanged (no line-end
// translation) and the console show UTF-8.
void PrepareConsole();
