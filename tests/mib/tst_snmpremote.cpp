// The interface table of a remote agent: against a real snmpd and against the scripted agent of
// tests/common/udpagent.py, which wraps counters and answers badly on purpose.
#include "ZSNMPRemote.h"

#include "loopback.h"
#include "netns.h"
#include "snmpagents.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

using namespace std::chrono_literals;
using testcommon::TScriptedAgent;
using testcommon::TSnmpd;
using Error = TZSNMPRemoteError;
using Select = TZSNMPMIBIFSelect;

Q_DECLARE_METATYPE(TZSNMPRemoteError)
Q_DECLARE_METATYPE(TZSNMPRemoteAgent)

namespace {

const TZSNMPMIBIFSelectSet kOctets{Select::zifDescr, Select::zifInOctets, Select::zifOutOctets};

TZSNMPRemoteAgent v2c(const QString& address, const char* community = TSnmpd::kCommunity) {
    TZSNMPRemoteAgent agent;
    agent.Host = address.toStdString();
    agent.Community = community;
    return agent;
}

TZSNMPRemoteAgent v3(const QString& address, const char* authPassphrase = TSnmpd::kAuthPassphrase,
                     const char* user = TSnmpd::kUser) {
    TZSNMPRemoteAgent agent;
    agent.Host = address.toStdString();
    agent.Version = 3;
    agent.User = user;
    agent.AuthProtocol = "SHA";
    agent.AuthPassphrase = authPassphrase;
    agent.PrivProtocol = "AES";
    agent.PrivPassphrase = TSnmpd::kPrivPassphrase;
    return agent;
}

const TZSNMPMIBIFEntry* rowNamed(const TZSNMPMIBIFTable& table, std::string_view name) {
    for (int i = 0; i < table.Count(); ++i)
        if (table.Items(i)->ifDescr == name) return table.Items(i);
    return nullptr;
}

// ifDescr of every interface as snmpwalk lists it, octet for octet.
std::vector<std::string> snmpwalkDescriptions(const QString& address) {
    QProcess walk;
    walk.start("snmpwalk",
               {"-v2c", "-c", TSnmpd::kCommunity, "-On", "-Ox", address, "1.3.6.1.2.1.2.2.1.2"});
    std::vector<std::string> names;
    if (!walk.waitForFinished(10000) || walk.exitCode() != 0) return names;
    for (const QByteArray& line : walk.readAllStandardOutput().split('\n')) {
        QByteArray hex = line;
        if (line.startsWith(".1.3.6.1.2.1.2.2.1.2.")) {
            names.emplace_back();
            hex = line.mid(line.indexOf("Hex-STRING:") + 11);
        }
        for (const QByteArray& octet : hex.simplified().split(' '))
            if (!octet.isEmpty() && !names.empty())
                names.back() += static_cast<char>(octet.toUInt(nullptr, 16));
    }
    return names;
}

} // namespace

class TestSnmpRemote : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void descriptionsAsSnmpwalkListsThem_data();
    void descriptionsAsSnmpwalkListsThem();
    void loopbackTransferInTheInOctets();
    void errors_data();
    void errors();
    void v3KeysFollowTheSettings();
    void stoppedAgentTimesOut();
    void countersWrapAlikeInBothWidths_data();
    void countersWrapAlikeInBothWidths();
    void hostileAgentEndsBounded_data();
    void hostileAgentEndsBounded();
    void loaderAnswersAtTheNextLoad_data();
    void loaderAnswersAtTheNextLoad();
    void loaderStopsWithinItsDeadline();

private:
    // lo's counters are the test's alone in a network namespace of its own: whatever else the
    // machine sends over its lo meanwhile does not count. Where namespaces are not allowed,
    // the machine's own.
    testcommon::TPrivateNetwork FNetwork;
    TSnmpd FSnmpd;
};

void TestSnmpRemote::initTestCase() {
    QVERIFY2(FSnmpd.Start(), qPrintable(FSnmpd.Error()));
}

