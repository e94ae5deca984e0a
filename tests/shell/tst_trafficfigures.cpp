// The figures the window shows of its traffic: rates as text, the readout, the automatic scale,
// and the same in a main window over a scripted interface table (following by name, hovering).
#include "UnitSorvane.h"
#include "ZTextForms.h"
#include "ZTrafficFigures.h"
#include "besidesettings.h"
#include "scriptedtable.h"

#include <QLabel>
#include <QTest>

using namespace testcommon;

class TestTrafficFigures : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void rateText_data();
    void rateText();
    void autoScale_data();
    void autoScale();
    void readoutText();
    void followedByName();
    void autoScaleFollowsThePeak();
    void hoverShowsTheReadout();

private:
    std::unique_ptr<TFormSorvane> Make() {
        auto form =
            std::make_unique<TFormSorvane>(instance::TInstanceNames{}, ScriptedSharedTable(script));
        form->Timer()->stop();
        return form;
    }
    std::shared_ptr<TScript> script;
};

void TestTrafficFigures::init() {
    QLocale::setDefault(QLocale::c());
    QFile::remove(SettingsPath());
    script = std::make_shared<TScript>();
    script->Rows = {{"lo", 0, 0}, {"eth0", 0, 0}};
}

void TestTrafficFigures::cleanup() {
    QFile::remove(SettingsPath());
}

void TestTrafficFigures::rateText_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << qint64(0) << 0 << "0 B/s";
    QTest::newRow("below a kilo") << qint64(999) << 0 << "999 B/s";
    QTest::newRow("three digits") << qint64(1234) << 0 << "1.23 kB/s";
    QTest::newRow("rounds up into the next prefix") << qint64(999600) << 0 << "1.00 MB/s";
    QTest::newRow("bits") << qint64(8000) << 1 << "64.0 kbit/s";
    QTest::newRow("bits, below a kilo") << qint64(100) << 1 << "800 bit/s";
    QTest::newRow("giga") << qint64(2147483647) << 1 << "17.2 Gbit/s";
    QTest::newRow("negative") << qint64(-1500) << 0 << "-1.50 kB/s";
}

void TestTrafficFigures::rateText() {
    QFETCH(qint64, bytes);
    QFETCH(int, unit);
    QFETCH(QString, text);
    QCOMPARE(RateText(bytes, unit), text);
}

void TestTrafficFigures::autoScale_data() {
    QTest::addColumn<qint64>("peak");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("max");
    QTest::newRow("idle: 1 kB/s") << qint64(0) << 0 << 1000;
    QTest::newRow("exactly a step") << qint64(2000) << 0 << 2000;
    QTest::newRow("just above: next step") << qint64(2001) << 0 << 5000;
    QTest::newRow("5 to 10") << qint64(7000) << 0 << 10000;
    QTest::newRow("bits: 1 kbit/s is 125 B/s") << qint64(100) << 1 << 125;
    QTest::newRow("bits: 20 Mbit/s") << qint64(2000000) << 1 << 2500000;
    QTest::newRow("bits, rounded up to whole bytes") << qint64(20) << 1 << 125;
    QTest::newRow("beyond 32 bits: held") << qint64(4000000000) << 1 << 2147483647;
}

void TestTrafficFigures::autoScale() {
    QFETCH(qint64, peak);
    QFETCH(int, unit);
    QFETCH(int, max);
    QCOMPARE(AutoScaleMax(peak, unit), max);
    QVERIFY(max >= std::min<qint64>(peak, 2147483647)); // the peak is never clipped
}

void TestTrafficFigures::readoutText() {
    TZReadout r;
    r.Interface = "eth0";
    r.Link = TZLinkState::Up;
    r.Age = 37;
    r.ColumnIn = 1500;
    r.ColumnOut = 12000;
    r.In = {500, 700, 1500};
    r.Out = {9000, 6000, 12000};
    r.FullScale = 8000;
    r.Unit = 0;
    r.LinkBits = 1000000000;
    r.Before = "wlan0";
    r.Since = 14;
    QCOMPARE(ReadoutText(r), QString("eth0 — up\n"
                                     "link: 125 MB/s\n"
                                     "eth0 since 14 s, before: wlan0\n"
                                     "37 s ago: received 1.50 kB/s, sent 12.0 kB/s (above full "
                                     "scale)\n"
                                     "now: received 500 B/s, sent 9.00 kB/s (above full scale)\n"
                                     "average: received 700 B/s, sent 6.00 kB/s\n"
                                     "peak: received 1.50 kB/s, sent 12.0 kB/s (above full scale)\n"
                                     "full scale: 8.00 kB/s"));
    TZReadout gone;
    gone.Interface = "usb0";
    gone.Age = 3;
    QVERIFY(ReadoutText(gone).startsWith("usb0 — absent\n3 s ago: no reading\n"));
    TZReadout wifi;
    wifi.Interface = "wlan0";
    wifi.Link = TZLinkState::Up;
    wifi.LinkBits = 0;
    wifi.Unit = 1;
    QVERIFY(ReadoutText(wifi).startsWith("wlan0 — up\nlink: unknown\naverage"));
    wifi.LinkBits = 54000000;
    QVERIFY(ReadoutText(wifi).startsWith("wlan0 — up\nlink: 54.0 Mbit/s\n"));
    wifi.LinkBits = 4294967295u; // 10 Gbit/s as the 32-bit column gives it
    QVERIFY(ReadoutText(wifi).startsWith("wlan0 — up\nlink: 4.29 Gbit/s or more\n"));
    TZReadout offline;
    offline.Offline = true;
    offline.Before = "eth0";
    offline.Since = 3;
    QVERIFY(ReadoutText(offline).startsWith("offline\noffline since 3 s, before: eth0\naverage"));
}

