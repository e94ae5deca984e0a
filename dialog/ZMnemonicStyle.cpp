#include "ZMnemonicStyle.h"

#include <QApplication>
#include <QWidget>

TZMnemonicStyle::TZMnemonicStyle(QObject* parent) : QProxyStyle(QApplication::style()->name()) {
    setParent(parent);
}

void TZMnemonicStyle::SetRevealed(bool revealed) {
    if (revealed == FRevealed) return;
    FRevealed = revealed;
    for (const QPointer<QWidget>& w : FWidgets)
        if (w) w->update();
}

int TZMnemonicStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                               QStyleHintReturn* returnData) const {
    if (hint == SH_UnderlineShortcut) return FRevealed ? 1 : 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void TZMnemonicStyle::polish(QWidget* widget) {
    QProxyStyle::polish(widget);
    FWidgets.removeAll(QPointer<QWidget>());
    if (!FWidgets.contains(widget)) FWidgets.append(widget);
}

void TZMnemonicStyle::unpolish(QWidget* widget) {
    FWidgets.removeAll(widget);
    QProxyStyle::unpolish(widget);
}
