#include "tavo-rec/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <optional>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

std::FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
    const std::wstring wide(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wide.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::string Reason(int error) { return std::generic_category().message(error); }

class ClosingFile {
public:
    explicit ClosingFile(std::FILE* file) : file_(file) {}
    ~ClosingFile() {
        if (file_) std::fclose(file_);
    }
    ClosingFile(const ClosingFile&) = delete;
    ClosingFile& operator=(const ClosingFile&) = delete;
    std::FILE* Get() const { return file_; }

private:
    std::FILE* file_;
};

// Reads up to `capacity` bytes; false with the reason on a read error.
bool ReadUpTo(std::FILE* file, uint8_t* into, uint64_t capacity, uint64_t* read, std::string* why) {
    errno = 0;
    *read = std::fread(into, 1, static_cast<size_t>(capacity), file);
    if (std::ferror(file)) {
        *why = Reason(errno ? errno : EIO);
        return false;
    }
    return true;
}

}  // namespace

fs::path PathFromArgument(const std::string& argument) {
#ifdef _WIN32
    const int length = MultiByteToWideChar(CP_UTF8, 0, argument.data(), static_cast<int>(argument.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, argument.data(), static_cast<int>(argument.size()), wide.data(), length);
    return fs::path(wide);
#else
    return fs::path(argument);
#endif
}

std::string PathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path ProgramDirectory() {
#ifdef _WIN32
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return fs::path(std::wstring(module, length)).parent_path();
#else
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : program.parent_path();
#endif
}

bool ReadRecordFile(const fs::path& path, RecordImage& image, std::string* why) {
    ClosingFile file(OpenFile(path, "rb"));
    if (!file.Get()) {
        *why = Reason(errno);
        return false;
    }
    // A file too large to load is not read at all.
    std::error_code error;
    const uintmax_t size = fs::is_regular_file(path, error) ? fs::file_size(path, error) : 0;
    if (!error && size >= RecordFileLimit) {
        image.Size = size;
        return true;
    }
    // A stream that fills the whole limit (or a file that grew) is too large
    // as well: its size is then RecordFileLimit.
    uint64_t read = 0;
    if (!ReadUpTo(file.Get(), image.Bytes.get(), RecordFileLimit, &read, why)) return false;
    image.Size = read;
    return true;
}

bool ReadSmallFile(const fs::path& path, std::string* bytes, std::string* why) {
    ClosingFile file(OpenFile(path, "rb"));
    if (!file.Get()) {
        *why = Reason(errno);
        return false;
    }
    char buffer[4096];
    bytes->clear();
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file.Get())) > 0) bytes->append(buffer, read);
    if (std::ferror(file.Get())) {
        *why = Reason(errno ? errno : EIO);
        return false;
    }
    return true;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

bool StreamSink::Write(const char* data, size_t size) {
    errno = 0;
    if (std::fwrite(data, 1, size, stream_) == size) return true;
    if (!error_) error_ = errno ? errno : EIO;
    return false;
}

bool StreamSink::Finish() {
    errno = 0;
    if (std::fflush(stream_) != 0 && !error_) error_ = errno ? errno : EIO;
    if (std::ferror(stream_) && !error_) error_ = EIO;
    return error_ == 0;
}

std::string StreamSink::FailureReason() const { return error_ ? Reason(error_) : std::string(); }

namespace {

// The file a path names, through any symbolic links; empty with the reason
// when the links do not end.
fs::path FollowLinks(const fs::path& target, std::string* why) {
    fs::path path = target;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const fs::path next = fs::read_symlink(path, error);
        if (error) {
            *why = error.message();
            return {};
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    *why = Reason(ELOOP);
    return {};
}

#ifdef _WIN32
// Device names (NUL, CON, COM1, ...) name no file on a disk, whatever the folder.
bool IsDevice(const fs::path& path) {
    const HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type != FILE_TYPE_DISK;
}
#endif

// Why output must not go to what stands at `path` (links followed), or
// nothing for a plain file or no file at all.
std::optional<std::string> NotPlainFile(const fs::path& path) {
    std::error_code error;
    const fs::file_type type = fs::status(path, error).type();
    const char* what = nullptr;
    switch (type) {
        case fs::file_type::not_found:
        case fs::file_type::none:
        case fs::file_type::regular: break;
        case fs::file_type::directory: what = "a folder"; break;
        case fs::file_type::block:
        case fs::file_type::character: what = "a device"; break;
        case fs::file_type::fifo: what = "a named pipe"; break;
        case fs::file_type::socket: what = "a socket"; break;
        default: what = "not a plain file"; break;
    }
#ifdef _WIN32
    if (!what && IsDevice(path)) what = "a device";
#endif
    if (!what) return std::nullopt;
    return std::string(type == fs::file_type::unknown ? "" : "it is ") + what +
           ", not a plain file: tavo-rec writes plain files only and replaces nothing else (-o - writes to "
           "standard output)";
}

// A copy of the file under `kept`, as a second name for the same bytes
// where the file system allows it.
bool KeepCopy(const fs::path& target, const fs::path& kept, std::string* why) {
    std::error_code error;
    fs::create_hard_link(target, kept, error);
    if (!error) return true;
    fs::copy_file(target, kept, error);
    if (error) *why = error.message();
    return !error;
}

std::string Stamp() { return std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()); }

CommitSteps& FileSystemSteps() {
    static CommitSteps steps;
    return steps;
}

}  // namespace

