// The main window as the holder of the live settings: the record it reports, the record it
// applies and saves, over a scripted interface table (no agent).
#include "UnitSorvane.h"
#include "besidesettings.h"
#include "boxcatcher.h"
#include "scriptedtable.h"

#include <QFile>
#include <QTest>

using namespace testcommon;

namespace {

// Every "Property" field of the record but StayOnTop, as text, for one comparison.
QString PropertyFields(const TSettings& s) {
    return QStringLiteral("%1 %2 %3/%4 %5 %6 %7 %8 %9 %10%11%12 %13 %14 %15 %16 %17")
        .arg(s.Interface)
        .arg(s.Scale)
        .arg(s.ScaleText)
        .arg(s.ScaleUnit)
        .arg(s.Delay)
        .arg(s.ReceiveColor, 6, 16)
        .arg(s.SendColor, 6, 16)
        .arg(s.Curve)
        .arg(s.Gamma)
        .arg(s.GridCurve)
        .arg(s.GridGamma)
        .arg(s.HGrid)
        .arg(s.HGridSpace)
        .arg(s.HGridColor, 6, 16)
        .arg(s.VGrid)
        .arg(s.VGridSpace)
        .arg(s.VGridColor, 6, 16);
}

} // namespace

class TestSettingsHolder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void reportsWhatItRead_data();
    void reportsWhatItRead();
    void appliesAndSaves();
    void anotherInterfaceStartsAfresh();
    void refusedWriteKeepsValuesUndrawn();

private:
    std::unique_ptr<TFormSorvane> Make() {
        auto form =
            std::make_unique<TFormSorvane>(instance::TInstanceNames{}, ScriptedSharedTable(script));
        form->Timer()->stop(); // ticks only where a test asks for them
        return form;
    }
    std::shared_ptr<TScript> script;
};

void TestSettingsHolder::init() {
    QLocale::setDefault(QLocale::c());
    QFile::remove(SettingsPath());
    script = std::make_shared<TScript>();
    script->Rows = {{"lo", 100, 200}, {"eth0", 1000, 2000}};
}

void TestSettingsHolder::cleanup() {
    QFile::setPermissions(SettingsPath(), QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(SettingsPath());
}

void TestSettingsHolder::reportsWhatItRead_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("no file: the defaults") << QByteArray();
    QTest::newRow("every key") << QByteArray(
        "[Property]\nInterface=1\nScale=131\nScaleText=1050\nScaleUnit=1\nDelay=7\n"
        "ReceiveColor=123456\nSendColor=ABCDEF\nCurve=0.35\nGamma=1.80\nGridCurve=0\n"
        "GridGamma=0\nHGrid=0\nHGridSpace=20\nHGridColor=00FF00\nVGrid=0\nVGridSpace=1800\n"
        "VGridColor=0000FF\nStayOnTop=0\n");
    QTest::newRow("Byte/s without a text: the scale in bytes")
        << QByteArray("[Property]\nScale=300000000\nScaleUnit=0\n");
    QTest::newRow("Bit/s past 32 bits") << QByteArray("[Property]\nScale=300000000\n");
}

void TestSettingsHolder::reportsWhatItRead() {
    QFETCH(QByteArray, file);
    if (!file.isEmpty()) QVERIFY(WriteSettings(file));
    const auto form = Make();
    const TSettings stored = ReadSettings(SettingsFile(), form->RememberedBounds());
    const TSettings live = form->CurrentSettings();
    QCOMPARE(PropertyFields(live), PropertyFields(stored));
    QCOMPARE(live.StayOnTop, stored.StayOnTop);
    // The two texts only the dialog shows are the file's, read afresh.
    QVERIFY(WriteSettings("[Property]\nScaleText=4321\n" + file)); // the first key found counts
    QCOMPARE(form->CurrentSettings().ScaleText, qint64(4321));
}

void TestSettingsHolder::appliesAndSaves() {
    const auto form = Make();
    TSettings s = form->CurrentSettings();
    s.Scale = 7500;
    s.ScaleText = 60000;
    s.ScaleUnit = kScaleUnitBit;
    s.Delay = 5;
    s.SendColor = 0x3264C8;
    s.Gamma = 2.35;
    s.VGrid = false;
    // The window's own: not the dialog's to change.
    s.Window = {1, 2, 300, 90};
    s.StayOnTop = false;
    QVERIFY(form->ApplySettings(s));
    const TSettings after = form->CurrentSettings();
    QCOMPARE(PropertyFields(after), PropertyFields(s));
    QCOMPARE(form->SendSource->Max, 7500); // both sources take scale and delay
    QCOMPARE(form->SendSource->Delay, 5);
    QVERIFY(form->StayOnTop());
    QVERIFY(!(form->RememberedBounds() == s.Window));
    QVERIFY(!form->PerformanceGraph->NeedsRebuild()); // redrawn at once
    QCOMPARE(SettingsText(),
             QByteArray("[Property]\nInterface=0\nScale=7500\nScaleText=60000\nScaleUnit=1\n"
                        "Delay=5\nReceiveColor=0000FF\nSendColor=3264C8\nCurve=0.25\n"
                        "Gamma=2.35\nGridCurve=1\nGridGamma=1\nHGrid=1\nHGridSpace=10\n"
                        "HGridColor=FF0000\nVGrid=0\nVGridSpace=60\nVGridColor=FF0000\n"));
}

void TestSettingsHolder::anotherInterfaceStartsAfresh() {
    const auto form = Make();
    TZPerformanceSourceSNMPMIB* in = form->ReceiveSource;
    script->Rows[0].InOctets += 50;
    form->TimerTimer();
    QCOMPARE(in->GetValue(0), 50);

    // The same interface keeps its history.
    QVERIFY(form->ApplySettings(form->CurrentSettings()));
    QVERIFY(in->IsValid(0));

    // Another one clears it and counts from now, not from its whole counter.
    TSettings s = form->CurrentSettings();
    s.Interface = 1;
    script->Rows[1].InOctets += 7;
    QVERIFY(form->ApplySettings(s));
    QCOMPARE(form->SendSource->Choice(), 1);
    QVERIFY(!in->IsValid(0));
    script->Rows[1].InOctets += 30;
    form->TimerTimer();
    QCOMPARE(in->GetValue(0), 30);
    // Only the two octet columns were ever fetched for the sources.
    for (const TZSNMPMIBIFSelectSet& load : script->Loads)
        QCOMPARE(load, (TZSNMPMIBIFSelectSet{TZSNMPMIBIFSelect::zifInOctets,
                                             TZSNMPMIBIFSelect::zifOutOctets}));
}

void TestSettingsHolder::refusedWriteKeepsValuesUndrawn() {
    QVERIFY(WriteSettings("[Property]\nScale=1000\n"));
    QVERIFY(QFile::setPermissions(SettingsPath(), QFile::ReadOwner));
    const auto form = Make();
    TSettings s = form->CurrentSettings();
    s.HGrid = false;
    TBoxCatcher catcher;
    QVERIFY(!form->ApplySettings(s));
    QCOMPARE(catcher.Boxes.size(), 1);
    QCOMPARE(catcher.Boxes[0].Text, "Cannot write to " + SettingsPath());
    QVERIFY(!form->PerformanceGraph->HGrid());       // applied all the same
    QVERIFY(form->PerformanceGraph->NeedsRebuild()); // drawn at the next tick
    QCOMPARE(SettingsText(), QByteArray("[Property]\nScale=1000\n"));
}

QTEST_MAIN(TestSettingsHolder)
#include "tst_settingsholder.moc"
