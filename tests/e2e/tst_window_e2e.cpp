// The main window end to end, against a real X server: where it first appears,
// what a drag stores, where a restart appears, the second start, "Exit", and the
// taskbar, the ending on a signal and what a killed one leaves. Run twice: bare, and with
// SORVANE_E2E_WM=openbox under a window manager that frames its windows, which the test starts and
// stops itself. Each case runs a private copy of the program, so its settings file and single
// instance are its own.
#include "XTools.h"
#include "scratchfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRasterWindow>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace testcommon;
using namespace xtools;

constexpr QSize kFirstSize(305, 97);

QString Xprop(const QStringList& arguments) {
    return Run(QStringLiteral("xprop"), arguments);
}

// The "Window" keys of the settings file in their order, as "key=value".
QStringList WindowKeys(const QString& path) {
    return SectionLines(FileBytes(path), QStringLiteral("Window"));
}

// Asks the process to end, and makes it end where it does not.
void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
}

QStringList KeysOf(const QRect& r) {
    return {QString("x=%1").arg(r.x()), QString("y=%1").arg(r.y()), QString("cx=%1").arg(r.width()),
            QString("cy=%1").arg(r.height())};
}

bool IsMagenta(QRgb p) {
    return qRed(p) > 200 && qBlue(p) > 200 && qGreen(p) < 60;
}

// A plain window of one colour, to lay over the program's window.
class TCover : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), Qt::magenta);
    }
};

// Every place a window of the given size took while mapped, from the substructure
// events of the root window as xev prints them. Windows reparented away from the
// root (into a frame) are followed no further: their frame stands for them.
QList<QPoint> MappedPlaces(const QString& events, const QSize& size) {
    static const QRegularExpression head("^(\\w+) event, .*window (0x[0-9a-f]+),");
    static const QRegularExpression place(
        "window (0x[0-9a-f]+), \\((-?\\d+),(-?\\d+)\\), width (\\d+), height (\\d+)");
    static const QRegularExpression subject("event 0x[0-9a-f]+, window (0x[0-9a-f]+)");
    static const QRegularExpression parent("window (0x[0-9a-f]+), parent (0x[0-9a-f]+)");
    QHash<QString, QRect> geometry;
    QSet<QString> mapped;
    QList<QPoint> places;
    auto note = [&](const QString& w) {
        if (mapped.contains(w) && geometry.value(w).size() == size)
            places.append(geometry.value(w).topLeft());
    };
    for (const QString& block : events.split("\n\n", Qt::SkipEmptyParts)) {
        const QString text = block.simplified();
        const QRegularExpressionMatch h = head.match(block.trimmed());
        if (!h.hasMatch()) continue;
        const QString type = h.captured(1);
        const QString root = h.captured(2);
        if (type == "CreateNotify" || type == "ConfigureNotify") {
            const QRegularExpressionMatch m = place.match(text);
            if (!m.hasMatch()) continue;
            const QString w = m.captured(1);
            geometry[w] = QRect(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
                                m.captured(5).toInt());
            note(w);
        } else if (type == "MapNotify") {
            const QString w = subject.match(text).captured(1);
            mapped.insert(w);
            note(w);
        } else if (type == "UnmapNotify" || type == "DestroyNotify") {
            mapped.remove(subject.match(text).captured(1));
        } else if (type == "ReparentNotify") {
            const QRegularExpressionMatch m = parent.match(text);
            if (m.captured(2) != root) {
                mapped.remove(m.captured(1));
                geometry.remove(m.captured(1));
            }
        }
    }
    return places;
}

} // namespace

namespace {

// On the screen: mapped, and its frame too where a window manager gave it one.
bool Viewable(qulonglong window) {
    return Run("xwininfo", {"-id", QString::number(window)}).contains("Map State: IsViewable");
}

QString Property(qulonglong window, const char* name) {
    return Xprop({"-id", QString::number(window), name});
}

// Whether the window can be hidden that way here: all but unmapping take a window manager.
bool CanHide(const QString& how) {
    return how == "unmapped" || WithWindowManager();
}

void HideWindow(const QString& how, qulonglong window) {
    const QString id = QString::number(window);
    if (how == "unmapped") // by another client
        Xdotool({"windowunmap", id});
    else if (how == "iconified")
        Xdotool({"windowminimize", id});
    else // "show desktop": the window manager's default binding
        Xdotool({"key", "super+d"});
}

// The program's other windows named like it: its error boxes.
QList<qulonglong> Boxes(qulonglong main) {
    QList<qulonglong> boxes = VisibleWindows("Sorvane");
    boxes.removeAll(main);
    return boxes;
}

} // namespace

class TestWindowEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void firstStart();
    void dragStoresBounds();
    void restartAtStoredPlace();
    void secondStartRaisesFirst();
    void exitFromMenu();
    void signalEndsLikeExit_data();
    void signalEndsLikeExit();
    void killedLeftoversGoAtNextStart();
    void noTaskbarEntry();
    void restoreMainWindow_data();
    void restoreMainWindow();
    void restoreDialog_data();
    void restoreDialog();
    void tapDoesNotMove();
    void startLeavesFileAsItWas_data();
    void startLeavesFileAsItWas();
    void userChangesWritten_data();
    void userChangesWritten();
    void dialogCaptionAndTaskbar();
    void refusedWriteShownOnce();

private:
    QString Program() const { return FDir.FilePath("sorvane"); }
    QString Settings() const { return FDir.File(); }
    // The message ports in the runtime directory.
    QStringList Ports() const {
        return QDir(FDir.FilePath("run")).entryList({"sorvane-window-*"}, QDir::System);
    }
    // A runtime directory of the case's own, for the single-instance files.
    QProcessEnvironment ProgramEnvironment() const;
    void StartProgram();
    void StopProgram();
    // The program's window once it shows at the expected place, else 0.
    qulonglong WaitForWindow(const QRect& expected);
    // A left drag on the graph by the offset, at a pace a window manager follows.
    void Drag(qulonglong window, const QPoint& by);
    // Right click there: whether the menu opens at the pointer; closed again.
    bool MenuOpensAt(const QPoint& at);
    QRect TopRight() const;
    // A second start, which hands over to the running program and ends.
    void SecondStart();
    // "Property..." from the menu of the window there: the dialog once it shows, else 0.
    qulonglong OpenProperty(const QRect& window);

    TScratchDir FDir;
    QProcess FProgram;
    QProcess FWatcher; // xev
    QTemporaryDir FHome;
    QProcess FWindowManager;
};

void TestWindowEndToEnd::initTestCase() {
    for (const char* tool : {"xdotool", "xprop", "xev"})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool);
    QVERIFY2(!WindowManagerRunning(), "the display must start without a window manager");
    if (!WithWindowManager()) return;
    QVERIFY(FHome.isValid());
    StartWindowManager(FWindowManager, FHome.path());
}

void TestWindowEndToEnd::cleanupTestCase() {
    Stop(FWindowManager);
}