bool CommitSteps::Move(const fs::path& from, const fs::path& to, std::string* why) {
#ifdef _WIN32
    const bool moved = MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!moved) *why = std::system_category().message(static_cast<int>(GetLastError()));
#else
    const bool moved = std::rename(from.c_str(), to.c_str()) == 0;
    if (!moved) *why = Reason(errno);
#endif
    return moved;
}

OutputFile::OutputFile(fs::path target) : target_(std::move(target)) {}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(std::string* why) {
    const fs::path followed = FollowLinks(target_, why);
    if (followed.empty()) return false;
    if (const auto refusal = NotPlainFile(followed)) {
        *why = *refusal;
        return false;
    }
    target_ = followed;
    // Beside the target, so the final rename stays on one volume; named
    // uniquely, so two runs do not share it.
    temporary_ = target_;
    temporary_ += ".tmp-" + Stamp();
    file_ = OpenFile(temporary_, "wb");
    if (!file_) {
        *why = Reason(errno);
        temporary_.clear();
        return false;
    }
#ifndef _WIN32
    // The file keeps the permissions it had.
    std::error_code error;
    const fs::file_status old = fs::status(target_, error);
    if (!error && fs::is_regular_file(old)) fs::permissions(temporary_, old.permissions(), error);
#endif
    return true;
}

bool OutputFile::Write(const char* data, size_t size) {
    if (!file_ || error_) return false;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) == size) return true;
    error_ = errno ? errno : EIO;
    return false;
}

bool OutputFile::Close(std::string* why) {
    if (!file_) return closed_;
    if (std::fflush(file_) != 0 && !error_) error_ = errno ? errno : EIO;
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0 && !error_) error_ = errno ? errno : EIO;
    if (error_) {
        *why = Reason(error_);
        Discard();
        return false;
    }
    closed_ = true;
    return true;
}

bool OutputFile::Commit(std::string* why) {
    size_t failed = 0;
    return CommitTogether({this}, why, &failed);
}

void OutputFile::Discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    closed_ = false;
    if (temporary_.empty()) return;
    std::error_code error;
    fs::remove(temporary_, error);
    temporary_.clear();
}

bool CommitTogether(const std::vector<OutputFile*>& files, std::string* why, size_t* failed) {
    return CommitTogether(files, why, failed, FileSystemSteps());
}

bool CommitTogether(const std::vector<OutputFile*>& files, std::string* why, size_t* failed, CommitSteps& steps) {
    const auto fail = [&](size_t at) {
        *failed = at;
        for (OutputFile* file : files) file->Discard();
        return false;
    };
    for (size_t i = 0; i < files.size(); ++i)
        if (!files[i]->Close(why) || files[i]->temporary_.empty()) return fail(i);
    // What stands under the names now is kept aside first, so that a failed
    // move can put it back.
    std::vector<fs::path> kept(files.size());
    const auto dropKept = [&](size_t from) {
        std::error_code error;
        for (size_t j = from; j < kept.size(); ++j)
            if (!kept[j].empty()) fs::remove(kept[j], error);
    };
    for (size_t i = 0; i < files.size(); ++i) {
        std::error_code error;
        if (!fs::is_regular_file(files[i]->target_, error)) continue;
        kept[i] = files[i]->target_;
        kept[i] += ".old-" + Stamp();
        if (KeepCopy(files[i]->target_, kept[i], why)) continue;
        kept[i].clear();
        dropKept(0);
        return fail(i);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (steps.Move(files[i]->temporary_, files[i]->target_, why)) {
            files[i]->temporary_.clear();
            continue;
        }
        // Back to the old set: each earlier name gets its old file again, or
        // none when it had none. A kept file that cannot go back stays.
        for (size_t j = 0; j < i; ++j) {
            std::string undo;
            std::error_code error;
            if (kept[j].empty() ? fs::remove(files[j]->target_, error) || !error
                                : steps.Move(kept[j], files[j]->target_, &undo)) {
                kept[j].clear();
                continue;
            }
            *why += "; " + PathText(files[j]->target_) + " keeps the new file, the old one is " +
                    PathText(kept[j]);
        }
        dropKept(i);
        return fail(i);
    }
    dropKept(0);
    for (OutputFile* file : files) file->closed_ = false;
    return true;
}

std::string FileDate(const fs::path& path) {
    std::error_code error;
    const auto written = fs::last_write_time(path, error);
    if (error) return {};
    const std::time_t time =
        std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written));
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &time) != 0) return {};
#else
    if (!localtime_r(&time, &local)) return {};
#endif
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) ? text : std::string();
}

namespace {

// Only the ASCII extension decides the kind: other characters need no
// conversion.
std::wstring NameForKind(const fs::path& path) {
#ifdef _WIN32
    return path.filename().wstring();
#else
    const std::string name = path.filename().string();
    return std::wstring(name.begin(), name.end());
#endif
}

}  // namespace

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool RecordFilesIn(const fs::path& folder, std::vector<std::string>* names, std::string* why) {
    std::error_code error;
    std::vector<fs::path> found;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (RecordKindOf(NameForKind(entry->path()).c_str()) != RecordKind::Other) found.push_back(entry->path());
    if (error) {
        *why = error.message();
        return false;
    }
    std::sort(found.begin(), found.end());
    for (const fs::path& path : found) names->push_back(PathText(path));
    return true;
}

void PrepareConsole() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
#endif
}
