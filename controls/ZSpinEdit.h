// A single-line edit with a spin button at its right edge.
//
// The edit holds no number: it tells its owner what the user did. A click on
// an arrow fires OnMore or OnLess; but if the text changed since the field was
// entered or since this control's last event (the typed flag), the click fires
// OnManual(true, false) or OnManual(false, true) instead, and leaving the field
// fires OnManual(true, true). The flag is cleared after each of these events
// returns, so a handler that rewrites the text leaves it cleared.
//
// Every change of the text sets the flag, typed or set by program; setting the
// text it already holds changes nothing. Window activation counts as entering
// and leaving the field; a popup (the edit's own context menu) does not.
//
// Keys are the line edit's unless KeyStepping is on; then plain Up and Down
// click the upper or lower arrow once, PageUp and PageDown up to kPageClicks
// times, End and Home up to kLimitClicks times. A run of clicks stops where the
// arrow greys (the owner's limit) or a click leaves the text as it was. The
// clicks are the arrows' own, so the typed flag, OnManual and greying apply as
// they do to the mouse; a greyed arrow's key does nothing. Every key event
// counts, auto-repeated ones too. With Shift, Ctrl or Alt the keys stay the
// line edit's (Shift+Home selects).
#pragma once

#include "ZSpinButton.h"

#include <QLineEdit>

#include <functional>

using TZSpinEditEventManual = std::function<void(QObject* Sender, bool bMore, bool bLess)>;

class TZSpinEdit : public QLineEdit {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TZSpinEdit(QWidget* owner = nullptr);
    ~TZSpinEdit() override;

    // The embedded arrows; their State greys the upper or lower arrow.
    TZSpinButton* Button() const { return FButton; }

    static constexpr int kPageClicks = 10;
    // Only a guard against an owner that never greys an arrow nor stops changing the text.
    static constexpr int kLimitClicks = 10000;
    bool KeyStepping = false;

    // The sender passed is this spin edit; an unassigned event is skipped.
    TNotifyEvent OnMore;
    TNotifyEvent OnLess;
    TZSpinEditEventManual OnManual;
    // Every change of the text, before the typed flag is set.
    TNotifyEvent OnChange;
    // The field was entered (before the flag is cleared) or left (after any
    // OnManual of leaving).
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The arrow clicks a key stands for: upper arrow (more), how many; 0 clicks for no such key.
    struct TKeyClicks {
        bool More = false;
        int Clicks = 0;
    };
    TKeyClicks KeyClicks(const QKeyEvent* event) const;
    void ClickArrow(bool more, int clicks);
    void TextChanged();
    void Step(bool more);
    void Layout();

    TZSpinButton* FButton = nullptr;
    bool FTyped = false;
};
