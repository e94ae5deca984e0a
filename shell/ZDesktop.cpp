#include "ZDesktop.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPoint>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

namespace {

struct TFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using TReply = std::unique_ptr<T, TFree>;

const QString kKeeperName = QStringLiteral("KeepOffTaskbar");

// The X connection where the platform is X11; none elsewhere.
xcb_connection_t* Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    const TReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t RootOf(xcb_connection_t* c, xcb_window_t w) {
    const TReply<xcb_get_geometry_reply_t> r(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
    return r ? r->root : xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

std::vector<xcb_atom_t> AtomList(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property) {
    const TReply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, property, XCB_ATOM_ATOM, 0, 1024), nullptr));
    if (!r || r->format != 32 || r->type != XCB_ATOM_ATOM) return {};
    const auto* first = static_cast<const xcb_atom_t*>(xcb_get_property_value(r.get()));
    return {first, first + xcb_get_property_value_length(r.get()) / 4};
}

// Adds the states to those the window will be mapped with. Only for a window that no window
// manager holds: a mapped one is asked for its states by message instead.
void AddStates(xcb_connection_t* c, xcb_window_t w, std::initializer_list<const char*> names) {
    const xcb_atom_t property = Atom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> states = AtomList(c, w, property);
    const std::size_t before = states.size();
    for (const char* name : names) {
        const xcb_atom_t a = Atom(c, name);
        if (a != XCB_ATOM_NONE && std::find(states.begin(), states.end(), a) == states.end())
            states.push_back(a);
    }
    if (states.size() != before)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, XCB_ATOM_ATOM, 32,
                            static_cast<std::uint32_t>(states.size()), states.data());
}

// No window manager holds the window: it has no WM_STATE, or a withdrawn one.
bool Withdrawn(xcb_connection_t* c, xcb_window_t w) {
    const xcb_atom_t wmState = Atom(c, "WM_STATE");
    const TReply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, wmState, wmState, 0, 2), nullptr));
    if (!r || r->format != 32 || xcb_get_property_value_length(r.get()) < 4) return true;
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(r.get())) == 0;
}

bool Viewable(xcb_connection_t* c, xcb_window_t w) {
    const TReply<xcb_get_window_attributes_reply_t> r(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
    return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
}

// A message about the window to the window manager, which listens on the root.
void SendToWindowManager(xcb_connection_t* c, xcb_window_t w, const char* type,
                         const std::array<std::uint32_t, 5>& data) {
    xcb_client_message_event_t e;
    std::memset(&e, 0, sizeof e);
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = w;
    e.type = Atom(c, type);
    std::copy(data.begin(), data.end(), e.data.data32);
    xcb_send_event(c, 0, RootOf(c, w),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&e));
    xcb_flush(c);
}

xcb_window_t Root(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

xcb_window_t WindowProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property) {
    const TReply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, property, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!r || r->format != 32 || xcb_get_property_value_length(r.get()) < 4) return 0;
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
}

// A window manager runs (its check window names itself; one that died leaves the root's
// properties behind) and says it supports the feature.
bool WindowManagerSupports(xcb_connection_t* c, xcb_window_t root, const char* feature) {
    const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t wm = WindowProperty(c, root, check);
    if (!wm || WindowProperty(c, wm, check) != wm) return false;
    const std::vector<xcb_atom_t> supported = AtomList(c, root, Atom(c, "_NET_SUPPORTED"));
    return std::find(supported.begin(), supported.end(), Atom(c, feature)) != supported.end();
}

xcb_window_t NativeWindow(const QWidget& window) {
    return window.windowHandle() ? static_cast<xcb_window_t>(window.internalWinId()) : 0;
}

// Sets the state from the show event, which comes after the window is made and before it is
// mapped; the toolkit then maps it with its own states added to this one.
class TTaskbarKeeper : public QObject {
public:
    explicit TTaskbarKeeper(QWidget* window) : QObject(window) { setObjectName(kKeeperName); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            xcb_connection_t* c = Connection();
            const xcb_window_t w = NativeWindow(*static_cast<QWidget*>(watched));
            if (c && w) AddStates(c, w, {"_NET_WM_STATE_SKIP_TASKBAR"});
        }
        return false;
    }
};

} // namespace

