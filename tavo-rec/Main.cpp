// tavo-rec: TAVO's record files outside TAVO (see tavo-rec --help).
#include <cstdio>
#include <string>
#include <vector>

#include "tavo-rec/Command.h"
#include "tavo-rec/FileIo.h"

#ifdef _WIN32
#include <windows.h>

namespace {

std::string Utf8Argument(const wchar_t* argument) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, argument, -1, nullptr, 0, nullptr, nullptr);
    std::string text(length > 0 ? static_cast<size_t>(length) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, argument, -1, text.data(), length, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

}  // namespace
#endif

namespace {

int Run(std::vector<std::string> arguments) {
    PrepareConsole();
    StreamSink out(stdout), err(stderr);
    // Standard output is finished, and its failure reported, by the command.
    const int code = RunTavoRec(arguments, ProgramDirectory(), out, err);
    err.Finish();
    return code;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(Utf8Argument(argv[i]));
    return Run(arguments);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
