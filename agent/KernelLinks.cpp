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

LinkReader::~LinkReader() {
    reopen();
}

void LinkReader::reopen() {
    // close() is not retried after EINTR: on Linux the descriptor is gone either way.
    if (FSocket >= 0) ::close(FSocket);
    FSocket = -1;
}

bool LinkReader::open() {
    if (FSocket >= 0) return true;
    FSocket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (FSocket < 0) return false;
    // The kernel always answers a dump; the timeout only guards against the unforeseen.
    const timeval timeout{1, 0};
    ::setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    // Dump datagrams are at most 32 KiB; twice that leaves room.
    FBuffer.resize(64 * 1024);
    return true;
}

LinkReader::Result LinkReader::dumpOnce(std::vector<LinkInfo>& links) {
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++FSequence;
    request.info.ifi_family = AF_UNSPEC;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(FSocket, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) != static_cast<ssize_t>(sizeof request))
        return Result::Failed;

    LinkDumpParser parser(FSequence);
    for (;;) {
        const ssize_t got = ::recv(FSocket, FBuffer.data(), FBuffer.size(), MSG_TRUNC);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || static_cast<std::size_t>(got) > FBuffer.size()) return Result::Failed;
        switch (parser.feed({FBuffer.data(), static_cast<std::size_t>(got)})) {
        case DumpStatus::More:
            continue;
        case DumpStatus::Failed:
            return Result::Failed;
        case DumpStatus::Done:
            links = parser.take();
            return parser.interrupted() ? Result::Interrupted : Result::Complete;
        }
    }
}

std::optional<std::vector<LinkInfo>> LinkReader::dump() {
    std::vector<LinkInfo> links;
    constexpr int kAttempts = 3;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (!open()) return std::nullopt;
        switch (dumpOnce(links)) {
        case Result::Complete:
            return links;
        case Result::Interrupted:
            // A dump that keeps racing is still the best picture there is.
            if (attempt == kAttempts) return links;
            break;
        case Result::Failed:
            // Whatever is left of the answer must not reach the next read.
            reopen();
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::uint32_t LinkReader::speedMbps(std::string_view name) {
    // Any socket reaches the device ioctls, in the namespace of the socket.
    if (!open() || name.empty() || name.size() >= IFNAMSIZ) return 0;
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
            const auto words = static_cast<std::int8_t>(-settings.link_mode_masks_nwords);
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
