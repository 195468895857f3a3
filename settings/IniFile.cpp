#include "settings/IniFile.h"

#include <cwctype>

namespace {

// The characters the profile functions trim around names and values.
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0x1A; }

std::wstring Trim(const std::wstring& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool SameName(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
    return i == a.size() && !b[i];
}

// UTF-8 after its mark; characters outside the basic plane (which no key or
// value of ours holds) become U+FFFD.
std::wstring FromUtf8(const std::string& bytes, size_t from) {
    std::wstring text;
    for (size_t i = from; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : 0;
        uint32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : lead & 0x0F;
        bool valid = length > 0 && i + length <= bytes.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        text += valid ? static_cast<wchar_t>(code) : L'\xFFFD';
        i += valid ? length : 1;
    }
    return text;
}

std::wstring Decode(const std::string& bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        std::wstring text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8);
        return text;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return FromUtf8(bytes, 3);
    std::wstring text;
    for (char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return text;
}

// A value in matching quotes reads without them.
std::wstring Unquote(const std::wstring& value) {
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

IniFile::IniFile(const std::string& bytes) {
    const std::wstring text = Decode(bytes);
    sections_.push_back({});  // keys before the first section header belong to no section
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        // A header needs its closing bracket; the name between is taken as it stands.
        const size_t close = line.rfind(L']');
        if (line[0] == L'[' && close != std::wstring::npos) {
            sections_.push_back({line.substr(1, close - 1), {}});
            continue;
        }
        const size_t equals = line.find(L'=');
        if (equals == std::wstring::npos)
            sections_.back().Entries.push_back({line, std::nullopt});
        else
            sections_.back().Entries.push_back({Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))});
    }
}

std::wstring IniFile::Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) {
    // Only the first section of the name is searched, as the profile functions do.
    for (size_t s = 1; s < sections_.size(); ++s) {
        if (!SameName(sections_[s].Name, section)) continue;
        for (const Entry& entry : sections_[s].Entries)
            if (SameName(entry.Key, key)) return entry.Value ? Unquote(*entry.Value) : fallback;
        return fallback;
    }
    return fallback;
}

bool IniFile::Put(const wchar_t*, const wchar_t*, const wchar_t*) { return false; }
