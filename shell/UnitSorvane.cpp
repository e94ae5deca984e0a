#include "UnitSorvane.h"

#include "ZDesktop.h"
#include "ZMenuAccelerators.h"
#include "ZReadoutBox.h"
#include "ZRelationFile.h"
#include "ZSNMPRemote.h"
#include "ZTrafficFigures.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h> // malloc_trim
#endif

int SorvaneHitTest(int x, int y, int w, int h) {
    if (y <= 4) return x < 16 ? HTTOPLEFT : x > w - 17 ? HTTOPRIGHT : HTTOP;
    if (y >= h - 5) return x < 16 ? HTBOTTOMLEFT : x > w - 17 ? HTBOTTOMRIGHT : HTBOTTOM;
    if (x <= 4) return y < 16 ? HTTOPLEFT : y > h - 17 ? HTBOTTOMLEFT : HTLEFT;
    if (x >= w - 5) return y < 16 ? HTTOPRIGHT : y > h - 17 ? HTBOTTOMRIGHT : HTRIGHT;
    return HTCLIENT;
}

QPoint SorvaneFitPosition(int tag, const QRect& screen, const QRect& window) {
    QPoint p = window.topLeft();
    if (tag != 1 && tag != 3 && tag != 7 && tag != 9) return p;
    p.setX(tag == 1 || tag == 7 ? screen.x() : screen.x() + screen.width() - window.width());
    p.setY(tag == 1 || tag == 3 ? screen.y() + screen.height() - window.height() : screen.y());
    return p;
}

QRect SorvaneScreenOf(const QRect& window, const QList<QRect>& screens, const QRect& fallback) {
    QRect best = fallback;
    qint64 bestArea = 0;
    for (const QRect& s : screens) {
        const QRect common = s.intersected(window);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = s;
            bestArea = area;
        }
    }
    return best;
}

namespace {

// An axis-parallel line from (x0, y0) towards (x1, y1): the start pixel is drawn,
// the end pixel is not.
void Line(QPainter& p, int x0, int y0, int x1, int y1, const QColor& c) {
    if (y0 == y1 && x0 != x1)
        p.fillRect(x1 > x0 ? QRect(x0, y0, x1 - x0, 1) : QRect(x1 + 1, y0, x0 - x1, 1), c);
    else if (x0 == x1 && y0 != y1)
        p.fillRect(y1 > y0 ? QRect(x0, y0, 1, y1 - y0) : QRect(x0, y1 + 1, 1, y0 - y1), c);
}

Qt::Edges EdgesOf(int zone) {
    switch (zone) {
    case HTLEFT:
        return Qt::LeftEdge;
    case HTRIGHT:
        return Qt::RightEdge;
    case HTTOP:
        return Qt::TopEdge;
    case HTBOTTOM:
        return Qt::BottomEdge;
    case HTTOPLEFT:
        return Qt::TopEdge | Qt::LeftEdge;
    case HTTOPRIGHT:
        return Qt::TopEdge | Qt::RightEdge;
    case HTBOTTOMLEFT:
        return Qt::BottomEdge | Qt::LeftEdge;
    case HTBOTTOMRIGHT:
        return Qt::BottomEdge | Qt::RightEdge;
    default:
        return {};
    }
}

Qt::CursorShape CursorOf(int zone) {
    switch (zone) {
    case HTLEFT:
    case HTRIGHT:
        return Qt::SizeHorCursor;
    case HTTOP:
    case HTBOTTOM:
        return Qt::SizeVerCursor;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return Qt::SizeFDiagCursor;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

constexpr int kMinWidth = 80;
constexpr int kMinHeight = 40;

// The place of a first start: the top right corner of the primary screen.
QPoint FirstStartPlace(const QSize& window) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {screen.x() + screen.width() - window.width(), screen.y()};
}

bool OnAnyScreen(const QRect& window) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(),
                       [&](const QScreen* s) { return s->geometry().intersects(window); });
}

} // namespace

