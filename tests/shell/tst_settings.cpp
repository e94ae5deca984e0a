// The settings file: every key's form and default, the readers' bounds, the writers' orders,
// and the error box the windows show for a refused write.
#include "UnitSorvane.h"
#include "ZRelationFile.h"
#include "boxcatcher.h"
#include "scratchfiles.h"

#include <QMessageBox>
#include <QtTest>
#include <sys/stat.h>

namespace {

using namespace testcommon;

QMap<QString, double> Fields(const TSettings& s) {
    return {{"x", s.Window.x},
            {"y", s.Window.y},
            {"cx", s.Window.cx},
            {"cy", s.Window.cy},
            {"Interface", s.Interface},
            {"Scale", s.Scale},
            {"Delay", s.Delay},
            {"ReceiveColor", s.ReceiveColor},
            {"SendColor", s.SendColor},
            {"Curve", s.Curve},
            {"Gamma", s.Gamma},
            {"GridCurve", s.GridCurve},
            {"GridGamma", s.GridGamma},
            {"HGrid", s.HGrid},
            {"HGridSpace", s.HGridSpace},
            {"HGridColor", s.HGridColor},
            {"VGrid", s.VGrid},
            {"VGridSpace", s.VGridSpace},
            {"VGridColor", s.VGridColor},
            {"StayOnTop", s.StayOnTop}};
}

const TWindowBounds kWindowDefaults{1615, 0, 305, 97};
const QLocale kGerman(QLocale::German, QLocale::Germany);

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void withoutFile();
    void read_data();
    void read();
    void scale_data();
    void scale();
    void dialogWrite_data();
    void dialogWrite();
    void windowAndStayOnTop();
    void moveToSamePlaceWritesNothing();
    void refusedWriteShowsBox();
    void oneReplacementPerWrite();
    void agentKeys();
    void secretsStayPrivate_data();
    void secretsStayPrivate();

private:
    TScratchDir FDir;
    QString FPath;
};

void TestSettings::init() {
    QLocale::setDefault(QLocale::c());
    QVERIFY(FDir.Renew());
    FPath = FDir.File();
}

void TestSettings::cleanup() {
    QLocale::setDefault(QLocale::c());
}

void TestSettings::withoutFile() {
    const auto s = Fields(ReadSettings(TIniFile(NativePath(FPath)), kWindowDefaults));
    const QMap<QString, double> expected = {{"x", 1615},
                                            {"y", 0},
                                            {"cx", 305},
                                            {"cy", 97},
                                            {"Interface", 0},
                                            {"Scale", 8000},
                                            {"Delay", 1},
                                            {"ReceiveColor", 0x0000FF},
                                            {"SendColor", 0x00FF00},
                                            {"Curve", 0.25},
                                            {"Gamma", 2.5},
                                            {"GridCurve", 1},
                                            {"GridGamma", 1},
                                            {"HGrid", 1},
                                            {"HGridSpace", 10},
                                            {"HGridColor", 0xFF0000},
                                            {"VGrid", 1},
                                            {"VGridSpace", 60},
                                            {"VGridColor", 0xFF0000},
                                            {"StayOnTop", 1}};
    QCOMPARE(s, expected);
    QVERIFY(!QFile::exists(FPath));
}