void TestWindowEndToEnd::init() {
    if (WithWindowManager())
        QVERIFY2(FWindowManager.state() == QProcess::Running, "the window manager ended");
    QVERIFY(FDir.Renew());
    const QString uncopied = CopyInto(FDir.Path(), ProgramFiles());
    QVERIFY2(uncopied.isEmpty(), qPrintable(uncopied));
    QVERIFY(QDir(FDir.Path()).mkdir("run"));
    QVERIFY(QFile::setPermissions(FDir.FilePath("run"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QProcessEnvironment TestWindowEndToEnd::ProgramEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", FDir.FilePath("run"));
    return env;
}

void TestWindowEndToEnd::cleanup() {
    if (FWatcher.state() != QProcess::NotRunning) {
        FWatcher.kill();
        FWatcher.waitForFinished();
    }
    StopProgram();
    QTRY_VERIFY_WITH_TIMEOUT(VisibleWindows("Sorvane").isEmpty(), 5000);
    FDir.Remove();
}

void TestWindowEndToEnd::StartProgram() {
    FProgram.setProgram(Program());
    FProgram.setProcessEnvironment(ProgramEnvironment());
    FProgram.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProgram.start();
    QVERIFY(FProgram.waitForStarted());
}

void TestWindowEndToEnd::StopProgram() {
    Stop(FProgram);
}

// The program places its menu from where it thinks its window is.
bool TestWindowEndToEnd::MenuOpensAt(const QPoint& at) {
    Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "3"});
    const bool opened = WaitForLight(QRect(at, QSize(40, 20)), 5000);
    Xdotool({"key", "Escape"});
    return opened;
}

QRect TestWindowEndToEnd::TopRight() const {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {QPoint(screen.width() - kFirstSize.width(), 0), kFirstSize};
}

qulonglong TestWindowEndToEnd::WaitForWindow(const QRect& expected) {
    const qulonglong window = FindWindow("Sorvane", 15000);
    if (window == 0) return 0;
    return QTest::qWaitFor([&] { return WindowGeometry(window) == expected; }, 5000) ? window : 0;
}

void TestWindowEndToEnd::Drag(qulonglong window, const QPoint& by) {
    const QRect g = WindowGeometry(window);
    const QPoint from = g.center();
    auto to = [](const QPoint& p) {
        return QStringList{"mousemove", QString::number(p.x()), QString::number(p.y())};
    };
    // Paced rather than waited on: nothing outside the window manager shows that it has
    // taken each step.
    Xdotool(to(from));
    QTest::qWait(100);
    Xdotool({"mousedown", "1"});
    QTest::qWait(200); // the window manager takes the pointer on the press
    for (int step = 1; step <= 8; ++step) {
        Xdotool(to(from + by * step / 8));
        QTest::qWait(40);
    }
    QTest::qWait(200);
    Xdotool({"mouseup", "1"});
}

// 305 x 97 at the top right corner, and nothing written while the window only appeared.
void TestWindowEndToEnd::firstStart() {
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY2(window != 0, "the window did not appear at the top right");
    // A second of ticking and whatever the window manager reports meanwhile.
    QTest::qWait(1200);
    QCOMPARE(WindowGeometry(window), TopRight());
    QVERIFY2(!QFile::exists(Settings()), qPrintable(WindowKeys(Settings()).join(' ')));
    QVERIFY2(MenuOpensAt(TopRight().center()), "the program is wrong about its place");
    // Its icon reaches the window (32 x 32, from the program's own resources), read
    // without loading the toolkit's image plugins, each of which would stay resident.
    QVERIFY(
        Run("xprop", {"-id", QString::number(window), "_NET_WM_ICON"}).contains("Icon (32 x 32)"));
    QFile maps(QStringLiteral("/proc/%1/maps").arg(FProgram.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(!maps.readAll().contains("/imageformats/"));
}

void TestWindowEndToEnd::dragStoresBounds() {
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    const QPoint by(-300, 200);
    Drag(window, by);
    const QRect moved = TopRight().translated(by);
    QTRY_COMPARE_WITH_TIMEOUT(WindowGeometry(window), moved, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(WindowKeys(Settings()), KeysOf(moved), 5000);
    QVERIFY2(MenuOpensAt(moved.center()), "the program is wrong about its place");
}

// The window is watched from its creation: every place it takes while mapped is the
// stored one, so it never shows at the top right first.
void TestWindowEndToEnd::restartAtStoredPlace() {
    StartProgram();
    qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    Drag(window, QPoint(-500, 300));
    const QRect stored = TopRight().translated(-500, 300);
    QTRY_COMPARE_WITH_TIMEOUT(WindowKeys(Settings()), KeysOf(stored), 5000);
    StopProgram();
    QTRY_VERIFY_WITH_TIMEOUT(VisibleWindows("Sorvane").isEmpty(), 5000);

    FWatcher.start("xev", {"-root", "-event", "substructure"});
    QVERIFY(FWatcher.waitForStarted());
    // xev listens once it reports a window made after it connected: a new probe at each try,
    // its requests sent as the wait runs the event loop.
    QWindow probe;
    QString events;
    QStringList probes;
    const bool listening = QTest::qWaitFor(
        [&] {
            events += QString::fromLocal8Bit(FWatcher.readAllStandardOutput());
            for (const QString& id : probes)
                if (events.contains(id)) return true;
            probe.destroy();
            probe.create();
            probes << QString("window 0x%1,").arg(probe.winId(), 0, 16);
            return false;
        },
        10000);
    QVERIFY2(listening, "xev did not start listening");

    StartProgram();
    window = WaitForWindow(stored);
    QVERIFY2(window != 0, "the window did not appear at the stored place");
    QTest::qWait(500); // late moves would show too
    QCOMPARE(WindowGeometry(window), stored);
    FWatcher.kill();
    FWatcher.waitForFinished();
    events += QString::fromLocal8Bit(FWatcher.readAllStandardOutput());
    const QList<QPoint> places = MappedPlaces(events, stored.size());
    QVERIFY2(!places.isEmpty(), "xev did not see the window mapped");
    for (const QPoint& p : places)
        QCOMPARE(p, stored.topLeft());
    QCOMPARE(WindowKeys(Settings()), KeysOf(stored));
    QVERIFY2(MenuOpensAt(stored.center()), "the program is wrong about its place");
}

void TestWindowEndToEnd::secondStartRaisesFirst() {
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    const QRect graph = TopRight().adjusted(10, 10, -10, -10);

    // A window over it, shown after it and on top as well.
    TCover cover;
    cover.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    cover.setGeometry(TopRight().adjusted(-20, 0, 0, 20));
    cover.show();
    QVERIFY2(WaitForMost(graph, IsMagenta, 5000), "the cover did not come over the window");

    QProcess second;
    second.setProcessEnvironment(ProgramEnvironment());
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    second.start(Program());
    QVERIFY(second.waitForFinished(10000));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(elapsed < 1000, qPrintable(QString("the second start took %1 ms").arg(elapsed)));

    // The first comes to the front and stays the only one.
    QVERIFY2(WaitForMost(
                 graph, [](QRgb p) { return !IsMagenta(p); }, 5000),
             "the window did not come to the front");
    QCOMPARE(VisibleWindows("Sorvane"), QList<qulonglong>{window});
    QCOMPARE(FProgram.state(), QProcess::Running);
}

void TestWindowEndToEnd::exitFromMenu() {
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    const QPoint at = TopRight().center();
    Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "3"});
    QVERIFY2(WaitForLight(QRect(at, QSize(40, 20)), 5000), "the popup menu did not open");
    // From no item, Up goes to the last one: "Exit".
    Xdotool({"key", "--delay", "100", "Up", "Return"});
    QVERIFY2(FProgram.waitForFinished(10000), "the program did not end");
    QCOMPARE(FProgram.exitStatus(), QProcess::NormalExit);
    QCOMPARE(FProgram.exitCode(), 0);
    QVERIFY(VisibleWindows("Sorvane").isEmpty());
    QVERIFY(Ports().isEmpty());
}

// A logout or a kill without -9 ends the program as "Exit" does.
void TestWindowEndToEnd::signalEndsLikeExit_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("dialogShown");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    // With text drawn, the fonts are in use to the end.
    QTest::newRow("SIGTERM, dialog open") << int(SIGTERM) << true;
}

void TestWindowEndToEnd::signalEndsLikeExit() {
    QFETCH(int, signal);
    QFETCH(bool, dialogShown);
    StartProgram();
    QVERIFY(WaitForWindow(TopRight()) != 0);
    if (dialogShown) QVERIFY(OpenProperty(TopRight()) != 0);
    QCOMPARE(Ports().size(), 1);
    QCOMPARE(::kill(pid_t(FProgram.processId()), signal), 0);
    QVERIFY2(FProgram.waitForFinished(10000), "the program did not end");
    QCOMPARE(FProgram.exitStatus(), QProcess::NormalExit);
    QCOMPARE(FProgram.exitCode(), 0);
    QCOMPARE(Ports(), QStringList{});
    QTRY_VERIFY_WITH_TIMEOUT(VisibleWindows("Sorvane").isEmpty(), 5000);
}

// What "kill -9" cannot clear away, the next start does, and only that.
void TestWindowEndToEnd::killedLeftoversGoAtNextStart() {
    StartProgram();
    QVERIFY(WaitForWindow(TopRight()) != 0);
    const QStringList killedPorts = Ports();
    QCOMPARE(killedPorts.size(), 1);
    const qint64 killed = FProgram.processId();
    FProgram.kill();
    QVERIFY(FProgram.waitForFinished(10000));
    QCOMPARE(Ports(), killedPorts);
    QTRY_VERIFY_WITH_TIMEOUT(VisibleWindows("Sorvane").isEmpty(), 5000);
    // A settings write the kill cut off before its rename.
    const QString cutOff = FDir.FilePath(QString(".sorvane.ini.tmp-%1-k1ll3d00").arg(killed));
    QFile half(cutOff);
    QVERIFY(half.open(QIODevice::WriteOnly));
    half.write("[Window]\nx=");
    half.close();
    // Another executable's running instance (its numbers are odd: this one is not).
    const QString other = FDir.FilePath("run/sorvane-window-12344");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(other).constData(), sizeof address.sun_path);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QCOMPARE(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    QCOMPARE(::listen(listener, 4), 0);

    StartProgram();
    const bool shown = WaitForWindow(TopRight()) != 0;
    const QStringList ports = Ports();
    ::close(listener);
    QVERIFY(shown);
    QVERIFY2(!ports.contains(killedPorts.first()), qPrintable(ports.join(' ')));
    QVERIFY2(ports.contains("sorvane-window-12344"), qPrintable(ports.join(' ')));
    QCOMPARE(ports.size(), 2); // the other one's and its own
    QVERIFY(!QFile::exists(cutOff));
}

void TestWindowEndToEnd::noTaskbarEntry() {
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    auto state = [window] { return Xprop({"-id", QString::number(window), "_NET_WM_STATE"}); };
    QTRY_VERIFY2_WITH_TIMEOUT(state().contains("_NET_WM_STATE_SKIP_TASKBAR"), qPrintable(state()),
                              5000);
    QVERIFY2(state().contains("_NET_WM_STATE_ABOVE"), qPrintable(state())); // stays on top
}

void TestWindowEndToEnd::SecondStart() {
    QProcess second;
    second.setProcessEnvironment(ProgramEnvironment());
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(Program());
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
}

qulonglong TestWindowEndToEnd::OpenProperty(const QRect& window) {
    const QPoint at = window.center();
    Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "3"});
    if (!WaitForLight(QRect(at, QSize(40, 20)), 5000)) return 0;
    Xdotool({"key", "--delay", "100", "Down", "Return"}); // the first item
    return FindWindow("Property", 5000);
}