void TestSnmpRemote::descriptionsAsSnmpwalkListsThem_data() {
    QTest::addColumn<TZSNMPRemoteAgent>("agent");
    QTest::newRow("v2c") << v2c(FSnmpd.Address());
    QTest::newRow("v3 authPriv") << v3(FSnmpd.Address());
}

void TestSnmpRemote::descriptionsAsSnmpwalkListsThem() {
    QFETCH(TZSNMPRemoteAgent, agent);
    const std::vector<std::string> expected = snmpwalkDescriptions(FSnmpd.Address());
    QVERIFY(!expected.empty());
    const TZSNMPRemoteDescriptions got = ZSNMPRemoteLoadDescriptions(agent, 5s);
    QCOMPARE(got.Error, Error::None);
    QCOMPARE(got.Names, expected);
}

void TestSnmpRemote::loopbackTransferInTheInOctets() {
    TZSNMPRemoteSession session(v2c(FSnmpd.Address()));
    auto inOctets = [&]() -> std::uint32_t {
        const TZSNMPRemoteResult result = session.Load(kOctets, 5s);
        const TZSNMPMIBIFEntry* lo = rowNamed(*result.Table, "lo");
        return lo ? lo->ifInOctets : 0;
    };
    const std::uint32_t before = inOctets();
    QVERIFY(before != 0);
    // About a megabyte, in batches that the receiving socket's buffer holds.
    constexpr int kBatches = 20, kCount = 50, kSize = 1000;
    for (int batch = 0; batch < kBatches; ++batch)
        QVERIFY(testcommon::SendLoopback(kCount, kSize));
    const std::uint32_t sent = kBatches * kCount * (20 + 8 + kSize);
    // The agent refreshes its counters every few seconds.
    std::uint32_t grown = 0;
    QTRY_VERIFY_WITH_TIMEOUT((grown = inOctets() - before) >= sent, 15000);
    // Only the walks themselves and what else the machine sends over lo come on top.
    QVERIFY2(grown < sent + sent / 2, qPrintable(QString::number(grown)));
}

void TestSnmpRemote::errors_data() {
    QTest::addColumn<TZSNMPRemoteAgent>("agent");
    QTest::addColumn<Error>("error");
    const QString address = FSnmpd.Address();
    QTest::newRow("wrong community") << v2c(address, "wrong") << Error::Timeout;
    QTest::newRow("v3 wrong passphrase") << v3(address, "wrongpass1") << Error::Authentication;
    QTest::newRow("v3 unknown user")
        << v3(address, TSnmpd::kAuthPassphrase, "nobody") << Error::Authentication;
    QTest::newRow("unknown host name") << v2c("no-such-host.invalid") << Error::HostUnknown;
    QTest::newRow("nothing listening")
        << v2c(QStringLiteral("127.0.0.1:%1").arg(testcommon::FreeUdpPort())) << Error::Timeout;
    QTest::newRow("short passphrase") << v3(address, "short") << Error::BadSettings;
    TZSNMPRemoteAgent unknownProtocol = v3(address);
    unknownProtocol.AuthProtocol = "SHA-1024";
    QTest::newRow("unknown protocol") << unknownProtocol << Error::BadSettings;
}

void TestSnmpRemote::errors() {
    QFETCH(TZSNMPRemoteAgent, agent);
    QFETCH(Error, error);
    constexpr auto kDeadline = 600ms;
    QElapsedTimer clock;
    clock.start();
    const TZSNMPRemoteResult result = ZSNMPRemoteLoad(agent, kOctets, kDeadline);
    QCOMPARE(result.Error, error);
    QCOMPARE(result.Table->Count(), 0);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
}

// The library holds one key set per engine and user for the whole process: a changed passphrase
// must still be the one used.
void TestSnmpRemote::v3KeysFollowTheSettings() {
    const QString address = FSnmpd.Address();
    QCOMPARE(ZSNMPRemoteLoad(v3(address), kOctets, 5s).Error, Error::None);
    QCOMPARE(ZSNMPRemoteLoad(v3(address, "wrongpass1"), kOctets, 5s).Error, Error::Authentication);
    QCOMPARE(ZSNMPRemoteLoad(v3(address), kOctets, 5s).Error, Error::None);
}

