#include "ProfileFile.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

// One line of the text; offsets into it.
struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0; // before "\r\n", "\n" or the end of the text
    std::size_t next = 0;       // start of the next line
    bool hasNewline = false;
    LineKind kind = LineKind::Blank;
    std::string_view name;      // section or key name, trimmed
    std::size_t valueBegin = 0; // key lines: the trimmed value
    std::size_t valueEnd = 0;
};

class LineReader {
public:
    explicit LineReader(std::string_view text) : FText(text) {}

    bool Next(Line& line) {
        if (FPos >= FText.size()) return false;
        line = Line();
        line.begin = FPos;
        const std::size_t nl = FText.find('\n', FPos);
        std::size_t end = nl == std::string_view::npos ? FText.size() : nl;
        line.hasNewline = nl != std::string_view::npos;
        line.next = line.hasNewline ? nl + 1 : FText.size();
        if (end > FPos && FText[end - 1] == '\r') --end;
        line.contentEnd = end;
        FPos = line.next;
        Classify(line);
        return true;
    }

private:
    void Classify(Line& line) const {
        const std::string_view content = FText.substr(line.begin, line.contentEnd - line.begin);
        const std::string_view t = Trim(content);
        if (t.empty()) {
            line.kind = LineKind::Blank;
        } else if (t.front() == ';') {
            line.kind = LineKind::Comment;
        } else if (t.front() == '[') {
            line.kind = LineKind::Section;
            const std::size_t close = t.find(']');
            line.name = Trim(t.substr(1, close == std::string_view::npos ? t.npos : close - 1));
        } else if (const std::size_t eq = content.find('='); eq != std::string_view::npos) {
            line.kind = LineKind::Key;
            line.name = Trim(content.substr(0, eq));
            std::size_t vb = line.begin + eq + 1;
            std::size_t ve = line.contentEnd;
            while (vb < ve && IsBlank(FText[vb]))
                ++vb;
            while (ve > vb && IsBlank(FText[ve - 1]))
                --ve;
            line.valueBegin = vb;
            line.valueEnd = ve;
        } else {
            line.kind = LineKind::Other;
        }
    }

    std::string_view FText;
    std::size_t FPos = 0;
};

// Where a key is, or where it would go.
struct Location {
    bool sectionFound = false;
    bool keyFound = false;
    Line key;                 // when keyFound
    std::size_t insertAt = 0; // when only the section was found: after its last content line
    bool insertNeedsNewline = false;
};

Location Locate(std::string_view text, std::string_view section, std::string_view key) {
    Location loc;
    LineReader reader(text);
    Line line;
    bool inSection = false;
    while (reader.Next(line)) {
        if (line.kind == LineKind::Section) {
            if (inSection) break; // only the first section of the name counts
            if (SameName(line.name, section)) {
                inSection = true;
                loc.sectionFound = true;
                loc.insertAt = line.next;
                loc.insertNeedsNewline = !line.hasNewline;
            }
            continue;
        }
        if (!inSection || line.kind == LineKind::Blank || line.kind == LineKind::Comment) continue;
        if (line.kind == LineKind::Key && SameName(line.name, key)) {
            loc.keyFound = true;
            loc.key = line;
            return loc;
        }
        loc.insertAt = line.next;
        loc.insertNeedsNewline = !line.hasNewline;
    }
    return loc;
}

std::string_view LineEndOf(std::string_view text) {
    const std::size_t nl = text.find('\n');
    return (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r') ? "\r\n" : "\n";
}

// What ends an unfinished last line: a "\r" read as its end only needs its "\n".
std::string_view LineEndAfter(std::string_view before, std::string_view eol) {
    return (!before.empty() && before.back() == '\r') ? "\n" : eol;
}

bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// ---- file side ----

class Fd {
public:
    explicit Fd(int fd = -1) : FFd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    // close is not retried after EINTR: on Linux the descriptor is gone either way.
    ~Fd() noexcept {
        if (FFd >= 0) ::close(FFd);
    }
    int Get() const { return FFd; }
    int Release() {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }

private:
    int FFd;
};

enum class ReadResult { Ok, Missing, Unusable };

ReadResult ReadWholeFile(const std::string& fileName, std::string& text, struct stat& st) {
    text.clear();
    // O_NONBLOCK: a FIFO planted in the file's place must not stall the program.
    Fd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unusable;
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > kProfileMaxFileSize)
        return ReadResult::Unusable;
    text.reserve(static_cast<std::size_t>(st.st_size));
    // One page: every stack page a read ever touches stays resident for the program's life.
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ReadResult::Unusable;
        }
        if (n == 0) break;
        if (text.size() + static_cast<std::size_t>(n) > kProfileMaxFileSize)
            return ReadResult::Unusable; // grew while being read
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return ReadResult::Ok;
}

