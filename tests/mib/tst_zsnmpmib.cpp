// TZSNMPMIB and its tables, against agent libraries built by the tests (tests/mib/agents).
#include "ZSNMPMIB.h"
#include "agentlibrary.h"
#include "scratchfiles.h"

#include <QtTest>

#include <ctime>
#include <vector>

namespace {

using namespace testcommon;

const QString kAgents = QStringLiteral(TEST_AGENTS_DIR);

std::string agentIn(const char* variant) {
    return (kAgents + '/' + variant + "/libinetmib1.so").toStdString();
}
std::string apiIn(const char* variant) {
    return (kAgents + '/' + variant + "/libsnmpapi.so").toStdString();
}

using Arcs = std::vector<std::uint32_t>;

Arcs columnName(std::uint32_t column, Arcs instance) {
    Arcs name{1, 3, 6, 1, 2, 1, 2, 2, 1, column};
    name.insert(name.end(), instance.begin(), instance.end());
    return name;
}

QStringList keysOf(const TZSNMPMIBIFTable& table) {
    QStringList keys;
    for (int i = 0; i < table.Count(); ++i)
        keys << QString::fromStdString(table.Items(i)->Key);
    return keys;
}

} // namespace

class TestZSNMPMIB : public QObject {
    Q_OBJECT

private:
    // Held open by the test itself, so that their state and counters are shared with every
    // TZSNMPMIB that loads the same files.
    const TTestAgent FAgent{QString::fromStdString(agentIn("ok"))};
    const TTestApi FApi{QString::fromStdString(apiIn("ok"))};

    TestAgentStats agentStats() const {
        TestAgentStats s{};
        FAgent.Stats(&s);
        return s;
    }
    TestApiStats apiStats() const {
        TestApiStats s{};
        FApi.Stats(&s);
        return s;
    }
    void configure(int scenario, std::uint32_t param = 0) const {
        FAgent.Configure(scenario, param);
    }
    static TZSNMPMIB okMib() { return TZSNMPMIB(agentIn("ok"), apiIn("ok")); }

    // Every buffer the walk's bindings held was released exactly once, one release per copy.
    void verifyBalanced() const {
        const TestAgentStats agent = agentStats();
        const TestApiStats api = apiStats();
        QCOMPARE(agent.allocations + api.allocations, agent.frees + api.frees);
        QCOMPARE(api.varBindFrees, api.oidCopies);
        QCOMPARE(api.oidCopies, agent.queries);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(FAgent.Ok() && FApi.Ok(), qPrintable(FAgent.Error() + FApi.Error()));
    }
    void cleanupTestCase() {
        if (FAgent.Ok()) configure(TESTAGENT_NO_VIEW);
    }
    void init() {
        configure(TESTAGENT_SEVERAL);
        FApi.Reset();
    }

    void selectSetHoldsOneBitPerOrdinal() {
        TZSNMPMIBIFSelectSet set{TZSNMPMIBIFSelect::zifIndex, TZSNMPMIBIFSelect::zifOutQLen};
        QCOMPARE(set.Bits(), (1u << 0) | (1u << 20));
        QVERIFY(set.Contains(TZSNMPMIBIFSelect::zifOutQLen));
        QVERIFY(!set.Contains(TZSNMPMIBIFSelect::zifInOctets));
        set.Include(TZSNMPMIBIFSelect::zifInOctets);
        QCOMPARE(set.Bits() & (1u << 9), 1u << 9);
        set.Exclude(TZSNMPMIBIFSelect::zifIndex);
        set.Exclude(TZSNMPMIBIFSelect::zifOutQLen);
        set.Exclude(TZSNMPMIBIFSelect::zifInOctets);
        QVERIFY(set.Empty());
        QCOMPARE(TZSNMPMIBIFSelectSet::All().Bits(), (1u << 21) - 1);
        QCOMPARE(static_cast<int>(TZSNMPMIBIFSelect::zifOutOctets), 15);
    }

