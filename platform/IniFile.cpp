#include "IniFile.h"

#include <utility>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::int32_t ParseProfileInteger(std::string_view text, std::int32_t def) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    bool negative = false;
    bool hex = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        text.remove_prefix(2);
    } else {
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            negative = text.front() == '-';
            text.remove_prefix(1);
        }
        if (!text.empty() && text.front() == '$') {
            hex = true;
            text.remove_prefix(1);
        }
    }
    if (text.empty()) return def;
    // Wide enough that one more digit after the limit cannot wrap.
    std::uint64_t magnitude = 0;
    const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    for (const char c : text) {
        const int digit = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) return def;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (magnitude > limit) return def;
    }
    auto bits = static_cast<std::uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits); // modular since C++20
}

TIniFile::TIniFile(std::string fileName, TProfileFileOps ops)
    : FFileName(std::move(fileName)), FOps(std::move(ops)) {}

TIniFile TIniFile::Snapshot() const {
    TIniFile copy(*this);
    // An unreadable file reads as an empty one: every key its default.
    copy.FText = ReadProfileText(FFileName).value_or(std::string());
    return copy;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view ident,
                                 std::string_view def) const {
    if (!FText) return GetPrivateProfileStringA(section, ident, def, FFileName);
    const std::optional<std::string_view> value = ProfileFind(*FText, section, ident);
    return std::string(value ? *value : def);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view ident,
                                   std::int32_t def) const {
    return ParseProfileInteger(ReadString(section, ident, ""), def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view ident, bool def) const {
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

bool TIniFile::WriteString(std::string_view section, std::string_view ident,
                           std::string_view value) {
    FText.reset();
    return WritePrivateProfileStringA(section, ident, value, FFileName, FOps);
}

bool TIniFile::WriteInteger(std::string_view section, std::string_view ident, std::int32_t value) {
    return WriteString(section, ident, std::to_string(value));
}

bool TIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
    return WriteString(section, ident, value ? "1" : "0");
}

bool TIniFile::WriteStrings(std::string_view section, std::span<const TProfileKeyValue> keys) {
    FText.reset();
    return WritePrivateProfileStrings(section, keys, FFileName, FOps);
}
