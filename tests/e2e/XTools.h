// Small helpers of the end-to-end tests: the program's files, the X tools they drive
// the program with, and what they read back from the screen and the settings file.
#pragma once

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

namespace xtools {

// What a private copy of the program needs: the program and its two agent libraries.
inline QStringList ProgramFiles() {
    return {QString::fromLocal8Bit(SORVANE_PROGRAM), QString::fromLocal8Bit(SORVANE_AGENT),
            QString::fromLocal8Bit(SORVANE_UTILITY)};
}

// The "key=value" lines of one section of an INI text, in their order.
inline QStringList SectionLines(const QByteArray& text, const QString& section) {
    QStringList lines;
    bool inside = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('['))
            inside = line == '[' + section + ']';
        else if (inside && line.contains('='))
            lines.append(line);
    }
    return lines;
}

// Runs the tool with the arguments and returns what it printed.
inline QString Run(const QString& tool, const QStringList& arguments) {
    QProcess p;
    p.start(tool, arguments);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

inline QString Xdotool(const QStringList& arguments) {
    return Run(QStringLiteral("xdotool"), arguments);
}

// The visible windows named exactly title.
inline QList<qulonglong> VisibleWindows(const QString& title) {
    QList<qulonglong> windows;
    const QString out = Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"});
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
        windows.append(line.toULongLong());
    return windows;
}

// The first visible window named exactly title, waiting up to timeoutMs; 0 if none.
inline qulonglong FindWindow(const QString& title, int timeoutMs) {
    QList<qulonglong> windows;
    const bool found = QTest::qWaitFor(
        [&] {
            windows = VisibleWindows(title);
            return !windows.isEmpty();
        },
        timeoutMs);
    return found ? windows.first() : 0;
}

// The window's place on the screen and its size; empty if it is gone.
inline QRect WindowGeometry(qulonglong window) {
    const QString out = Xdotool({"getwindowgeometry", "--shell", QString::number(window)});
    auto value = [&out](const char* key) {
        return QRegularExpression(QString("\\b%1=(-?\\d+)").arg(key))
            .match(out)
            .captured(1)
            .toInt();
    };
    return {value("X"), value("Y"), value("WIDTH"), value("HEIGHT")};
}

inline QPoint WindowPosition(qulonglong window) {
    return WindowGeometry(window).topLeft();
}

// The share of the area's pixels that pass the test, from a grab of the screen.
template <typename Test> double ShareOf(const QRect& area, Test test) {
    const QImage grab = QGuiApplication::primaryScreen()
                            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
    if (grab.isNull()) return 0;
    int n = 0;
    for (int y = 0; y < grab.height(); ++y)
        for (int x = 0; x < grab.width(); ++x)
            if (test(grab.pixel(x, y))) ++n;
    return double(n) / (grab.width() * grab.height());
}

// Waits until more than half the area passes the test.
template <typename Test> bool WaitForMost(const QRect& area, Test test, int timeoutMs) {
    return QTest::qWaitFor([&] { return ShareOf(area, test) > 0.5; }, timeoutMs);
}

// Waits until most of the area is light, as a menu face over the black graph is.
inline bool WaitForLight(const QRect& area, int timeoutMs) {
    return WaitForMost(
        area, [](QRgb p) { return qGray(p) > 150; }, timeoutMs);
}

// A left press at from, the pointer moved by the offset in steps a window manager follows,
// the release.
inline void DragFrom(const QPoint& from, const QPoint& by) {
    auto to = [](const QPoint& p) {
        return QStringList{"mousemove", QString::number(p.x()), QString::number(p.y())};
    };
    Xdotool(to(from));
    QTest::qWait(100);
    Xdotool({"mousedown", "1"});
    QTest::qWait(200);
    for (int step = 1; step <= 8; ++step) {
        Xdotool(to(from + by * step / 8));
        QTest::qWait(40);
    }
    QTest::qWait(200);
    Xdotool({"mouseup", "1"});
}

// The end-to-end cases run bare, or under openbox when SORVANE_E2E_WM says so.
inline bool WithWindowManager() {
    return qgetenv("SORVANE_E2E_WM") == "openbox";
}

inline bool WindowManagerRunning() {
    QProcess xprop;
    xprop.start("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
    xprop.waitForFinished(5000);
    return QString::fromLocal8Bit(xprop.readAllStandardOutput()).contains("window id");
}

// Starts openbox on the display with its own configuration and cache under home, nothing of
// the user's, and waits until it manages the screen.
inline void StartWindowManager(QProcess& wm, const QString& home) {
    QVERIFY2(!QStandardPaths::findExecutable("openbox").isEmpty(), "openbox is needed");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_CACHE_HOME", home + "/cache");
    wm.setProcessEnvironment(env);
    wm.setStandardOutputFile(QProcess::nullDevice());
    wm.setStandardErrorFile(QProcess::nullDevice());
    QStringList arguments{"--sm-disable"};
    if (QFile::exists("/etc/xdg/openbox/rc.xml"))
        arguments << "--config-file"
                  << "/etc/xdg/openbox/rc.xml";
    wm.start("openbox", arguments);
    QVERIFY(wm.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(WindowManagerRunning(), 15000);
}

} // namespace xtools