    void findOrAddMatchesKeysIgnoringCaseAndKeepsOrder() {
        TZSNMPMIBIFTable table;
        std::vector<TZSNMPMIBIFEntry*> rows;
        for (int i = 0; i < 25; ++i)
            rows.push_back(table.FindOrAdd("k" + std::to_string(i)));
        QCOMPARE(table.Count(), 25);
        for (int i = 0; i < 25; ++i) {
            QCOMPARE(table.Items(i), rows[static_cast<std::size_t>(i)]);
            QCOMPARE(table.FindOrAdd("K" + std::to_string(i)), rows[static_cast<std::size_t>(i)]);
            QCOMPARE(table.Items(i)->Key, "k" + std::to_string(i));
        }
        QCOMPARE(table.Count(), 25);
        QCOMPARE(table.Items(25), nullptr);
        QCOMPARE(table.Items(-1), nullptr);
        QCOMPARE(table.FindOrAdd("")->Key, std::string());
        QCOMPARE(table.Count(), 26);
    }

    void findOrAddMatching_data() {
        QTest::addColumn<QList<QByteArray>>("named"); // FindOrAdd calls, in order
        QTest::addColumn<QList<int>>("positions");    // the row each call must give
        QTest::addColumn<QList<QByteArray>>("keys");  // the table's keys afterwards

        QTest::newRow("letters in any case") << QList<QByteArray>{"ab1", "AB1", "aB1", "Ab1"}
                                             << QList<int>{0, 0, 0, 0} << QList<QByteArray>{"ab1"};
        QTest::newRow("first spelling kept") << QList<QByteArray>{"XY.2", "xy.2", "Xy.2"}
                                             << QList<int>{0, 0, 0} << QList<QByteArray>{"XY.2"};
        // These pairs differ by the same bit as a letter's cases do.
        QTest::newRow("only A-Z fold")
            << QList<QByteArray>{"[", "{", "@", "`", "^", "~", "\xC3\xA9", "\xC3\x89"}
            << QList<int>{0, 1, 2, 3, 4, 5, 6, 7}
            << QList<QByteArray>{"[", "{", "@", "`", "^", "~", "\xC3\xA9", "\xC3\x89"};
        QTest::newRow("length counts, zero octets too")
            << QList<QByteArray>{"a", QByteArray("a\0", 2), "A", QByteArray("A\0", 2), ""}
            << QList<int>{0, 1, 0, 1, 2} << QList<QByteArray>{"a", QByteArray("a\0", 2), ""};
        QTest::newRow("order of first naming")
            << QList<QByteArray>{"2", "10", "1", "10", "2", "3", "1.10", "1.1"}
            << QList<int>{0, 1, 2, 1, 0, 3, 4, 5}
            << QList<QByteArray>{"2", "10", "1", "3", "1.10", "1.1"};
    }

    void findOrAddMatching() {
        QFETCH(QList<QByteArray>, named);
        QFETCH(QList<int>, positions);
        QFETCH(QList<QByteArray>, keys);
        TZSNMPMIBIFTable table;
        for (qsizetype i = 0; i < named.size(); ++i) {
            const std::string_view key(named[i].constData(), std::size_t(named[i].size()));
            TZSNMPMIBIFEntry* row = table.FindOrAdd(key);
            QVERIFY(row != nullptr);
            QCOMPARE(row, table.Items(positions[i]));
        }
        QCOMPARE(table.Count(), keys.size());
        for (qsizetype i = 0; i < keys.size(); ++i)
            QCOMPARE(table.Items(int(i))->Key, keys[i].toStdString());
    }

