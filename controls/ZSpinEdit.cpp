#include "ZSpinEdit.h"

#include <QAbstractButton>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>

TZSpinEdit::TZSpinEdit(QWidget* owner) : QLineEdit(owner) {
    // Qt would hand the focus to the nearest click-focus ancestor of whatever
    // is pressed, arrows included, for any mouse button. The arrows decide
    // themselves (a left press on an enabled half), so the edit takes the
    // focus by Tab only and on presses on its own text area.
    setFocusPolicy(Qt::TabFocus);

    FButton = new TZSpinButton(this);
    FButton->resize(15, 23);
    FButton->show();
    FButton->FocusControl = this;
    FButton->OnMore = [this](QObject*) { Step(true); };
    FButton->OnLess = [this](QObject*) { Step(false); };
    connect(this, &QLineEdit::textChanged, this, &TZSpinEdit::TextChanged);
    FTyped = false;
    Layout();
}

TZSpinEdit::~TZSpinEdit() = default;

void TZSpinEdit::Layout() {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect client = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const int w = FButton->width();
    FButton->setGeometry(client.x() + client.width() - w, client.y(), w, client.height());
    // The text stops where the button begins.
    setTextMargins(0, 0, w, 0);
}

void TZSpinEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    Layout();
}

void TZSpinEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    // The frame, and so the client area, follows the style.
    if (event->type() == QEvent::StyleChange) Layout();
}

void TZSpinEdit::mousePressEvent(QMouseEvent* event) {
    if (focusPolicy() != Qt::NoFocus && !hasFocus()) setFocus(Qt::MouseFocusReason);
    QLineEdit::mousePressEvent(event);
}

void TZSpinEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (event->reason() == Qt::PopupFocusReason) return;
    if (TNotifyEvent handler = OnEnter) handler(this);
    FTyped = false;
}

void TZSpinEdit::focusOutEvent(QFocusEvent* event) {
    if (event->reason() != Qt::PopupFocusReason) {
        if (FTyped) {
            if (TZSpinEditEventManual handler = OnManual) handler(this, true, true);
            FTyped = false;
        }
        QLineEdit::focusOutEvent(event);
        if (TNotifyEvent handler = OnExit) handler(this);
        return;
    }
    QLineEdit::focusOutEvent(event);
}

TZSpinEdit::TKeyClicks TZSpinEdit::KeyClicks(const QKeyEvent* event) const {
    if (!KeyStepping || (event->modifiers() & ~Qt::KeypadModifier)) return {};
    switch (event->key()) {
    case Qt::Key_Up:
        return {true, 1};
    case Qt::Key_Down:
        return {false, 1};
    case Qt::Key_PageUp:
        return {true, kPageClicks};
    case Qt::Key_PageDown:
        return {false, kPageClicks};
    case Qt::Key_End:
        return {true, kLimitClicks};
    case Qt::Key_Home:
        return {false, kLimitClicks};
    default:
        return {};
    }
}

bool TZSpinEdit::event(QEvent* event) {
    // Home and End are the line edit's keys, and a window shortcut could take
    // the others: claim them before either happens.
    if (event->type() == QEvent::ShortcutOverride &&
        KeyClicks(static_cast<QKeyEvent*>(event)).Clicks > 0) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void TZSpinEdit::keyPressEvent(QKeyEvent* event) {
    const TKeyClicks k = KeyClicks(event);
    if (k.Clicks == 0) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    ClickArrow(k.More, k.Clicks);
}

void TZSpinEdit::ClickArrow(bool more, int clicks) {
    QAbstractButton* arrow = more ? FButton->UpperHalf() : FButton->LowerHalf();
    // A single click goes through even if it changes nothing, as a mouse click does.
    for (int i = 0; i < clicks && arrow->isEnabled(); ++i) {
        const QString before = text();
        arrow->click();
        if (clicks > 1 && text() == before) break;
    }
}

void TZSpinEdit::TextChanged() {
    if (TNotifyEvent handler = OnChange) handler(this);
    FTyped = true;
}

void TZSpinEdit::Step(bool more) {
    if (FTyped) {
        if (TZSpinEditEventManual handler = OnManual) handler(this, more, !more);
    } else if (TNotifyEvent handler = more ? OnMore : OnLess) {
        handler(this);
    }
    FTyped = false;
}
