#include "settings/ProfileFile.h"

#include <windows.h>

namespace {
// The profile functions fetch into a buffer of this many characters.
constexpr DWORD FetchCapacity = 1024;
}  // namespace

std::wstring ProfileFile::Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) {
    wchar_t text[FetchCapacity];
    const DWORD length = GetPrivateProfileStringW(section, key, fallback, text, FetchCapacity, path_.c_str());
    return std::wstring(text, length);
}

bool ProfileFile::Put(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    return WritePrivateProfileStringW(section, key, value, path_.c_str()) != FALSE;
}

int LoadSettings(const wchar_t* path) {
    ProfileFile file(path);
    return LoadSettings(file, AppSettings());
}

int SaveSettings(const wchar_t* path) {
    ProfileFile file(path);
    return SaveSettings(file, AppSettings());
}