    void manyRowsLoadInOrder_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("secondReversed");
        QTest::addColumn<int>("arcs");
        QTest::newRow("8192 rows, columns in the same order") << 8192 << false << 1;
        QTest::newRow("30000 rows, second column backwards") << 30000 << true << 1;
        QTest::newRow("20000 keys of two arcs") << 20000 << true << 2;
    }

    void manyRowsLoadInOrder() {
        // As a load stores them: one column names the rows, the next finds them again.
        QFETCH(int, rows);
        QFETCH(bool, secondReversed);
        QFETCH(int, arcs);
        // Instances out of numeric order, so that the table's order is only the naming order.
        const auto instance = [&](int i) {
            const auto n = static_cast<std::uint32_t>((i * 7919) % rows + 1);
            return arcs == 1 ? Arcs{n} : Arcs{n % 97, n};
        };
        const auto store = [](TZSNMPMIBIFTable& table, std::uint32_t column, const Arcs& inst,
                              std::uint32_t value) {
            Arcs name = columnName(column, inst);
            SnmpVarBind binding{};
            binding.name = {static_cast<std::uint32_t>(name.size()), name.data()};
            binding.value.asnType = ASN_COUNTER32;
            binding.value.asnValue.counter = value;
            ZSNMPMIBStoreBinding(table, binding);
        };
        TZSNMPMIBIFTable table;
        for (int i = 0; i < rows; ++i)
            store(table, 10, instance(i), std::uint32_t(i));
        for (int k = 0; k < rows; ++k) {
            const int i = secondReversed ? rows - 1 - k : k;
            store(table, 16, instance(i), std::uint32_t(i) + 1000000u);
        }
        QCOMPARE(table.Count(), rows);
        for (int i = 0; i < rows; ++i) {
            const TZSNMPMIBIFEntry& row = *table.Items(i);
            const Arcs inst = instance(i);
            const std::string key = arcs == 1
                                        ? std::to_string(inst[0])
                                        : std::to_string(inst[0]) + "." + std::to_string(inst[1]);
            if (row.Key != key || row.ifInOctets != std::uint32_t(i) ||
                row.ifOutOctets != std::uint32_t(i) + 1000000u)
                QFAIL(qPrintable(QString("row %1: key %2, in %3, out %4")
                                     .arg(i)
                                     .arg(QString::fromStdString(row.Key))
                                     .arg(row.ifInOctets)
                                     .arg(row.ifOutOctets)));
        }
    }

    void storeBinding_data() {
        QTest::addColumn<QList<quint32>>("name");
        QTest::addColumn<int>("asnType");
        QTest::addColumn<quint32>("number");
        QTest::addColumn<QByteArray>("octets");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");

        const auto name = [](std::uint32_t column, Arcs instance) {
            const Arcs arcs = columnName(column, instance);
            return QList<quint32>(arcs.begin(), arcs.end());
        };
        QTest::newRow("descr keeps a trailing zero octet")
            << name(2, {3}) << ASN_OCTETSTRING << 0u << QByteArray("eth0\0", 5) << "3"
            << "ifDescr" << QString::fromLatin1("eth0\0", 5);
        QTest::newRow("descr octets above 127 stay one character each")
            << name(2, {1}) << ASN_OCTETSTRING << 0u << QByteArray("\xE9t\xE9", 3) << "1"
            << "ifDescr"
            << "3 chars";
        QTest::newRow("descr of an integer stays empty")
            << name(2, {1}) << ASN_INTEGER << 0x41414141u << QByteArray() << "1"
            << "ifDescr"
            << "";
        QTest::newRow("six octets: 17 characters, upper case")
            << name(6, {2}) << ASN_OCTETSTRING << 0u << QByteArray("\x00\xa0\xc9\x14\xc8\x29", 6)
            << "2"
            << "ifPhysAddress"
            << "00 A0 C9 14 C8 29";
        QTest::newRow("no octets: empty address")
            << name(6, {2}) << ASN_OCTETSTRING << 0u << QByteArray() << "2"
            << "ifPhysAddress"
            << "";
        QTest::newRow("one octet")
            << name(6, {2}) << ASN_OCTETSTRING << 0u << QByteArray("\x0f") << "2"
            << "ifPhysAddress"
            << "0F";
        QTest::newRow("address of a counter stays empty")
            << name(6, {2}) << ASN_COUNTER32 << 7u << QByteArray() << "2"
            << "ifPhysAddress"
            << "";
        QTest::newRow("INTEGER all ones is -1")
            << name(4, {9}) << ASN_INTEGER << 0xFFFFFFFFu << QByteArray() << "9"
            << "ifMtu"
            << "-1";
        QTest::newRow("gauge all ones stays unsigned")
            << name(5, {9}) << ASN_GAUGE32 << 0xFFFFFFFFu << QByteArray() << "9"
            << "ifSpeed"
            << "4294967295";
        QTest::newRow("number column ignores the type")
            << name(10, {9}) << ASN_OCTETSTRING << 77u << QByteArray() << "9"
            << "ifInOctets"
            << "77";
        QTest::newRow("key of several arcs, largest arc")
            << name(16, {1, 22, 4294967295u}) << ASN_COUNTER32 << 5u << QByteArray()
            << "1.22.4294967295"
            << "ifOutOctets"
            << "5";
        QTest::newRow("column name alone: empty key")
            << name(21, {}) << ASN_GAUGE32 << 3u << QByteArray() << ""
            << "ifOutQLen"
            << "3";
    }

    void storeBinding() {
        QFETCH(QList<quint32>, name);
        QFETCH(int, asnType);
        QFETCH(quint32, number);
        QFETCH(QByteArray, octets);
        QFETCH(QString, key);
        QFETCH(QString, field);
        QFETCH(QString, expected);

        std::vector<std::uint32_t> arcs(name.begin(), name.end());
        SnmpVarBind binding{};
        binding.name = {static_cast<std::uint32_t>(arcs.size()), arcs.data()};
        binding.value.asnType = static_cast<std::uint8_t>(asnType);
        if (asnType == ASN_OCTETSTRING) {
            binding.value.asnValue.string = {reinterpret_cast<std::uint8_t*>(octets.data()),
                                             static_cast<std::uint32_t>(octets.size()), 0};
            if (octets.isEmpty()) binding.value.asnValue.string.stream = nullptr;
            if (field == "ifInOctets") binding.value.asnValue.unsigned32 = number;
        } else {
            binding.value.asnValue.unsigned32 = number;
        }

        TZSNMPMIBIFTable table;
        ZSNMPMIBStoreBinding(table, binding);
        QCOMPARE(table.Count(), 1);
        const TZSNMPMIBIFEntry& row = *table.Items(0);
        QCOMPARE(QString::fromStdString(row.Key), key);
        const QMap<QString, QString> values{
            {"ifDescr", QString::fromLatin1(row.ifDescr.data(), qsizetype(row.ifDescr.size()))},
            {"ifPhysAddress", QString::fromStdString(row.ifPhysAddress)},
            {"ifMtu", QString::number(row.ifMtu)},
            {"ifSpeed", QString::number(row.ifSpeed)},
            {"ifInOctets", QString::number(row.ifInOctets)},
            {"ifOutOctets", QString::number(row.ifOutOctets)},
            {"ifOutQLen", QString::number(row.ifOutQLen)}};
        if (expected == "3 chars") {
            QCOMPARE(row.ifDescr.size(), std::size_t{3});
            QCOMPARE(static_cast<unsigned char>(row.ifDescr[0]), 0xE9u);
        } else {
            QCOMPARE(values.value(field), expected);
        }
        // Every other field keeps its empty value.
        if (field != "ifMtu") QCOMPARE(row.ifMtu, 0);
        if (field != "ifDescr") QVERIFY(row.ifDescr.empty());
        if (field != "ifPhysAddress") QVERIFY(row.ifPhysAddress.empty());
    }

    void bindingShorterThanAColumnNameIsIgnored() {
        std::uint32_t arcs[9] = {1, 3, 6, 1, 2, 1, 2, 2, 1};
        SnmpVarBind binding{};
        binding.name = {9, arcs};
        TZSNMPMIBIFTable table;
        ZSNMPMIBStoreBinding(table, binding);
        QCOMPARE(table.Count(), 0);
    }

    void severalInterfacesEveryColumn() {
        const std::time_t before = std::time(nullptr);
        TZSNMPMIB mib = okMib();
        const std::time_t after = std::time(nullptr);
        QVERIFY(mib.Ready());
        QCOMPARE(agentStats().initCalls, 1u);
        QVERIFY(agentStats().timeZeroReference >= static_cast<std::uint32_t>(before));
        QVERIFY(agentStats().timeZeroReference <= static_cast<std::uint32_t>(after));

        const auto table = mib.LoadIFTable(TZSNMPMIBIFSelectSet::All());
        QCOMPARE(keysOf(*table), QStringList({"1", "2", "7"}));
        // One query per row and column, and one leaving each column.
        QCOMPARE(agentStats().queries, 21u * 4u);
        verifyBalanced();

        const TZSNMPMIBIFEntry& lo = *table->Items(0);
        QCOMPARE(lo.ifIndex, 1);
        QCOMPARE(lo.ifDescr, std::string("lo"));
        QCOMPARE(lo.ifType, 24);
        QCOMPARE(lo.ifMtu, 65536);
        QCOMPARE(lo.ifSpeed, 10000000u);
        QCOMPARE(lo.ifPhysAddress, std::string());
        QCOMPARE(lo.ifAdminStatus, 1);
        QCOMPARE(lo.ifOperStatus, 1);
        QCOMPARE(lo.ifLastChange, 0u);

        const TZSNMPMIBIFEntry& eth = *table->Items(1);
        QCOMPARE(eth.ifDescr, std::string("eth0\0", 5));
        QCOMPARE(eth.ifPhysAddress, std::string("00 A0 C9 14 C8 29"));
        QCOMPARE(eth.ifSpeed, 1000000000u);
        QCOMPARE(eth.ifLastChange, 12345u);
        QCOMPARE(eth.ifOutOctets, 0x80000000u);

        const TZSNMPMIBIFEntry& wlan = *table->Items(2);
        QCOMPARE(wlan.ifIndex, 7);
        QCOMPARE(wlan.ifMtu, -1);
        QCOMPARE(wlan.ifSpeed, 0xFFFFFFFFu);
        QCOMPARE(wlan.ifPhysAddress, std::string("0A 1B 2C 3D 4E 5F"));
        QCOMPARE(wlan.ifAdminStatus, 2);
        QCOMPARE(wlan.ifInOctets, 0xFFFFFFFFu);

        // Counter columns land in their own fields.
        const std::uint32_t TZSNMPMIBIFEntry::*counters[] = {
            &TZSNMPMIBIFEntry::ifInUcastPkts,     &TZSNMPMIBIFEntry::ifInNUcastPkts,
            &TZSNMPMIBIFEntry::ifInDiscards,      &TZSNMPMIBIFEntry::ifInErrors,
            &TZSNMPMIBIFEntry::ifInUnknownProtos, &TZSNMPMIBIFEntry::ifOutOctets,
            &TZSNMPMIBIFEntry::ifOutUcastPkts,    &TZSNMPMIBIFEntry::ifOutNUcastPkts,
            &TZSNMPMIBIFEntry::ifOutDiscards,     &TZSNMPMIBIFEntry::ifOutErrors,
            &TZSNMPMIBIFEntry::ifOutQLen};
        for (std::uint32_t c = 11; c <= 21; ++c) {
            if (c == 16) continue;
            QCOMPARE(lo.*counters[c - 11], c * 100000u + 1);
            QCOMPARE(wlan.*counters[c - 11], c * 100000u + 7);
        }
    }

    void descrOnly() {
        TZSNMPMIB mib = okMib();
        const auto table = mib.LoadIFTable({TZSNMPMIBIFSelect::zifDescr});
        QCOMPARE(keysOf(*table), QStringList({"1", "2", "7"}));
        QCOMPARE(agentStats().queries, 4u);
        for (int i = 0; i < table->Count(); ++i) {
            const TZSNMPMIBIFEntry& row = *table->Items(i);
            QVERIFY(!row.ifDescr.empty());
            QCOMPARE(row.ifIndex, 0);
            QCOMPARE(row.ifType, 0);
            QCOMPARE(row.ifSpeed, 0u);
            QCOMPARE(row.ifInOctets, 0u);
            QCOMPARE(row.ifOutQLen, 0u);
            QVERIFY(row.ifPhysAddress.empty());
        }
        verifyBalanced();
    }

    void emptySelectionMakesNoQuery() {
        TZSNMPMIB mib = okMib();
        QVERIFY(mib.Ready());
        const auto table = mib.LoadIFTable({});
        QCOMPARE(table->Count(), 0);
        QCOMPARE(agentStats().queries, 0u);
        QCOMPARE(apiStats().oidCopies, 0u);
    }

    void noInterfaces_data() {
        QTest::addColumn<int>("scenario");
        QTest::newRow("first answer leaves ifTable") << int(TESTAGENT_NO_ROWS);
        QTest::newRow("noSuchName at once") << int(TESTAGENT_NO_VIEW);
    }
    void noInterfaces() {
        QFETCH(int, scenario);
        configure(scenario);
        TZSNMPMIB mib = okMib();
        const auto table =
            mib.LoadIFTable({TZSNMPMIBIFSelect::zifDescr, TZSNMPMIBIFSelect::zifInOctets,
                             TZSNMPMIBIFSelect::zifOutOctets});
        QCOMPARE(table->Count(), 0);
        QCOMPARE(agentStats().queries, 3u);
        verifyBalanced();
    }

    void keysFirstSeenInLaterColumnsAreAppended() {
        configure(TESTAGENT_LATE_KEYS);
        TZSNMPMIB mib = okMib();
        const auto table =
            mib.LoadIFTable({TZSNMPMIBIFSelect::zifIndex, TZSNMPMIBIFSelect::zifDescr,
                             TZSNMPMIBIFSelect::zifInOctets});
        QCOMPARE(keysOf(*table), QStringList({"1", "2", "3", "2.7", "5"}));
        QCOMPARE(table->Items(2)->ifIndex, 0);
        QCOMPARE(table->Items(2)->ifDescr, std::string("c"));
        QCOMPARE(table->Items(3)->ifInOctets, 27u);
        QCOMPARE(table->Items(4)->ifInOctets, 5u);
        QCOMPARE(table->Items(1)->ifInOctets, 0u);
        verifyBalanced();

        // The lowest selected column fixes the order.
        const auto octetsOnly = mib.LoadIFTable({TZSNMPMIBIFSelect::zifInOctets});
        QCOMPARE(keysOf(*octetsOnly), QStringList({"2.7", "5"}));
    }

    void twoLoadsGiveIndependentTables() {
        TZSNMPMIB mib = okMib();
        auto first = mib.LoadIFTable({TZSNMPMIBIFSelect::zifDescr});
        auto second = mib.LoadIFTable({TZSNMPMIBIFSelect::zifDescr});
        QVERIFY(first.get() != second.get());
        first.reset();
        QCOMPARE(keysOf(*second), QStringList({"1", "2", "7"}));
        QCOMPARE(second->Items(0)->ifDescr, std::string("lo"));
    }

    void twoComponentsAtOnce() {
        TZSNMPMIB shared = okMib();
        auto table = shared.LoadIFTable({TZSNMPMIBIFSelect::zifInOctets});
        {
            TZSNMPMIB dialogs = okMib();
            QVERIFY(dialogs.Ready());
            QCOMPARE(dialogs.LoadIFTable({TZSNMPMIBIFSelect::zifDescr})->Count(), 3);
        }
        // The other component's unloading leaves this one working.
        QCOMPARE(shared.LoadIFTable({TZSNMPMIBIFSelect::zifInOctets})->Count(), 3);
        QCOMPARE(agentStats().initCalls, 2u);
    }

    void notReady_data() {
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QString>("api");
        QTest::addColumn<bool>("initCalled");
        const auto a = [](const char* v) { return QString::fromStdString(agentIn(v)); };
        const auto u = [](const char* v) { return QString::fromStdString(apiIn(v)); };
        QTest::newRow("init answers false") << a("ok") << u("ok") << true;
        QTest::newRow("no SnmpExtensionInit") << a("no-init") << u("ok") << false;
        QTest::newRow("no SnmpExtensionQuery") << a("no-query") << u("ok") << false;
        QTest::newRow("no SnmpUtilOidCpy") << a("ok") << u("no-oidcpy") << false;
        QTest::newRow("no SnmpUtilMemAlloc") << a("ok") << u("no-memalloc") << false;
        QTest::newRow("no SnmpUtilVarBindFree") << a("ok") << u("no-varbindfree") << false;
        QTest::newRow("no agent library") << kAgents + "/none/libinetmib1.so" << u("ok") << false;
        QTest::newRow("no utility library") << a("ok") << kAgents + "/none/libsnmpapi.so" << false;
        QTest::newRow("agent is not a library") << "NOT_A_LIBRARY" << u("ok") << false;
    }
    void notReady() {
        QFETCH(QString, agent);
        QFETCH(QString, api);
        QFETCH(bool, initCalled);
        configure(initCalled ? TESTAGENT_FAILING_INIT : TESTAGENT_SEVERAL);

        TScratchDir dir;
        if (agent == "NOT_A_LIBRARY") {
            QVERIFY(dir.Renew());
            agent = dir.FilePath("libinetmib1.so");
            QVERIFY(WriteFileBytes(agent, "not an ELF file\n"));
        }
        TZSNMPMIB mib(agent.toStdString(), api.toStdString());
        QVERIFY(!mib.Ready());
        QCOMPARE(mib.LoadIFTable(TZSNMPMIBIFSelectSet::All())->Count(), 0);
        QCOMPARE(agentStats().initCalls, initCalled ? 1u : 0u);
        QCOMPARE(agentStats().queries, 0u);
    }

    void overlongNames_data() {
        QTest::addColumn<quint32>("arcs");
        QTest::addColumn<QStringList>("keys");
        const QString sevens189 = QStringList(189, "7").join('.');
        const auto keys = [&](bool third) {
            QStringList k{"1", "1." + sevens189};
            if (third) k << "2." + QStringList(189, "7").join('.') << "3";
            return k;
        };
        QTest::newRow("200 arcs fit") << 200u << keys(true);
        QTest::newRow("201 arcs end the column") << 201u << keys(false);
        QTest::newRow("1000 arcs end the column") << 1000u << keys(false);
        QTest::newRow("100000 arcs end the column") << 100000u << keys(false);
    }
    void overlongNames() {
        QFETCH(quint32, arcs);
        QFETCH(QStringList, keys);
        configure(TESTAGENT_OVERLONG, arcs);
        TZSNMPMIB mib = okMib();
        const auto table =
            mib.LoadIFTable({TZSNMPMIBIFSelect::zifDescr, TZSNMPMIBIFSelect::zifInOctets});
        QCOMPARE(keysOf(*table), keys);
        QCOMPARE(table->Items(1)->ifDescr, std::string("b"));
        // The next column is walked as usual.
        QCOMPARE(table->Items(0)->ifInOctets, 5u);
        verifyBalanced();
    }

    void namesThatDoNotMoveOnEndTheColumn_data() {
        QTest::addColumn<int>("scenario");
        QTest::newRow("backwards") << int(TESTAGENT_BACKWARDS);
        QTest::newRow("repeat") << int(TESTAGENT_REPEAT);
    }
    void namesThatDoNotMoveOnEndTheColumn() {
        QFETCH(int, scenario);
        configure(scenario);
        TZSNMPMIB mib = okMib();
        const auto table =
            mib.LoadIFTable({TZSNMPMIBIFSelect::zifDescr, TZSNMPMIBIFSelect::zifInOctets});
        QCOMPARE(keysOf(*table), QStringList({"1", "2"}));
        QCOMPARE(table->Items(0)->ifDescr, std::string("a"));
        QCOMPARE(table->Items(1)->ifDescr, std::string("b"));
        QCOMPARE(table->Items(0)->ifInOctets, 5u);
        QCOMPARE(agentStats().queries, 3u + 2u);
        verifyBalanced();
    }

    void nonStringTypesInStringColumns() {
        configure(TESTAGENT_NON_STRING);
        TZSNMPMIB mib = okMib();
        const auto table =
            mib.LoadIFTable({TZSNMPMIBIFSelect::zifIndex, TZSNMPMIBIFSelect::zifDescr,
                             TZSNMPMIBIFSelect::zifPhysAddress, TZSNMPMIBIFSelect::zifInOctets});
        QCOMPARE(keysOf(*table), QStringList({"1", "2"}));
        for (int i = 0; i < 2; ++i) {
            QVERIFY(table->Items(i)->ifDescr.empty());
            QVERIFY(table->Items(i)->ifPhysAddress.empty());
        }
        QCOMPARE(table->Items(0)->ifInOctets, 10u);
        QCOMPARE(table->Items(1)->ifInOctets, 20u);
        verifyBalanced();
    }

    void failedStepKeepsWhatWasStored_data() {
        QTest::addColumn<int>("scenario");
        QTest::newRow("query answers false") << int(TESTAGENT_QUERY_FALSE);
        QTest::newRow("error status") << int(TESTAGENT_ERROR_STATUS);
    }
    void failedStepKeepsWhatWasStored() {
        QFETCH(int, scenario);
        configure(scenario);
        TZSNMPMIB mib = okMib();
        const auto table =
            mib.LoadIFTable({TZSNMPMIBIFSelect::zifInOctets, TZSNMPMIBIFSelect::zifOutOctets});
        QCOMPARE(keysOf(*table), QStringList({"1", "2", "3"}));
        QCOMPARE(table->Items(1)->ifInOctets, 22u);
        QCOMPARE(table->Items(2)->ifInOctets, 0u);
        QCOMPARE(table->Items(2)->ifOutOctets, 300u);
        verifyBalanced();
    }

    void endlessColumnStopsAtTheWalkLimit() {
        configure(TESTAGENT_ENDLESS);
        TZSNMPMIB mib = okMib();
        const auto table =
            mib.LoadIFTable({TZSNMPMIBIFSelect::zifDescr, TZSNMPMIBIFSelect::zifInOctets});
        QCOMPARE(table->Count(), TZSNMPMIB::kMaxWalkSteps);
        QCOMPARE(table->Items(table->Count() - 1)->Key, std::to_string(TZSNMPMIB::kMaxWalkSteps));
        QCOMPARE(table->Items(0)->ifInOctets, 5u);
        verifyBalanced();
    }
};

QTEST_APPLESS_MAIN(TestZSNMPMIB)
#include "tst_zsnmpmib.moc"
