// The uplink as the kernel routes it, in a network namespace of the test's own: metrics, a
// deleted route, a policy rule, IPv6 alone and no route at all; and no lookup on a quiet tick.
#include "RouteWatch.h"
#include "netns.h"

#include <QtTest>
#include <poll.h>

using namespace testcommon;

class TestRouteWatch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void followsTheKernel();
};

void TestRouteWatch::followsTheKernel() {
    TPrivateNetwork net;
    if (!net.Ready()) QSKIP(qPrintable(net.Error()));
    if (!net.TwoUplinks()) QSKIP(qPrintable("veth links cannot be made here: " + net.Error()));
    TRouteWatch watch;
    QVERIFY(watch.Open());
    TUplinkFollower follower;
    QVERIFY(follower.Tick(watch, false)); // the first tick always asks
    QCOMPARE(follower.Name(), std::string());

    const struct {
        const char* commands;
        const char* uplink;
    } steps[] = {
        {"ip route add default via 10.0.0.1 dev up0 metric 100;"
         "ip route add default via 10.1.0.1 dev up1 metric 200",
         "up0"},
        {"ip route del default via 10.0.0.1 dev up0 metric 100;"
         "ip route add default via 10.0.0.1 dev up0 metric 300",
         "up1"},
        {"ip route del default via 10.1.0.1 dev up1 metric 200", "up0"},
        {"ip route add default via 10.1.0.1 dev up1 table 100;ip rule add to 1.1.1.1 lookup 100",
         "up1"},
        {"ip rule del to 1.1.1.1 lookup 100;ip route flush table 100;"
         "ip route del default via 10.0.0.1 dev up0 metric 300",
         ""},
        {"ip -6 addr add fd00:1::2/64 dev up1 nodad;ip -6 route add default via fd00:1::1 dev up1",
         "up1"},
        {"ip route add default via 10.0.0.1 dev up0", "up0"}, // IPv4 first
        // A route that leads nowhere is none: IPv6 answers, until it leads nowhere too.
        {"ip route del default via 10.0.0.1 dev up0;ip route add blackhole default", "up1"},
        {"ip -6 route del default via fd00:1::1 dev up1;ip -6 route add unreachable default", ""},
    };
    for (const auto& step : steps) {
        QVERIFY2(net.Run(step.commands), qPrintable(net.Error()));
        // Word of the change arrives on the socket; the next tick asks and finds the new uplink.
        pollfd ready{watch.Fd(), POLLIN, 0};
        QVERIFY2(::poll(&ready, 1, 5000) == 1, step.commands);
        QVERIFY(watch.Drain());
        const std::string previous = follower.Name();
        std::string before = "unset";
        QVERIFY(follower.Tick(watch, true, &before)); // every step changes the uplink
        QCOMPARE(follower.Name(), std::string(step.uplink));
        QCOMPARE(before, previous);

        // Quiet ticks: nothing pending, no lookup.
        const std::uint64_t lookUps = watch.LookUps();
        for (int tick = 0; tick < 3; ++tick)
            QVERIFY(!follower.Tick(watch, watch.Drain()));
        QCOMPARE(watch.LookUps(), lookUps);
    }
}

QTEST_GUILESS_MAIN(TestRouteWatch)
#include "tst_routewatch.moc"