void TestSettings::read_data() {
    QTest::addColumn<bool>("german");
    QTest::addColumn<QByteArray>("lines"); // under [Property] unless they open a section
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("expected");

    QTest::newRow("Scale 0x1F40") << false << QByteArray("Scale=0x1F40") << "Scale" << 8000.0;
    QTest::newRow("Scale $1F40") << false << QByteArray("Scale=$1F40") << "Scale" << 8000.0;
    QTest::newRow("Scale 0x1F41") << false << QByteArray("Scale=0x1F41") << "Scale" << 8001.0;
    QTest::newRow("Scale 8k") << false << QByteArray("Scale=8k") << "Scale" << 8000.0;
    QTest::newRow("Scale other case")
        << false << QByteArray("[property]\nSCALE = 9000") << "Scale" << 9000.0;
    QTest::newRow("Scale 0") << false << QByteArray("Scale=0") << "Scale" << 8000.0;
    QTest::newRow("Scale negative") << false << QByteArray("Scale=-5") << "Scale" << 8000.0;
    QTest::newRow("ReceiveColor 0x0000FF")
        << false << QByteArray("ReceiveColor=0x0000FF") << "ReceiveColor" << 16777215.0;
    QTest::newRow("ReceiveColor empty")
        << false << QByteArray("ReceiveColor=") << "ReceiveColor" << 16777215.0;
    QTest::newRow("ReceiveColor ff")
        << false << QByteArray("ReceiveColor=ff") << "ReceiveColor" << 255.0;
    QTest::newRow("SendColor lower case")
        << false << QByteArray("SendColor=00ff00") << "SendColor" << 65280.0;
    QTest::newRow("HGridColor not hex")
        << false << QByteArray("HGridColor=0000fg") << "HGridColor" << 16777215.0;
    QTest::newRow("VGridColor above 24 bits")
        << false << QByteArray("VGridColor=1000000") << "VGridColor" << 16777215.0;
    QTest::newRow("HGrid 2") << false << QByteArray("HGrid=2") << "HGrid" << 1.0;
    QTest::newRow("HGrid no") << false << QByteArray("HGrid=no") << "HGrid" << 1.0;
    QTest::newRow("HGrid 0") << false << QByteArray("HGrid=0") << "HGrid" << 0.0;
    QTest::newRow("GridGamma 0") << false << QByteArray("GridGamma=0") << "GridGamma" << 0.0;
    QTest::newRow("StayOnTop 0") << false << QByteArray("StayOnTop=0") << "StayOnTop" << 0.0;
    QTest::newRow("Curve point") << false << QByteArray("Curve=0.30") << "Curve" << 0.30;
    QTest::newRow("Curve comma, German") << true << QByteArray("Curve=0,30") << "Curve" << 0.30;
    QTest::newRow("Curve point, German") << true << QByteArray("Curve=0.30") << "Curve" << 0.30;
    QTest::newRow("Curve comma, C") << false << QByteArray("Curve=0,30") << "Curve" << 0.30;
    QTest::newRow("Curve no number") << false << QByteArray("Curve=abc") << "Curve" << 0.25;
    QTest::newRow("Curve two points") << false << QByteArray("Curve=0.3.0") << "Curve" << 0.25;
    QTest::newRow("Curve 0") << false << QByteArray("Curve=0") << "Curve" << 0.25;
    QTest::newRow("Curve negative") << false << QByteArray("Curve=-0.5") << "Curve" << 0.25;
    QTest::newRow("Curve above 1") << false << QByteArray("Curve=1.50") << "Curve" << 0.25;
    QTest::newRow("Curve 1") << false << QByteArray("Curve=1") << "Curve" << 1.0;
    QTest::newRow("Curve nan") << false << QByteArray("Curve=nan") << "Curve" << 0.25;
    QTest::newRow("Gamma 1") << false << QByteArray("Gamma=1.00") << "Gamma" << 1.0;
    QTest::newRow("Gamma 0") << false << QByteArray("Gamma=0") << "Gamma" << 2.5;
    QTest::newRow("Gamma inf") << false << QByteArray("Gamma=inf") << "Gamma" << 2.5;
    QTest::newRow("Gamma exponent") << false << QByteArray("Gamma=1e1") << "Gamma" << 10.0;
    QTest::newRow("Delay 0") << false << QByteArray("Delay=0") << "Delay" << 1.0;
    QTest::newRow("Delay 50") << false << QByteArray("Delay=50") << "Delay" << 50.0;
    QTest::newRow("Delay 100000") << false << QByteArray("Delay=100000") << "Delay" << 32767.0;
    QTest::newRow("HGridSpace 10^9")
        << false << QByteArray("HGridSpace=1000000000") << "HGridSpace" << 32767.0;
    QTest::newRow("HGridSpace 0 passed on")
        << false << QByteArray("HGridSpace=0") << "HGridSpace" << 0.0;
    QTest::newRow("VGridSpace 0 passed on")
        << false << QByteArray("VGridSpace=0") << "VGridSpace" << 0.0;
    QTest::newRow("Interface -5 passed on")
        << false << QByteArray("Interface=-5") << "Interface" << -5.0;
    QTest::newRow("x negative") << false << QByteArray("[Window]\nx=-10") << "x" << -10.0;
    QTest::newRow("x no number") << false << QByteArray("[Window]\nx=abc") << "x" << 1615.0;
    QTest::newRow("x far off") << false << QByteArray("[Window]\nx=99999") << "x" << 32767.0;
    QTest::newRow("cx 0") << false << QByteArray("[Window]\ncx=0") << "cx" << 1.0;
    QTest::newRow("cy huge") << false << QByteArray("[Window]\ncy=2147483647") << "cy" << 32767.0;
    QTest::newRow("key in the wrong section")
        << false << QByteArray("[Window]\nScale=5000") << "Scale" << 8000.0;
}

