// libinetmib1.so and libsnmpapi.so through their C interface: requests of every shape a caller
// can make, the order of a walk, and how often a load reads the kernel.
#include "AgentStats.h"
#include "ZSNMPMIB.h"
#include "agentlibrary.h"
#include "snmpabi.h"

#include <QDir>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using Arcs = std::vector<std::uint32_t>;
const Arcs kIfEntry{1, 3, 6, 1, 2, 1, 2, 2, 1};

Arcs entryName(std::initializer_list<std::uint32_t> tail) {
    Arcs name = kIfEntry;
    name.insert(name.end(), tail);
    return name;
}

Arcs arcsOf(const AsnObjectIdentifier& oid) {
    return oid.ids ? Arcs(oid.ids, oid.ids + oid.idLength) : Arcs();
}

bool before(const Arcs& a, const Arcs& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

// The interface indices of this network namespace, as sysfs gives them.
std::vector<std::uint32_t> kernelIndices() {
    std::vector<std::uint32_t> indices;
    const QDir net("/sys/class/net");
    for (const QString& name : net.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(net.filePath(name + "/ifindex"));
        if (file.open(QIODevice::ReadOnly)) indices.push_back(file.readAll().trimmed().toUInt());
    }
    std::sort(indices.begin(), indices.end());
    return indices;
}

} // namespace

Q_DECLARE_METATYPE(Arcs)

class TestAgentAbi : public QObject {
    Q_OBJECT

private:
    const testcommon::TLibrary FAgent{QStringLiteral(AGENT_LIBRARY)};
    const testcommon::TLibrary FApi{QStringLiteral(UTILITY_LIBRARY)};
    SnmpExtensionInitFn FInit = nullptr;
    SnmpExtensionQueryFn FQuery = nullptr;
    SnmpUtilOidCpyFn FOidCpy = nullptr;
    SnmpUtilMemAllocFn FAlloc = nullptr;
    SnmpUtilMemFreeFn FFree = nullptr;
    SnmpUtilVarBindFreeFn FVarBindFree = nullptr;
    SorvaneAgentDumpCountFn FDumps = nullptr;
    std::vector<std::uint32_t> FIndices;

    // A binding whose name is a copy made by the utility library, released by it.
    SnmpVarBind binding(const Arcs& name) const {
        SnmpVarBind b{};
        b.value.asnType = ASN_NULL;
        const AsnObjectIdentifier from{static_cast<std::uint32_t>(name.size()),
                                       const_cast<std::uint32_t*>(name.data())};
        if (!FOidCpy(&b.name, &from)) qFatal("SnmpUtilOidCpy failed");
        return b;
    }

    struct Answer {
        std::int32_t result, status, index;
    };
    Answer query(std::uint8_t type, std::vector<SnmpVarBind>& list) const {
        SnmpVarBindList bindings{list.data(), static_cast<std::uint32_t>(list.size())};
        Answer a{-1, -1, -1};
        a.result = FQuery(type, &bindings, &a.status, &a.index);
        return a;
    }
    void release(std::vector<SnmpVarBind>& list) const {
        for (SnmpVarBind& b : list)
            FVarBindFree(&b);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(FAgent.Loaded() && FApi.Loaded(), qPrintable(FAgent.Error() + FApi.Error()));
        FInit = FAgent.Symbol<SnmpExtensionInitFn>("SnmpExtensionInit");
        FQuery = FAgent.Symbol<SnmpExtensionQueryFn>("SnmpExtensionQuery");
        FDumps = FAgent.Symbol<SorvaneAgentDumpCountFn>(SORVANE_AGENT_DUMP_COUNT_SYMBOL);
        FOidCpy = FApi.Symbol<SnmpUtilOidCpyFn>("SnmpUtilOidCpy");
        FAlloc = FApi.Symbol<SnmpUtilMemAllocFn>("SnmpUtilMemAlloc");
        FFree = FApi.Symbol<SnmpUtilMemFreeFn>("SnmpUtilMemFree");
        FVarBindFree = FApi.Symbol<SnmpUtilVarBindFreeFn>("SnmpUtilVarBindFree");
        QVERIFY(FInit && FQuery && FDumps && FOidCpy && FAlloc && FFree && FVarBindFree);

        void* trap = reinterpret_cast<void*>(1);
        AsnObjectIdentifier view{};
        QCOMPARE(FInit(0, &trap, &view), 1);
        QCOMPARE(trap, nullptr);
        QCOMPARE(arcsOf(view), Arcs({1, 3, 6, 1, 2, 1, 2, 2}));
        QCOMPARE(FInit(0, nullptr, nullptr), 1);

        FIndices = kernelIndices();
        QVERIFY2(!FIndices.empty(), "no interfaces in /sys/class/net");
    }
    void oidCopy() {
        const Arcs arcs{1, 3, 0xFFFFFFFFu};
        const AsnObjectIdentifier src{3, const_cast<std::uint32_t*>(arcs.data())};
        AsnObjectIdentifier dst{};
        QCOMPARE(FOidCpy(&dst, &src), 1);
        QVERIFY(dst.ids != arcs.data());
        QCOMPARE(arcsOf(dst), arcs);
        FFree(dst.ids);

        const AsnObjectIdentifier empty{0, nullptr};
        QCOMPARE(FOidCpy(&dst, &empty), 1);
        QCOMPARE(dst.idLength, 0u);
        QCOMPARE(dst.ids, nullptr);

        const AsnObjectIdentifier hollow{4, nullptr};
        QCOMPARE(FOidCpy(&dst, &hollow), 0);
        QCOMPARE(dst.ids, nullptr);
        const AsnObjectIdentifier huge{0x40000000u, const_cast<std::uint32_t*>(arcs.data())};
        QCOMPARE(FOidCpy(&dst, &huge), 0);
        QCOMPARE(FOidCpy(nullptr, &src), 0);
        QCOMPARE(FOidCpy(&dst, nullptr), 0);
    }

