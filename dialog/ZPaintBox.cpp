#include "ZPaintBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

TZPaintBox::TZPaintBox(QWidget* owner) : QWidget(owner) {}

QPolygon TZPaintBox::FocusFramePoints(const QSize& size) {
    QPolygon points;
    const int left = 1, top = 1, right = size.width() - 2, bottom = size.height() - 2;
    if (right < left || bottom < top) return points;
    // The parity of x + y makes the dots run on around the corners.
    auto add = [&points](int x, int y) {
        if ((x + y) % 2 == 0) points.append(QPoint(x, y));
    };
    for (int x = left; x <= right; ++x) {
        add(x, top);
        if (bottom != top) add(x, bottom);
    }
    for (int y = top + 1; y < bottom; ++y) {
        add(left, y);
        if (right != left) add(right, y);
    }
    return points;
}

void TZPaintBox::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    if (TPaintEvent handler = OnPaint) {
        canvas.save();
        handler(this, canvas);
        canvas.restore();
    }
    if (!hasFocus()) return;
    // Inverted rather than a colour of its own: visible on any colour a line may have.
    canvas.setCompositionMode(QPainter::CompositionMode_Difference);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setPen(QPen(Qt::white, 0));
    canvas.drawPoints(FocusFramePoints(size()));
}

void TZPaintBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) FPressed = true;
    QWidget::mousePressEvent(event);
}

void TZPaintBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = FPressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) FPressed = false;
    QWidget::mouseReleaseEvent(event);
    if (click) Click();
}

void TZPaintBox::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool activate = (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
                          !(event->modifiers() & ~Qt::KeypadModifier);
    if (!activate) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!event->isAutoRepeat()) Click();
}

void TZPaintBox::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TZPaintBox::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void TZPaintBox::Click() {
    if (TNotifyEvent handler = OnClick) handler(this);
}
