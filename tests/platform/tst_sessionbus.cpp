// A session bus counts as unreachable only when nothing could answer: no address, no socket
// at the runtime folder's usual place, no launcher.
#include "SessionBus.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSessionBus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unreachable_data();
    void unreachable();
};

void TestSessionBus::unreachable_data() {
    QTest::addColumn<QByteArray>("address"); // "-" for none at all
    QTest::addColumn<bool>("runtimeDirectory");
    QTest::addColumn<bool>("busSocket");
    QTest::addColumn<bool>("launcher");
    QTest::addColumn<bool>("expected");
    QTest::newRow("nothing") << QByteArray("-") << false << false << false << true;
    QTest::newRow("empty address") << QByteArray("") << true << false << false << true;
    QTest::newRow("runtime folder without bus")
        << QByteArray("-") << true << false << false << true;
    QTest::newRow("address given")
        << QByteArray("unix:path=/nowhere") << false << false << false << false;
    QTest::newRow("bus in runtime folder") << QByteArray("-") << true << true << false << false;
    QTest::newRow("launcher installed") << QByteArray("-") << false << false << true << false;
}

void TestSessionBus::unreachable() {
    QFETCH(QByteArray, address);
    QFETCH(bool, runtimeDirectory);
    QFETCH(bool, busSocket);
    QFETCH(bool, launcher);
    QFETCH(bool, expected);
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    if (busSocket) {
        QFile bus(runtime.filePath("bus"));
        QVERIFY(bus.open(QIODevice::WriteOnly));
    }
    const QByteArray folder = QFile::encodeName(runtime.path());
    QCOMPARE(instance::SessionBusUnreachable(address == "-" ? nullptr : address.constData(),
                                             runtimeDirectory ? folder.constData() : nullptr,
                                             launcher),
             expected);
}

QTEST_GUILESS_MAIN(TestSessionBus)
#include "tst_sessionbus.moc"
