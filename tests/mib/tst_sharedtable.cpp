// The interface table the SNMP-fed sources share, over a scripted loader: what is loaded,
// and when the loader lives.
#include "scriptedtable.h"

#include <QTest>

using Select = TZSNMPMIBIFSelect;

class TestSharedTable : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void destroyedSourceWithdrawsItsColumn();
    void loaderLivesWithTheSources();
    void descriptionsFromALoaderOfTheirOwn();
    void rowsInPlaceBetweenLoads_data();
    void rowsInPlaceBetweenLoads();
};

void TestSharedTable::destroyedSourceWithdrawsItsColumn() {
    auto script = std::make_shared<TScript>();
    script->Rows = {{"lo", 1, 2}};
    const auto shared = ScriptedSharedTable(script);
    QObject owner;
    auto* in = new TZPerformanceSourceSNMPMIB(&owner, shared);
    in->SetSelect(Select::zifInOctets);
    auto* out = new TZPerformanceSourceSNMPMIB(&owner, shared);
    out->SetSelect(Select::zifOutOctets);
    shared->Refresh();
    QCOMPARE(script->Loads.back(),
             (TZSNMPMIBIFSelectSet{Select::zifInOctets, Select::zifOutOctets}));
    delete out;
    shared->Refresh();
    // Otherwise the column of a source that is gone would still be fetched on every tick.
    QCOMPARE(script->Loads.back(), (TZSNMPMIBIFSelectSet{Select::zifInOctets}));
    QCOMPARE(shared->Table()->Items(0)->ifOutOctets, 0u);
    QCOMPARE(in->CurrentReading(), 1u);
}

void TestSharedTable::loaderLivesWithTheSources() {
    auto script = std::make_shared<TScript>();
    const auto shared = ScriptedSharedTable(script);
    shared->Refresh();
    QCOMPARE(script->LoadersMade, 0); // no source, no loader, no load
    QVERIFY(script->Loads.empty());
    {
        QObject owner;
        new TZPerformanceSourceSNMPMIB(&owner, shared);
        new TZPerformanceSourceSNMPMIB(&owner, shared);
        QCOMPARE(script->LoadersMade, 1);
        QCOMPARE(script->LoadersAlive, 1);
        QCOMPARE(shared->UsageCount(), 2);
    }
    QCOMPARE(script->LoadersAlive, 0);
    QCOMPARE(shared->UsageCount(), 0);
    QVERIFY(shared->Table() == nullptr);
}

void TestSharedTable::descriptionsFromALoaderOfTheirOwn() {
    auto script = std::make_shared<TScript>();
    script->Rows = {{"lo", 0, 0}, {"eth0", 0, 0}, {std::string("wlan0\0", 6), 0, 0}};
    const auto shared = ScriptedSharedTable(script);
    QObject owner;
    (new TZPerformanceSourceSNMPMIB(&owner, shared))->SetSelect(Select::zifInOctets);
    const std::vector<std::string> names = shared->LoadInterfaceDescriptions();
    QCOMPARE(names.size(), std::size_t(3));
    QCOMPARE(names[1], std::string("eth0"));
    QCOMPARE(names[2], std::string("wlan0\0", 6)); // as the agent gave it
    QCOMPARE(script->Loads.back(), (TZSNMPMIBIFSelectSet{Select::zifDescr}));
    QCOMPARE(script->LoadersMade, 2);  // made for the one load ...
    QCOMPARE(script->LoadersAlive, 1); // ... and freed at once
}

void TestSharedTable::rowsInPlaceBetweenLoads_data() {
    QTest::addColumn<QString>("change"); // what happens between the two ticks
    QTest::addColumn<bool>("inPlace");   // the second tick reads rows in place
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("rows changed") << "rows" << false;
    QTest::newRow("another column") << "column" << false;
    QTest::newRow("descriptions") << "descr" << true;
    QTest::newRow("choice past the rows") << "absent" << false;
}

void TestSharedTable::rowsInPlaceBetweenLoads() {
    QFETCH(QString, change);
    QFETCH(bool, inPlace);
    auto script = std::make_shared<TScript>();
    script->Rows = {{"lo", 10, 20}, {"eth0", 30, 40}};
    script->InPlace = true;
    const auto shared = ScriptedSharedTable(script);
    QObject owner;
    auto* in = new TZPerformanceSourceSNMPMIB(&owner, shared);
    in->SetSelect(Select::zifInOctets);
    in->SetChoice(1);
    auto* out = new TZPerformanceSourceSNMPMIB(&owner, shared);
    out->SetSelect(Select::zifOutOctets);
    out->SetChoice(1);
    if (change == "descr") shared->RegisterColumn(Select::zifDescr);
    shared->Refresh();
    QVERIFY(shared->WholeLoad());
    script->Rows = {{"lo", 11, 21}, {"eth0", 31, 41}};
    if (change == "rows") script->RowsChanged = true;
    if (change == "column") shared->RegisterColumn(Select::zifSpeed);
    if (change == "absent") out->SetChoice(2);
    const std::size_t loads = script->Loads.size();
    shared->Refresh();
    QCOMPARE(!shared->WholeLoad(), inPlace);
    QCOMPARE(shared->Table()->Items(1)->ifInOctets, 31u);
    if (inPlace) {
        QCOMPARE(script->RowRefreshes.back(), std::vector<int>{1}); // the row read, once
        QCOMPARE(shared->Table()->Items(0)->ifInOctets, 10u);       // the others keep their load
        QCOMPARE(script->Loads.size(), loads);
        // A source turned to a row not read in place counts from that row's counters of now.
        script->Rows[0].InOctets = 15;
        in->SetChoice(0);
        in->PrimeReading();
        QCOMPARE(in->CurrentReading(), 15u);
    }
}

QTEST_MAIN(TestSharedTable)
#include "tst_sharedtable.moc"
