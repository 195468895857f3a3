// The console program's contact with the file system and the console: the
// only part of tavo-rec that differs between Windows and other systems.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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
    bool Finish() override;  // flushes; false when anything failed
    std::string FailureReason() const override;

private:
    std::FILE* stream_;
    int error_ = 0;  // the first failure's
};

// What putting output files in place does to the file system, one step at a
// time. Tests hand in steps that fail; everything else uses these.
class CommitSteps {
public:
    virtual ~CommitSteps() = default;
    // Renames `from` over `to` in one step.
    virtual bool Move(const std::filesystem::path& from, const std::filesystem::path& to, std::string* why);
};

// An output file written through a temporary file beside it: only a
// complete file ever appears under the name, and a failed or abandoned one
// leaves nothing behind. A symbolic link is written through to the file it
// names; anything there that is not a plain file (a folder, a device, a
// named pipe) is refused, never replaced.
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
    friend bool CommitTogether(const std::vector<OutputFile*>& files, std::string* why, size_t* failed,
                               CommitSteps& steps);
    void Discard();

    std::filesystem::path target_;  // the plain file written, symbolic links followed
    std::filesystem::path temporary_;
    std::FILE* file_ = nullptr;
    bool closed_ = false;
    int error_ = 0;  // the first write error
};

// Puts every file (open or closed) under its name, or none: when one cannot
// be put in place, the files already moved in give way again to what stood
// there before (or to nothing), so the set seen afterwards is the old one.
// False with the reason and the index of the file that failed.
bool CommitTogether(const std::vector<OutputFile*>& files, std::string* why, size_t* failed, CommitSteps& steps);
bool CommitTogether(const std::vector<OutputFile*>& files, std::string* why, size_t* failed);

// The modification time of a file as local time, "2013-05-07 09:05:03";
// empty when it cannot be read.
std::string FileDate(const std::filesystem::path& path);

// A folder given instead of files: the names in it that TAVO loads (.rec and
// .dat), sorted. False with the reason when it cannot be listed.
bool RecordFilesIn(const std::filesystem::path& folder, std::vector<std::string>* names, std::string* why);
bool IsFolder(const std::filesystem::path& path);

// Makes the standard streams carry bytes unchanged (no line-end
// translation) and the console show UTF-8.
void PrepareConsole();