void TestSettings::read() {
    QFETCH(bool, german);
    QFETCH(QByteArray, lines);
    QFETCH(QString, field);
    QFETCH(double, expected);
    if (german) QLocale::setDefault(kGerman);
    QVERIFY(WriteFileBytes(FPath, (lines.startsWith('[') ? "" : "[Property]\n") + lines + "\n"));
    const auto s = Fields(ReadSettings(TIniFile(NativePath(FPath)), kWindowDefaults));
    QVERIFY(s.contains(field));
    QCOMPARE(s.value(field), expected);
}

void TestSettings::scale_data() {
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("unit");
    QTest::addColumn<qint64>("text");
    QTest::newRow("no keys") << QByteArray() << 8000 << 1 << qint64(64000);
    QTest::newRow("ScaleUnit 5 shows Byte/s, its default the byte number")
        << QByteArray("ScaleUnit=5") << 8000 << 0 << qint64(8000);
    QTest::newRow("ScaleUnit -1") << QByteArray("ScaleUnit=-1") << 8000 << 0 << qint64(8000);
    QTest::newRow("ScaleUnit 0") << QByteArray("ScaleUnit=0") << 8000 << 0 << qint64(8000);
    QTest::newRow("ScaleUnit not a number")
        << QByteArray("ScaleUnit=bit") << 8000 << 1 << qint64(64000);
    QTest::newRow("both stored") << QByteArray("ScaleText=1050\nScaleUnit=1") << 8000 << 1
                                 << qint64(1050);
    QTest::newRow("ScaleText hex") << QByteArray("ScaleText=0x10") << 8000 << 1 << qint64(16);
    QTest::newRow("default past 32 bits stays exact")
        << QByteArray() << 300000000 << 1 << qint64(2400000000);
    QTest::newRow("stored text past 32 bits reads as the default")
        << QByteArray("ScaleText=2400000000") << 300000000 << 1 << qint64(2400000000);
}

void TestSettings::scale() {
    QFETCH(QByteArray, lines);
    QFETCH(int, scale);
    QFETCH(int, unit);
    QFETCH(qint64, text);
    QVERIFY(WriteFileBytes(FPath, "[Property]\n" + lines + "\n"));
    TSettings s;
    ReadScaleSettings(TIniFile(NativePath(FPath)), scale, s);
    QCOMPARE(s.ScaleUnit, unit);
    QCOMPARE(s.ScaleText, text);
}

void TestSettings::dialogWrite_data() {
    QTest::addColumn<bool>("writeGerman");
    QTest::addColumn<bool>("readGerman");
    QTest::newRow("C") << false << false;
    QTest::newRow("German") << true << true;
    QTest::newRow("written German, read C") << true << false;
    QTest::newRow("written C, read German") << false << true;
}

