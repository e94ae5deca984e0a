// A window's life on the desktop around it: kept off the taskbar, brought back from a minimised
// or hidden state, and the pointer as the X server sees it. Nothing here knows the program's
// windows; it serves the main window, and through the program entry the property dialog.
//
// On a platform other than X11 each function does what the toolkit alone can do.
#pragma once

#include <Qt>

#include <memory>

class QPoint;
class QWidget;
class TZGraphPresenter;

// Whether the platform shows windows that a user can see and move (not offscreen or minimal).
bool HasRealWindows();

// Keeps the window off the taskbar: it gets _NET_WM_STATE_SKIP_TASKBAR each time before it is
// mapped, since a window manager drops the state when a window is withdrawn (hidden). Call it
// before the window is first shown.
void KeepOffTaskbar(QWidget& window);

// Shows the window and brings it to the front, also when it is minimised or was hidden behind
// the toolkit's back (unmapped by a window manager's "show desktop", or by another client); under
// a window manager through EWMH _NET_ACTIVE_WINDOW, without one by mapping it.
void BringForward(QWidget& window);

// Whether the left button is held at this moment, asked of the X server rather than taken from
// the events delivered so far.
bool LeftButtonHeld();

// The pointer's place in the X server's own pixels, the unit of messages to a window manager.
QPoint NativePointerPosition();

// Asks the window manager to move the window (no edges) or resize it from the edges with the
// pointer, as from a press at pressPoint (NativePointerPosition at the press): the window keeps
// to the pointer from the press on, however far it went since. False where no running window
// manager offers it (_NET_WM_MOVERESIZE).
bool StartSystemMoveResize(const QWidget& window, Qt::Edges edges, const QPoint& pressPoint);

// Cancels a move or resize asked of the window manager for the window (_NET_WM_MOVERESIZE): one
// that it would begin after the button was already released would follow the pointer with no
// button held. Nothing happens when none is under way.
void CancelSystemMoveResize(const QWidget& window);

// The graph's way to the screen past the window's backing store on X11 (a copy of the picture
// kept in a pixmap of the server); none elsewhere.
std::unique_ptr<TZGraphPresenter> NewGraphPresenter();