void PaintSorvaneFrame(QPainter& p, int w, int h, const QColor& light, const QColor& dark) {
    const int r = w - 1, b = h - 1;
    for (int a = 0; a <= 1; ++a) {
        Line(p, a, b - a, a, a, light);
        Line(p, a, a, r - a, a, light);
        Line(p, r - a, a, r - a, b - a, dark);
        Line(p, r - a, b - a, a, b - a, dark);
    }
    // Resize marks where the corner zones end: dark, dark, light from top or left.
    const int middle[8][4] = {
        {0, 16, 4, 16}, {r, 16, r - 4, 16}, {0, b - 16, 4, b - 16}, {r, b - 16, r - 4, b - 16},
        {16, 0, 16, 4}, {16, b, 16, b - 4}, {r - 16, 0, r - 16, 4}, {r - 16, b, r - 16, b - 4}};
    const int before[8][4] = {{1, 15, 4, 15},         {r - 1, 15, r - 4, 15},
                              {1, b - 17, 4, b - 17}, {r - 1, b - 17, r - 4, b - 17},
                              {15, 1, 15, 4},         {15, b - 1, 15, b - 4},
                              {r - 17, 1, r - 17, 4}, {r - 17, b - 1, r - 17, b - 4}};
    const int after[8][4] = {{1, 17, 4, 17},         {r - 1, 17, r - 4, 17},
                             {1, b - 15, 4, b - 15}, {r - 1, b - 15, r - 4, b - 15},
                             {17, 1, 17, 4},         {17, b - 1, 17, b - 4},
                             {r - 15, 1, r - 15, 4}, {r - 15, b - 1, r - 15, b - 4}};
    for (const auto& l : middle)
        Line(p, l[0], l[1], l[2], l[3], dark);
    for (const auto& l : before)
        Line(p, l[0], l[1], l[2], l[3], dark);
    for (const auto& l : after)
        Line(p, l[0], l[1], l[2], l[3], light);
}

QString WriteRefusedMessage(const std::string& fileName) {
    return QCoreApplication::translate("TFormSorvane", "Cannot write to %1")
        .arg(QFile::decodeName(QByteArray::fromStdString(fileName)));
}

void ShowWriteRefused(const std::string& fileName) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    // Over the window in use, which may be a stay-on-top one.
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle),
                    WriteRefusedMessage(fileName), QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText); // a path is never markup
    box.exec();
}

// ---------------------------------------------------------------------------

namespace {
#include "SorvaneIconPixels.inc"
} // namespace

TFormSorvane::TFormSorvane(const instance::TInstanceNames& instance,
                           std::shared_ptr<TZSNMPMIBSharedTable> table)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), FInstance(instance),
      FSharedTable(table ? std::move(table) : std::make_shared<TZSNMPMIBSharedTable>()) {
    ui.setupUi(this);
    FormCreate();
}

TFormSorvane::~TFormSorvane() {
    FormDestroy();
}

void TFormSorvane::FormCreate() {
    setMinimumSize(kMinWidth, kMinHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);

    FTimer = new QTimer(this);
    FTimer->setInterval(1000);
    // A coarse timer would be moved onto the half seconds where every other coarse timer of
    // the desktop fires, so that each sample waits in line with them; samples a whole second
    // apart from the start cost less and keep their spacing exact.
    FTimer->setTimerType(Qt::PreciseTimer);
    connect(FTimer, &QTimer::timeout, this, &TFormSorvane::TimerTimer);

    for (QAction* item : {ui.MenuFit7, ui.MenuFit9, ui.MenuFit1, ui.MenuFit3})
        connect(item, &QAction::triggered, this,
                [this, item] { MenuFitClick(item->property("tag").toInt()); });
    connect(ui.MenuProperty, &QAction::triggered, this, &TFormSorvane::MenuPropertyClick);
    connect(ui.MenuStayontop, &QAction::triggered, this, &TFormSorvane::MenuStayontopClick);
    connect(ui.MenuExit, &QAction::triggered, this, &TFormSorvane::MenuExitClick);

    FRefusalTimer = new QTimer(this);
    FRefusalTimer->setSingleShot(true);
    FRefusalTimer->setInterval(100);
    connect(FRefusalTimer, &QTimer::timeout, this, &TFormSorvane::ShowRefusalsDue);
    KeepOffTaskbar(*this);

    // Other processes find the message port through the shared block.
    if (!FInstance.Directory.empty() && FPort.Open(FInstance.Directory)) {
        FPortNotifier = new QSocketNotifier(FPort.ListenFd(), QSocketNotifier::Read, this);
        connect(FPortNotifier, &QSocketNotifier::activated, this, &TFormSorvane::ReceivePort);
        if (FShareHandle.Open(FInstance.SharePath())) FShareHandle.Write(FPort.Number());
    }

    move(FirstStartPlace(size()));

    // The graph, 4 pixels inside.
    PerformanceGraph = new TZPerformanceGraph(this);
    PerformanceGraph->SetPresenter(NewGraphPresenter());
    // Only placed: its image is built once, when the settings are in (the refresh below).
    PerformanceGraph->setGeometry(4, 4, width() - 8, height() - 8);
    PerformanceGraph->setMouseTracking(true);
    PerformanceGraph->installEventFilter(this);
    PerformanceGraph->OnMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x,
                                           int y) { GraphMouseDown(b, m, x, y); };

    // Receive first: it is drawn and sampled first.
    ReceiveSource = new TZPerformanceSourceSNMPMIB(this, FSharedTable);
    ReceiveSource->SetGraph(PerformanceGraph);
    ReceiveSource->SetChoice(0);
    ReceiveSource->SetSelect(TZSNMPMIBIFSelect::zifInOctets);
    SendSource = new TZPerformanceSourceSNMPMIB(this, FSharedTable);
    SendSource->SetGraph(PerformanceGraph);
    SendSource->SetChoice(0);
    SendSource->SetSelect(TZSNMPMIBIFSelect::zifOutOctets);

    FLoading = true;
    const TIniFile settingsFile = SettingsFile().Snapshot();
    const TSettings s = ReadSettings(settingsFile, CurrentBounds());
    // A secret typed into the file by hand is the user's alone from now on.
    KeepSecretsPrivate(settingsFile);
    FWindowBounds = s.Window;
    FReadoutUnit = s.ScaleUnit; // the unit changes only with the dialog's "Ok", below
    FAutoScale = s.AutoScale;
    ApplyProperty(s, false); // the first reading follows below
    PerformanceGraph->Refresh();
    ApplyStayOnTop(s.StayOnTop);

    // The first tick measures only what flows from now on.
    RefreshAndFollow();
    ReceiveSource->PrimeReading();
    SendSource->PrimeReading();

    PostUserMessage(TUserMessage::ShowStored);
    // After the showing, from pixels compiled in: no decoder and no image plugin is loaded.
    QTimer::singleShot(0, this, [this] {
        const QImage icon(reinterpret_cast<const uchar*>(kIconPixels), kIconWidth, kIconHeight,
                          QImage::Format_ARGB32);
        setWindowIcon(QIcon(QPixmap::fromImage(icon)));
#ifdef __GLIBC__
        // The last step of the start: the pages its temporaries freed (the decoder's among
        // them) would otherwise stay resident for as long as the meter runs.
        malloc_trim(0);
#endif
    });
    FTimer->start();
}

