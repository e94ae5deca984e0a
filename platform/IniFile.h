// TIniFile: one settings file, read and written key by key through the profile-file functions.
// Holds only the file's name: every call opens the file anew, nothing is cached, and every
// write reaches the file at once (or is refused, leaving it untouched; see ProfileFile.h).
// A snapshot instead reads the file once and answers its reads from that text, until a write
// through it.
//
// Integers are written in decimal. On reading, a text of more than two characters that begins
// with "0x" or "0X" is hexadecimal, as is one with a "$" after its optional sign; anything that
// is not entirely a signed 32-bit number (ParseProfileInteger) reads as the default. Booleans
// are written "1" and "0" and read as integers: every value but 0 is true.
#pragma once

#include "ProfileFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The text as a signed 32-bit integer, or def. Blanks around it are ignored; an optional sign
// may precede the digits, or the "$" of hexadecimal digits; hexadecimal takes up to 32 bits
// and reads them as a two's-complement pattern ("$FFFFFFFF" is -1). More than 32 bits,
// decimal beyond the signed range, an empty text or any other character give def.
std::int32_t ParseProfileInteger(std::string_view text, std::int32_t def);

class TIniFile {
public:
    explicit TIniFile(std::string fileName, TProfileFileOps ops = TProfileFileOps());

    const std::string& FileName() const noexcept { return FFileName; }

    // A copy whose reads answer from the file as it is now: many keys from one version of the
    // file, opened once. A write through the copy goes to the file, and its reads follow the
    // file again from then on.
    TIniFile Snapshot() const;

    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view def) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view ident,
                             std::int32_t def) const;
    bool ReadBool(std::string_view section, std::string_view ident, bool def) const;

    // False when the write was refused; the file is then as it was.
    bool WriteString(std::string_view section, std::string_view ident, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view ident, std::int32_t value);
    bool WriteBool(std::string_view section, std::string_view ident, bool value);
    // Several keys of one section as one replacement of the file (WritePrivateProfileStrings).
    bool WriteStrings(std::string_view section, std::span<const TProfileKeyValue> keys);

private:
    std::string FFileName;
    TProfileFileOps FOps;
    std::optional<std::string> FText; // a snapshot's text; none when not a snapshot
};
