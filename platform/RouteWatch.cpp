#include "RouteWatch.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Any public address will do: only the routing decision for it is asked, nothing is sent.
constexpr char kPublicIPv4[] = "1.1.1.1";
constexpr char kPublicIPv6[] = "2606:4700:4700::1111";
// Notifications read per Drain; the rest waits for the next readiness.
constexpr int kDrainReads = 64;

class Socket {
public:
    explicit Socket(int fd) : FFd(fd) {}
    ~Socket() {
        if (FFd >= 0) ::close(FFd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

// The output interface of the kernel's route for dst, 0 when it has none.
unsigned RouteOutput(int family, const char* dst, std::uint32_t sequence) {
    Socket s(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (s.Get() < 0) return 0;
    // A kernel that does not answer must not hold the window.
    const timeval wait{0, 200000};
    ::setsockopt(s.Get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (::bind(s.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return 0;
    socklen_t localLength = sizeof local;
    ::getsockname(s.Get(), reinterpret_cast<sockaddr*>(&local), &localLength);

    struct {
        nlmsghdr header;
        rtmsg route;
        char attributes[64];
    } request{};
    const int addressLength = family == AF_INET ? 4 : 16;
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = sequence;
    request.route.rtm_family = static_cast<unsigned char>(family);
    request.route.rtm_dst_len = static_cast<unsigned char>(addressLength * 8);
    auto* attribute = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) +
                                                NLMSG_ALIGN(request.header.nlmsg_len));
    attribute->rta_type = RTA_DST;
    attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(addressLength));
    if (::inet_pton(family, dst, RTA_DATA(attribute)) != 1) return 0;
    request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + attribute->rta_len;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(s.Get(), &request, request.header.nlmsg_len, 0,
                 reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return 0;
    alignas(nlmsghdr) char buffer[8192];
    for (int reads = 0; reads < 4; ++reads) {
        const ssize_t n = ::recv(s.Get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        int left = static_cast<int>(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_seq != sequence || h->nlmsg_pid != local.nl_pid) continue;
            if (h->nlmsg_type == NLMSG_ERROR || h->nlmsg_type == NLMSG_DONE) return 0;
            if (h->nlmsg_type != RTM_NEWROUTE || h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
                continue;
            const auto* answer = static_cast<const rtmsg*>(NLMSG_DATA(h));
            // Blackhole, unreachable and prohibit routes lead nowhere.
            if (answer->rtm_type != RTN_UNICAST) return 0;
            int size = static_cast<int>(RTM_PAYLOAD(h));
            for (auto* a = RTM_RTA(answer); RTA_OK(a, size); a = RTA_NEXT(a, size))
                if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) >= sizeof(std::uint32_t)) {
                    std::uint32_t index = 0;
                    std::memcpy(&index, RTA_DATA(a), sizeof index);
                    return index;
                }
            return 0;
        }
    }
    return 0;
}

} // namespace

TRouteWatch::~TRouteWatch() {
    if (FNotify >= 0) ::close(FNotify);
}

bool TRouteWatch::Open() {
    if (FNotify >= 0) return true;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) return false;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_IPV4_RULE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return false;
    }
    const int ipv6Rules = RTNLGRP_IPV6_RULE;
    ::setsockopt(fd, SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &ipv6Rules, sizeof ipv6Rules);
    FNotify = fd;
    return true;
}

bool TRouteWatch::Drain() {
    if (FNotify < 0) return false;
    bool any = false;
    alignas(nlmsghdr) char buffer[8192];
    for (int reads = 0; reads < kDrainReads; ++reads) {
        const ssize_t n = ::recv(FNotify, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == ENOBUFS) { // lost some: whatever they said may have changed
            any = true;
            continue;
        }
        break;
    }
    return any;
}

std::string TRouteWatch::LookUp() {
    ++FLookUps;
    unsigned index = RouteOutput(AF_INET, kPublicIPv4, ++FSequence);
    if (index == 0) index = RouteOutput(AF_INET6, kPublicIPv6, ++FSequence);
    char name[IF_NAMESIZE] = {};
    if (index == 0 || ::if_indextoname(index, name) == nullptr) return {};
    return name;
}
