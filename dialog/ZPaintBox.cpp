#include "ZPaintBox.h"

#include <QMouseEvent>
#include <QPainter>

TZPaintBox::TZPaintBox(QWidget* owner) : QWidget(owner) {}

void TZPaintBox::paintEvent(QPaintEvent*) {
    if (TPaintEvent handler = OnPaint) {
        QPainter canvas(this);
        handler(this, canvas);
    }
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
    if (click) {
        if (TNotifyEvent handler = OnClick) handler(this);
    }
}