void TestSnmpRemote::stoppedAgentTimesOut() {
    TSnmpd snmpd;
    QVERIFY2(snmpd.Start(), qPrintable(snmpd.Error()));
    TZSNMPRemoteSession plain(v2c(snmpd.Address()));
    TZSNMPRemoteSession secure(v3(snmpd.Address()));
    QCOMPARE(plain.Load(kOctets, 5s).Error, Error::None);
    QCOMPARE(secure.Load(kOctets, 5s).Error, Error::None);
    snmpd.Stop();
    QCOMPARE(plain.Load(kOctets, 500ms).Error, Error::Timeout);
    QCOMPARE(secure.Load(kOctets, 500ms).Error, Error::Timeout);
}

void TestSnmpRemote::countersWrapAlikeInBothWidths_data() {
    QTest::addColumn<QStringList>("arguments");
    const QStringList common{"--rows",    "1",
                             "--step",    "700",
                             "--start32", QString::number((1ull << 32) - 1500),
                             "--start64", QString::number(~0ull - 1499)};
    // The 32-bit columns stand still where the 64-bit ones are there: only those may be read.
    QTest::newRow("ifXTable") << common + QStringList{"--frozen32"};
    QTest::newRow("ifTable alone") << common + QStringList{"--no-hc"};
}

void TestSnmpRemote::countersWrapAlikeInBothWidths() {
    QFETCH(QStringList, arguments);
    TScriptedAgent agent;
    QVERIFY(agent.Start(arguments));
    TZSNMPRemoteSession session(v2c(agent.Address(), "public"));
    for (std::uint32_t step = 0; step < 4; ++step) {
        const TZSNMPRemoteResult result = session.Load(kOctets, 5s);
        QCOMPARE(result.Error, Error::None);
        QCOMPARE(result.Table->Count(), 1);
        // Both widths hold 1499 below their limit at first; in-octets step by 700, out by 1400.
        const TZSNMPMIBIFEntry& row = *result.Table->Items(0);
        QCOMPARE(row.ifInOctets, static_cast<std::uint32_t>(-1499 + step * 700));
        QCOMPARE(row.ifOutOctets, static_cast<std::uint32_t>(-1499 + step * 1400));
        QCOMPARE(agent.Control("STEP"), QByteArray("OK"));
    }
}

void TestSnmpRemote::hostileAgentEndsBounded_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Error>("error");
    QTest::addColumn<int>("rows"); // -1: any number within the bound
    QTest::addColumn<int>("deadline");
    QTest::newRow("names going back")
        << QStringList{"--mode", "nonincreasing"} << Error::None << 2 << 5000;
    // Rows 1 and 3 have a description; row 2 has no value of the right type.
    QTest::newRow("wrong types") << QStringList{"--mode", "wrongtypes"} << Error::None << 2 << 5000;
    QTest::newRow("64 KiB description")
        << QStringList{"--mode", "bigstring", "--rows", "1"} << Error::None << 1 << 5000;
    QTest::newRow("100000 rows") << QStringList{"--rows", "100000"} << Error::None
                                 << kZSNMPRemoteMaxRows << 20000;
    QTest::newRow("more bindings than asked")
        << QStringList{"--mode", "manyvarbinds", "--rows", "100000"} << Error::None << -1 << 5000;
    QTest::newRow("silence") << QStringList{"--mode", "silence"} << Error::Timeout << 0 << 500;
    // The second row came without its out-octets: not kept, or it would read as a counter at 0.
    QTest::newRow("cut short, then silent")
        << QStringList{"--mode", "truncated"} << Error::Timeout << 1 << 500;
}

