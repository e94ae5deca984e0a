// The main window: a borderless graph window with a 4-pixel frame that it
// paints and resizes from, a one-second sampling timer, a popup menu, and the
// memory of its bounds in the settings file.
//
// Steps that must follow the current one are posted to the window as user
// messages (ZUserMessage.h).
//
// The window holds the live settings (TSettingsHolder): the graph and the two
// sources it owns, and the interface table they share.
#pragma once

#include "RouteWatch.h"
#include "SingleInstance.h"
#include "UnitZPerformanceGraph.h"
#include "UnitZPerformanceSourceSNMPMIB.h"
#include "ZSettings.h"
#include "ZTrafficFigures.h"
#include "ZUserMessage.h"
#include "ui_UnitSorvane.h"

#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QLabel;
class QSocketNotifier;
class TZReadoutBox;
class TZMenuAccelerators;

// The record another process posts to the window's port.
inline instance::TMessageRecord UserMessageRecord(TUserMessage message) {
    return {WM_USER, static_cast<std::uint32_t>(message), 0};
}

// Hit-test codes of the window's area.
enum THitTest : int {
    HTCLIENT = 1,
    HTLEFT = 10,
    HTRIGHT = 11,
    HTTOP = 12,
    HTTOPLEFT = 13,
    HTTOPRIGHT = 14,
    HTBOTTOM = 15,
    HTBOTTOMLEFT = 16,
    HTBOTTOMRIGHT = 17,
};

// The zone of client point (x, y) of a W x H window: a 5-pixel resize band on
// every side, corner zones 16 pixels along each edge, the client elsewhere.
int SorvaneHitTest(int x, int y, int w, int h);

// The window's top-left after "Fit window with..." for the item's tag, in a corner of
// the full screen (its origin and size); the window unchanged for any other tag.
QPoint SorvaneFitPosition(int tag, const QRect& screen, const QRect& window);

// The screen the window is on: of the screens, the one it covers most; fallback when it
// covers none.
QRect SorvaneScreenOf(const QRect& window, const QList<QRect>& screens, const QRect& fallback);

// The frame of a W x H window: raised edges and the resize marks.
void PaintSorvaneFrame(QPainter& painter, int w, int h, const QColor& light, const QColor& dark);

// The error box of a refused write ("Cannot write to <path>" in the user's language,
// titled "Sorvane"), over the window in use; nothing without a widget application.
QString WriteRefusedMessage(const std::string& fileName);
void ShowWriteRefused(const std::string& fileName);

class TFormSorvane : public QWidget, public TSettingsHolder {
    Q_OBJECT
public:
    // instance: where the single-instance objects live (an empty directory disables
    // them). table: the interface table the sources share; by default one over the
    // agent beside the executable.
    explicit TFormSorvane(const instance::TInstanceNames& instance,
                          std::shared_ptr<TZSNMPMIBSharedTable> table = nullptr);
    ~TFormSorvane() override;

    TSettings CurrentSettings() const override;
    bool ApplySettings(const TSettings& settings) override;
    const std::shared_ptr<TZSNMPMIBSharedTable>& SharedTable() const { return FSharedTable; }

    TZPerformanceGraph* PerformanceGraph = nullptr;
    TZPerformanceSourceSNMPMIB* ReceiveSource = nullptr;
    TZPerformanceSourceSNMPMIB* SendSource = nullptr;

    // The property dialog shown by "Property..."; none until it exists.
    QPointer<QWidget> PropertyDialog;
    // Makes the dialog at the first "Property..." when there is none yet.
    std::function<QWidget*()> CreatePropertyDialog;

    void PostUserMessage(TUserMessage message);

    void TimerTimer();
    // The kernel's uplink while "Follow the connection in use" is on (and the agent is this
    // machine's); null otherwise.
    const TRouteWatch* RouteWatch() const { return FRouteWatch.get(); }
    void MenuPropertyClick();
    void MenuStayontopClick();
    void MenuFitClick(int tag);
    void MenuExitClick();
    void MenuAutoScaleClick();
    void GraphMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