void TestWindowEndToEnd::restoreMainWindow_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("iconified") << "iconified";
    QTest::newRow("show desktop") << "show desktop";
    QTest::newRow("unmapped") << "unmapped";
}

// However it was hidden, a second start shows it again, as it was.
void TestWindowEndToEnd::restoreMainWindow() {
    QFETCH(QString, how);
    if (!CanHide(how)) QSKIP("only a window manager hides a window that way");
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    // "Show desktop" stays on until a window comes back; never left on for the next case.
    const auto desktopBack = qScopeGuard([] {
        if (Xprop({"-root", "_NET_SHOWING_DESKTOP"}).endsWith("= 1")) Xdotool({"key", "super+d"});
    });
    HideWindow(how, window);
    QTRY_VERIFY_WITH_TIMEOUT(!Viewable(window), 5000);

    SecondStart();
    QTRY_VERIFY_WITH_TIMEOUT(Viewable(window), 5000);
    QCOMPARE(WindowGeometry(window), TopRight());
    QCOMPARE(VisibleWindows("Sorvane"), QList<qulonglong>{window});
    const QString state = Property(window, "_NET_WM_STATE");
    QVERIFY2(state.contains("_NET_WM_STATE_SKIP_TASKBAR") && state.contains("_NET_WM_STATE_ABOVE"),
             qPrintable(state));
}

