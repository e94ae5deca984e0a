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
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void TextChanged();
    void Step(bool more);
    void Layout();

    TZSpinButton* FButton = nullptr;
    bool FTyped = false;
};