    bool Loading() const { return FLoading; }
    bool StayOnTop() const;
    const TWindowBounds& RememberedBounds() const { return FWindowBounds; }
    QMenu* PopupMenu();
    QAction* MenuAutoScale() {
        PopupMenu();
        return FMenuAutoScale;
    }
    // The hover readout; none before the first hover.
    QLabel* ReadoutBox() const;
    // The letters of the menu's items (P, S, F, X; the corners 7, 9, 1, 3 as on a keypad).
    const TZMenuAccelerators* MenuAccelerators() {
        PopupMenu();
        return FMenuAccelerators;
    }
    QTimer* Timer() const { return FTimer; }
    const Ui::FormSorvane& Form() const { return ui; }
    // The number other processes post to; 0 without a port.
    std::uint32_t PortNumber() const { return FPort.Number(); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The menu key and Shift+F10 open the popup menu over the graph's centre.
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void FormResize();
    void UserMessage(std::uint32_t wParam);
    void ShowReadout(const QPoint& graphPoint, const QPoint& global);
    void HideReadout();
    TZReadout Readout() const;
    // Moves both sources to the row that bears the followed name (or to none).
    void FollowInterface(bool writeMove = true);
    std::int32_t CurrentInterface() const;
    // Loads the names on every tick exactly while something follows a name.
    void UpdateNameColumn();
    void StartOrStopRouteFollowing();
    // Asks the kernel again after a notification; true when the uplink changed. Call after a
    // Refresh and before FollowInterface.
    bool FollowUplink();
    // Refresh, the uplink, the followed row; a new uplink counts from now.
    void RefreshAndFollow();
    void ApplyAutoScale();
    // The "Property" values onto the graph and the sources; another interface
    // clears the histories and counts from now when anotherStartsAfresh.
    void ApplyProperty(const TSettings& s, bool anotherStartsAfresh);
    void ApplyStayOnTop(bool on);
    void ReceivePort();
    TWindowBounds CurrentBounds() const;
    // A left press arms a move or resize; it begins at the first motion with the button really
    // held, so that a tap never starts one.
    void ArmDrag(const QPoint& windowPoint, const QPoint& globalPoint);
    // Motion with the buttons the event reports; true when it belongs to a drag.
    bool DragMotion(const QPoint& globalPoint, Qt::MouseButtons buttons);
    void BeginDrag(const QPoint& globalPoint);
    void FollowDrag(const QPoint& globalPoint);
    void LeftRelease();
    void UpdateCursor(const QPoint& windowPoint);
    bool DragUnderWay() const;
    // The outcome of a write to path: a refusal is shown once per path until a write there
    // succeeds again, and never during a drag.
    void WriteDone(const std::string& path, bool written);
    void ShowRefusalsDue();

    Ui::FormSorvane ui;
    instance::TInstanceNames FInstance;
    std::shared_ptr<TZSNMPMIBSharedTable> FSharedTable;
    instance::TSharedBlock FShareHandle;
    instance::TMessagePort FPort;
    QSocketNotifier* FPortNotifier = nullptr;
    QTimer* FTimer = nullptr;
    QMenu* FPopupMenu = nullptr;
    QAction* FMenuAutoScale = nullptr;
    // The position of the followed interface, and its name (empty: none followed, the
    // sources' Choice is the position).
    std::int32_t FInterface = 0;
    std::string FFollowName;
    // Where the table comes from (this machine while Host is empty).
    TAgentSettings FAgent;
    bool FFollowRoute = false;
    bool FNameColumn = false;
    std::unique_ptr<TRouteWatch> FRouteWatch;
    QSocketNotifier* FRouteNotifier = nullptr;
    bool FRouteNotified = false;
    TUplinkFollower FUplink;
    bool FUplinkKnown = false;
    // The uplink before the last switch ("offline" for none), and when it switched.
    QString FUplinkBefore;
    std::chrono::steady_clock::time_point FUplinkSince;
    bool FAutoScale = false;
    std::int32_t FManualScale = TSettings().Scale;
    // The dialog's unit, for the readout and the automatic scale's steps.
    std::int32_t FReadoutUnit = TSettings().ScaleUnit;
    QPointer<TZReadoutBox> FReadout;
    bool FReadoutColumns = false;
    QPoint FHoverPoint;
    QPoint FHoverGlobal;
    TZMenuAccelerators* FMenuAccelerators = nullptr;
    bool FLoading = true;
    TWindowBounds FWindowBounds;
    // Moves are saved only once the window is on the screen, at the place it asked for.
    bool FExposed = false;
    QRect FShownPlace;

    // Until the user moves, resizes or fits the window, what it shows stands in for the stored
    // bounds and is never written.
    bool FUserPlaced = false;

    // A press that will become a drag at the first motion with the button held.
    int FArmedZone = 0; // 0: none, HTCLIENT: move, else the resize zone
    QPoint FArmedPoint;
    QPoint FArmedNativePoint; // in the X server's pixels
    // A move or resize asked of the window manager, its release not seen.
    bool FSystemDrag = false;
    // A move or resize the window follows itself where the window manager does not.
    int FDragZone = 0; // 0: none, HTCLIENT: move, else the resize zone
    QPoint FDragStart;
    QRect FDragGeometry;

    std::set<std::string> FRefusedPaths; // shown or due
    std::vector<std::string> FRefusalsDue;
    QTimer* FRefusalTimer = nullptr;
};
