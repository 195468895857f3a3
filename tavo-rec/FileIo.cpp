#include "tavo-rec/FileIo.h"

#include <cerrno>
#include <chrono>
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

bool StreamSink::Write(const char* data, size_t size) { return std::fwrite(data, 1, size, stream_) == size; }

bool StreamSink::Finish() { return std::fflush(stream_) == 0 && !std::ferror(stream_); }

OutputFile::OutputFile(fs::path target) : target_(std::move(target)) {
    // Beside the target, so the final rename stays on one volume; named
    // uniquely, so two runs do not share it.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    temporary_ = target_;
    temporary_ += ".tmp-" + std::to_string(stamp);
}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(std::string* why) {
    file_ = OpenFile(temporary_, "wb");
    if (!file_) *why = Reason(errno);
    return file_ != nullptr;
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
    if (!Close(why) || temporary_.empty()) return false;
#ifdef _WIN32
    const bool moved = MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!moved) *why = std::system_category().message(static_cast<int>(GetLastError()));
#else
    const bool moved = std::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!moved) *why = Reason(errno);
#endif
    if (!moved) {
        Discard();
        return false;
    }
    temporary_.clear();
    closed_ = false;
    return true;
}

void OutputFile::Discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (temporary_.empty()) return;
    std::error_code error;
    fs::remove(temporary_, error);
    temporary_.clear();
}

void PrepareConsole() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
#endif
}
