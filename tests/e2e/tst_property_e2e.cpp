// The property dialog end to end, against a real X server: the program runs
// from a private copy (so its settings file and single instance are its own),
// the dialog is opened from the popup menu and changed with the keyboard, and
// Enter saves the settings and redraws the graph.
#include "XTools.h"
#include "scratchfiles.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

namespace {

using namespace testcommon;
using namespace xtools;

// Pixels of the area that are clearly blue: the grid colour of a fresh settings file.
int BluePixels(const QRect& area) {
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = screen.pixel(x, y);
            if (qBlue(p) >= 60 && qRed(p) < 40 && qGreen(p) < 40) ++n;
        }
    return n;
}

QMap<QString, QString> PropertyKeys(const QByteArray& text, QStringList* order) {
    QMap<QString, QString> keys;
    for (const QString& line : SectionLines(text, QStringLiteral("Property"))) {
        const QString key = line.section('=', 0, 0);
        keys.insert(key, line.section('=', 1));
        order->append(key);
    }
    return keys;
}

} // namespace

class TestPropertyEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void keyboardEditAndEnter();

private:
    TScratchDir FDir;
    QProcess FProgram;
};

void TestPropertyEndToEnd::initTestCase() {
    QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is needed");
    QVERIFY(FDir.Renew());
    const QString uncopied = CopyInto(FDir.Path(), ProgramFiles());
    QVERIFY2(uncopied.isEmpty(), qPrintable(uncopied));
    FProgram.setProgram(FDir.FilePath("sorvane"));
    FProgram.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProgram.start();
    QVERIFY(FProgram.waitForStarted());
}

void TestPropertyEndToEnd::cleanupTestCase() {
    if (FProgram.state() != QProcess::NotRunning) {
        FProgram.kill();
        FProgram.waitForFinished();
    }
}

void TestPropertyEndToEnd::keyboardEditAndEnter() {
    const qulonglong main = FindWindow("Sorvane", 10000);
    QVERIFY2(main != 0, "the main window did not appear");
    const QPoint origin = WindowPosition(main);
    // The graph's image: 4 pixels inside the window, then 1 of frame.
    const QRect image(origin + QPoint(5, 5), QSize(305 - 10, 97 - 10));
    int before = 0; // its first paint
    QTRY_VERIFY2_WITH_TIMEOUT((before = BluePixels(image)) > 1500,
                              qPrintable(QString("grid pixels before: %1").arg(before)), 5000);

    // Right click on the graph, "Property...".
    const QPoint at = origin + QPoint(150, 48);
    Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "3"});
    // The menu opens at the pointer, or left of it where the screen ends.
    QVERIFY2(WaitForLight(QRect(at, QSize(40, 20)), 5000), "the popup menu did not open");
    Xdotool(
        {"mousemove", QString::number(at.x() + 20), QString::number(at.y() + 10), "click", "1"});
    const qulonglong dialog = FindWindow("Property", 5000);
    QVERIFY2(dialog != 0, "the property dialog did not appear");
    const QPoint d = WindowPosition(dialog);
    QVERIFY2(WaitForLight(QRect(d, QSize(289, 393)), 5000), "the property dialog is not painted");

    // The scale field, then the keyboard only: 1050 Bit/s; Tab to the
    // horizontal grid and switch it off; back to the delay, type 250 and press
    // Enter while still in the field.
    Xdotool({"mousemove", QString::number(d.x() + 200), QString::number(d.y() + 51), "click", "1"});
    QTest::qWait(200);
    Xdotool({"key", "--delay", "40", "ctrl+a"});
    Xdotool({"type", "--delay", "40", "1050"});
    Xdotool({"key", "--delay", "40", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "space"});
    Xdotool({"key", "--delay", "40", "shift+Tab", "shift+Tab", "shift+Tab", "ctrl+a"});
    Xdotool({"type", "--delay", "40", "250"});
    Xdotool({"key", "Return"});

    // Hidden, saved, redrawn.
    QTRY_VERIFY_WITH_TIMEOUT(Xdotool({"search", "--onlyvisible", "--name", "^Property$"}).isEmpty(),
                             5000);
    QVERIFY(QFile::exists(FDir.File()));
    QStringList order;
    const QMap<QString, QString> keys = PropertyKeys(FileBytes(FDir.File()), &order);
    QCOMPARE(order, (QStringList{"Interface", "Scale", "ScaleText", "ScaleUnit", "Delay",
                                 "ReceiveColor", "SendColor", "Curve", "Gamma", "GridCurve",
                                 "GridGamma", "HGrid", "HGridSpace", "HGridColor", "VGrid",
                                 "VGridSpace", "VGridColor", "InterfaceName"}));
    QCOMPARE(keys.value("Scale"), QString("131"));
    QCOMPARE(keys.value("ScaleText"), QString("1050"));
    QCOMPARE(keys.value("ScaleUnit"), QString("1"));
    QCOMPARE(keys.value("Delay"), QString("250")); // typed and taken by Ok as it stands
    QCOMPARE(keys.value("HGrid"), QString("0"));
    QCOMPARE(keys.value("VGrid"), QString("1"));
    // Only the vertical grid is left in the graph.
    QTRY_VERIFY_WITH_TIMEOUT(BluePixels(image) < before / 2, 3000);
    QVERIFY(BluePixels(image) > 0);
    QCOMPARE(FProgram.state(), QProcess::Running);
}

QTEST_MAIN(TestPropertyEndToEnd)
#include "tst_property_e2e.moc"
