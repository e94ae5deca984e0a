#include "loopback.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace testcommon {

bool BringLoopbackUp() {
    const TUdpSocket s;
    if (s.Fd < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (::ioctl(s.Fd, SIOCGIFFLAGS, &request) != 0) return false;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    return ::ioctl(s.Fd, SIOCSIFFLAGS, &request) == 0;
}

bool SendLoopback(int count, int size) {
    const TUdpSocket in, out;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    auto* address = reinterpret_cast<sockaddr*>(&local);
    const timeval patience{5, 0}; // a datagram lost must not hang the test
    if (in.Fd < 0 || out.Fd < 0 || ::bind(in.Fd, address, sizeof local) != 0 ||
        ::getsockname(in.Fd, address, &length) != 0 ||
        ::setsockopt(in.Fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience) != 0)
        return false;
    const QByteArray payload(size, 'u');
    for (int i = 0; i < count; ++i)
        if (::sendto(out.Fd, payload.constData(), payload.size(), 0, address, sizeof local) != size)
            return false;
    QByteArray buffer(size + 1, '\0'); // one more: a longer datagram would show
    for (int i = 0; i < count; ++i)
        if (::recv(in.Fd, buffer.data(), buffer.size(), 0) != size) return false;
    return true;
}

} // namespace testcommon
