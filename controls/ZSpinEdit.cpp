#include "ZSpinEdit.h"

#include <QFocusEvent>
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
