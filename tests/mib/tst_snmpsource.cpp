// SNMP-fed sources against a test agent whose octet counters the test sets.
#include "UnitZPerformanceGraph.h"
#include "UnitZPerformanceSourceSNMPMIB.h"
#include "agentlibrary.h"

#include <QTest>

#include <memory>

namespace {

using namespace testcommon;

using Select = TZSNMPMIBIFSelect;

} // namespace

class TestSNMPSource : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void growth_data();
    void growth();
    void primingCountsFromNow();
    void positionOutOfRange_data();
    void positionOutOfRange();
    void interfaceVanishesAndReturns();
    void columnRegistration();
    void otherColumnSamplesZero();
    void lastSourceFreesSharedState();

private:
    // One tick as the main window runs it.
    void tick() {
        shared->Refresh();
        graph->Advance();
    }
    TZPerformanceSourceSNMPMIB* source(Select column, int choice = 0) {
        auto* s = new TZPerformanceSourceSNMPMIB(owner.get(), shared);
        s->SetGraph(graph);
        s->SetSelect(column);
        s->SetChoice(choice);
        return s;
    }
    TTestAgent agent{AgentBesideExecutable()};
    std::shared_ptr<TZSNMPMIBSharedTable> shared;
    std::unique_ptr<QWidget> owner;
    TZPerformanceGraph* graph = nullptr;
};

void TestSNMPSource::initTestCase() {
    QVERIFY2(agent.Ok(), qPrintable("the counter agent did not load: " + agent.Error()));
}

void TestSNMPSource::init() {
    agent.Configure(TESTAGENT_COUNTERS, 3);
    shared = std::make_shared<TZSNMPMIBSharedTable>();
    owner = std::make_unique<QWidget>();
    graph = new TZPerformanceGraph(owner.get());
    graph->SetBounds(0, 0, 12, 10);
}

void TestSNMPSource::cleanup() {
    owner.reset();
    QCOMPARE(shared->UsageCount(), 0);
}

void TestSNMPSource::growth_data() {
    QTest::addColumn<quint32>("before");
    QTest::addColumn<quint32>("after");
    QTest::addColumn<int>("sample");
    QTest::newRow("steady") << 1000u << 1000u << 0;
    QTest::newRow("growth") << 1000u << 9000u << 8000;
    QTest::newRow("wrap") << 0xFFFFFFFAu << 10u << 16;
    QTest::newRow("wrap from the top") << 0xFFFFFFFFu << 0u << 1;
    // A counter that went back reads as a negative growth, not as a wrap of 4 GiB.
    QTest::newRow("backwards") << 5000u << 4000u << -1000;
    QTest::newRow("above 2^31 growth") << 0u << 0x80000001u << int(0x80000001u - 0x100000000ll);
}

void TestSNMPSource::growth() {
    QFETCH(quint32, before);
    QFETCH(quint32, after);
    QFETCH(int, sample);
    auto* in = source(Select::zifInOctets, 1);
    auto* out = source(Select::zifOutOctets, 1);
    agent.SetOctets(1, before, before / 2);
    shared->Refresh();
    in->PrimeReading();
    out->PrimeReading();
    agent.SetOctets(1, after, after / 2);
    tick();
    QCOMPARE(in->GetValue(0), sample);
    QVERIFY(in->IsValid(0));
    QCOMPARE(out->GetValue(0), int(after / 2 - before / 2));
    tick(); // no traffic since
    QCOMPARE(in->GetValue(0), 0);
    QCOMPARE(out->GetValue(0), 0);
}

void TestSNMPSource::primingCountsFromNow() {
    auto* in = source(Select::zifInOctets);
    agent.SetOctets(0, 123456, 0);
    shared->Refresh();
    QCOMPARE(in->CurrentReading(), 123456u);
    tick(); // never primed: the whole counter
    QCOMPARE(in->GetValue(0), 123456);

    agent.SetOctets(0, 200000, 0);
    shared->Refresh();
    in->PrimeReading();
    agent.SetOctets(0, 200777, 0);
    tick();
    QCOMPARE(in->GetValue(0), 777);
}

void TestSNMPSource::positionOutOfRange_data() {
    QTest::addColumn<int>("choice");
    QTest::newRow("row count") << 3;
    QTest::newRow("far past") << 1000000;
    QTest::newRow("negative") << -1;
    QTest::newRow("most negative") << INT_MIN;
}

