// Tavo.ini through the platform's profile functions.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/Settings.h"

class ProfileFile final : public Profile {
public:
    explicit ProfileFile(std::wstring path) : path_(std::move(path)) {}
    std::wstring Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) override;
    bool Put(const wchar_t* section, const wchar_t* key, const wchar_t* value) override;

    using Entries = std::vector<std::pair<std::wstring, std::wstring>>;
    // Every key of a section with its value; none when it is missing.
    Entries Section(const wchar_t* section) const;
    // Replaces the section's keys; no keys remove the section. Nothing is
    // written when it is already so.
    bool PutSection(const wchar_t* section, const Entries& entries);

private:
    std::wstring path_;
};

// The process-wide settings from and to the file at `path`.
int LoadSettings(const wchar_t* path);
int SaveSettings(const wchar_t* path);