void TestSettings::dialogWrite() {
    QFETCH(bool, writeGerman);
    QFETCH(bool, readGerman);
    const QByteArray before = "; mine\n[Property]\nStayOnTop=0\nUnknown=1\n";
    QVERIFY(WriteFileBytes(FPath, before));
    QLocale::setDefault(writeGerman ? kGerman : QLocale::c());
    TIniFile ini(NativePath(FPath));
    QVERIFY(WritePropertySettings(ini, TSettings()));
    const QByteArray sep = writeGerman ? "," : ".";
    QCOMPARE(FileBytes(FPath),
             before +
                 "Interface=0\nScale=8000\nScaleText=64000\nScaleUnit=1\n"
                 "Delay=1\nReceiveColor=0000FF\nSendColor=00FF00\nCurve=0" +
                 sep + "25\nGamma=2" + sep +
                 "50\nGridCurve=1\nGridGamma=1\nHGrid=1\nHGridSpace=10\n"
                 "HGridColor=FF0000\nVGrid=1\nVGridSpace=60\nVGridColor=FF0000\n");

    TSettings p;
    p.Interface = 3;
    p.Scale = 131;
    p.Delay = 7;
    p.ReceiveColor = 0x123456;
    p.Curve = 0.354; // two digits: 0.35
    p.Gamma = 1.8;
    p.HGrid = false;
    p.HGridSpace = 20;
    p.VGridSpace = 1800;
    p.VGridColor = 0xABCDEF;
    QVERIFY(WritePropertySettings(ini, p));
    QLocale::setDefault(readGerman ? kGerman : QLocale::c());
    const TSettings s = ReadSettings(ini, kWindowDefaults);
    QCOMPARE(s.Interface, 3);
    QCOMPARE(s.Scale, 131);
    QCOMPARE(s.Delay, 7);
    QCOMPARE(s.ReceiveColor, TColor(0x123456));
    QCOMPARE(s.Curve, 0.35);
    QCOMPARE(s.Gamma, 1.8);
    QCOMPARE(s.HGrid, false);
    QCOMPARE(s.HGridSpace, 20);
    QCOMPARE(s.VGridSpace, 1800);
    QCOMPARE(s.VGridColor, TColor(0xABCDEF));
    QCOMPARE(s.StayOnTop, false); // the dialog leaves it alone
}

void TestSettings::windowAndStayOnTop() {
    TIniFile ini(NativePath(FPath));
    QVERIFY(WriteWindowBounds(ini, {-10, 20, 400, 100}));
    QVERIFY(WriteStayOnTop(ini, false));
    QVERIFY(WriteStayOnTop(ini, true));
    QCOMPARE(FileBytes(FPath),
             QByteArray("[Window]\nx=-10\ny=20\ncx=400\ncy=100\n[Property]\nStayOnTop=1\n"));
    const TSettings s = ReadSettings(ini, kWindowDefaults);
    QCOMPARE(s.Window, (TWindowBounds{-10, 20, 400, 100}));
}

void TestSettings::moveToSamePlaceWritesNothing() {
    TIniFile ini(NativePath(FPath));
    TWindowBounds remembered{100, 50, 305, 97};
    QVERIFY(SaveWindowBoundsIfMoved(ini, remembered, {100, 50, 305, 97}));
    QVERIFY(!QFile::exists(FPath));
    QVERIFY(SaveWindowBoundsIfMoved(ini, remembered, {101, 50, 305, 97}));
    QCOMPARE(remembered, (TWindowBounds{101, 50, 305, 97}));
    QCOMPARE(FileBytes(FPath), QByteArray("[Window]\nx=101\ny=50\ncx=305\ncy=97\n"));
}

void TestSettings::refusedWriteShowsBox() {
    const QString dir = FDir.FilePath("<i>ro");
    QVERIFY(QDir().mkdir(dir));
    const QString path = dir + "/sorvane.ini";
    QVERIFY(WriteFileBytes(path, "[Property]\nScale=1000\n"));
    QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0555) == 0);
    TIniFile ini(NativePath(path));
    TWindowBounds remembered{0, 0, 305, 97};
    {
        TBoxCatcher catcher;
        QVERIFY(!WritePropertySettings(ini, TSettings()));
        QVERIFY(!WriteStayOnTop(ini, false));
        QVERIFY(!SaveWindowBoundsIfMoved(ini, remembered, {5, 0, 305, 97}));
        QCoreApplication::processEvents();
        QVERIFY(catcher.Boxes.isEmpty()); // the file only reports; the windows show
        ShowWriteRefused(ini.FileName());
        QCOMPARE(catcher.Boxes.size(), 1);
        for (const TBoxCatcher::TBox& box : catcher.Boxes) {
            QCOMPARE(box.Title, QString("Sorvane"));
            QCOMPARE(box.Text, "Cannot write to " + path); // English: no translation installed
            QCOMPARE(box.Icon, QMessageBox::Critical);
            QCOMPARE(box.Format, Qt::PlainText);
        }
    }
    QCOMPARE(remembered, (TWindowBounds{5, 0, 305, 97})); // not tried again
    QCOMPARE(FileBytes(path), QByteArray("[Property]\nScale=1000\n"));
    ::chmod(QFile::encodeName(dir).constData(), 0755);
}