void TestSNMPSource::positionOutOfRange() {
    QFETCH(int, choice);
    auto* in = source(Select::zifInOctets, choice);
    for (std::uint32_t r = 0; r < 3; ++r)
        agent.SetOctets(r, 5000 + r, 7000 + r);
    shared->Refresh();
    QCOMPARE(shared->Table()->Count(), 3);
    QCOMPARE(in->CurrentReading(), 0u);
    in->PrimeReading();
    tick();
    QCOMPARE(in->GetValue(0), 0);
}

void TestSNMPSource::interfaceVanishesAndReturns() {
    auto* in = source(Select::zifInOctets, 2);
    agent.SetOctets(2, 1000, 0);
    shared->Refresh();
    in->PrimeReading();
    agent.SetPresent(2, 0);
    tick();
    QCOMPARE(in->GetValue(0), -1000); // 0 - previous
    tick();
    QCOMPARE(in->GetValue(0), 0);
    agent.SetOctets(2, 5000, 0);
    agent.SetPresent(2, 1);
    tick();
    QCOMPARE(in->GetValue(0), 0); // primed: its whole counter is no spike
    agent.SetOctets(2, 5300, 0);
    tick();
    QCOMPARE(in->GetValue(0), 300);
}

void TestSNMPSource::columnRegistration() {
    QVERIFY(shared->ColumnSelection().Empty());
    auto* a = source(Select::zifInOctets);
    auto* b = source(Select::zifInOctets);
    QCOMPARE(shared->ColumnSelection(), (TZSNMPMIBIFSelectSet{Select::zifInOctets}));
    a->SetSelect(Select::zifInOctets); // again: no net change
    QCOMPARE(shared->ColumnSelection(), (TZSNMPMIBIFSelectSet{Select::zifInOctets}));
    a->SetSelect(Select::zifOutOctets); // b still uses the in column
    QCOMPARE(shared->ColumnSelection(),
             (TZSNMPMIBIFSelectSet{Select::zifInOctets, Select::zifOutOctets}));
    b->SetSelect(Select::zifOutOctets); // the last user of the in column leaves it
    QCOMPARE(shared->ColumnSelection(), (TZSNMPMIBIFSelectSet{Select::zifOutOctets}));
    delete a;
    QCOMPARE(shared->ColumnSelection(), (TZSNMPMIBIFSelectSet{Select::zifOutOctets}));
    delete b;
    QCOMPARE(shared->UsageCount(), 0);

    // Only the registered columns are loaded.
    auto* c = source(Select::zifOutOctets);
    agent.SetOctets(0, 11, 22);
    shared->Refresh();
    QCOMPARE(shared->Table()->Items(0)->ifOutOctets, 22u);
    QCOMPARE(shared->Table()->Items(0)->ifInOctets, 0u);
    QCOMPARE(c->CurrentReading(), 22u);
}

void TestSNMPSource::otherColumnSamplesZero() {
    auto* speed = source(Select::zifSpeed);
    shared->Refresh();
    // Fetched, yet no reading.
    QCOMPARE(shared->Table()->Items(0)->ifSpeed, 1000000000u);
    speed->PrimeReading();
    tick();
    QCOMPARE(speed->GetValue(0), 0);
    QCOMPARE(speed->CurrentReading(), 0u);

    // A source without a column reads 0 as well.
    auto* bare = new TZPerformanceSourceSNMPMIB(owner.get(), shared);
    QVERIFY(!bare->ColumnRegistered());
    QCOMPARE(bare->CurrentReading(), 0u);
}

void TestSNMPSource::lastSourceFreesSharedState() {
    {
        auto* a = source(Select::zifInOctets);
        auto* b = source(Select::zifOutOctets);
        shared->Refresh();
        QVERIFY(shared->Table() != nullptr);
        QCOMPARE(shared->UsageCount(), 2);
        delete a;
        QVERIFY(shared->Table() != nullptr); // b still lives
        delete b;
    }
    QCOMPARE(shared->UsageCount(), 0);
    QVERIFY(shared->Table() == nullptr);
    shared->Refresh(); // nothing to load with
    QVERIFY(shared->Table() == nullptr);

    auto* again = source(Select::zifOutOctets);
    QCOMPARE(shared->ColumnSelection(), (TZSNMPMIBIFSelectSet{Select::zifOutOctets}));
    QVERIFY(shared->Table() == nullptr);
    agent.SetOctets(0, 0, 40);
    shared->Refresh();
    QCOMPARE(again->CurrentReading(), 40u);
}

QTEST_MAIN(TestSNMPSource)
#include "tst_snmpsource.moc"
