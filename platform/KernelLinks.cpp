#include "KernelLinks.h"

#include <cerrno>
#include <cstring>
#include <linux/ethtool.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace sorvane::agent {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : FFd(fd) {}
    // close() is not retried after EINTR: on Linux the descriptor is gone either way.
    ~FileDescriptor() noexcept {
        if (FFd >= 0) ::close(FFd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return FFd; }

private:
    int FFd;
};

enum class DumpResult { Complete, Interrupted, Failed };

DumpResult dumpOnce(std::vector<std::uint8_t>& buffer, std::vector<LinkInfo>& links) {
    FileDescriptor sock(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (sock.get() < 0) return DumpResult::Failed;
    // The kernel always answers a dump; the timeout only guards against the unforeseen.
    const timeval timeout{1, 0};
    ::setsockopt(sock.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.info.ifi_family = AF_UNSPEC;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(sock.get(), &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) != static_cast<ssize_t>(sizeof request))
        return DumpResult::Failed;

    LinkDumpParser parser;
    for (;;) {
        const ssize_t got = ::recv(sock.get(), buffer.data(), buffer.size(), MSG_TRUNC);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || static_cast<std::size_t>(got) > buffer.size()) return DumpResult::Failed;
        switch (parser.feed({buffer.data(), static_cast<std::size_t>(got)})) {
        case DumpStatus::More:
            continue;
        case DumpStatus::Failed:
            return DumpResult::Failed;
        case DumpStatus::Done:
            links = parser.take();
            return parser.interrupted() ? DumpResult::Interrupted : DumpResult::Complete;
        }
    }
}

} // namespace

std::optional<std::vector<LinkInfo>> readLinkDump() {
    // The kernel sizes dump datagrams to at most 32 KiB; twice that leaves room.
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::vector<LinkInfo> links;
    constexpr int kAttempts = 3;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        switch (dumpOnce(buffer, links)) {
        case DumpResult::Complete:
            return links;
        case DumpResult::Interrupted:
            // A dump that keeps racing is still the best picture there is.
            if (attempt == kAttempts) return links;
            break;
        case DumpResult::Failed:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

LinkSpeedQuery::LinkSpeedQuery() : FSocket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    if (FSocket < 0) FSocket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
}

LinkSpeedQuery::~LinkSpeedQuery() {
    if (FSocket >= 0) ::close(FSocket);
}

std::uint32_t LinkSpeedQuery::speedMbps(std::string_view name) const {
    if (FSocket < 0 || name.empty() || name.size() >= IFNAMSIZ) return 0;
    ifreq ifr{};
    std::memcpy(ifr.ifr_name, name.data(), name.size());

    // ethtool_link_settings ends in bitmaps whose size the kernel states on the first call:
    // ask with none, then again with the number of words it asked for.
    constexpr std::size_t kMaxMaskWords = 3 * 127;
    alignas(ethtool_link_settings)
        std::uint8_t buffer[sizeof(ethtool_link_settings) + kMaxMaskWords * sizeof(std::uint32_t)] =
            {};
    ethtool_link_settings settings{};
    settings.cmd = ETHTOOL_GLINKSETTINGS;
    std::memcpy(buffer, &settings, sizeof settings);
    ifr.ifr_data = reinterpret_cast<char*>(buffer);
    if (::ioctl(FSocket, SIOCETHTOOL, &ifr) == 0) {
        std::memcpy(&settings, buffer, sizeof settings);
        if (settings.cmd == ETHTOOL_GLINKSETTINGS && settings.link_mode_masks_nwords < 0) {
            const std::int8_t words = static_cast<std::int8_t>(-settings.link_mode_masks_nwords);
            std::memset(buffer, 0, sizeof buffer);
            settings = {};
            settings.cmd = ETHTOOL_GLINKSETTINGS;
            settings.link_mode_masks_nwords = words;
            std::memcpy(buffer, &settings, sizeof settings);
            if (::ioctl(FSocket, SIOCETHTOOL, &ifr) == 0) {
                std::memcpy(&settings, buffer, sizeof settings);
                if (settings.link_mode_masks_nwords > 0) return settings.speed;
            }
        }
    }

    ethtool_cmd legacy{};
    legacy.cmd = ETHTOOL_GSET;
    ifr.ifr_data = reinterpret_cast<char*>(&legacy);
    if (::ioctl(FSocket, SIOCETHTOOL, &ifr) == 0)
        return (std::uint32_t{legacy.speed_hi} << 16) | legacy.speed;
    return 0;
}

} // namespace sorvane::agent
