#include "sim/SimFiles.h"

#include <windows.h>

#include "base/Handles.h"

std::wstring ModuleDirectory() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleDirectory), &self);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return L"";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring EnvironmentValue(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return L"";
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

void LogWrittenBytes(const uint8_t* bytes, size_t count) {
    std::wstring path = EnvironmentValue(L"TAVO_SIM_LOG");
    if (path.empty()) path = ModuleDirectory() + L"FTD2XX.sim.log";
    UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;  // a missing log never stops the link
    static constexpr char Hex[] = "0123456789abcdef";
    std::string line;
    line.reserve(2 * count + 1);
    for (size_t i = 0; i < count; ++i) {
        line += Hex[bytes[i] >> 4];
        line += Hex[bytes[i] & 0x0F];
    }
    line += '\n';
    DWORD written = 0;
    WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