// Made when first needed: nobody may ever open it, and the window shows sooner without it.
QMenu* TFormSorvane::PopupMenu() {
    if (FPopupMenu) return FPopupMenu;
    FPopupMenu = new QMenu(this);
    FPopupMenu->addAction(ui.MenuProperty);
    FPopupMenu->addAction(ui.MenuStayontop);
    QMenu* fit = FPopupMenu->addMenu(QStringLiteral("Fit window with..."));
    for (QAction* item : {ui.MenuFit7, ui.MenuFit9, ui.MenuFit1, ui.MenuFit3})
        fit->addAction(item);
    // Additions come before "Exit", which stays last.
    FMenuAutoScale = FPopupMenu->addAction(QStringLiteral("Auto scale"));
    FMenuAutoScale->setCheckable(true);
    FMenuAutoScale->setChecked(FAutoScale);
    connect(FMenuAutoScale, &QAction::triggered, this, &TFormSorvane::MenuAutoScaleClick);
    FPopupMenu->addSeparator();
    FPopupMenu->addAction(ui.MenuExit);
    FMenuAccelerators = new TZMenuAccelerators(this);
    for (const auto& [action, letter] : {std::pair{ui.MenuProperty, u'P'},
                                         {ui.MenuStayontop, u'S'},
                                         {fit->menuAction(), u'F'},
                                         {FMenuAutoScale, u'A'},
                                         {ui.MenuExit, u'X'},
                                         {ui.MenuFit7, u'7'},
                                         {ui.MenuFit9, u'9'},
                                         {ui.MenuFit1, u'1'},
                                         {ui.MenuFit3, u'3'}})
        FMenuAccelerators->SetLetter(action, letter);
    FMenuAccelerators->Watch(FPopupMenu);
    FMenuAccelerators->Watch(fit);
    return FPopupMenu;
}

