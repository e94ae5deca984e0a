// Single-instance objects of one executable, private to the user.
//
// Everything lives in the user's runtime directory: $XDG_RUNTIME_DIR when it is
// a directory of the user's own with mode 0700, else /tmp/sorvane-<uid>,
// created 0700 and refused when it exists but is not the user's private
// directory. Every operation fails silently (returns false / 0 / an empty
// object); none blocks.
//
//  - TInstanceLock: the file "MutexSorvane_" + key, held with flock until the
//    process ends. Held by another process means an instance runs; the kernel
//    drops it when that process dies, so a crash leaves nothing stale.
//  - TSharedBlock: the 4-byte file "ShareSorvane_" + key, mapped shared; a new
//    one holds 0. It holds the number of the running instance's message port.
//  - TMessagePort: a Unix-domain stream socket "sorvane-window-" + number that
//    receives 12-byte records (message, wParam, lParam; little-endian 32-bit).
//    PostRecord connects, sends one record and closes without waiting.
//    A port outlives a process that is killed; RemoveDeadPorts clears those.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace instance {

// The resolved full path of the running executable (the same path the toolkit
// reports), readable before any toolkit object exists; empty when unknown.
std::string ExecutablePath();

// The user's private runtime directory, created if needed; empty when refused.
std::string RuntimeDirectory();

// The executable's full path with every "/" replaced by "_".
std::string InstanceKey(const std::string& executablePath);

// prefix + key as a file name; a name too long for the file system is shortened
// with a stable hash of the key.
std::string ObjectName(const std::string& prefix, const std::string& key);

class TInstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Failed };
    TInstanceLock() = default;
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Takes the lock at path; HeldElsewhere when another process holds it.
    Result Acquire(const std::string& path);
    bool Held() const { return FFd >= 0; }

private:
    int FFd = -1;
};

class TSharedBlock {
public:
    TSharedBlock() = default;
    ~TSharedBlock();
    TSharedBlock(const TSharedBlock&) = delete;
    TSharedBlock& operator=(const TSharedBlock&) = delete;

    // Creates or opens the 4-byte block; false when it cannot be had.
    bool Open(const std::string& path);
    bool IsOpen() const { return FData != nullptr; }
    std::uint32_t Read() const;
    void Write(std::uint32_t value);
    void Close();

private:
    int FFd = -1;
    void* FData = nullptr;
};

struct TMessageRecord {
    std::uint32_t Message = 0;
    std::uint32_t WParam = 0;
    std::uint32_t LParam = 0;
};

// Path of the port with this number in directory dir.
std::string PortPath(const std::string& dir, std::uint32_t number);

// A port answers (IsWindow).
bool PortAlive(const std::string& dir, std::uint32_t number);

// Sends one record to the port; false when it cannot be delivered now.
bool PostRecord(const std::string& dir, std::uint32_t number, const TMessageRecord& record);

// Removes the ports in dir that nobody can ever answer again: sockets of the
// user's named exactly "sorvane-window-" + number, to which a connection is
// refused, and to which no live socket of that name is bound (a port being
// opened is bound before it listens). Ports that listen, whichever executable
// runs them, and every other file stay. Nothing is removed when the bound
// sockets cannot be listed. Meant for the running instance once it holds its
// lock.
void RemoveDeadPorts(const std::string& dir);

// The file paths that live Unix-domain sockets are bound to, from the text of
// /proc/net/unix (abstract names left out).
std::vector<std::string> BoundSocketPaths(std::string_view procNetUnix);

class TMessagePort {
public:
    TMessagePort() = default;
    ~TMessagePort();
    TMessagePort(const TMessagePort&) = delete;
    TMessagePort& operator=(const TMessagePort&) = delete;

    // Listens on a fresh non-zero number in dir; a port file left by a dead
    // process is replaced. False when no port can be opened.
    bool Open(const std::string& dir);
    void Close();
    std::uint32_t Number() const { return FNumber; }
    // The listening descriptor, for an event loop to watch; -1 when closed.
    int ListenFd() const { return FListenFd; }

    // Accepts what is waiting and collects the well-formed records from the
    // user's own processes. Never blocks: a connection that has not sent its
    // whole record yet is kept for a later call (a few at most).
    std::vector<TMessageRecord> Receive();
    // Descriptors of connections still waiting for their record.
    std::vector<int> PendingFds() const;

private:
    struct Pending {
        int Fd;
        std::uint8_t Bytes[12];
        std::size_t Got;
    };
    int FListenFd = -1;
    std::uint32_t FNumber = 0;
    std::string FPath;
    std::vector<Pending> FPending;
};

// The names of one executable's objects; an empty directory disables them.
struct TInstanceNames {
    std::string Directory;
    std::string Key;
    // Of the running executable, in its user's runtime directory.
    static TInstanceNames OfThisExecutable();
    std::string MutexPath() const;
    std::string SharePath() const;
};

// The start of a program that runs once per executable. When another process holds the
// instance lock, posts record to the port its shared block names (if that port answers) and
// answers true: this process should end. Otherwise keeps the lock in lock (unless the objects
// are disabled or the lock cannot be had, which lets the program run) and answers false.
bool HandOverToRunningInstance(const TInstanceNames& names, TInstanceLock& lock,
                               const TMessageRecord& record);

} // namespace instance
