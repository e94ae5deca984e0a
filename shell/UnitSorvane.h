// The main window: a borderless graph window with a 4-pixel frame that it
// paints and resizes from, a one-second sampling timer, a popup menu, and the
// memory of its bounds in the settings file.
//
// Steps that must follow the current one are posted to the window as user
// messages (WM_USER with wParam 0, 1, 100, 101), queued like any event; other
// processes of the same user post them through the window's message port.
#pragma once

#include "SingleInstance.h"
#include "UnitZPerformanceSourceSNMPMIB.h"
#include "ZRelationFile.h"
#include "ui_UnitSorvane.h"

#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;

inline constexpr std::uint32_t WM_USER = 1024;

// A user message queued for the main window.
class TUserMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();
    TUserMessageEvent(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam)
        : QEvent(EventType()), Message(message), WParam(wParam), LParam(lParam) {}
    std::uint32_t Message;
    std::uint32_t WParam;
    std::uint32_t LParam;
};

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

// The window's top-left after "Fit window with..." for the item's tag, against
// the full screen; the window unchanged for any other tag.
QPoint SorvaneFitPosition(int tag, const QSize& screen, const QRect& window);

// The frame of a W x H window: raised edges and the resize marks.
void PaintSorvaneFrame(QPainter& painter, int w, int h, const QColor& light, const QColor& dark);

// Where the single-instance objects live; an empty directory disables them.
struct TSorvaneInstance {
    std::string Directory;
    std::string Key;
};

class TFormSorvane : public QWidget {
    Q_OBJECT
public:
    explicit TFormSorvane(const TSorvaneInstance& instance);
    ~TFormSorvane() override;

    TZPerformanceGraph* PerformanceGraph = nullptr;
    TZPerformanceSourceSNMPMIB* ReceiveSource = nullptr;
    TZPerformanceSourceSNMPMIB* SendSource = nullptr;

    // The property dialog shown by "Property..."; none until it exists.
    QPointer<QWidget> PropertyDialog;
    // Makes the dialog at the first "Property..." when there is none yet.
    std::function<QWidget*()> CreatePropertyDialog;

    void PostUserMessage(std::uint32_t wParam, std::uint32_t lParam = 0);

    void TimerTimer();
    void MenuPropertyClick();
    void MenuStayontopClick();
    void MenuFitClick(int tag);
    void MenuExitClick();
    void GraphMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

    bool Loading() const { return FLoading; }
    bool StayOnTop() const;
    const TWindowBounds& RememberedBounds() const { return FWindowBounds; }
    QMenu* PopupMenu() const { return FPopupMenu; }
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

private:
    void FormCreate();
    void FormDestroy();
    void FormResize();
    void UserMessage(std::uint32_t wParam);
    void ApplyStayOnTop(bool on);
    void ReceivePort();
    TWindowBounds CurrentBounds() const;
    // Resizing or moving from a press; true when the press was taken.
    bool StartFrameDrag(const QPoint& windowPoint, const QPoint& globalPoint);
    void FollowDrag(const QPoint& globalPoint);
    void UpdateCursor(const QPoint& windowPoint);

    Ui::FormSorvane ui;
    TSorvaneInstance FInstance;
    instance::TSharedBlock FShareHandle;
    instance::TMessagePort FPort;
    QSocketNotifier* FPortNotifier = nullptr;
    QTimer* FTimer = nullptr;
    QMenu* FPopupMenu = nullptr;
    bool FLoading = true;
    TWindowBounds FWindowBounds;
    // Moves are saved only once the window is on the screen, at the place it asked for.
    bool FExposed = false;
    QRect FShownPlace;

    // A move or resize the window follows itself where the window manager does not.
    int FDragZone = 0; // 0: none, HTCLIENT: move, else the resize zone
    QPoint FDragStart;
    QRect FDragGeometry;
};