void TFormSorvane::ApplyProperty(const TSettings& s, bool anotherStartsAfresh) {
    // Another machine's table, or this one's again: its rows are other interfaces.
    const bool otherAgent = s.Agent != FAgent;
    if (otherAgent) {
        FAgent = s.Agent;
        TZSNMPMIBSharedTable::TLoaderFactory remote;
        if (FAgent.Remote())
            remote = [agent = FAgent] { return std::make_unique<TZSNMPRemoteLoader>(agent); };
        FSharedTable->SetLoaderOverride(std::move(remote));
    }
    FFollowRoute = s.FollowRoute;
    // Naming the interface in use (to follow it from now on) is no other interface.
    const bool another = otherAgent || s.Interface != CurrentInterface();
    FFollowName = s.InterfaceName;
    StartOrStopRouteFollowing();
    // The uplink decides while it is followed, not the list's pick.
    if (FRouteWatch && FUplinkKnown) FFollowName = FUplink.Name();
    UpdateNameColumn();
    FInterface = s.Interface;
    if (another || s.Interface != ReceiveSource->Choice() || s.Interface != SendSource->Choice()) {
        for (TZPerformanceSourceSNMPMIB* source : {ReceiveSource, SendSource})
            source->SetChoice(s.Interface);
        if (another && anotherStartsAfresh) {
            // Another interface starts afresh; the one in use keeps its history.
            ReceiveSource->Clear();
            SendSource->Clear();
            RefreshAndFollow();
            ReceiveSource->PrimeReading();
            SendSource->PrimeReading();
        } else {
            FollowInterface();
        }
    }
    FManualScale = s.Scale;
    for (TZPerformanceSourceSNMPMIB* source : {ReceiveSource, SendSource}) {
        if (!FAutoScale) source->Max = s.Scale;
        source->Delay = s.Delay;
    }
    TZPerformanceGraph* g = PerformanceGraph;
    g->SetCurve(s.Curve);
    g->SetGamma(s.Gamma);
    ReceiveSource->SetColor(s.ReceiveColor);
    SendSource->SetColor(s.SendColor);
    g->SetGridCurve(s.GridCurve);
    g->SetGridGamma(s.GridGamma);
    g->SetHGrid(s.HGrid);
    g->SetHGridSpace(s.HGridSpace);
    g->SetHGridColor(s.HGridColor);
    g->SetVGrid(s.VGrid);
    g->SetVGridSpace(s.VGridSpace);
    g->SetVGridColor(s.VGridColor);
}

TSettings TFormSorvane::CurrentSettings() const {
    TSettings s;
    s.Window = FWindowBounds;
    // The send source holds the same interface, scale and delay.
    s.Interface = CurrentInterface();
    s.InterfaceName = FFollowName;
    s.Scale = FAutoScale ? FManualScale : ReceiveSource->Max;
    s.AutoScale = FAutoScale;
    s.Delay = ReceiveSource->Delay;
    s.ReceiveColor = ReceiveSource->Color();
    s.SendColor = SendSource->Color();
    const TZPerformanceGraph* g = PerformanceGraph;
    s.Curve = g->Curve();
    s.Gamma = g->Gamma();
    s.GridCurve = g->GridCurve();
    s.GridGamma = g->GridGamma();
    s.HGrid = g->HGrid();
    s.HGridSpace = g->HGridSpace();
    s.HGridColor = g->HGridColor();
    s.VGrid = g->VGrid();
    s.VGridSpace = g->VGridSpace();
    s.VGridColor = g->VGridColor();
    s.StayOnTop = StayOnTop();
    s.FollowRoute = FFollowRoute;
    const TIniFile ini = SettingsFile();
    ReadScaleSettings(ini, s.Scale, s);
    // The community and passphrases are the file's: an edit there counts at the next "Ok".
    s.Agent = ReadAgentSettings(ini);
    s.Agent.Host = FAgent.Host;
    return s;
}

bool TFormSorvane::ApplySettings(const TSettings& settings) {
    ApplyProperty(settings, true);
    // Saved as the live objects took it, but the texts only the dialog knows.
    TSettings saved = CurrentSettings();
    saved.ScaleText = settings.ScaleText;
    saved.ScaleUnit = settings.ScaleUnit;
    TIniFile ini = SettingsFile();
    const bool written = WritePropertySettings(ini, saved);
    WriteDone(ini.FileName(), written);
    if (!written) return false;
    FReadoutUnit = saved.ScaleUnit;
    PerformanceGraph->Refresh();
    return true;
}

void TFormSorvane::FormDestroy() {
    FShareHandle.Close();
}

void TFormSorvane::FormResize() {
    PerformanceGraph->SetBounds(4, 4, width() - 8, height() - 8);
    update(); // the frame depends on the size
}

TWindowBounds TFormSorvane::CurrentBounds() const {
    return {x(), y(), width(), height()};
}

