#include "TerminationSignals.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace instance {

namespace {

// A handler gets nothing but the signal's number, so the pipe it writes to has
// to be reachable from it: this one word, set only by Open and Close.
std::atomic<int> gPipe{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

extern "C" void OnTerminationSignal(int signal) {
    const int saved = errno;
    const int fd = gPipe.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        (void)!::write(fd, &number, 1);
    }
    errno = saved;
}

} // namespace

TTerminationSignals::~TTerminationSignals() {
    Close();
}

bool TTerminationSignals::Open() {
    if (IsOpen()) return true;
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    int expected = -1;
    if (!gPipe.compare_exchange_strong(expected, fds[1])) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    FRead = fds[0];
    FWrite = fds[1];
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) {
        if (::sigaction(kSignals[i], nullptr, &FPrevious[i]) != 0) {
            Close();
            return false;
        }
        if (FPrevious[i].sa_handler == SIG_IGN && !(FPrevious[i].sa_flags & SA_SIGINFO)) continue;
        if (::sigaction(kSignals[i], &action, nullptr) != 0) {
            Close();
            return false;
        }
        FInstalled[i] = true;
    }
    return true;
}

void TTerminationSignals::Restore() {
    for (int i = 0; i < 3; ++i) {
        if (FInstalled[i]) ::sigaction(kSignals[i], &FPrevious[i], nullptr);
        FInstalled[i] = false;
    }
}

void TTerminationSignals::Close() {
    if (!IsOpen()) return;
    Restore();
    gPipe.store(-1);
    ::close(FRead);
    ::close(FWrite);
    FRead = -1;
    FWrite = -1;
}

std::vector<int> TTerminationSignals::Take() {
    std::vector<int> signals;
    if (!IsOpen()) return signals;
    unsigned char buffer[64];
    for (;;) {
        const ssize_t n = ::read(FRead, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        signals.insert(signals.end(), buffer, buffer + n);
    }
    return signals;
}

} // namespace instance