    void memAlloc() {
        auto* p = static_cast<unsigned char*>(FAlloc(0));
        QVERIFY(p != nullptr);
        FFree(p);
        p = static_cast<unsigned char*>(FAlloc(64));
        QVERIFY(std::all_of(p, p + 64, [](unsigned char c) { return c == 0; }));
        FFree(p);
        FFree(nullptr);
    }

    void varBindFree_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("integer") << 0;
        QTest::newRow("dynamic octet string") << 1;
        QTest::newRow("static octet string") << 2;
        QTest::newRow("object identifier") << 3;
    }
    void varBindFree() {
        QFETCH(int, kind);
        static std::uint8_t fixed[4] = {1, 2, 3, 4};
        SnmpVarBind b = binding(entryName({2, 1}));
        switch (kind) {
        case 0:
            b.value.asnType = ASN_INTEGER;
            b.value.asnValue.number = -5;
            break;
        case 1:
            b.value.asnType = ASN_OCTETSTRING;
            b.value.asnValue.string = {static_cast<std::uint8_t*>(FAlloc(6)), 6, 1};
            break;
        case 2: // must not be freed: it never came from the allocator
            b.value.asnType = ASN_OCTETSTRING;
            b.value.asnValue.string = {fixed, 4, 0};
            break;
        case 3: {
            const Arcs arcs{1, 2};
            const AsnObjectIdentifier src{2, const_cast<std::uint32_t*>(arcs.data())};
            b.value.asnType = ASN_OBJECTIDENTIFIER;
            QCOMPARE(FOidCpy(&b.value.asnValue.object, &src), 1);
            break;
        }
        }
        FVarBindFree(&b);
        QCOMPARE(b.name.ids, nullptr);
        QCOMPARE(b.name.idLength, 0u);
        QCOMPARE(b.value.asnType, std::uint8_t{ASN_NULL});
        FVarBindFree(&b); // a released binding can be released again
        FVarBindFree(nullptr);
        QCOMPARE(fixed[3], std::uint8_t{4});
    }

    void malformedRequests() {
        std::vector<SnmpVarBind> list{binding({})};
        SnmpVarBindList bindings{list.data(), 1};
        std::int32_t status = -1, index = -1;
        QCOMPARE(FQuery(SNMP_PDU_GETNEXT, &bindings, nullptr, &index), 0);
        QCOMPARE(FQuery(SNMP_PDU_GETNEXT, &bindings, &status, nullptr), 0);
        QCOMPARE(FQuery(SNMP_PDU_GETNEXT, nullptr, &status, &index), 0);
        QVERIFY(status != SNMP_ERRORSTATUS_NOERROR);
        QCOMPARE(FQuery(0xA3, &bindings, &status, &index), 0); // a set: read-only agent
        QVERIFY(status != SNMP_ERRORSTATUS_NOERROR);
        SnmpVarBindList hollow{nullptr, 3};
        QCOMPARE(FQuery(SNMP_PDU_GET, &hollow, &status, &index), 0);
        SnmpVarBindList none{nullptr, 0};
        QCOMPARE(FQuery(SNMP_PDU_GETNEXT, &none, &status, &index), 1);
        QCOMPARE(status, SNMP_ERRORSTATUS_NOERROR);
        QCOMPARE(index, 0);
        // The refused requests left the binding alone.
        QCOMPARE(list[0].name.idLength, 0u);
        QCOMPARE(list[0].value.asnType, std::uint8_t{ASN_NULL});
        release(list);
    }

    void getNextOfAnyName_data() {
        QTest::addColumn<Arcs>("name");
        QTest::addColumn<int>("column"); // 0: noSuchName
        QTest::addColumn<bool>("firstRow");

        QTest::newRow("empty name") << Arcs{} << 1 << true;
        QTest::newRow("iso") << Arcs{1} << 1 << true;
        QTest::newRow("column 0 instance") << entryName({0, 5}) << 1 << true;
        QTest::newRow("column 2") << entryName({2}) << 2 << true;
        QTest::newRow("index 0") << entryName({16, 0}) << 16 << true;
        QTest::newRow("largest index arc") << entryName({9, 0xFFFFFFFFu}) << 10 << true;
        Arcs thousand = entryName({5, 0});
        thousand.resize(1000, 0xFFFFFFFFu);
        QTest::newRow("1000 arcs") << thousand << 5 << true;
        Arcs thousandOnes(1000, 0xFFFFFFFFu);
        QTest::newRow("1000 arcs of all ones") << thousandOnes << 0 << false;
        QTest::newRow("largest column arc") << entryName({0xFFFFFFFFu}) << 0 << false;
        QTest::newRow("past the last column") << entryName({22}) << 0 << false;
        QTest::newRow("after ifTable") << Arcs{1, 3, 6, 1, 2, 1, 4} << 0 << false;
    }
    void getNextOfAnyName() {
        QFETCH(Arcs, name);
        QFETCH(int, column);
        QFETCH(bool, firstRow);

        std::vector<SnmpVarBind> list{binding(name)};
        const Answer a = query(SNMP_PDU_GETNEXT, list);
        const Arcs got = arcsOf(list[0].name);
        release(list);
        QCOMPARE(a.result, 1);
        if (column == 0) {
            QCOMPARE(a.status, SNMP_ERRORSTATUS_NOSUCHNAME);
            QCOMPARE(a.index, 1);
            return;
        }
        QCOMPARE(a.status, SNMP_ERRORSTATUS_NOERROR);
        QCOMPARE(got.size(), std::size_t{11});
        QVERIFY(before(name, got));
        QCOMPARE(int(got[9]), column);
        if (firstRow) QCOMPARE(got[10], FIndices.front());
    }

    void hollowNameCountsAsEmpty() {
        std::vector<SnmpVarBind> list(1);
        list[0].name = {5, nullptr};
        list[0].value.asnType = ASN_NULL;
        const Answer a = query(SNMP_PDU_GETNEXT, list);
        QCOMPARE(a.status, SNMP_ERRORSTATUS_NOERROR);
        QCOMPARE(arcsOf(list[0].name), entryName({1, FIndices.front()}));
        release(list);
    }

    void manyBindings() {
        std::vector<SnmpVarBind> list;
        for (int i = 0; i < 1000; ++i)
            list.push_back(binding(i % 2 ? entryName({10}) : Arcs{}));
        const Answer a = query(SNMP_PDU_GETNEXT, list);
        QCOMPARE(a.result, 1);
        QCOMPARE(a.status, SNMP_ERRORSTATUS_NOERROR);
        for (int i = 0; i < 1000; ++i) {
            QCOMPARE(arcsOf(list[std::size_t(i)].name),
                     entryName({i % 2 ? 10u : 1u, FIndices.front()}));
            QCOMPARE(list[std::size_t(i)].value.asnType,
                     std::uint8_t(i % 2 ? ASN_COUNTER32 : ASN_INTEGER));
        }
        release(list);
    }

    void failingBindingIsNamedAndTheRestUntouched() {
        std::vector<SnmpVarBind> list{binding(entryName({2})), binding(entryName({22})),
                                      binding(entryName({3}))};
        // The first binding arrives holding a value of its own, which the agent must release.
        list[0].value.asnType = ASN_OCTETSTRING;
        list[0].value.asnValue.string = {static_cast<std::uint8_t*>(FAlloc(3)), 3, 1};
        const Answer a = query(SNMP_PDU_GETNEXT, list);
        QCOMPARE(a.result, 1);
        QCOMPARE(a.status, SNMP_ERRORSTATUS_NOSUCHNAME);
        QCOMPARE(a.index, 2);
        QCOMPARE(arcsOf(list[0].name), entryName({2, FIndices.front()}));
        QCOMPARE(list[0].value.asnType, std::uint8_t{ASN_OCTETSTRING});
        QCOMPARE(arcsOf(list[2].name), entryName({3}));
        QCOMPARE(list[2].value.asnType, std::uint8_t{ASN_NULL});
        release(list);
    }

    // A walk from the empty name visits every cell once, in strictly increasing order, ends
    // with noSuchName, and Get finds each name the walk gave.
    void walkAndGet() {
        Arcs name;
        std::vector<Arcs> names;
        for (;;) {
            std::vector<SnmpVarBind> list{binding(name)};
            const Answer a = query(SNMP_PDU_GETNEXT, list);
            const Arcs got = arcsOf(list[0].name);
            const AsnAny value = list[0].value;
            std::vector<SnmpVarBind> get{binding(got)};
            const Answer g = query(SNMP_PDU_GET, get);
            if (a.status == SNMP_ERRORSTATUS_NOERROR) {
                QCOMPARE(g.status, SNMP_ERRORSTATUS_NOERROR);
                QCOMPARE(arcsOf(get[0].name), got);
                QCOMPARE(get[0].value.asnType, value.asnType);
                if (got[9] <= 8 && got[9] != 2 && got[9] != 6)
                    QCOMPARE(get[0].value.asnValue.unsigned32, value.asnValue.unsigned32);
            }
            release(get);
            release(list);
            if (a.status != SNMP_ERRORSTATUS_NOERROR) {
                QCOMPARE(a.status, SNMP_ERRORSTATUS_NOSUCHNAME);
                break;
            }
            QVERIFY(before(name, got));
            name = got;
            names.push_back(got);
            QVERIFY(names.size() <= 21 * FIndices.size());
        }
        QCOMPARE(names.size(), 21 * FIndices.size());
        QCOMPARE(names.back(), entryName({21, FIndices.back()}));

        std::vector<SnmpVarBind> missing{binding(entryName({10, 0})), binding(entryName({10}))};
        const Answer a = query(SNMP_PDU_GET, missing);
        QCOMPARE(a.status, SNMP_ERRORSTATUS_NOSUCHNAME);
        QCOMPARE(a.index, 1);
        release(missing);
    }

    void dumpsPerLoad_data() {
        QTest::addColumn<quint32>("columns");
        QTest::addColumn<int>("loads");
        QTest::addColumn<int>("dumps");
        const auto bits = [](std::initializer_list<TZSNMPMIBIFSelect> s) {
            return TZSNMPMIBIFSelectSet(s).Bits();
        };
        using S = TZSNMPMIBIFSelect;
        QTest::newRow("the two octet columns") << bits({S::zifInOctets, S::zifOutOctets}) << 1 << 1;
        QTest::newRow("every column") << TZSNMPMIBIFSelectSet::All().Bits() << 1 << 1;
        QTest::newRow("five loads of one column") << bits({S::zifInOctets}) << 5 << 5;
        QTest::newRow("three loads of two columns")
            << bits({S::zifDescr, S::zifOutOctets}) << 3 << 3;
    }
    void dumpsPerLoad() {
        QFETCH(quint32, columns);
        QFETCH(int, loads);
        QFETCH(int, dumps);
        TZSNMPMIBIFSelectSet select;
        for (int c = 0; c < kZSNMPMIBIFColumnCount; ++c)
            if (columns & (1u << c)) select.Include(static_cast<TZSNMPMIBIFSelect>(c));

        TZSNMPMIB mib(AGENT_LIBRARY, UTILITY_LIBRARY);
        QVERIFY(mib.Ready());
        // A load of the last column first, so that the first measured load starts anew
        // whatever the requests of other tests left behind.
        mib.LoadIFTable({TZSNMPMIBIFSelect::zifOutQLen});
        const std::uint64_t before = FDumps();
        for (int i = 0; i < loads; ++i)
            QCOMPARE(std::size_t(mib.LoadIFTable(select)->Count()), FIndices.size());
        QCOMPARE(int(FDumps() - before), dumps);
    }

    // Between walks the program asks for its row's octet cells alone: each such Get reads
    // afresh, however soon, and a walk right after one reads every row again.
    void rowRefreshBetweenLoads() {
        const TZSNMPMIBIFSelectSet octets{TZSNMPMIBIFSelect::zifInOctets,
                                          TZSNMPMIBIFSelect::zifOutOctets};
        TZSNMPMIB mib(AGENT_LIBRARY, UTILITY_LIBRARY);
        QVERIFY(mib.Ready());
        std::unique_ptr<TZSNMPMIBIFTable> table = mib.LoadIFTable(octets);
        QCOMPARE(std::size_t(table->Count()), FIndices.size());
        const int last = table->Count() - 1;
        const std::string key = table->Items(last)->Key;
        const std::uint64_t before = FDumps();
        const int rows[] = {last};
        for (int i = 0; i < 3; ++i)
            QVERIFY(mib.RefreshCounters(*table, rows, octets));
        QCOMPARE(int(FDumps() - before), 3);
        QCOMPARE(table->Items(last)->Key, key); // in place: the same rows
        QCOMPARE(std::size_t(mib.LoadIFTable(octets)->Count()), FIndices.size());
        QCOMPARE(int(FDumps() - before), 4);
        // No row there: nothing to stand for a load.
        const int past[] = {table->Count()};
        QVERIFY(!mib.RefreshCounters(*table, past, octets));
    }
};

QTEST_APPLESS_MAIN(TestAgentAbi)
#include "tst_agent_abi.moc"
