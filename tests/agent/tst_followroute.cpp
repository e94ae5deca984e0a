// "Follow the connection in use" in the main window, with the real agent, in a network
// namespace of the test's own with two uplinks: the graph moves to the interface the kernel
// routes through at the next tick, the new interface's traffic shows with no spike at the
// switch, both keys are written, and quiet ticks ask the kernel nothing.
#include "UnitSorvane.h"
#include "besidesettings.h"
#include "netns.h"

#include <QApplication>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace testcommon;

// count datagrams of size octets to a neighbour that does not answer: each leaves by the
// interface the route names, as 14 + 20 + 8 + size octets.
bool SendTo(const char* address, int count, int size) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    ::inet_pton(AF_INET, address, &to.sin_addr);
    const QByteArray payload(size, 'x');
    int sent = 0;
    for (int i = 0; i < count; ++i)
        sent += ::sendto(fd, payload.constData(), payload.size(), 0,
                         reinterpret_cast<sockaddr*>(&to), sizeof to) == size;
    ::close(fd);
    return sent == count;
}

} // namespace

class TestFollowRoute : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void followsTheUplink();

private:
    QString InUse(TFormSorvane& form) const {
        const TZSNMPMIBIFTable* table = form.SharedTable()->Table();
        const TZSNMPMIBIFEntry* row = table ? table->Items(form.ReceiveSource->Choice()) : nullptr;
        return row ? QString::fromUtf8(InterfaceName(*row)) : QString();
    }
};

void TestFollowRoute::followsTheUplink() {
    TPrivateNetwork net;
    if (!net.Ready()) QSKIP(qPrintable(net.Error()));
    if (!net.Run("sysctl -qw net.ipv6.conf.all.disable_ipv6=1;"
                 "sysctl -qw net.ipv6.conf.default.disable_ipv6=1") ||
        !net.TwoUplinks())
        QSKIP(qPrintable("links cannot be made here: " + net.Error()));
    // Neighbours that never answer: what is sent to them is all that leaves.
    QVERIFY2(net.Run("ip neigh add 10.0.0.9 lladdr 02:00:00:00:00:09 dev up0;"
                     "ip neigh add 10.1.0.9 lladdr 02:00:00:00:00:19 dev up1;"
                     "ip route add default via 10.0.0.1 dev up0 metric 100;"
                     "ip route add default via 10.1.0.1 dev up1 metric 200"),
             qPrintable(net.Error()));
    QFile::remove(SettingsPath());
    QVERIFY(WriteSettings("[Property]\nFollowRoute=1\n"));

    auto form = std::make_unique<TFormSorvane>(instance::TInstanceNames{});
    form->Timer()->stop(); // ticks only where the test asks for them
    QVERIFY(form->RouteWatch());
    QCOMPARE(InUse(*form), QString("up0"));

    form->TimerTimer();
    QVERIFY(SendTo("10.0.0.9", 5, 100));
    const std::uint64_t lookUps = form->RouteWatch()->LookUps();
    form->TimerTimer();
    QCOMPARE(form->SendSource->GetValue(0), 5 * 142);
    QCOMPARE(form->RouteWatch()->LookUps(), lookUps); // quiet ticks ask nothing

    // The preferred route goes: the next tick after the word of it reads up1, from zero.
    auto* notifier = form->findChild<QSocketNotifier*>();
    QVERIFY(notifier);
    QSignalSpy notified(notifier, &QSocketNotifier::activated);
    QVERIFY2(net.Run("ip route del default via 10.0.0.1 dev up0 metric 100"),
             qPrintable(net.Error()));
    QVERIFY(SendTo("10.1.0.9", 7, 100)); // before the switch: not this interface's sample
    QTRY_VERIFY(!notified.isEmpty());
    form->TimerTimer();
    QCOMPARE(InUse(*form), QString("up1"));
    QCOMPARE(form->SendSource->GetValue(0), 0);
    QVERIFY(SendTo("10.1.0.9", 3, 100));
    form->TimerTimer();
    QCOMPARE(form->SendSource->GetValue(0), 3 * 142);
    // The history stays; what up1 carried before the switch shows nowhere.
    bool kept = false;
    for (int slot = 1; slot < 16; ++slot) {
        kept = kept || form->SendSource->GetValue(slot) == 5 * 142;
        QVERIFY(form->SendSource->GetValue(slot) != 7 * 142);
    }
    QVERIFY(kept);
    QVERIFY(SettingsText().contains("\nInterfaceName=up1\n"));
    QVERIFY(SettingsText().contains(QByteArray("\nInterface=") +
                                    QByteArray::number(form->ReceiveSource->Choice()) + "\n"));

    // No route at all: no row, drawn as absent.
    notified.clear();
    QVERIFY2(net.Run("ip route del default via 10.1.0.1 dev up1 metric 200"),
             qPrintable(net.Error()));
    QTRY_VERIFY(!notified.isEmpty());
    form->TimerTimer();
    QCOMPARE(form->ReceiveSource->Choice(), -1);
    form.reset();
    QFile::remove(SettingsPath());
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestFollowRoute test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_followroute.moc"
