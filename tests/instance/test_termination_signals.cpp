// Termination signals delivered as bytes on a pipe instead of ending the process.
#include "TerminationSignals.h"

#include <QTest>

#include <cerrno>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace instance;

namespace {

bool Readable(int fd, int timeoutMs = 0) {
    pollfd p{fd, POLLIN, 0};
    int n;
    while ((n = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
        // the signal itself interrupts a wait; what it wrote is there on the next try
    }
    return n == 1 && (p.revents & POLLIN);
}

extern "C" void SomeoneElsesHandler(int) {}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction a {};
    a.sa_handler = handler;
    sigemptyset(&a.sa_mask);
    ::sigaction(signal, &a, nullptr);
}

void (*HandlerOf(int signal))(int) {
    struct sigaction a {};
    ::sigaction(signal, nullptr, &a);
    return a.sa_handler;
}

} // namespace

class TestTerminationSignals : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void signalArrivesAsByte_data();
    void signalArrivesAsByte();
    void previousHandlersBack();
    void ignoredStaysIgnored();
    void oneOpenAtATime();
    void terminatedProcessExitsNormally();
};

void TestTerminationSignals::cleanup() {
    for (int s : TTerminationSignals::kSignals)
        SetHandler(s, SIG_DFL);
}

void TestTerminationSignals::signalArrivesAsByte_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestTerminationSignals::signalArrivesAsByte() {
    QFETCH(int, signal);
    TTerminationSignals stop;
    QVERIFY(stop.Open());
    QVERIFY(stop.Fd() >= 0);
    QVERIFY(!Readable(stop.Fd()));
    QCOMPARE(::raise(signal), 0); // this process lives on
    QVERIFY(Readable(stop.Fd()));
    QCOMPARE(stop.Take(), std::vector<int>{signal});
    QVERIFY(!Readable(stop.Fd()));
    QVERIFY(stop.Take().empty());
}

void TestTerminationSignals::previousHandlersBack() {
    SetHandler(SIGTERM, SomeoneElsesHandler);
    {
        TTerminationSignals stop;
        QVERIFY(stop.Open());
        QVERIFY(HandlerOf(SIGTERM) != SomeoneElsesHandler);
        QVERIFY(HandlerOf(SIGINT) != SIG_DFL);
    }
    QVERIFY(HandlerOf(SIGTERM) == SomeoneElsesHandler);
    QVERIFY(HandlerOf(SIGINT) == SIG_DFL);
    QVERIFY(HandlerOf(SIGHUP) == SIG_DFL);
}

// Started under nohup, a hang-up must not end the program.
void TestTerminationSignals::ignoredStaysIgnored() {
    SetHandler(SIGHUP, SIG_IGN);
    TTerminationSignals stop;
    QVERIFY(stop.Open());
    QVERIFY(HandlerOf(SIGHUP) == SIG_IGN);
    ::raise(SIGHUP);
    ::raise(SIGTERM);
    ::raise(SIGINT);
    QCOMPARE(stop.Take(), (std::vector<int>{SIGTERM, SIGINT})); // in order, the hang-up not
    stop.Close();
    QVERIFY(HandlerOf(SIGHUP) == SIG_IGN);
}

void TestTerminationSignals::oneOpenAtATime() {
    TTerminationSignals first;
    TTerminationSignals second;
    QVERIFY(first.Open());
    QVERIFY(first.Open()); // already open
    QVERIFY(!second.Open());
    QCOMPARE(second.Fd(), -1);
    ::raise(SIGTERM);
    QCOMPARE(first.Take(), std::vector<int>{SIGTERM});
    first.Close();
    QCOMPARE(first.Fd(), -1);
    QVERIFY(first.Take().empty());
    QVERIFY(second.Open());
    ::raise(SIGINT);
    QCOMPARE(second.Take(), std::vector<int>{SIGINT});
}

// A process that watches the descriptor ends by itself, with its own exit code.
void TestTerminationSignals::terminatedProcessExitsNormally() {
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        TTerminationSignals stop;
        const bool open = stop.Open();
        char c = open ? 1 : 0;
        (void)!::write(ready[1], &c, 1);
        if (!open || !Readable(stop.Fd(), 20000)) ::_exit(2);
        ::_exit(stop.Take() == std::vector<int>{SIGTERM} ? 0 : 3);
    }
    QVERIFY(pid > 0);
    char c = 0;
    QCOMPARE(int(::read(ready[0], &c, 1)), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    QCOMPARE(int(c), 1);
    QCOMPARE(::kill(pid, SIGTERM), 0);
    int status = 0;
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    QVERIFY2(WIFEXITED(status), "ended by the signal");
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_APPLESS_MAIN(TestTerminationSignals)
#include "test_termination_signals.moc"