void TestSnmpRemote::hostileAgentEndsBounded() {
    QFETCH(QStringList, arguments);
    QFETCH(Error, error);
    QFETCH(int, rows);
    QFETCH(int, deadline);
    TScriptedAgent agent;
    QVERIFY(agent.Start(arguments));
    QElapsedTimer clock;
    clock.start();
    const TZSNMPRemoteResult result = ZSNMPRemoteLoad(v2c(agent.Address(), "public"), kOctets,
                                                      std::chrono::milliseconds(deadline));
    QVERIFY(clock.elapsed() < deadline + 2000);
    QCOMPARE(result.Error, error);
    const TZSNMPMIBIFTable& table = *result.Table;
    if (rows >= 0) QCOMPARE(table.Count(), rows);
    QVERIFY(table.Count() <= kZSNMPRemoteMaxRows);
    for (int i = 0; i < table.Count(); ++i)
        QVERIFY(table.Items(i)->ifDescr.size() <= kZSNMPRemoteMaxDescr);
    // One exchange sees the names go back; a walk that went on would ask until its bounds.
    if (QTest::currentDataTag() == QStringLiteral("names going back"))
        QCOMPARE(agent.Control("SERVED"), QByteArray("1"));
    if (QTest::currentDataTag() == QStringLiteral("64 KiB description"))
        QCOMPARE(table.Items(0)->ifDescr, std::string(kZSNMPRemoteMaxDescr, 'x'));
    if (QTest::currentDataTag() == QStringLiteral("wrong types")) {
        QCOMPARE(table.Items(0)->ifInOctets, 10u);
        QCOMPARE(table.Items(1)->ifDescr, std::string("c"));
    }
}

void TestSnmpRemote::loaderAnswersAtTheNextLoad_data() {
    QTest::addColumn<int>("loadsWhileHeld");
    QTest::addColumn<uint>("answer"); // the agent numbers its answers from 1
    QTest::newRow("on the next load") << 0 << 1u;
    QTest::newRow("a late answer dropped") << 1 << 2u;
}

void TestSnmpRemote::loaderAnswersAtTheNextLoad() {
    QFETCH(int, loadsWhileHeld);
    QFETCH(uint, answer);
    TScriptedAgent agent;
    QVERIFY(agent.Start({"--mode", "hold"}));
    TZSNMPRemoteLoader loader(v2c(agent.Address(), "public"), 10s);
    // The agent holds the request: a load that waited for it would not be back.
    QCOMPARE(loader.LoadIFTable(kOctets)->Count(), 0);
    QTRY_COMPARE(agent.Control("HELD"), QByteArray("1"));
    for (int i = 0; i < loadsWhileHeld; ++i) {
        // A load while the first is out: that answer is late, and this load's is asked next.
        QCOMPARE(loader.LoadIFTable(kOctets)->Count(), 0);
        QCOMPARE(agent.Control("RELEASE"), QByteArray("OK"));
        QTRY_COMPARE(agent.Control("HELD"), QByteArray("1"));
    }
    QVERIFY(!loader.AnswerReady());
    QCOMPARE(agent.Control("RELEASE"), QByteArray("OK"));
    QTRY_VERIFY(loader.AnswerReady());
    const std::unique_ptr<TZSNMPMIBIFTable> table = loader.LoadIFTable(kOctets);
    QCOMPARE(table->Count(), 3);
    QCOMPARE(table->Items(0)->ifInOctets, answer);
    QCOMPARE(loader.LastError(), Error::None);
}

void TestSnmpRemote::loaderStopsWithinItsDeadline() {
    TScriptedAgent agent;
    QVERIFY(agent.Start({"--mode", "hold"}));
    constexpr auto kDeadline = 1500ms;
    QElapsedTimer clock;
    {
        TZSNMPRemoteLoader loader(v2c(agent.Address(), "public"), kDeadline);
        loader.LoadIFTable(kOctets);
        QTRY_COMPARE(agent.Control("HELD"), QByteArray("1"));
        clock.start();
    }
    QVERIFY2(clock.elapsed() < kDeadline.count() + 1000,
             qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestSnmpRemote)
#include "tst_snmpremote.moc"
