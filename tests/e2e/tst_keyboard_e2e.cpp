// A whole edit session with the keyboard alone, against a real X server: the
// menu opened by Shift+F10 and chosen by its letters, every kind of control of
// the property dialog changed by keys, two colours chosen in the colour chooser
// by keys, "Ok" by its mnemonic; then the settings file holds it all. Run bare
// and, with SORVANE_E2E_WM=openbox, under a window manager.
//
// The one step that is not a key: the main window is given the input focus, as
// the user's own way of reaching it would (openbox's Alt+Tab passes over tool
// windows).
#include "XTools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace xtools;

qulonglong FocusedWindow() {
    return Xdotool({"getwindowfocus"}).toULongLong();
}

// Keys, one after another as a typist presses them.
void Keys(const QStringList& keys) {
    Xdotool(QStringList{"key", "--delay", "60"} + keys);
}

QStringList PropertyLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines;
    bool inProperty = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('['))
            inProperty = line == QLatin1String("[Property]");
        else if (inProperty && line.contains('='))
            lines.append(line);
    }
    return lines;
}

} // namespace

class TestKeyboardEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void keyboardOnlySession();

private:
    // Gives the window the focus and waits until it has it.
    bool Focus(qulonglong window);
    // Chooses a colour in the open chooser by its HTML field and Enter.
    void ChooseColour(const QString& html, qulonglong backTo);

    QTemporaryDir FDir;
    QTemporaryDir FHome;
    QProcess FProgram;
    QProcess FWindowManager;
};

void TestKeyboardEndToEnd::initTestCase() {
    for (const char* tool : {"xdotool", "xprop"})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool);
    QVERIFY(FDir.isValid());
    if (WithWindowManager()) {
        QVERIFY2(!WindowManagerRunning(), "the display must start without a window manager");
        QVERIFY(FHome.isValid());
        StartWindowManager(FWindowManager, FHome.path());
    }
    for (const char* file : {SORVANE_PROGRAM, SORVANE_AGENT, SORVANE_UTILITY}) {
        const QString from = QString::fromLocal8Bit(file);
        const QString to = FDir.filePath(QFileInfo(from).fileName());
        QVERIFY2(QFile::copy(from, to), qPrintable(from));
        QFile::setPermissions(to, QFile::permissions(from));
    }
    FProgram.setProgram(FDir.filePath("sorvane"));
    FProgram.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProgram.start();
    QVERIFY(FProgram.waitForStarted());
}

void TestKeyboardEndToEnd::cleanupTestCase() {
    for (QProcess* p : {&FProgram, &FWindowManager}) {
        if (p->state() == QProcess::NotRunning) continue;
        p->terminate();
        if (!p->waitForFinished(10000)) {
            p->kill();
            p->waitForFinished();
        }
    }
}

bool TestKeyboardEndToEnd::Focus(qulonglong window) {
    Xdotool({"windowfocus", "--sync", QString::number(window)});
    QElapsedTimer clock;
    clock.start();
    while (FocusedWindow() != window) {
        if (clock.elapsed() > 5000) return false;
        QTest::qWait(50);
    }
    return true;
}

void TestKeyboardEndToEnd::ChooseColour(const QString& html, qulonglong backTo) {
    const qulonglong chooser = FindWindow("Select Color", 5000);
    QVERIFY2(chooser != 0, "the colour chooser did not open");
    QTRY_COMPARE_WITH_TIMEOUT(FocusedWindow(), chooser, 5000);
    Keys({"alt+h", "ctrl+a"});
    Xdotool({"type", "--delay", "60", html});
    Keys({"Return"});
    QTRY_VERIFY_WITH_TIMEOUT(VisibleWindows("Select Color").isEmpty(), 5000);
    // The dialog has the focus again, on the swatch.
    QTRY_COMPARE_WITH_TIMEOUT(FocusedWindow(), backTo, 5000);
}

void TestKeyboardEndToEnd::keyboardOnlySession() {
    const qulonglong main = FindWindow("Sorvane", 10000);
    QVERIFY2(main != 0, "the main window did not appear");
    const QPoint origin = WindowPosition(main);
    QVERIFY(Focus(main));

    // Shift+F10: the menu over the graph's centre; P: "Property...".
    Keys({"shift+F10"});
    const QPoint centre = origin + QPoint(4 + (305 - 8) / 2, 4 + (97 - 8) / 2);
    QVERIFY2(WaitForLight(QRect(centre + QPoint(5, 5), QSize(30, 15)), 5000),
             "the popup menu did not open");
    Keys({"p"});
    const qulonglong dialog = FindWindow("Property", 5000);
    QVERIFY2(dialog != 0, "the property dialog did not appear");
    QTRY_COMPARE_WITH_TIMEOUT(FocusedWindow(), dialog, 5000);

    // From the interface list, along the tab order.
    Keys({"Tab", "Up"});                                 // unit Byte/s: 64000 Bit/s is 8000
    Keys({"Tab", "Prior"});                              // scale ten steps up: 40000
    Keys({"Tab", "End"});                                // curve at its top, 0.95
    Keys({"Tab", "Home"});                               // gamma at its bottom, 1.00
    Keys({"Tab", "Up", "Up"});                           // delay 3
    Keys({"Tab", "space"});                              // grid curve off
    Keys({"Tab", "Tab", "Tab", "Down", "Down", "Down"}); // horizontal grid 7
    Keys({"Tab", "space"});                              // vertical grid off
    Keys({"Tab", "Prior"});                              // its spacing 60 + 10 x 5
    Keys({"Tab", "Tab", "Tab", "space"});                // past Ok and Cancel: the receive colour
    ChooseColour("#102030", dialog);
    Keys({"alt+n", "Return"}); // the send colour, by its label's mnemonic
    ChooseColour("#405060", dialog);
    Keys({"alt+o"});

    QTRY_VERIFY_WITH_TIMEOUT(VisibleWindows("Property").isEmpty(), 5000);
    QCOMPARE(
        PropertyLines(FDir.filePath("sorvane.ini")),
        (QStringList{"Interface=0", "Scale=40000", "ScaleText=40000", "ScaleUnit=0", "Delay=3",
                     "ReceiveColor=302010", "SendColor=605040", "Curve=0.95", "Gamma=1.00",
                     "GridCurve=0", "GridGamma=1", "HGrid=1", "HGridSpace=7", "HGridColor=FF0000",
                     "VGrid=0", "VGridSpace=110", "VGridColor=FF0000", "InterfaceName=lo"}));

    // The menu's corners by their keys: F, then 1 for the bottom left.
    QVERIFY(Focus(main));
    Keys({"shift+F10", "f", "1"});
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QTRY_COMPARE_WITH_TIMEOUT(WindowPosition(main), QPoint(0, screen.height() - 97), 5000);
    QCOMPARE(FProgram.state(), QProcess::Running);
}

QTEST_MAIN(TestKeyboardEndToEnd)
#include "tst_keyboard_e2e.moc"
