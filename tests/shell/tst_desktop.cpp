// A window kept off the taskbar on a real X server without a window manager, where the
// state list holds exactly what the program and the toolkit wrote.
#include "ZDesktop.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QWidget>

namespace {

// The window's _NET_WM_STATE as xprop prints it.
QString States(const QWidget& window) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(window.winId()), "_NET_WM_STATE"});
    xprop.waitForFinished();
    return QString::fromLatin1(xprop.readAllStandardOutput());
}

// Its system window can be dropped, as the toolkit does when a window changes its kind.
class TRecreatable : public QWidget {
public:
    using QWidget::destroy;
    using QWidget::QWidget;
};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keptOffTaskbar_data();
    void keptOffTaskbar();
};

void TestDesktop::keptOffTaskbar_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("onTop");
    QTest::newRow("first showing") << "first" << false;
    QTest::newRow("first showing, on top") << "first" << true;
    QTest::newRow("shown again") << "again" << true;
    QTest::newRow("a new system window") << "new window" << true;
}

// Once each time, beside the toolkit's own states, however often the window shows.
void TestDesktop::keptOffTaskbar() {
    QFETCH(QString, how);
    QFETCH(bool, onTop);
    if (QGuiApplication::platformName() != "xcb") QSKIP("needs the X11 platform");
    TRecreatable window(nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                     (onTop ? Qt::WindowStaysOnTopHint : Qt::Widget));
    window.resize(60, 40);
    KeepOffTaskbar(window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (how == "again") {
        window.hide();
        window.show();
    } else if (how == "new window") {
        window.hide();
        window.destroy();
        window.show();
    }
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString states = States(window);
    QCOMPARE(states.count("_NET_WM_STATE_SKIP_TASKBAR"), 1);
    QCOMPARE(states.count("_NET_WM_STATE_ABOVE"), onTop ? 1 : 0);
}

int main(int argc, char** argv) {
    // A private X server comes without a session bus.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