void TestWindowEndToEnd::restoreDialog_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("iconified") << "iconified";
    QTest::newRow("unmapped") << "unmapped";
}

void TestWindowEndToEnd::restoreDialog() {
    QFETCH(QString, how);
    if (!CanHide(how)) QSKIP("only a window manager hides a window that way");
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    const qulonglong dialog = OpenProperty(TopRight());
    QVERIFY2(dialog != 0, "the property dialog did not appear");
    HideWindow(how, dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!Viewable(dialog), 5000);

    // A window manager may iconify the main window together with its dialog.
    if (!Viewable(window)) {
        SecondStart();
        QTRY_VERIFY_WITH_TIMEOUT(Viewable(window), 5000);
    }
    QCOMPARE(OpenProperty(TopRight()), dialog);
    QVERIFY(Viewable(window));
    const QString state = Property(dialog, "_NET_WM_STATE");
    QVERIFY2(state.contains("_NET_WM_STATE_SKIP_TASKBAR"), qPrintable(state));
}

// A press and release 1 ms apart, then the pointer moving on with no button held.
void TestWindowEndToEnd::tapDoesNotMove() {
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    const QPoint at = TopRight().center();
    for (int tap = 0; tap < 5; ++tap) {
        Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
        QTest::qWait(100);
        Xdotool({"mousedown", "1", "sleep", "0.001", "mouseup", "1"});
        // Paced as a drag is: a move that began would follow.
        for (int step = 1; step <= 6; ++step) {
            Xdotool({"mousemove_relative", "--", "-20", "15"});
            QTest::qWait(40);
        }
        QCOMPARE(WindowGeometry(window), TopRight());
    }
    QVERIFY(!QFile::exists(Settings()));
}