std::string DirectoryOf(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

std::string BaseNameOf(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

// The effective user may write it, and its bits do not mark it read-only for everyone.
bool Writable(const std::string& path, int mode) {
    struct stat st;
    return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0 &&
           ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) != 0;
}

constexpr std::size_t kStemMax = 64;
constexpr std::size_t kSuffixLength = 8;
constexpr char kSuffixLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";

// The part of a temporary's name that names its file: the file's name, or a
// long one shortened with a hash of the whole so two long names stay apart.
std::string TemporaryStem(const std::string& base) {
    if (base.size() <= kStemMax) return base;
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : base) {
        h ^= c;
        h *= 1099511628211ull;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string stem = base.substr(0, kStemMax - 17) + "~";
    for (int shift = 60; shift >= 0; shift -= 4)
        stem += kHex[(h >> shift) & 0xf];
    return stem;
}

std::string TemporaryPrefix(const std::string& fileName) {
    std::string prefix(1, '.');
    prefix += TemporaryStem(BaseNameOf(fileName));
    prefix += ".tmp-";
    return prefix;
}

std::string InDirectory(const std::string& dir, const std::string& name) {
    return (dir == "/" ? std::string() : dir) + "/" + name;
}

// The writer's pid that a temporary's name carries after prefix; 0 when the
// name is not one of them.
pid_t TemporaryWriter(std::string_view name, std::string_view prefix) {
    if (name.substr(0, prefix.size()) != prefix) return 0;
    name.remove_prefix(prefix.size());
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash > 9 || name[0] == '0' ||
        name.size() - dash - 1 != kSuffixLength)
        return 0;
    pid_t pid = 0;
    for (char c : name.substr(0, dash)) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    for (char c : name.substr(dash + 1))
        if (std::string_view(kSuffixLetters).find(c) == std::string_view::npos) return 0;
    return pid;
}

// A temporary file beside the target, created with mode (0666 unless the caller asks for less)
// so that the umask applies as to any new file. Its name stays short whatever the target's name,
// and carries the writer's pid so that a later start can tell a write in progress from one that
// was cut off.
Fd CreateTemporary(const std::string& fileName, mode_t mode, std::string& tempName) {
    std::random_device device;
    std::minstd_rand random(device());
    const std::string prefix = TemporaryPrefix(fileName) + std::to_string(::getpid()) + "-";
    const std::string dir = DirectoryOf(fileName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(kSuffixLength, 'x');
        for (char& c : suffix)
            c = kSuffixLetters[random() % (sizeof kSuffixLetters - 1)];
        tempName = InDirectory(dir, prefix + suffix);
        const int fd =
            ::open(tempName.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, mode);
        if (fd >= 0) return Fd(fd);
        if (errno != EEXIST) break;
    }
    tempName.clear();
    return Fd();
}

// The file a write of fileName replaces: a symbolic link's target, else fileName itself;
// empty when a link cannot be resolved.
std::string WriteTarget(const std::string& fileName) {
    struct stat lst;
    if (::lstat(fileName.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) return fileName;
    char* resolved = ::realpath(fileName.c_str(), nullptr);
    if (!resolved) return {};
    std::string target = resolved;
    std::free(resolved);
    return target;
}

bool WriteAll(const TProfileFileOps& ops, int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ops.write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes text to a temporary file and renames it over fileName. old is the replaced file's
// status, or null for a new file.
bool ReplaceFile(const std::string& fileName, std::string_view text, const struct stat* old,
                 const TProfileFileOps& ops) {
    std::string tempName;
    Fd fd = CreateTemporary(fileName, ops.newFileMode, tempName);
    if (fd.Get() < 0) return false;
    bool ok = true;
    if (old) {
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid())
            (void)::fchown(fd.Get(), old->st_uid, old->st_gid); // only the superuser may
        ok = ::fchmod(fd.Get(), old->st_mode & 0777) == 0;
    }
    ok = ok && WriteAll(ops, fd.Get(), text) && ops.fsync(fd.Get()) == 0;
    ok = ::close(fd.Release()) == 0 && ok;
    ok = ok && ops.rename(tempName.c_str(), fileName.c_str()) == 0;
    if (!ok) ::unlink(tempName.c_str());
    return ok;
}

} // namespace

TProfileFileOps::TProfileFileOps()
    : write([](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }),
      fsync([](int fd) { return ::fsync(fd); }),
      rename([](const char* from, const char* to) { return ::rename(from, to); }) {}

std::optional<std::string_view> ProfileFind(std::string_view text, std::string_view section,
                                            std::string_view key) {
    const Location loc = Locate(text, section, key);
    if (!loc.keyFound) return std::nullopt;
    return text.substr(loc.key.valueBegin, loc.key.valueEnd - loc.key.valueBegin);
}

