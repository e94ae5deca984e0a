// Profile files: the small INI files of the program, read one key at a time and written one key
// or one section's keys at a time.
//
// Format: lines "[section]" and "key=value", each ending in "\n" ("\r\n" is read too; the
// last line may lack its end). Section and key names are compared without regard to ASCII
// case; blanks (space, tab) around names and values are ignored; a line whose first non-blank
// character is ";" is a comment. Lines before the first section header belong to no section.
// The first section of a name is the one read and written, and in it the first key of a name:
// later duplicates are never read nor changed. Any other line is kept as it stands.
//
// GetPrivateProfileStringA gives the value of a key, or the default when the file, the section
// or the key is missing, or the file is unreadable, not a regular file, or larger than
// kProfileMaxFileSize.
//
// WritePrivateProfileStringA sets one key. An existing key gets its value replaced in place; a
// missing key is added after the last non-blank, non-comment line of its section; a missing
// section is added at the end of the file, together with the key. Every other byte of the file
// stays as it was. The new text goes to a temporary file in the same directory, which is flushed
// and renamed over the old one, so a reader sees either the old file or the new one, never a
// torn one; the new file keeps the old one's permission bits (and owner, where allowed). A
// symbolic link is followed: its target is replaced, the link stays.
//
// The temporary file is named "." + name + ".tmp-" + pid + "-" + eight characters from a-z and
// 0-9, where name is the file's name (one longer than 64 bytes is cut to 47 and followed by
// "~" and 16 hexadecimal digits of a hash of the whole) and pid the writing process's, in
// decimal. A process killed between creating and renaming it leaves it behind;
// RemoveStaleProfileTemporaries removes such files.
//
// A write is refused, returning false and leaving the file untouched, when:
// - the directory or an existing file is not writable: either the effective user may not write
//   it, or its permission bits grant writing to nobody (a read-only file stays read-only even
//   for the superuser, for whom the first test always passes);
// - the path names no regular file (a directory, a device), or the existing file cannot be read
//   or is larger than kProfileMaxFileSize (its other lines could not be kept);
// - the section, key or value cannot be written as one line (see ProfileWritable);
// - any step of writing or renaming the temporary file fails; the temporary file is removed.
//
// Nothing is cached: every call opens, reads or writes, and closes the file.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>

// Larger files are not settings files; refusing them bounds the memory one call can take.
inline constexpr std::size_t kProfileMaxFileSize = 64u * 1024u * 1024u;

// The system calls that finish a write; tests replace them to interrupt a write at any point.
struct TProfileFileOps {
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(const char* from, const char* to)> rename;
    // The mode a new file is created with, before the umask; a replaced file keeps its own.
    mode_t newFileMode = 0666;

    TProfileFileOps(); // the real calls
};

std::string GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                     std::string_view def, const std::string& fileName);

// The whole text that GetPrivateProfileStringA reads keys from, or nothing when it would give
// every key's default (no file, or one it refuses to read).
std::optional<std::string> ReadProfileText(const std::string& fileName);

bool WritePrivateProfileStringA(std::string_view section, std::string_view key,
                                std::string_view value, const std::string& fileName,
                                const TProfileFileOps& ops = TProfileFileOps());

// Sets several keys of one section, in order, as one replacement of the file: the same bytes as
// writing them one after the other, but a reader (or a kill) never sees some of them without
// the others. Refused as a whole, the file untouched, when any key would be refused.
struct TProfileKeyValue {
    std::string_view Key;
    std::string_view Value;
};
bool WritePrivateProfileStrings(std::string_view section, std::span<const TProfileKeyValue> keys,
                                const std::string& fileName,
                                const TProfileFileOps& ops = TProfileFileOps());

// Removes the temporary files that writes of fileName (of its target, for a symbolic link) left
// behind: regular files of the effective user beside it, named as above for this file, whose
// writer process no longer exists. A write in progress, the temporaries of other files, and
// anything else stay. Silent on failure.
void RemoveStaleProfileTemporaries(const std::string& fileName);

// The text rules, over a buffer.

// The trimmed value of the key, or nothing when the section or key is missing.
std::optional<std::string_view> ProfileFind(std::string_view text, std::string_view section,
                                            std::string_view key);

// Whether section, key and value can be stored so that ProfileFind finds them again: names
// non-empty, without line ends, NUL bytes, blanks at either end, "=" in a key, "]" in a
// section, ";" or "[" opening a key; a value without line ends or NUL bytes (its outer blanks
// are not kept, as they are ignored on reading).
bool ProfileWritable(std::string_view section, std::string_view key, std::string_view value);

// Takes the group's and others' permissions off the file (a link's target), so that secrets in
// it are the owner's alone; later writes keep the mode. True when the file is now so, or absent.
bool ProfileRestrictToOwner(const std::string& fileName);

// The text with the key set to value, under the rules above. The arguments must be
// ProfileWritable. New lines end like the first line of the text ("\r\n" or "\n").
std::string ProfileReplace(std::string_view text, std::string_view section, std::string_view key,
                           std::string_view value);
