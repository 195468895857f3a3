// Tavo.ini through the platform's profile functions.
#pragma once

#include <string>

#include "settings/Settings.h"

class ProfileFile final : public Profile {
public:
    explicit ProfileFile(std::wstring path) : path_(std::move(path)) {}
    std::wstring Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) override;
    bool Put(const wchar_t* section, const wchar_t* key, const wchar_t* value) override;

private:
    std::wstring path_;
};

// The process-wide settings from and to the file at `path`.
int LoadSettings(const wchar_t* path);
int SaveSettings(const wchar_t* path);
