// One refresh of a remote agent's two octet columns, as the loader's worker makes it each tick,
// against a local snmpd: v2c and v3 authPriv on a kept session, and a load with a new session
// each time. Then the octets on the wire per refresh, counted by a UDP relay between the walk
// and snmpd, beside snmpwalk -Cc of the same two columns.
#include "ZSNMPRemote.h"

#include "snmpagents.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using testcommon::TSnmpd;

namespace {

const TZSNMPMIBIFSelectSet kOctets{TZSNMPMIBIFSelect::zifInOctets, TZSNMPMIBIFSelect::zifOutOctets};

TZSNMPRemoteAgent agentAt(const QString& address, int version) {
    TZSNMPRemoteAgent agent;
    agent.Host = address.toStdString();
    agent.Version = version;
    agent.Community = TSnmpd::kCommunity;
    agent.User = TSnmpd::kUser;
    agent.AuthProtocol = "SHA";
    agent.AuthPassphrase = TSnmpd::kAuthPassphrase;
    agent.PrivProtocol = "AES";
    agent.PrivPassphrase = TSnmpd::kPrivPassphrase;
    return agent;
}

void refreshKeptSession(benchmark::State& state, const QString& address) {
    TZSNMPRemoteSession session(agentAt(address, static_cast<int>(state.range(0))));
    for (auto _ : state) {
        const TZSNMPRemoteResult result = session.Load(kOctets, 700ms);
        if (result.Error != TZSNMPRemoteError::None) state.SkipWithError("walk failed");
        benchmark::DoNotOptimize(result.Table->Count());
    }
}

void loadNewSession(benchmark::State& state, const QString& address) {
    const TZSNMPRemoteAgent agent = agentAt(address, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const TZSNMPRemoteResult result = ZSNMPRemoteLoad(agent, kOctets, 700ms);
        if (result.Error != TZSNMPRemoteError::None) state.SkipWithError("walk failed");
        benchmark::DoNotOptimize(result.Table->Count());
    }
}

// Forwards datagrams between one client and snmpd and counts what passes.
class TRelay {
public:
    explicit TRelay(int agentPort) {
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        ::bind(FFront, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(FFront, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        const sockaddr_in agent = loopback(agentPort);
        ::connect(FBack, reinterpret_cast<const sockaddr*>(&agent), sizeof agent);
        FThread = std::thread([this] { Run(); });
    }
    ~TRelay() {
        FStop = true;
        FThread.join();
        ::close(FFront);
        ::close(FBack);
    }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(FPort); }
    void Reset() { FDatagrams = FOctets = 0; }
    long Datagrams() const { return FDatagrams; }
    long Octets() const { return FOctets; }

private:
    static sockaddr_in loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        return address;
    }
    void Run() {
        std::vector<char> buffer(65536);
        sockaddr_in client{};
        socklen_t clientLength = 0;
        pollfd fds[2] = {{FFront, POLLIN, 0}, {FBack, POLLIN, 0}};
        while (!FStop) {
            if (::poll(fds, 2, 100) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                clientLength = sizeof client;
                const ssize_t n = ::recvfrom(FFront, buffer.data(), buffer.size(), 0,
                                             reinterpret_cast<sockaddr*>(&client), &clientLength);
                if (n > 0 && ::send(FBack, buffer.data(), static_cast<std::size_t>(n), 0) == n)
                    Count(n);
            }
            if (fds[1].revents & POLLIN) {
                const ssize_t n = ::recv(FBack, buffer.data(), buffer.size(), 0);
                if (n > 0 && clientLength > 0 &&
                    ::sendto(FFront, buffer.data(), static_cast<std::size_t>(n), 0,
                             reinterpret_cast<sockaddr*>(&client), clientLength) == n)
                    Count(n);
            }
        }
    }
    void Count(ssize_t payload) {
        ++FDatagrams;
        FOctets += payload + 20 + 8; // with the IPv4 and UDP headers
    }

    const int FFront = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int FBack = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::atomic<long> FDatagrams{0}, FOctets{0};
    std::thread FThread;
};

void printWire(int agentPort) {
    TRelay relay(agentPort);
    constexpr int kRefreshes = 100;
    for (const int version : {2, 3}) {
        TZSNMPRemoteSession session(agentAt(relay.Address(), version));
        session.Load(kOctets, 2s); // opening (and the v3 discovery) is not counted
        relay.Reset();
        for (int i = 0; i < kRefreshes; ++i)
            session.Load(kOctets, 2s);
        std::printf("wire, v%s refresh of the two octet columns: %.1f octets in %.1f datagrams\n",
                    version == 2 ? "2c" : "3 authPriv",
                    static_cast<double>(relay.Octets()) / kRefreshes,
                    static_cast<double>(relay.Datagrams()) / kRefreshes);
    }
    relay.Reset();
    for (const char* column : {"1.3.6.1.2.1.2.2.1.10", "1.3.6.1.2.1.2.2.1.16"}) {
        QProcess walk;
        walk.start("snmpwalk",
                   {"-v2c", "-c", TSnmpd::kCommunity, "-Cc", "-On", relay.Address(), column});
        walk.waitForFinished(10000);
    }
    std::printf("wire, snmpwalk -v2c -Cc of the same two columns: %ld octets in %ld datagrams\n",
                relay.Octets(), relay.Datagrams());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    TSnmpd snmpd;
    if (!snmpd.Start()) {
        std::printf("bench_remote skipped: snmpd could not be started (%s)\n",
                    qPrintable(snmpd.Error()));
        return 0;
    }
    const QString address = snmpd.Address();
    for (const auto& [name, run] : {std::pair{"BM_RefreshKeptSession", &refreshKeptSession},
                                    std::pair{"BM_LoadNewSession", &loadNewSession}})
        benchmark::RegisterBenchmark(name, run, address)
            ->ArgName("version")
            ->Arg(2)
            ->Arg(3)
            ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printWire(address.section(':', 1).toInt());
    return 0;
}
