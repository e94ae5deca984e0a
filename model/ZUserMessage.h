// The program's private messages to its main window: WM_USER with a TUserMessage as wParam,
// queued like any event and handled after the current step. Other processes post the same
// records through the window's message port.
#pragma once

#include <QEvent>

#include <cstdint>

class QObject;

inline constexpr std::uint32_t WM_USER = 1024;

enum class TUserMessage : std::uint32_t {
    ShowStored = 0,          // take the stored bounds and show the window
    BoundsChanged = 1,       // moved or resized: remember the bounds
    Restore = 100,           // a second start: show and bring forward
    HideTaskbarButton = 101, // after the dialog or the stay-on-top state changed
};

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

// Queues WM_USER with message as wParam for target; nothing without a target.
void PostUserMessage(QObject* target, TUserMessage message);