bool ProfileWritable(std::string_view section, std::string_view key, std::string_view value) {
    const auto nameOk = [](std::string_view name) {
        return !name.empty() && !HasLineBreakOrNul(name) && !IsBlank(name.front()) &&
               !IsBlank(name.back());
    };
    return nameOk(section) && section.find(']') == std::string_view::npos && nameOk(key) &&
           key.find('=') == std::string_view::npos && key.front() != ';' && key.front() != '[' &&
           !HasLineBreakOrNul(value);
}

std::string ProfileReplace(std::string_view text, std::string_view section, std::string_view key,
                           std::string_view value) {
    value = Trim(value);
    const Location loc = Locate(text, section, key);
    const std::string_view eol = LineEndOf(text);
    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    if (loc.keyFound) {
        out.append(text.substr(0, loc.key.valueBegin));
        out.append(value);
        out.append(text.substr(loc.key.valueEnd));
    } else if (loc.sectionFound) {
        out.append(text.substr(0, loc.insertAt));
        if (loc.insertNeedsNewline) out.append(LineEndAfter(text.substr(0, loc.insertAt), eol));
        out.append(key).append("=").append(value).append(eol);
        out.append(text.substr(loc.insertAt));
    } else {
        out.append(text);
        if (!text.empty() && text.back() != '\n') out.append(LineEndAfter(text, eol));
        out.append("[").append(section).append("]").append(eol);
        out.append(key).append("=").append(value).append(eol);
    }
    return out;
}

std::optional<std::string> ReadProfileText(const std::string& fileName) {
    std::string text;
    struct stat st;
    if (fileName.empty() || ReadWholeFile(fileName, text, st) != ReadResult::Ok)
        return std::nullopt;
    return text;
}

std::string GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                     std::string_view def, const std::string& fileName) {
    const std::optional<std::string> text = ReadProfileText(fileName);
    const std::optional<std::string_view> value =
        text ? ProfileFind(*text, section, key) : std::nullopt;
    return std::string(value ? *value : def);
}

bool WritePrivateProfileStringA(std::string_view section, std::string_view key,
                                std::string_view value, const std::string& fileName,
                                const TProfileFileOps& ops) {
    const TProfileKeyValue one[] = {{key, value}};
    return WritePrivateProfileStrings(section, one, fileName, ops);
}

bool WritePrivateProfileStrings(std::string_view section, std::span<const TProfileKeyValue> keys,
                                const std::string& fileName, const TProfileFileOps& ops) {
    if (fileName.empty()) return false;
    for (const auto& [key, value] : keys)
        if (!ProfileWritable(section, key, value)) return false;
    struct stat lst;
    if (::lstat(fileName.c_str(), &lst) != 0 && errno != ENOENT) return false;
    const std::string target = WriteTarget(fileName);
    if (target.empty()) return false;
    if (!Writable(DirectoryOf(target), W_OK | X_OK)) return false;
    std::string old;
    struct stat st;
    const ReadResult read = ReadWholeFile(target, old, st);
    if (read == ReadResult::Unusable) return false;
    const bool exists = read == ReadResult::Ok;
    if (exists && !Writable(target, W_OK)) return false;
    std::string text = old;
    for (const auto& [key, value] : keys)
        text = ProfileReplace(text, section, key, value);
    if (exists && text == old) return true; // the file already says so
    return ReplaceFile(target, text, exists ? &st : nullptr, ops);
}

void RemoveStaleProfileTemporaries(const std::string& fileName) {
    if (fileName.empty()) return;
    const std::string target = WriteTarget(fileName);
    if (target.empty()) return;
    const std::string dir = DirectoryOf(target);
    const std::string prefix = TemporaryPrefix(target);
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(dir.c_str()), ::closedir);
    if (!entries) return;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(entries.get())) {
        const pid_t writer = TemporaryWriter(entry->d_name, prefix);
        if (writer <= 0) continue;
        const std::string path = InDirectory(dir, entry->d_name);
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        // A writer that still runs may be about to rename its file; EPERM means it lives too.
        if (::kill(writer, 0) == 0 || errno != ESRCH) continue;
        stale.push_back(path);
    }
    for (const std::string& path : stale)
        ::unlink(path.c_str());
}

bool ProfileRestrictToOwner(const std::string& fileName) {
    const std::string target = WriteTarget(fileName);
    if (target.empty()) return false;
    Fd fd(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (fd.Get() < 0) return errno == ENOENT;
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if ((st.st_mode & 077) == 0) return true;
    return ::fchmod(fd.Get(), st.st_mode & 0700) == 0;
}