bool TFormSorvane::StayOnTop() const {
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void TFormSorvane::ApplyStayOnTop(bool on) {
    ui.MenuStayontop->setChecked(on);
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (QWindow* handle = windowHandle()) {
        // Change the live window in place: no hide, no new system window.
        overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

void TFormSorvane::PostUserMessage(TUserMessage message) {
    ::PostUserMessage(this, message);
}

void TFormSorvane::ReceivePort() {
    for (const instance::TMessageRecord& r : FPort.Receive())
        QCoreApplication::postEvent(this, new TUserMessageEvent(r.Message, r.WParam, r.LParam));
    if (!FPort.PendingFds().empty()) QTimer::singleShot(50, this, &TFormSorvane::ReceivePort);
}

bool TFormSorvane::event(QEvent* event) {
    if (event->type() == TUserMessageEvent::EventType()) {
        const auto* m = static_cast<TUserMessageEvent*>(event);
        if (m->Message == WM_USER) UserMessage(m->WParam);
        return true;
    }
    return QWidget::event(event);
}

void TFormSorvane::UserMessage(std::uint32_t wParam) {
    switch (static_cast<TUserMessage>(wParam)) {
    case TUserMessage::ShowStored: {
        // Bounds as stored, except a size no screen here could show, and a place on no
        // screen at all (its monitor gone), where nobody could reach the window.
        const QSize limit = QGuiApplication::primaryScreen()->virtualSize().expandedTo(
            QSize(kMinWidth, kMinHeight));
        QRect place(FWindowBounds.x, FWindowBounds.y, std::min(FWindowBounds.cx, limit.width()),
                    std::min(FWindowBounds.cy, limit.height()));
        if (!OnAnyScreen(place)) place.moveTopLeft(FirstStartPlace(place.size()));
        move(place.topLeft());
        resize(place.size());
        FShownPlace = QRect(pos(), size());
        // What is shown in place of the stored bounds is not written until the user moves.
        FWindowBounds = CurrentBounds();
        if (!windowHandle()) {
            winId();
            windowHandle()->installEventFilter(this);
        }
        FLoading = false;
        if (!isVisible()) {
            // A child shown with the window would start the accessibility bridge (a D-Bus
            // thread and a plugin search) before the window maps rather than after it.
            PerformanceGraph->hide();
            show();
            PerformanceGraph->show();
        }
        break;
    }
    case TUserMessage::BoundsChanged:
        if (FLoading || !FExposed || FWindowBounds == CurrentBounds()) break;
        if (FUserPlaced && HasRealWindows()) {
            TIniFile ini = SettingsFile();
            WriteDone(ini.FileName(), SaveWindowBoundsIfMoved(ini, FWindowBounds, CurrentBounds()));
        } else {
            // Fitted to this screen or placed by the window manager: shown, not stored.
            FWindowBounds = CurrentBounds();
        }
        break;
    case TUserMessage::Restore:
        BringForward(*this);
        break;
    case TUserMessage::HideTaskbarButton: // no taskbar entry exists to hide
    default:
        break;
    }
}

void TFormSorvane::TimerTimer() {
    RefreshAndFollow();
    PerformanceGraph->Advance();
    if (FAutoScale) ApplyAutoScale();
    if (FReadout && FReadout->isVisible()) FReadout->ShowAt(FHoverGlobal, ReadoutText(Readout()));
}

void TFormSorvane::MenuPropertyClick() {
    PostUserMessage(TUserMessage::HideTaskbarButton);
    if (!PropertyDialog && CreatePropertyDialog) PropertyDialog = CreatePropertyDialog();
    if (PropertyDialog) BringForward(*PropertyDialog);
}

void TFormSorvane::MenuStayontopClick() {
    ApplyStayOnTop(!StayOnTop());
    TIniFile ini = SettingsFile();
    WriteDone(ini.FileName(), WriteStayOnTop(ini, ui.MenuStayontop->isChecked()));
    PostUserMessage(TUserMessage::HideTaskbarButton);
}

void TFormSorvane::MenuFitClick(int tag) {
    QList<QRect> screens;
    for (const QScreen* s : QGuiApplication::screens())
        screens.append(s->geometry());
    const QRect screen =
        SorvaneScreenOf(geometry(), screens, QGuiApplication::primaryScreen()->geometry());
    FUserPlaced = true;
    move(SorvaneFitPosition(tag, screen, geometry()));
}

void TFormSorvane::MenuExitClick() {
    close();
}

void TFormSorvane::GraphMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    if (button == Qt::LeftButton) {
        ArmDrag(PerformanceGraph->mapTo(this, QPoint(x, y)), QCursor::pos());
    } else if (button == Qt::RightButton) {
        PopupMenu()->popup(PerformanceGraph->mapToGlobal(QPoint(x, y)));
    }
}

void TFormSorvane::ArmDrag(const QPoint& windowPoint, const QPoint& globalPoint) {
    FArmedZone = SorvaneHitTest(windowPoint.x(), windowPoint.y(), width(), height());
    FArmedPoint = globalPoint;
    FArmedNativePoint = NativePointerPosition();
    FSystemDrag = false;
    FDragZone = 0;
}

bool TFormSorvane::DragMotion(const QPoint& globalPoint, Qt::MouseButtons buttons) {
    if (FDragZone != 0) {
        FollowDrag(globalPoint);
        return true;
    }
    if (FArmedZone == 0) return false;
    // The events may lag behind the button: a release may be on its way.
    if (!buttons.testFlag(Qt::LeftButton) || !LeftButtonHeld()) {
        FArmedZone = 0;
        return false;
    }
    BeginDrag(globalPoint);
    return true;
}

void TFormSorvane::BeginDrag(const QPoint& globalPoint) {
    const int zone = FArmedZone;
    FArmedZone = 0;
    FUserPlaced = true;
    if (StartSystemMoveResize(*this, EdgesOf(zone), FArmedNativePoint)) {
        FSystemDrag = true;
        return;
    }
    // No window manager does it: the window follows the mouse until the release.
    FDragZone = zone;
    FDragStart = FArmedPoint;
    FDragGeometry = geometry();
    FollowDrag(globalPoint);
}

void TFormSorvane::LeftRelease() {
    FArmedZone = 0;
    FDragZone = 0;
    // A release that came before the window manager took the pointer would leave the window
    // following it with no button held; a move it has ended already is not changed.
    if (FSystemDrag) CancelSystemMoveResize(*this);
    FSystemDrag = false;
}

bool TFormSorvane::DragUnderWay() const {
    return FDragZone != 0 || LeftButtonHeld();
}

void TFormSorvane::WriteDone(const std::string& path, bool written) {
    if (written) {
        FRefusedPaths.erase(path);
        std::erase(FRefusalsDue, path);
        return;
    }
    if (!FRefusedPaths.insert(path).second) return;
    FRefusalsDue.push_back(path);
    ShowRefusalsDue();
}

void TFormSorvane::ShowRefusalsDue() {
    // The box would take the pointer from a drag: it waits for the release.
    if (DragUnderWay()) {
        FRefusalTimer->start();
        return;
    }
    while (!FRefusalsDue.empty()) {
        const std::string path = FRefusalsDue.front();
        FRefusalsDue.erase(FRefusalsDue.begin());
        ShowWriteRefused(path);
    }
}

void TFormSorvane::FollowDrag(const QPoint& globalPoint) {
    const QPoint d = globalPoint - FDragStart;
    QRect g = FDragGeometry;
    if (FDragZone == HTCLIENT) {
        g.translate(d);
    } else {
        const Qt::Edges edges = EdgesOf(FDragZone);
        if (edges & Qt::LeftEdge) g.setLeft(std::min(g.left() + d.x(), g.right() + 1 - kMinWidth));
        if (edges & Qt::RightEdge)
            g.setRight(std::max(g.right() + d.x(), g.left() + kMinWidth - 1));
        if (edges & Qt::TopEdge) g.setTop(std::min(g.top() + d.y(), g.bottom() + 1 - kMinHeight));
        if (edges & Qt::BottomEdge)
            g.setBottom(std::max(g.bottom() + d.y(), g.top() + kMinHeight - 1));
    }
    setGeometry(g);
}

void TFormSorvane::UpdateCursor(const QPoint& windowPoint) {
    const QCursor cursor(
        CursorOf(SorvaneHitTest(windowPoint.x(), windowPoint.y(), width(), height())));
    setCursor(cursor);
    PerformanceGraph->setCursor(cursor);
}

bool TFormSorvane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && !FExposed &&
        windowHandle()->isExposed()) {
        // A window manager that frames the window reports a place while it takes the
        // window in, which may be its frame's place before it moved there, and corrects
        // nothing afterwards. Asking for the place again makes it confirm the real one.
        FExposed = true;
        if (QRect(pos(), size()) != FShownPlace) {
            move(FShownPlace.topLeft());
            resize(FShownPlace.size());
        }
        return false;
    }
    if (watched != PerformanceGraph) return QWidget::eventFilter(watched, event);
    const auto type = event->type();
    if (type == QEvent::Leave) HideReadout();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint windowPoint = PerformanceGraph->mapTo(this, mouse->position().toPoint());
    const QPoint global = mouse->globalPosition().toPoint();
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: // its second press
        HideReadout();
        // The resize band takes in the graph's outermost pixels, for every button: they are
        // frame, where only the left button does anything.
        if (SorvaneHitTest(windowPoint.x(), windowPoint.y(), width(), height()) == HTCLIENT)
            return false;
        if (mouse->button() == Qt::LeftButton) ArmDrag(windowPoint, global);
        return true;
    case QEvent::MouseMove:
        if (!DragMotion(global, mouse->buttons())) {
            UpdateCursor(windowPoint);
            const bool client =
                SorvaneHitTest(windowPoint.x(), windowPoint.y(), width(), height()) == HTCLIENT;
            if (client && mouse->buttons() == Qt::NoButton)
                ShowReadout(mouse->position().toPoint(), global);
            else
                HideReadout();
        }
        return false;
    default:
        if (mouse->button() == Qt::LeftButton) LeftRelease();
        return false;
    }
}

