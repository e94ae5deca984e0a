// A window kept off the taskbar on a real X server without a window manager, where the
// state list holds exactly what the program and the toolkit wrote.
#include "ZDesktop.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

xcb_connection_t* Connection() {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The names in the window's _NET_WM_STATE, in order.
QStringList States(const QWidget& window) {
    xcb_connection_t* c = Connection();
    const QByteArray name = "_NET_WM_STATE";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, name.size(), name.constData()), nullptr);
    QStringList names;
    if (!atom) return names;
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c,
                               xcb_get_property(c, 0, static_cast<xcb_window_t>(window.winId()),
                                                atom->atom, XCB_ATOM_ATOM, 0, 64),
                               nullptr);
    std::free(atom);
    const auto* atoms = r ? static_cast<const xcb_atom_t*>(xcb_get_property_value(r)) : nullptr;
    for (int i = 0; r && i < xcb_get_property_value_length(r) / 4; ++i) {
        xcb_get_atom_name_reply_t* n =
            xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atoms[i]), nullptr);
        if (n)
            names << QString::fromLatin1(xcb_get_atom_name_name(n),
                                         xcb_get_atom_name_name_length(n));
        std::free(n);
    }
    std::free(r);
    return names;
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
    if (!Connection()) QSKIP("needs the X11 platform");
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
    const QStringList states = States(window);
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
