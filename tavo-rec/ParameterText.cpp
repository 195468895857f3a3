#include "tavo-rec/ParameterText.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "editors/FieldRules.h"
#include "editors/ParameterBlock.h"

namespace {

// The dialog's groups from its left column to its right.
const wchar_t* const GroupOrder[] = {L"Einstellungen", L"DAC", L"Potentiometer", L"Offsets", L"Regler"};

int32_t StoredValue(const uint8_t* block, const ParameterField& field) {
    ParameterBlock copy;
    uint8_t bytes[ParameterBlockSize];
    std::memcpy(bytes, block, ParameterBlockSize);
    copy.Replace(bytes);
    return copy.ReadField(field);
}

// The abbreviation in parentheses, or the label without blanks.
std::string FieldName(const std::string& label) {
    const size_t open = label.rfind('(');
    if (open != std::string::npos && label.back() == ')') return label.substr(open + 1, label.size() - open - 2);
    std::string name;
    for (char c : label)
        if (c != ' ') name += c;
    return name;
}

ParameterLine FieldLine(const uint8_t* block, const ParameterField& field) {
    const int32_t stored = StoredValue(block, field);
    const int32_t shown = ShownFieldValue(stored, field.Minimum, field.Maximum);
    const std::wstring limits = LimitText(field.Type, field.Minimum) + L".." + LimitText(field.Type, field.Maximum);
    ParameterLine line;
    line.Group = Utf8(field.Group);
    line.Label = Utf8(field.Label);
    line.Name = FieldName(line.Label);
    line.Shown = Utf8(SpinText(shown).c_str());
    line.Limits = Utf8(limits.c_str());
    line.ShownValue = shown;
    line.Stored = stored;
    if (shown != stored) line.Note = "stored " + std::to_string(stored) + ", outside the limits";
    return line;
}

// "[x] 0 [ ] 1 ...": box i is checked when bit i is set.
ParameterLine FlagLine(const char* label, uint8_t flags) {
    std::string boxes;
    for (int i = 0; i < 8; ++i) {
        if (i > 0) boxes += ' ';
        boxes += (flags >> i & 1) ? "[x] " : "[ ] ";
        boxes += static_cast<char>('0' + i);
    }
    ParameterLine line;
    line.Group = line.Label = label;
    line.Name = FieldName(label);
    line.Shown = boxes;
    line.ShownValue = line.Stored = flags;
    line.Flags = true;
    return line;
}

}  // namespace

std::string CheckedBoxes(uint8_t flags) {
    std::string boxes;
    for (int i = 0; i < 8; ++i) {
        if (!(flags >> i & 1)) continue;
        if (!boxes.empty()) boxes += ' ';
        boxes += static_cast<char>('0' + i);
    }
    return boxes;
}

std::string Utf8(const wchar_t* text) {
    std::string out;
    for (; *text; ++text) {
        const uint32_t c = static_cast<uint32_t>(*text);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12 & 0x0F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::vector<ParameterLine> ParameterLines(const uint8_t* block) {
    std::vector<const ParameterField*> fields;
    for (const ParameterField& field : ParameterFields) fields.push_back(&field);
    // Within a group the dialog's rows follow the block's order.
    const auto rank = [](const ParameterField* field) {
        const auto group = std::find_if(std::begin(GroupOrder), std::end(GroupOrder),
                                        [&](const wchar_t* name) { return std::wcscmp(name, field->Group) == 0; });
        return std::make_pair(group - std::begin(GroupOrder), field->Offset);
    };
    std::sort(fields.begin(), fields.end(), [&](auto* a, auto* b) { return rank(a) < rank(b); });

    std::vector<ParameterLine> lines;
    for (const ParameterField* field : fields) lines.push_back(FieldLine(block, *field));
    lines.push_back(FlagLine("Autooffset (AO)", block[OffsetAO]));
    lines.push_back(FlagLine("Negation (NE)", block[OffsetNE]));
    return lines;
}
