#include "ZReadoutBox.h"

#include <QGuiApplication>
#include <QScreen>
#include <QToolTip>

TZReadoutBox::TZReadoutBox(QWidget* owner)
    : QLabel(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
    setTextFormat(Qt::PlainText); // interface names are never markup
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setMargin(4);
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void TZReadoutBox::ShowAt(const QPoint& global, const QString& text) {
    if (text != this->text()) {
        setText(text);
        adjustSize();
    }
    QPoint at = global + QPoint(16, 16);
    if (const QScreen* screen = QGuiApplication::screenAt(global)) {
        const QRect area = screen->geometry();
        // Beside the pointer on the side where it fits.
        if (at.x() + width() > area.right()) at.setX(global.x() - 16 - width());
        if (at.y() + height() > area.bottom()) at.setY(global.y() - 16 - height());
        at.setX(std::max(at.x(), area.left()));
        at.setY(std::max(at.y(), area.top()));
    }
    move(at);
    if (!isVisible()) show();
}
