// Traffic over loopback for the tests that run the agent against the kernel, in a network
// namespace of their own (where lo starts down).
#pragma once

#include <sys/socket.h>
#include <unistd.h>

namespace testcommon {

// A UDP socket of its own, closed when it goes; Fd is negative where none could be made.
struct TUdpSocket {
    const int Fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    TUdpSocket() = default;
    TUdpSocket(const TUdpSocket&) = delete;
    TUdpSocket& operator=(const TUdpSocket&) = delete;
    ~TUdpSocket() {
        if (Fd >= 0) ::close(Fd);
    }
};

// Sets lo up in this thread's network namespace; false where that is refused.
bool BringLoopbackUp();

// Sends count UDP datagrams of size payload octets to a receiver on 127.0.0.1 and reads them
// back; true only when every one went out and came in whole. Each adds 20 + 8 + size octets
// to both of lo's counters, which count no link header.
bool SendLoopback(int count, int size);

} // namespace testcommon