void TestTrafficFigures::followedByName() {
    QVERIFY(WriteSettings("[Property]\nInterface=1\nInterfaceName=eth0\n"));
    const auto form = Make();
    TZPerformanceSourceSNMPMIB* in = form->ReceiveSource;
    script->Rows[1].InOctets += 100;
    form->TimerTimer();
    QCOMPARE(in->GetValue(0), 100);

    // Another interface comes before it: still eth0, its position stored.
    script->Rows.insert(script->Rows.begin() + 1, {"veth7", 5000000, 0});
    script->Rows[2].InOctets += 40;
    form->TimerTimer();
    QCOMPARE(in->Choice(), 2);
    QCOMPARE(in->GetValue(0), 40);
    QVERIFY(SettingsText().contains("Interface=2\n"));

    // Gone: nothing read; back with its whole counter: primed, no spike.
    const TScriptedRow eth0 = script->Rows[2];
    script->Rows.erase(script->Rows.begin() + 2);
    form->TimerTimer();
    QCOMPARE(in->Choice(), -1);
    QVERIFY(!form->CurrentSettings().InterfaceName.empty());
    script->Rows.push_back({eth0.Descr, eth0.InOctets + 900000, 0});
    form->TimerTimer();
    QCOMPARE(in->Choice(), 2);
    QCOMPARE(in->GetValue(0), 0);
    script->Rows[2].InOctets += 25;
    form->TimerTimer();
    QCOMPARE(in->GetValue(0), 25);
}

void TestTrafficFigures::autoScaleFollowsThePeak() {
    QVERIFY(WriteSettings("[Property]\nScaleUnit=0\nAutoScale=1\n"));
    const auto form = Make();
    QVERIFY(form->MenuAutoScale()->isChecked());
    TZPerformanceGraph* g = form->PerformanceGraph;
    const auto tick = [&](std::uint32_t octets) {
        script->Rows[0].InOctets += octets;
        form->TimerTimer();
    };
    tick(300);
    QCOMPARE(form->ReceiveSource->Max, 1000);
    tick(3500); // grows at once, grid and all redrawn
    QCOMPARE(form->ReceiveSource->Max, 5000);
    QCOMPARE(form->SendSource->Max, 5000);
    QVERIFY(!g->NeedsRebuild());
    for (int i = 1; i < g->ImageWidth(); ++i)
        tick(10);
    QCOMPARE(form->ReceiveSource->Max, 5000); // the peak is still shown
    tick(10);
    QCOMPARE(form->ReceiveSource->Max, 1000); // scrolled out
    // The dialog's scale is kept; switching off returns to it and writes the key.
    QCOMPARE(form->CurrentSettings().Scale, 8000);
    form->MenuAutoScale()->trigger();
    QCOMPARE(form->ReceiveSource->Max, 8000);
    QVERIFY(SettingsText().contains("AutoScale=0\n"));
}

void TestTrafficFigures::hoverShowsTheReadout() {
    const auto form = Make();
    QTRY_VERIFY(!form->Loading());
    QVERIFY(!form->ReadoutBox()); // nothing made before the first hover
    script->Rows[0].InOctets += 2000;
    form->TimerTimer();
    const std::size_t before = script->Loads.size();
    QTest::mouseMove(form->PerformanceGraph, QPoint(form->PerformanceGraph->width() - 2, 40));
    QTRY_VERIFY(form->ReadoutBox() && form->ReadoutBox()->isVisible());
    QVERIFY(script->Loads.size() > before); // names and states loaded for it
    QCOMPARE(script->Loads.back(),
             (TZSNMPMIBIFSelectSet{TZSNMPMIBIFSelect::zifDescr, TZSNMPMIBIFSelect::zifOperStatus,
                                   TZSNMPMIBIFSelect::zifSpeed, TZSNMPMIBIFSelect::zifInOctets,
                                   TZSNMPMIBIFSelect::zifOutOctets}));
    const QString text = form->ReadoutBox()->text();
    QVERIFY2(text.startsWith("lo — "), qPrintable(text));
    QVERIFY2(text.contains("\nnow: received 16.0 kbit/s, sent 0 bit/s\n"), qPrintable(text));
    script->Rows[0].InOctets += 125;
    form->TimerTimer(); // kept up to date on every tick
    // The newest column is drawn at the average of the samples before it.
    const QString next = form->ReadoutBox()->text();
    QVERIFY2(next.contains("\n0 s ago: received 16.0 kbit/s"), qPrintable(next));
    QVERIFY2(next.contains("\nnow: received 1.00 kbit/s"), qPrintable(next));
    QVERIFY2(next.contains("\npeak: received 16.0 kbit/s"), qPrintable(next));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(form->PerformanceGraph, &leave);
    QVERIFY(!form->ReadoutBox()->isVisible());
    form->TimerTimer();
    QCOMPARE(script->Loads.back(), (TZSNMPMIBIFSelectSet{TZSNMPMIBIFSelect::zifInOctets,
                                                         TZSNMPMIBIFSelect::zifOutOctets}));
}

QTEST_MAIN(TestTrafficFigures)
#include "tst_trafficfigures.moc"
