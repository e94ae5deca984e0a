#include "SingleInstance.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace instance {

namespace {

constexpr std::size_t kMaxName = 255;   // NAME_MAX of the common file systems
constexpr std::size_t kMaxPending = 16; // connections waiting for their record

bool PrivateDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 0777) == 0700;
}

std::uint64_t StableHash(const std::string& text) {
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

bool MakeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A non-blocking connection to the port; -1 when nobody listens there.
int ConnectPort(const std::string& dir, std::uint32_t number) {
    sockaddr_un address{};
    if (dir.empty() || number == 0 || !MakeAddress(PortPath(dir, number), address)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    const int error = errno;
    ::close(fd);
    // A full backlog still means someone listens.
    return error == EAGAIN ? -2 : -1;
}

// Whether a connection to the socket at path is refused: nobody listens there.
bool ConnectionRefused(const std::string& path) {
    sockaddr_un address{};
    if (!MakeAddress(path, address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool refused =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno == ECONNREFUSED;
    ::close(fd);
    return refused;
}

bool ReadSmallFile(const char* path, std::string& text) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096]; // one page: a deeper stack would stay resident
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

// The number a port's file name carries, or 0 when the name is not a port's.
std::uint32_t PortNumberOf(const char* name) {
    static constexpr std::string_view kPrefix = "sorvane-window-";
    const std::string_view n(name);
    if (n.substr(0, kPrefix.size()) != kPrefix || n.size() > kPrefix.size() + 10) return 0;
    const std::string_view digits = n.substr(kPrefix.size());
    std::uint64_t number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    // Only the spelling PortPath gives: no sign, no leading zero, 32 bits.
    if (number == 0 || number > 0xFFFFFFFFull || std::to_string(number) != digits) return 0;
    return static_cast<std::uint32_t>(number);
}

std::uint32_t LittleEndian(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void PutLittleEndian(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

std::string ExecutablePath() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(n));
    return path;
}

std::string RuntimeDirectory() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && PrivateDirectory(xdg)) return xdg;
    const std::string dir = "/tmp/sorvane-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) == 0) {
        ::chmod(dir.c_str(), 0700); // whatever the umask took away
    } else if (errno != EEXIST) {
        return {};
    }
    return PrivateDirectory(dir) ? dir : std::string{};
}

std::string InstanceKey(const std::string& executablePath) {
    std::string key = executablePath;
    for (char& c : key)
        if (c == '/') c = '_';
    return key;
}

std::string ObjectName(const std::string& prefix, const std::string& key) {
    std::string name = prefix + key;
    if (name.size() <= kMaxName) return name;
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(StableHash(key)));
    return name.substr(0, kMaxName - 17) + "_" + hash;
}

// ---------------------------------------------------------------------------

TInstanceLock::~TInstanceLock() {
    if (FFd >= 0) ::close(FFd);
}

TInstanceLock::Result TInstanceLock::Acquire(const std::string& path) {
    if (FFd >= 0) return Result::Acquired;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::HeldElsewhere : Result::Failed;
    }
    FFd = fd;
    return Result::Acquired;
}

// ---------------------------------------------------------------------------

TSharedBlock::~TSharedBlock() {
    Close();
}

bool TSharedBlock::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_size < 4 && ::ftruncate(fd, 4) != 0)) {
        ::close(fd);
        return false;
    }
    void* data = ::mmap(nullptr, 4, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    FFd = fd;
    FData = data;
    return true;
}

std::uint32_t TSharedBlock::Read() const {
    std::uint32_t value = 0;
    if (FData) std::memcpy(&value, FData, 4);
    return value;
}

void TSharedBlock::Write(std::uint32_t value) {
    if (FData) std::memcpy(FData, &value, 4);
}

void TSharedBlock::Close() {
    if (FData) ::munmap(FData, 4);
    if (FFd >= 0) ::close(FFd);
    FData = nullptr;
    FFd = -1;
}

// ---------------------------------------------------------------------------

std::string PortPath(const std::string& dir, std::uint32_t number) {
    return dir + "/sorvane-window-" + std::to_string(number);
}

bool PortAlive(const std::string& dir, std::uint32_t number) {
    const int fd = ConnectPort(dir, number);
    if (fd >= 0) ::close(fd);
    return fd != -1;
}

bool PostRecord(const std::string& dir, std::uint32_t number, const TMessageRecord& record) {
    const int fd = ConnectPort(dir, number);
    if (fd < 0) return false;
    std::uint8_t bytes[12];
    PutLittleEndian(bytes, record.Message);
    PutLittleEndian(bytes + 4, record.WParam);
    PutLittleEndian(bytes + 8, record.LParam);
    const ssize_t sent = ::send(fd, bytes, sizeof bytes, MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
    return sent == static_cast<ssize_t>(sizeof bytes);
}

std::vector<std::string> BoundSocketPaths(std::string_view text) {
    std::vector<std::string> paths;
    bool header = true;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (std::exchange(header, false)) continue;
        // Seven fields (address, references, protocol, flags, type, state,
        // inode), then one blank and the name as bound, blanks and all.
        int fields = 0;
        while (fields < 7 && !line.empty()) {
            while (!line.empty() && line.front() == ' ')
                line.remove_prefix(1);
            const std::size_t blank = std::min(line.find(' '), line.size());
            if (blank > 0) ++fields;
            line.remove_prefix(blank);
        }
        if (fields < 7 || line.size() < 2 || line.front() != ' ') continue;
        line.remove_prefix(1);
        if (line.front() != '@') paths.emplace_back(line);
    }
    return paths;
}

