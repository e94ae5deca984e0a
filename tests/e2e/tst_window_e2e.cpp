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

bool WindowManagerRunning() {
    return Xprop({"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
}

bool WithWindowManager() {
    return qgetenv("SORVANE_E2E_WM") == "openbox";
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
    QVERIFY2(!QStandardPaths::findExecutable("openbox").isEmpty(), "openbox is needed");
    QVERIFY(FHome.isValid());
    // Its own configuration and cache: nothing of the user's.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", FHome.filePath("config"));
    env.insert("XDG_CACHE_HOME", FHome.filePath("cache"));
    FWindowManager.setProcessEnvironment(env);
    FWindowManager.setStandardOutputFile(QProcess::nullDevice());
    FWindowManager.setStandardErrorFile(QProcess::nullDevice());
    QStringList arguments{"--sm-disable"};
    if (QFile::exists("/etc/xdg/openbox/rc.xml"))
        arguments << "--config-file"
                  << "/etc/xdg/openbox/rc.xml";
    FWindowManager.start("openbox", arguments);
    QVERIFY(FWindowManager.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(WindowManagerRunning(), 15000);
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
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestWindowEndToEnd::signalEndsLikeExit() {
    QFETCH(int, signal);
    StartProgram();
    QVERIFY(WaitForWindow(TopRight()) != 0);
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

QTEST_MAIN(TestWindowEndToEnd)
#include "tst_window_e2e.moc"
