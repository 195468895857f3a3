// A profile (INI) file read without the platform's profile functions, with
// the same rules: section and key names match without regard to case, the
// first section of a name is the one searched, blanks around names and values
// do not count, a value in matching quotes loses them, and a line without '='
// names a key without a value, which reads as missing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/Settings.h"

class IniFile final : public Profile {
public:
    // The file's text: UTF-16 (little-endian) or UTF-8 after a byte-order
    // mark, otherwise one character per byte.
    explicit IniFile(const std::string& bytes);

    std::wstring Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) override;
    // Reading only: nothing is ever written back.
    bool Put(const wchar_t* section, const wchar_t* key, const wchar_t* value) override;

private:
    struct Entry {
        std::wstring Key;
        std::optional<std::wstring> Value;
    };
    struct Section {
        std::wstring Name;
        std::vector<Entry> Entries;
    };
    std::vector<Section> sections_;
};
