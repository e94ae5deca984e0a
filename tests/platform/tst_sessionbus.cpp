// A session bus counts as unreachable only when nothing could answer: no address, no socket
// at the runtime folder's usual place, no launcher.
#include "SessionBus.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSessionBus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unreachable_data();
    void unreachable();
    void searchPath_data();
    void searchPath();
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

// Folders "a" (the program, executable), "b" (a file of the name that is not executable) and
// "c" (a folder of the name) in one temporary folder; "@" in a path stands for it.
void TestSessionBus::searchPath_data() {
    QTest::addColumn<QString>("path"); // "-" for none at all
    QTest::addColumn<bool>("expected");
    QTest::newRow("none") << "-" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("in the only folder") << "@/a" << true;
    QTest::newRow("in the last folder") << "@/b:@/c::@/a" << true;
    QTest::newRow("not executable") << "@/b" << false;
    QTest::newRow("a folder of the name") << "@/c" << false;
    QTest::newRow("missing folder, empty entries") << ":@/none:" << false;
}

void TestSessionBus::searchPath() {
    QFETCH(QString, path);
    QFETCH(bool, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    for (const char* folder : {"a", "b", "c", "c/prog"})
        QVERIFY(QDir(root.path()).mkpath(QString::fromLatin1(folder)));
    for (const char* file : {"a/prog", "b/prog"}) {
        QFile f(root.filePath(QString::fromLatin1(file)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::setPermissions(root.filePath("a/prog"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QFile::setPermissions(root.filePath("c/prog"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray bytes = QFile::encodeName(QString(path).replace(u'@', root.path()));
    QCOMPARE(instance::OnSearchPath(path == "-" ? nullptr : bytes.constData(), "prog"), expected);
}

QTEST_GUILESS_MAIN(TestSessionBus)
#include "tst_sessionbus.moc"
