#include "KernelLinks.h"

#include <cerrno>
#include <cstring>
#include <linux/ethtool.h>
#include <linux/if_link.h>
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
    if (FWatch >= 0) ::close(FWatch);
    FWatch = -1;
}

bool LinkReader::open() {
    if (FSocket >= 0) return true;
    FSocket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (FSocket < 0) return false;
    // The kernel always answers a dump; the timeout only guards against the unforeseen.
    const timeval timeout{1, 0};
    ::setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    // Dump datagrams are at most 32 KiB; twice that leaves room.
    if (!FBuffer) FBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    return true;
}

bool LinkReader::send(std::uint16_t type, const void* body, std::size_t size, bool dump) {
    struct {
        nlmsghdr header;
        std::uint8_t body[16];
    } request{};
    if (size > sizeof request.body) return false;
    const auto length = static_cast<std::uint32_t>(NLMSG_LENGTH(size));
    request.header.nlmsg_len = length;
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = dump ? NLM_F_REQUEST | NLM_F_DUMP : NLM_F_REQUEST;
    request.header.nlmsg_seq = ++FSequence;
    std::memcpy(request.body, body, size);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(FSocket, &request, length, 0, reinterpret_cast<sockaddr*>(&kernel),
                    sizeof kernel) == static_cast<ssize_t>(length);
}

template <typename Parser> LinkReader::Result LinkReader::receive(Parser& parser) {
    for (;;) {
        const ssize_t got = ::recv(FSocket, FBuffer.get(), kBufferSize, MSG_TRUNC);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || static_cast<std::size_t>(got) > kBufferSize) return Result::Failed;
        switch (parser.feed({FBuffer.get(), static_cast<std::size_t>(got)})) {
        case DumpStatus::More:
            continue;
        case DumpStatus::Failed:
            return Result::Failed;
        case DumpStatus::Done:
            return parser.interrupted() ? Result::Interrupted : Result::Complete;
        }
    }
}

LinkReader::Result LinkReader::dumpOnce(std::vector<LinkInfo>& links) {
    ifinfomsg info{};
    info.ifi_family = AF_UNSPEC;
    if (!send(RTM_GETLINK, &info, sizeof info)) return Result::Failed;
    LinkDumpParser parser(FSequence);
    const Result result = receive(parser);
    if (result != Result::Failed) links = parser.take();
    return result;
}

bool LinkReader::counters(std::vector<LinkCountersAt>& links) {
    if (!open()) return false;
    if_stats_msg request{};
    request.family = AF_UNSPEC;
    request.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    if (!send(RTM_GETSTATS, &request, sizeof request)) return false;
    StatsDumpParser parser(FSequence, links);
    switch (receive(parser)) {
    case Result::Complete:
        return true;
    case Result::Interrupted:
        return false;
    case Result::Failed:
        // An error answer (a kernel without these dumps) or a broken one: whatever is left of
        // it must not reach the next read.
        reopen();
        return false;
    }
    return false;
}

bool LinkReader::countersOf(std::uint32_t index, std::vector<LinkCountersAt>& links) {
    if (!open() || index == 0) return false;
    if_stats_msg request{};
    request.family = AF_UNSPEC;
    request.ifindex = index;
    request.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    if (!send(RTM_GETSTATS, &request, sizeof request, false)) return false;
    StatsDumpParser parser(FSequence, links, true);
    if (receive(parser) == Result::Complete && links.size() == 1 && links[0].index == index)
        return true;
    // An error answer (the link gone) or a broken one: nothing of it may reach the next read.
    reopen();
    return false;
}

bool LinkReader::linksChanged() {
    if (FWatch < 0) {
        FWatch = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
        if (FWatch < 0) return true;
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        local.nl_groups = RTMGRP_LINK;
        if (::bind(FWatch, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(FWatch);
            FWatch = -1;
        }
        return true;
    }
    // Any announcement counts: what changed is read afresh, not patched in.
    bool changed = false;
    std::uint8_t discard[256];
    for (;;) {
        const ssize_t got = ::recv(FWatch, discard, sizeof discard, MSG_DONTWAIT | MSG_TRUNC);
        if (got > 0) {
            changed = true;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return changed;
        } else {
            // ENOBUFS: announcements were lost; anything else: the watch is broken.
            if (got < 0 && errno != ENOBUFS) {
                ::close(FWatch);
                FWatch = -1;
                return true;
            }
            changed = true;
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
