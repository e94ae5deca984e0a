#include "ZDesktop.h"

#include "UnitZPerformanceGraph.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPoint>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>
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

// Asking for atoms is one request each; their replies come in one round trip when all of them
// are asked before the first reply is taken.
std::vector<xcb_intern_atom_cookie_t> AskAtoms(xcb_connection_t* c,
                                               std::initializer_list<const char*> names) {
    std::vector<xcb_intern_atom_cookie_t> asked;
    for (const char* name : names)
        asked.push_back(xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name));
    return asked;
}

std::vector<xcb_atom_t> AtomReplies(xcb_connection_t* c,
                                    const std::vector<xcb_intern_atom_cookie_t>& asked) {
    std::vector<xcb_atom_t> atoms;
    for (const xcb_intern_atom_cookie_t cookie : asked) {
        const TReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, cookie, nullptr));
        atoms.push_back(r ? r->atom : xcb_atom_t(XCB_ATOM_NONE));
    }
    return atoms;
}

std::vector<xcb_atom_t> Atoms(xcb_connection_t* c, std::initializer_list<const char*> names) {
    return AtomReplies(c, AskAtoms(c, names));
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    return Atoms(c, {name}).front();
}

// Adds the states (atoms, the first of them _NET_WM_STATE) to those the window will be mapped
// with. Only for a window that no window manager holds: a mapped one is asked for its states
// by message instead. A window never shown holds no state but the toolkit's own: the states are
// appended to it without asking the server for the list first.
void AddStateAtoms(xcb_connection_t* c, xcb_window_t w, const std::vector<xcb_atom_t>& atoms,
                   bool neverShown = false) {
    if (atoms.empty() || atoms.front() == XCB_ATOM_NONE) return;
    const xcb_atom_t property = atoms.front();
    std::vector<xcb_atom_t> states =
        neverShown ? std::vector<xcb_atom_t>() : AtomList(c, w, property);
    const std::size_t before = states.size();
    for (auto a = atoms.begin() + 1; a != atoms.end(); ++a)
        if (*a != XCB_ATOM_NONE && std::find(states.begin(), states.end(), *a) == states.end())
            states.push_back(*a);
    if (states.size() != before)
        xcb_change_property(c, neverShown ? XCB_PROP_MODE_APPEND : XCB_PROP_MODE_REPLACE, w,
                            property, XCB_ATOM_ATOM, 32, static_cast<std::uint32_t>(states.size()),
                            states.data());
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
// mapped; the toolkit then maps it with its own states added to this one. The atoms are asked
// for when the keeper is made, so the show does not wait for them.
class TTaskbarKeeper : public QObject {
public:
    explicit TTaskbarKeeper(QWidget* window) : QObject(window), FConnection(Connection()) {
        setObjectName(kKeeperName);
        if (FConnection)
            FAsked = AskAtoms(FConnection, {"_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR"});
    }

    ~TTaskbarKeeper() override {
        for (const xcb_intern_atom_cookie_t cookie : FAsked)
            xcb_discard_reply(FConnection, cookie.sequence);
    }

    // Adds the state to the window (see AddStateAtoms).
    void AddTo(xcb_window_t w, bool neverShown = false) {
        if (!FConnection || !w) return;
        if (!FAsked.empty()) FAtoms = AtomReplies(FConnection, std::exchange(FAsked, {}));
        AddStateAtoms(FConnection, w, FAtoms, neverShown);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            const xcb_window_t w = NativeWindow(*static_cast<QWidget*>(watched));
            AddTo(w, w != FShownBefore);
            FShownBefore = w;
        }
        return false;
    }

private:
    xcb_connection_t* const FConnection;
    std::vector<xcb_intern_atom_cookie_t> FAsked;
    std::vector<xcb_atom_t> FAtoms;
    xcb_window_t FShownBefore = 0; // the system window of the last showing
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
        if (QObject* keeper = window.findChild<QObject*>(kKeeperName, Qt::FindDirectChildrenOnly))
            static_cast<TTaskbarKeeper*>(keeper)->AddTo(w);
        if (window.windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            AddStateAtoms(
                c, w,
                Atoms(c, {"_NET_WM_STATE", "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STAYS_ON_TOP"}));
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

namespace {

// The graph's copy in a pixmap of the X server, with the window's depth. It serves only a
// window whose pixels are 32-bit words 0x00RRGGBB in the byte order of this machine, which
// is how the graph hands them over; any other window is left to the backing store.
class TXcbGraphPresenter final : public TZGraphPresenter {
public:
    // The application's connection lasts as long as it does: looked up once, not every tick.
    explicit TXcbGraphPresenter(xcb_connection_t* connection) : FConnection(connection) {}

    ~TXcbGraphPresenter() override {
        // The pixmap lives as long as the connection; a connection that is gone took it along.
        if (qGuiApp && FConnection == Connection()) Release();
    }

    bool Prepare(QWindow* window, QSize size, bool& kept) override {
        kept = false;
        if (!window || size.isEmpty() || size.width() > 0x7FFF || size.height() > 0x7FFF)
            return false;
        const auto id = static_cast<xcb_window_t>(window->winId());
        if (id == FWindow && size == FSize) {
            kept = FPixmap != 0;
            return kept;
        }
        Release();
        FWindow = id;
        FSize = size;
        const std::uint8_t depth = WordDepth(FConnection, id);
        if (!depth) return false; // and stays so for this window and size
        FPixmap = xcb_generate_id(FConnection);
        xcb_create_pixmap(FConnection, depth, FPixmap, id, static_cast<std::uint16_t>(size.width()),
                          static_cast<std::uint16_t>(size.height()));
        FGc = xcb_generate_id(FConnection);
        const std::uint32_t noExposures = 0;
        xcb_create_gc(FConnection, FGc, FPixmap, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
        FDepth = depth;
        return true;
    }

    void ScrollLeft() override {
        xcb_copy_area(FConnection, FPixmap, FPixmap, FGc, 1, 0, 0, 0,
                      static_cast<std::uint16_t>(FSize.width() - 1),
                      static_cast<std::uint16_t>(FSize.height()));
    }

    void Put(const QRect& rect, const QRgb* pixels) override {
        const QRect part = rect & QRect(QPoint(0, 0), FSize);
        if (part != rect || rect.width() * rect.height() > kPutPixels) return;
        xcb_put_image(
            FConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, FPixmap, FGc,
            static_cast<std::uint16_t>(rect.width()), static_cast<std::uint16_t>(rect.height()),
            static_cast<std::int16_t>(rect.x()), static_cast<std::int16_t>(rect.y()), 0, FDepth,
            static_cast<std::uint32_t>(sizeof(QRgb) * rect.width() * rect.height()),
            reinterpret_cast<const std::uint8_t*>(pixels));
    }

    void Show(const QPoint& at) override {
        xcb_copy_area(FConnection, FPixmap, FWindow, FGc, 0, 0, static_cast<std::int16_t>(at.x()),
                      static_cast<std::int16_t>(at.y()), static_cast<std::uint16_t>(FSize.width()),
                      static_cast<std::uint16_t>(FSize.height()));
        xcb_flush(FConnection);
    }

private:
    void Release() {
        if (!FPixmap) return;
        xcb_free_gc(FConnection, FGc);
        xcb_free_pixmap(FConnection, FPixmap);
        FPixmap = 0;
    }

    // The window's depth when its pixels are words 0x00RRGGBB in this machine's byte order;
    // 0 otherwise.
    static std::uint8_t WordDepth(xcb_connection_t* c, xcb_window_t w) {
        const TReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
        const TReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
        if (!attributes || !geometry) return 0;
        const xcb_setup_t* setup = xcb_get_setup(c);
        const bool hostLsb = std::endian::native == std::endian::little;
        if (setup->image_byte_order !=
            (hostLsb ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST))
            return 0;
        const std::uint8_t depth = geometry->depth;
        bool words = false;
        for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
            if (f.data->depth == depth) words = f.data->bits_per_pixel == 32;
        if (!words) return 0;
        for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
            for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d)) {
                if (d.data->depth != depth) continue;
                for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                    if (v.data->visual_id == attributes->visual)
                        return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                                       v.data->red_mask == 0xFF0000u &&
                                       v.data->green_mask == 0x00FF00u &&
                                       v.data->blue_mask == 0x0000FFu
                                   ? depth
                                   : 0;
            }
        return 0;
    }

    xcb_connection_t* const FConnection;
    xcb_window_t FWindow = 0;
    QSize FSize;
    xcb_pixmap_t FPixmap = 0;
    xcb_gcontext_t FGc = 0;
    std::uint8_t FDepth = 0;
};

} // namespace

std::unique_ptr<TZGraphPresenter> NewGraphPresenter() {
    xcb_connection_t* c = Connection();
    if (!c) return nullptr;
    return std::make_unique<TXcbGraphPresenter>(c);
}