void TFormSorvane::ShowReadout(const QPoint& graphPoint, const QPoint& global) {
    if (!FReadout) FReadout = new TZReadoutBox(this);
    if (!FReadoutColumns) {
        // The name and state come from the table: loaded only while the box shows.
        FReadoutColumns = true;
        FSharedTable->RegisterColumn(TZSNMPMIBIFSelect::zifDescr);
        FSharedTable->RegisterColumn(TZSNMPMIBIFSelect::zifOperStatus);
        FSharedTable->RegisterColumn(TZSNMPMIBIFSelect::zifSpeed);
        // Another machine's answer would then cover less than a tick: its columns come with
        // the next one.
        if (!FAgent.Remote()) {
            FSharedTable->Refresh();
            FollowInterface();
        }
    }
    FHoverPoint = graphPoint;
    FHoverGlobal = global;
    FReadout->ShowAt(global, ReadoutText(Readout()));
}

void TFormSorvane::HideReadout() {
    if (FReadout) FReadout->hide();
    if (FReadoutColumns) {
        FReadoutColumns = false;
        FSharedTable->WithdrawColumn(TZSNMPMIBIFSelect::zifDescr);
        FSharedTable->WithdrawColumn(TZSNMPMIBIFSelect::zifOperStatus);
        FSharedTable->WithdrawColumn(TZSNMPMIBIFSelect::zifSpeed);
    }
}