void TestWindowEndToEnd::startLeavesFileAsItWas_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QRect>("shown");
    const QByteArray wide = "[Window]\nx=100\ny=50\ncx=2000\ncy=97\n; the user's own\n";
    const int screen = QGuiApplication::primaryScreen()->geometry().width();
    QTest::newRow("wider than the screen") << wide << "xcb" << QRect(100, 50, screen, 97);
    QTest::newRow("on no screen") << QByteArray("[Window]\nx=5000\ny=-3000\ncx=305\ncy=97\n")
                                  << "xcb" << TopRight();
    QTest::newRow("wider than the screen, no real windows") << wide << "offscreen" << QRect();
}

// What the start makes of the stored bounds is shown, never written.
void TestWindowEndToEnd::startLeavesFileAsItWas() {
    QFETCH(QByteArray, stored);
    QFETCH(QString, platform);
    QFETCH(QRect, shown);
    QFile file(Settings());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(stored);
    file.close();
    QProcessEnvironment env = ProgramEnvironment();
    env.insert("QT_QPA_PLATFORM", platform);
    FProgram.setProgram(Program());
    FProgram.setProcessEnvironment(env);
    FProgram.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProgram.start();
    QVERIFY(FProgram.waitForStarted());
    if (platform == "offscreen") {
        // Its window exists once its message port does.
        QTRY_VERIFY_WITH_TIMEOUT(
            !QDir(FDir.FilePath("run")).entryList({"sorvane-window-*"}, QDir::System).isEmpty(),
            10000);
    } else {
        QVERIFY2(WaitForWindow(shown) != 0, "the window did not show where it fits");
    }
    QTest::qWait(1500); // ticks, and whatever the platform reports meanwhile
    QCOMPARE(FileBytes(Settings()), stored);
}

void TestWindowEndToEnd::userChangesWritten_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QRect>("expected");
    const QRect start = TopRight();
    const int screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    QTest::newRow("resized from the bottom left corner")
        << "corner" << QRect(start.x() - 60, 0, 365, 127);
    QTest::newRow("resized from the left edge") << "edge" << QRect(start.x() + 40, 0, 265, 97);
    QTest::newRow("fitted to the bottom left") << "fit" << QRect(0, screenHeight - 97, 305, 97);
}

// The user's own changes are written, on a platform with real windows.
void TestWindowEndToEnd::userChangesWritten() {
    QFETCH(QString, change);
    QFETCH(QRect, expected);
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    const QRect g = TopRight();
    if (change == "corner") {
        DragFrom(QPoint(g.left() + 2, g.bottom() - 2), QPoint(-60, 30));
    } else if (change == "edge") {
        DragFrom(QPoint(g.left() + 1, g.top() + 40), QPoint(40, 0));
    } else {
        const QPoint at = g.center();
        Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "3"});
        QVERIFY2(WaitForLight(QRect(at, QSize(40, 20)), 5000), "the popup menu did not open");
        // "Fit window with...", then its third item.
        Xdotool(
            {"key", "--delay", "100", "Down", "Down", "Down", "Right", "Down", "Down", "Return"});
    }
    QTRY_COMPARE_WITH_TIMEOUT(WindowGeometry(window), expected, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(WindowKeys(Settings()), KeysOf(expected), 5000);
}