void TestSettings::oneReplacementPerWrite() {
    QVERIFY(WriteFileBytes(FPath, "[Window]\nx=1\n"));
    int renames = 0;
    bool failRename = false;
    TProfileFileOps ops;
    const auto realRename = ops.rename;
    ops.rename = [&](const char* from, const char* to) {
        ++renames;
        return failRename ? (errno = EIO, -1) : realRename(from, to);
    };
    TIniFile ini(NativePath(FPath), ops);
    QVERIFY(WriteWindowBounds(ini, {10, 20, 305, 97}));
    QCOMPARE(renames, 1); // four keys, one file replacement
    TSettings p;
    p.Interface = 2;
    QVERIFY(WritePropertySettings(ini, p));
    QCOMPARE(renames, 2);
    const QByteArray written = FileBytes(FPath);
    QVERIFY(written.startsWith("[Window]\nx=10\ny=20\ncx=305\ncy=97\n[Property]\nInterface=2\n"));

    // A refused replacement leaves the file as it was, none of the keys written.
    failRename = true;
    p.Interface = 3;
    QVERIFY(!WritePropertySettings(ini, p));
    QVERIFY(!WriteWindowBounds(ini, {0, 0, 80, 40}));
    QCOMPARE(FileBytes(FPath), written);
}

void TestSettings::agentKeys() {
    QVERIFY(WriteFileBytes(FPath, "[Property]\nAgent=router:1161\nSNMPVersion=3\nSNMPUser=ops\n"
                                  "SNMPAuthProtocol=SHA\nSNMPAuthPassphrase=a pass phrase\n"
                                  "SNMPPrivProtocol=AES\nSNMPPrivPassphrase=p\n"));
    TIniFile ini(NativePath(FPath));
    TSettings s = ReadSettings(ini, kWindowDefaults);
    TAgentSettings expected;
    expected.Host = "router:1161";
    expected.Version = 3;
    expected.User = "ops";
    expected.AuthProtocol = "SHA";
    expected.AuthPassphrase = "a pass phrase";
    expected.PrivProtocol = "AES";
    expected.PrivPassphrase = "p";
    QVERIFY(s.Agent == expected);
    QVERIFY(!s.FollowRoute);
    for (const char* version : {"2c", "1", "three"}) {
        QVERIFY(WriteFileBytes(FPath, QByteArray("[Property]\nSNMPVersion=") + version + "\n"));
        QCOMPARE(ReadSettings(ini, kWindowDefaults).Agent.Version, 2);
    }

    // Once set, the additions are written, also back to their defaults; never the secrets.
    QVERIFY(WriteFileBytes(FPath, "[Property]\nCommunity=c0mm\n"));
    s = TSettings();
    s.Agent.Host = "10.0.0.1";
    s.Agent.Community = "other";
    s.FollowRoute = true;
    QVERIFY(WritePropertySettings(ini, s));
    QByteArray bytes = FileBytes(FPath);
    QVERIFY(bytes.endsWith("VGridColor=FF0000\nAgent=10.0.0.1\nFollowRoute=1\n"));
    QVERIFY(bytes.contains("Community=c0mm\n") && !bytes.contains("other"));
    QVERIFY(WritePropertySettings(ini, TSettings()));
    QVERIFY(FileBytes(FPath).endsWith("\nAgent=\nFollowRoute=0\n"));
    QVERIFY(!ReadSettings(ini, kWindowDefaults).Agent.Remote());
}

void TestSettings::secretsStayPrivate_data() {
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("mode");
    QTest::newRow("community") << QByteArray("Community=public") << 0600;
    QTest::newRow("v3 passphrase") << QByteArray("SNMPPrivPassphrase=x") << 0600;
    QTest::newRow("no secret") << QByteArray("Agent=host") << 0644;
    QTest::newRow("empty community") << QByteArray("Community=") << 0644;
}

void TestSettings::secretsStayPrivate() {
    QFETCH(QByteArray, lines);
    QFETCH(int, mode);
    QVERIFY(WriteFileBytes(FPath, "[Property]\n" + lines + "\n"));
    const QByteArray path = QFile::encodeName(FPath);
    QCOMPARE(::chmod(path.constData(), 0644), 0);
    TIniFile ini(NativePath(FPath));
    QVERIFY(KeepSecretsPrivate(ini));
    // A later write replaces the file and keeps its mode.
    QVERIFY(WritePropertySettings(ini, TSettings()));
    struct stat st {};
    QCOMPARE(::stat(path.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), mode);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