TZReadout TFormSorvane::Readout() const {
    TZReadout r;
    r.Unit = FReadoutUnit;
    r.FullScale = ReceiveSource->Max;
    const TZSNMPMIBIFTable* table = FSharedTable->Table();
    const TZSNMPMIBIFEntry* row = table ? table->Items(ReceiveSource->Choice()) : nullptr;
    if (row) {
        r.Interface = QString::fromUtf8(InterfaceName(*row));
        r.Link = row->ifOperStatus == 1 ? TZLinkState::Up : TZLinkState::Down;
        r.LinkBits = row->ifSpeed;
    } else {
        r.Interface = QString::fromStdString(FFollowName);
    }
    r.Offline = FRouteWatch && FUplinkKnown && FUplink.Name().empty();
    if (!FUplinkBefore.isEmpty()) {
        r.Before = FUplinkBefore;
        r.Since = static_cast<std::int32_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                                std::chrono::steady_clock::now() - FUplinkSince)
                                                .count());
    }
    const std::int32_t columns = PerformanceGraph->ImageWidth();
    // The image starts one pixel inside the graph control.
    const std::int32_t slot = columns - 1 - (FHoverPoint.x() - 1);
    if (slot >= 0 && slot < columns) {
        r.Age = slot;
        if (ReceiveSource->IsValid(slot) && SendSource->IsValid(slot)) {
            r.ColumnIn = ReceiveSource->GetAverage(slot);
            r.ColumnOut = SendSource->GetAverage(slot);
        }
    }
    r.In = SeriesFigures(*ReceiveSource, columns);
    r.Out = SeriesFigures(*SendSource, columns);
    return r;
}

std::int32_t TFormSorvane::CurrentInterface() const {
    // While a followed interface is absent the sources read no row; its place is kept here.
    return FFollowName.empty() ? ReceiveSource->Choice() : FInterface;
}

void TFormSorvane::RefreshAndFollow() {
    FSharedTable->Refresh();
    const bool switched = FollowUplink();
    FollowInterface(!switched); // a switch writes both keys at once, below
    if (!switched) return;
    // The new uplink's counters are another interface's: its first reading primes.
    ReceiveSource->PrimeReading();
    SendSource->PrimeReading();
    if (ReceiveSource->Choice() >= 0) {
        TIniFile ini = SettingsFile();
        WriteDone(ini.FileName(), WriteFollowedInterface(ini, FInterface, FFollowName));
    }
}

void TFormSorvane::UpdateNameColumn() {
    const bool needed = !FFollowName.empty() || FRouteWatch;
    if (needed == FNameColumn) return;
    FNameColumn = needed;
    if (needed)
        FSharedTable->RegisterColumn(TZSNMPMIBIFSelect::zifDescr);
    else
        FSharedTable->WithdrawColumn(TZSNMPMIBIFSelect::zifDescr);
}