// The caption as given, and no taskbar entry for the dialog or its colour chooser.
void TestWindowEndToEnd::dialogCaptionAndTaskbar() {
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    const qulonglong dialog = OpenProperty(TopRight());
    QVERIFY2(dialog != 0, "no window captioned \"Property\" appeared");
    QCOMPARE(Property(dialog, "_NET_WM_NAME"), QString("_NET_WM_NAME(UTF8_STRING) = \"Property\""));
    QVERIFY2(Property(dialog, "WM_NAME").endsWith(" = \"Property\""),
             qPrintable(Property(dialog, "WM_NAME")));
    QCOMPARE(Property(dialog, "WM_TRANSIENT_FOR"),
             QString("WM_TRANSIENT_FOR(WINDOW): window id # 0x%1").arg(window, 0, 16));
    QVERIFY2(Property(dialog, "_NET_WM_STATE").contains("_NET_WM_STATE_SKIP_TASKBAR"),
             qPrintable(Property(dialog, "_NET_WM_STATE")));

    // The colour chooser, from the swatch of the receive line.
    const QPoint d = WindowPosition(dialog);
    Xdotool(
        {"mousemove", QString::number(d.x() + 220), QString::number(d.y() + 100), "click", "1"});
    const qulonglong chooser = FindWindow("Select Color", 5000);
    QVERIFY2(chooser != 0, "the colour chooser did not appear");
    QCOMPARE(Property(chooser, "WM_TRANSIENT_FOR"),
             QString("WM_TRANSIENT_FOR(WINDOW): window id # 0x%1").arg(dialog, 0, 16));
    QVERIFY2(Property(chooser, "_NET_WM_STATE").contains("_NET_WM_STATE_SKIP_TASKBAR"),
             qPrintable(Property(chooser, "_NET_WM_STATE")));
    Xdotool({"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(!Viewable(chooser), 5000);
}

// A folder that refuses the settings file: one box across ten moves, and each move ends where
// the pointer let go.
void TestWindowEndToEnd::refusedWriteShownOnce() {
    StartProgram();
    const qulonglong window = WaitForWindow(TopRight());
    QVERIFY(window != 0);
    // A settings file that refuses writes (a read-only folder would send them to the user's
    // configuration folder instead).
    const QString file = Settings();
    if (!QFile::exists(file)) QVERIFY(WriteFileBytes(file, QByteArray()));
    const QByteArray before = FileBytes(file);
    const QFile::Permissions readOnly = QFile::ReadOwner;
    QVERIFY(QFile::setPermissions(file, readOnly));
    const auto writable = qScopeGuard(
        [file, readOnly] { QFile::setPermissions(file, readOnly | QFile::WriteOwner); });

    QSet<qulonglong> boxes;
    QRect at = TopRight();
    for (int move = 0; move < 10; ++move) {
        const QPoint by = move % 2 == 0 ? QPoint(-200, 150) : QPoint(200, -150);
        DragFrom(at.center(), by);
        at.translate(by);
        QTRY_COMPARE_WITH_TIMEOUT(WindowGeometry(window), at, 5000);
        if (move == 0) QTRY_VERIFY_WITH_TIMEOUT(!Boxes(window).isEmpty(), 5000);
        for (const qulonglong box : Boxes(window)) {
            boxes.insert(box);
            Xdotool({"key", "Return"}); // the box has the focus
        }
        QTRY_VERIFY_WITH_TIMEOUT(Boxes(window).isEmpty(), 5000);
    }
    QTest::qWait(500); // a box after the last move would be up by now
    QVERIFY(Boxes(window).isEmpty());
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(FileBytes(file), before);
}

QTEST_MAIN(TestWindowEndToEnd)
#include "tst_window_e2e.moc"