bool HasRealWindows() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void KeepOffTaskbar(QWidget& window) {
    if (window.findChild<QObject*>(kKeeperName, Qt::FindDirectChildrenOnly)) return;
    window.installEventFilter(new TTaskbarKeeper(&window));
}

void BringForward(QWidget& window) {
    xcb_connection_t* c = Connection();
    const xcb_window_t w = window.isVisible() && c ? NativeWindow(window) : 0;
    // Shown as far as the toolkit knows, yet not on the screen.
    const bool hidden = w && !Viewable(c, w);

    if (window.isMinimized()) window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
    if (!hidden) return;

    if (Withdrawn(c, w)) {
        // A window manager takes it in anew and reads its states again; it dropped them when
        // the window was withdrawn, and the toolkit sets them only on its own showing.
        if (window.findChild<QObject*>(kKeeperName, Qt::FindDirectChildrenOnly))
            AddStates(c, w, {"_NET_WM_STATE_SKIP_TASKBAR"});
        if (window.windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            AddStates(c, w, {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STAYS_ON_TOP"});
    }
    // Without a window manager this maps it; a window manager takes a map request of an iconic
    // window as the user's wish to have it back.
    xcb_map_window(c, w);
    // "Show desktop" hides windows without making them iconic: only activation brings one back.
    // Source 2, a direct user action: a second start or "Property...". The toolkit's own request
    // waits until the window is mapped, which here it may never be.
    SendToWindowManager(c, w, "_NET_ACTIVE_WINDOW", {2, XCB_CURRENT_TIME, 0, 0, 0});
}

bool LeftButtonHeld() {
    xcb_connection_t* c = Connection();
    if (!c) return QGuiApplication::mouseButtons().testFlag(Qt::LeftButton);
    const TReply<xcb_query_pointer_reply_t> r(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, Root(c)), nullptr));
    return r && (r->mask & XCB_BUTTON_MASK_1) != 0;
}

QPoint NativePointerPosition() {
    xcb_connection_t* c = Connection();
    if (!c) return QCursor::pos();
    const TReply<xcb_query_pointer_reply_t> r(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, Root(c)), nullptr));
    return r ? QPoint(r->root_x, r->root_y) : QCursor::pos();
}

bool StartSystemMoveResize(const QWidget& window, Qt::Edges edges, const QPoint& pressPoint) {
    xcb_connection_t* c = Connection();
    const xcb_window_t w = c ? NativeWindow(window) : 0;
    if (!w || !WindowManagerSupports(c, RootOf(c, w), "_NET_WM_MOVERESIZE")) return false;
    // _NET_WM_MOVERESIZE directions: from the top left corner clockwise, then 8, a move.
    const bool top = edges.testFlag(Qt::TopEdge), bottom = edges.testFlag(Qt::BottomEdge);
    const bool left = edges.testFlag(Qt::LeftEdge), right = edges.testFlag(Qt::RightEdge);
    std::uint32_t direction = 8;
    if (top)
        direction = left ? 0 : right ? 2 : 1;
    else if (bottom)
        direction = left ? 6 : right ? 4 : 5;
    else if (left)
        direction = 7;
    else if (right)
        direction = 3;
    // The press's own grab would keep the pointer from the window manager.
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    // The press point, not the pointer's place now: a window manager moves the window by the
    // pointer's way from there, the way it went before it took over included.
    SendToWindowManager(c, w, "_NET_WM_MOVERESIZE",
                        {static_cast<std::uint32_t>(pressPoint.x()),
                         static_cast<std::uint32_t>(pressPoint.y()), direction, 1, 1});
    return true;
}

void CancelSystemMoveResize(const QWidget& window) {
    xcb_connection_t* c = Connection();
    const xcb_window_t w = c ? NativeWindow(window) : 0;
    if (!w) return;
    constexpr std::uint32_t kCancel = 11; // _NET_WM_MOVERESIZE_CANCEL
    SendToWindowManager(c, w, "_NET_WM_MOVERESIZE", {0, 0, kCancel, 0, 1});
}