void TFormSorvane::StartOrStopRouteFollowing() {
    // A route lookup answers for this machine only.
    const bool on = FFollowRoute && !FAgent.Remote();
    if (on == static_cast<bool>(FRouteWatch)) return;
    delete FRouteNotifier;
    FRouteNotifier = nullptr;
    FRouteWatch.reset();
    FUplink = TUplinkFollower();
    FUplinkKnown = false;
    FRouteNotified = false;
    FUplinkBefore.clear();
    if (!on) return;
    FRouteWatch = std::make_unique<TRouteWatch>();
    // Without notifications the first lookup stands; the meter still works.
    if (FRouteWatch->Open()) {
        FRouteNotifier = new QSocketNotifier(FRouteWatch->Fd(), QSocketNotifier::Read, this);
        connect(FRouteNotifier, &QSocketNotifier::activated, this,
                [this] { FRouteNotified = FRouteWatch->Drain() || FRouteNotified; });
    }
}

bool TFormSorvane::FollowUplink() {
    if (!FRouteWatch) return false;
    const bool notified = std::exchange(FRouteNotified, false);
    std::string before;
    if (!FUplink.Tick(*FRouteWatch, notified, &before)) return false;
    if (FUplinkKnown) {
        FUplinkBefore = before.empty() ? QStringLiteral("offline") : QString::fromStdString(before);
        FUplinkSince = std::chrono::steady_clock::now();
    }
    FUplinkKnown = true;
    FFollowName = FUplink.Name();
    return true;
}

void TFormSorvane::FollowInterface(bool writeMove) {
    if (FRouteWatch && FUplinkKnown && FUplink.Name().empty()) {
        // No route: drawn as an absent interface.
        for (TZPerformanceSourceSNMPMIB* source : {ReceiveSource, SendSource})
            source->SetChoice(-1);
        return;
    }
    if (FFollowName.empty()) return;
    const std::int32_t row = FollowedRow(FSharedTable->Table(), FInterface, FFollowName);
    for (TZPerformanceSourceSNMPMIB* source : {ReceiveSource, SendSource})
        source->SetChoice(row);
    if (row >= 0 && row != FInterface) {
        FInterface = row;
        if (!writeMove) return;
        TIniFile ini = SettingsFile();
        WriteDone(ini.FileName(), WriteInterface(ini, row));
    }
}

void TFormSorvane::ApplyAutoScale() {
    const std::int32_t columns = PerformanceGraph->ImageWidth();
    const std::int64_t peak = std::max(SeriesFigures(*ReceiveSource, columns).Peak,
                                       SeriesFigures(*SendSource, columns).Peak);
    const std::int32_t max = AutoScaleMax(peak, FReadoutUnit);
    if (max == ReceiveSource->Max && max == SendSource->Max) return;
    ReceiveSource->Max = max;
    SendSource->Max = max;
    PerformanceGraph->Refresh();
}

void TFormSorvane::MenuAutoScaleClick() {
    FAutoScale = FMenuAutoScale->isChecked();
    if (FAutoScale) {
        ApplyAutoScale();
    } else {
        ReceiveSource->Max = FManualScale;
        SendSource->Max = FManualScale;
        PerformanceGraph->Refresh();
    }
    TIniFile ini = SettingsFile();
    WriteDone(ini.FileName(), WriteAutoScale(ini, FAutoScale));
}

void TFormSorvane::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        ArmDrag(event->position().toPoint(), event->globalPosition().toPoint());
}

void TFormSorvane::mouseMoveEvent(QMouseEvent* event) {
    if (!DragMotion(event->globalPosition().toPoint(), event->buttons()))
        UpdateCursor(event->position().toPoint());
}

void TFormSorvane::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) LeftRelease();
}

void TFormSorvane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    PaintSorvaneFrame(painter, width(), height(), palette().color(QPalette::Light),
                      palette().color(QPalette::Dark));
}

void TFormSorvane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
    PostUserMessage(TUserMessage::BoundsChanged);
}

void TFormSorvane::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    PostUserMessage(TUserMessage::BoundsChanged);
}

void TFormSorvane::contextMenuEvent(QContextMenuEvent* event) {
    // A right press has opened the menu already (GraphMouseDown).
    if (event->reason() != QContextMenuEvent::Keyboard) {
        event->ignore();
        return;
    }
    PopupMenu()->popup(PerformanceGraph->mapToGlobal(PerformanceGraph->rect().center()));
}

void TFormSorvane::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)
        PopupMenu()->popup(PerformanceGraph->mapToGlobal(PerformanceGraph->rect().center()));
    else
        QWidget::keyPressEvent(event);
}

void TFormSorvane::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    // A tool window does not end the loop by closing; the main window does.
    QCoreApplication::quit();
}

QLabel* TFormSorvane::ReadoutBox() const {
    return FReadout.data();
}