void RemoveDeadPorts(const std::string& dir) {
    if (dir.empty()) return;
    std::vector<std::string> refused;
    {
        const std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(dir.c_str()), ::closedir);
        if (!entries) return;
        while (const dirent* entry = ::readdir(entries.get())) {
            const std::uint32_t number = PortNumberOf(entry->d_name);
            if (number == 0) continue;
            const std::string path = PortPath(dir, number);
            struct stat st {};
            if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
                st.st_uid == ::getuid() && ConnectionRefused(path))
                refused.push_back(path);
        }
    }
    if (refused.empty()) return;
    // Listed after the refusals: a port that was bound when it refused, and is
    // still held, shows here. Names are compared without their directory, which
    // another process may spell differently.
    std::string listing;
    if (!ReadSmallFile("/proc/net/unix", listing)) return;
    const auto name = [](std::string_view path) {
        return path.substr(std::min(path.rfind('/') + 1, path.size()));
    };
    std::vector<std::string_view> held;
    const std::vector<std::string> bound = BoundSocketPaths(listing);
    for (const std::string& path : bound)
        held.push_back(name(path));
    for (const std::string& path : refused)
        if (std::find(held.begin(), held.end(), name(path)) == held.end()) ::unlink(path.c_str());
}

TMessagePort::~TMessagePort() {
    Close();
}

bool TMessagePort::Open(const std::string& dir) {
    Close();
    if (dir.empty()) return false;
    // From the kernel's pool: the library's random device first probes the processor, which
    // traps to the host in a virtual machine, and this runs at every start.
    std::uint32_t seed = 0;
    if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed))
        seed =
            static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::minstd_rand pick(seed ^ static_cast<std::uint32_t>(::getpid()));
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::uint32_t number = pick() | 1u; // never 0
        const std::string path = PortPath(dir, number);
        sockaddr_un address{};
        if (!MakeAddress(path, address)) return false;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (bound != 0 && errno == EADDRINUSE && !PortAlive(dir, number)) {
            ::unlink(path.c_str()); // left by a process that died
            bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        }
        if (bound == 0 && ::listen(fd, 8) == 0) {
            ::chmod(path.c_str(), 0600);
            FListenFd = fd;
            FNumber = number;
            FPath = path;
            return true;
        }
        ::close(fd);
    }
    return false;
}

void TMessagePort::Close() {
    for (const Pending& p : FPending)
        ::close(p.Fd);
    FPending.clear();
    if (FListenFd >= 0) {
        ::close(FListenFd);
        ::unlink(FPath.c_str());
    }
    FListenFd = -1;
    FNumber = 0;
    FPath.clear();
}

std::vector<TMessageRecord> TMessagePort::Receive() {
    std::vector<TMessageRecord> records;
    if (FListenFd < 0) return records;
    for (;;) {
        const int fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            break;
        }
        ucred cred{};
        socklen_t length = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0 ||
            cred.uid != ::getuid()) {
            ::close(fd);
            continue;
        }
        if (FPending.size() >= kMaxPending) {
            ::close(FPending.front().Fd);
            FPending.erase(FPending.begin());
        }
        FPending.push_back({fd, {}, 0});
    }
    for (auto it = FPending.begin(); it != FPending.end();) {
        bool waiting = false;
        while (it->Got < sizeof it->Bytes) {
            const ssize_t got = ::recv(it->Fd, it->Bytes + it->Got, sizeof it->Bytes - it->Got, 0);
            if (got > 0) {
                it->Got += static_cast<std::size_t>(got);
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                waiting = got < 0 && errno == EAGAIN;
                break;
            }
        }
        if (it->Got == sizeof it->Bytes) {
            records.push_back({LittleEndian(it->Bytes), LittleEndian(it->Bytes + 4),
                               LittleEndian(it->Bytes + 8)});
        } else if (waiting) {
            ++it;
            continue;
        }
        ::close(it->Fd); // complete, or closed early: done with it
        it = FPending.erase(it);
    }
    return records;
}

std::vector<int> TMessagePort::PendingFds() const {
    std::vector<int> fds;
    for (const Pending& p : FPending)
        fds.push_back(p.Fd);
    return fds;
}

TInstanceNames TInstanceNames::OfThisExecutable() {
    TInstanceNames names;
    names.Key = InstanceKey(ExecutablePath());
    names.Directory = RuntimeDirectory();
    return names;
}

std::string TInstanceNames::MutexPath() const {
    return Directory.empty() ? std::string() : Directory + "/" + ObjectName("MutexSorvane_", Key);
}

std::string TInstanceNames::SharePath() const {
    return Directory.empty() ? std::string() : Directory + "/" + ObjectName("ShareSorvane_", Key);
}

bool HandOverToRunningInstance(const TInstanceNames& names, TInstanceLock& lock,
                               const TMessageRecord& record) {
    if (names.Directory.empty()) return false;
    if (lock.Acquire(names.MutexPath()) != TInstanceLock::Result::HeldElsewhere) return false;
    TSharedBlock block;
    if (block.Open(names.SharePath())) {
        const std::uint32_t window = block.Read();
        if (PortAlive(names.Directory, window)) PostRecord(names.Directory, window, record);
    }
    return true;
}

} // namespace instance
