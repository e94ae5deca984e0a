// The signals that ask a process to end (SIGTERM, SIGINT, SIGHUP), turned into
// a descriptor an event loop can watch, so that the program ends the ordinary
// way: windows closed, the message port removed, files finished.
//
// While a TTerminationSignals is open, the handler of each of the three signals
// writes the signal's number, one byte, to a non-blocking close-on-exec pipe,
// and does nothing else (write is async-signal-safe; errno is kept). Fd() then
// turns readable; Take() reads what waits and gives the signals in the order
// they came. Signals that find the pipe full are dropped: those waiting already
// say the same. A signal that was ignored before Open (as nohup leaves SIGHUP)
// stays ignored.
//
// One can be open in a process at a time: the handlers know a single pipe, and
// a second Open fails. Close, or the destructor, first puts back the handlers
// that were in place before Open, then closes the pipe. Every failure is
// silent: Open returns false and the signals keep what they had.
#pragma once

#include <csignal>
#include <vector>

namespace instance {

class TTerminationSignals {
public:
    TTerminationSignals() = default;
    ~TTerminationSignals();
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

    bool Open();
    void Close();
    bool IsOpen() const { return FRead >= 0; }
    // Readable once a signal came; -1 while closed.
    int Fd() const { return FRead; }
    // The signals that came since the last call, oldest first; never blocks.
    std::vector<int> Take();

    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

private:
    void Restore();

    int FRead = -1;
    int FWrite = -1;
    struct sigaction FPrevious[3] = {};
    bool FInstalled[3] = {};
};

} // namespace instance
