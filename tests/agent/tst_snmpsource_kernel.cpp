// Real traffic through the real agent: octets sent over loopback in a network
// namespace of this process's own show as the next tick's sample.
#include "UnitZPerformanceGraph.h"
#include "UnitZPerformanceSourceSNMPMIB.h"
#include "loopback.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sched.h>

namespace {

using namespace testcommon;

QString gSkipReason; // set in main, before any thread exists

// lo's received and sent octets as this namespace's /proc reports them.
bool LoopbackOctets(quint64& rx, quint64& tx) {
    QFile f("/proc/self/net/dev");
    if (!f.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const int colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed() != "lo") continue;
        const QList<QByteArray> f2 = line.mid(colon + 1).simplified().split(' ');
        if (f2.size() < 9) return false;
        rx = f2[0].toULongLong();
        tx = f2[8].toULongLong();
        return true;
    }
    return false;
}

} // namespace

class TestSNMPSourceKernel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { QProcess::execute("sh", {"-c", "ip link del t0 2>/dev/null"}); } // the veths
    void loopbackTraffic_data();
    void loopbackTraffic();
};

void TestSNMPSourceKernel::loopbackTraffic_data() {
    QTest::addColumn<bool>("madeAhead");
    QTest::newRow("agent loaded when asked") << false;
    // Loaded on a thread of its own, it still serves this namespace.
    QTest::newRow("agent loaded ahead") << true;
}

void TestSNMPSourceKernel::loopbackTraffic() {
    if (!gSkipReason.isEmpty()) QSKIP(qPrintable(gSkipReason));
    QFETCH(bool, madeAhead);
    const auto shared = std::make_shared<TZSNMPMIBSharedTable>(
        madeAhead ? LocalLoaderMadeAhead() : TZSNMPMIBSharedTable::TLoaderFactory());
    QWidget owner;
    auto* graph = new TZPerformanceGraph(&owner);
    graph->SetBounds(0, 0, 40, 20);
    auto* receive = new TZPerformanceSourceSNMPMIB(&owner, shared);
    receive->SetGraph(graph);
    receive->SetSelect(TZSNMPMIBIFSelect::zifInOctets);
    auto* send = new TZPerformanceSourceSNMPMIB(&owner, shared);
    send->SetGraph(graph);
    send->SetSelect(TZSNMPMIBIFSelect::zifOutOctets);
    shared->Refresh();
    QCOMPARE(shared->Table()->Count(), 1); // a fresh namespace holds lo alone
    // A loader of its own, the factory's second.
    QCOMPARE(shared->LoadInterfaceDescriptions(), std::vector<std::string>{"lo"});
    receive->PrimeReading();
    send->PrimeReading();
    quint64 rx0 = 0, tx0 = 0, rx1 = 0, tx1 = 0;
    QVERIFY(LoopbackOctets(rx0, tx0));

    QVERIFY(SendLoopback(5, 50));
    shared->Refresh();
    graph->Advance();
    QVERIFY(LoopbackOctets(rx1, tx1));
    // 50 octets of payload, 8 of UDP and 20 of IP each; lo counts no link header.
    QCOMPARE(receive->GetValue(0), 5 * 78);
    QCOMPARE(send->GetValue(0), 5 * 78);
    QCOMPARE(quint64(receive->GetValue(0)), rx1 - rx0);
    QCOMPARE(quint64(send->GetValue(0)), tx1 - tx0);

    shared->Refresh();
    graph->Advance();
    QCOMPARE(receive->GetValue(0), 0);

    // Between changes of the links a tick reads the chosen row alone, in place, and exactly.
    QVERIFY(!shared->WholeLoad());
    QVERIFY(SendLoopback(2, 50));
    shared->Refresh();
    graph->Advance();
    QVERIFY(!shared->WholeLoad());
    QCOMPARE(receive->GetValue(0), 2 * 78);
    // A new link: the very next tick loads the whole table and shows it.
    if (QProcess::execute("ip", {"link", "add", "t0", "type", "veth", "peer", "name", "t1"}) != 0)
        QSKIP("veth links cannot be made here");
    QVERIFY(SendLoopback(3, 50));
    shared->Refresh();
    graph->Advance();
    QVERIFY(shared->WholeLoad());
    QCOMPARE(shared->Table()->Count(), 3);
    QCOMPARE(receive->GetValue(0), 3 * 78);
    shared->Refresh();
    QVERIFY(!shared->WholeLoad());
}

int main(int argc, char** argv) {
    if (::unshare(CLONE_NEWNET) != 0)
        gSkipReason = QString("network namespaces are not allowed here: %1").arg(strerror(errno));
    else if (!BringLoopbackUp())
        gSkipReason = "loopback cannot be brought up in the namespace";
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestSNMPSourceKernel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_snmpsource_kernel.moc"
