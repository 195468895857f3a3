#include "settings/ProfileFile.h"

#include <windows.h>

#include <cwchar>

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

ProfileFile::Entries ProfileFile::Section(const wchar_t* section) const {
    // "key=value\0key=value\0\0"; a section too long for the room is cut,
    // and its last entry may be cut too: it is dropped.
    std::vector<wchar_t> text(32 * FetchCapacity);
    const DWORD length = GetPrivateProfileSectionW(section, text.data(), static_cast<DWORD>(text.size()), path_.c_str());
    const bool cut = length + 2 >= text.size();
    Entries entries;
    for (const wchar_t* line = text.data(); line < text.data() + length && *line; line += std::wcslen(line) + 1) {
        const wchar_t* equals = std::wcschr(line, L'=');
        if (!equals) continue;
        entries.emplace_back(std::wstring(line, equals), std::wstring(equals + 1));
    }
    if (cut && !entries.empty()) entries.pop_back();
    return entries;
}

bool ProfileFile::PutSection(const wchar_t* section, const Entries& entries) {
    if (Section(section) == entries) return true;
    if (entries.empty()) return WritePrivateProfileStringW(section, nullptr, nullptr, path_.c_str()) != FALSE;
    std::wstring text;
    for (const auto& [key, value] : entries) text += key + L"=" + value + L'\0';
    text += L'\0';
    return WritePrivateProfileSectionW(section, text.c_str(), path_.c_str()) != FALSE;
}

int LoadSettings(const wchar_t* path) {
    ProfileFile file(path);
    return LoadSettings(file, AppSettings());
}

int SaveSettings(const wchar_t* path) {
    ProfileFile file(path);
    return SaveSettings(file, AppSettings());
}
