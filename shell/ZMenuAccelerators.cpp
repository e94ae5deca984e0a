#include "ZMenuAccelerators.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>

TZMenuAccelerators::TZMenuAccelerators(QObject* parent) : QObject(parent) {}

void TZMenuAccelerators::SetLetter(QAction* action, QChar letter) {
    FLetters.insert(action, letter.toUpper());
    // Forget it with the action, so that a new action at the same address starts unlettered.
    connect(action, &QObject::destroyed, this, [this, action] { FLetters.remove(action); });
}

QChar TZMenuAccelerators::Letter(const QAction* action) const {
    return FLetters.value(action);
}

void TZMenuAccelerators::Watch(QMenu* menu) {
    menu->installEventFilter(this);
}

QAction* TZMenuAccelerators::ActionFor(const QMenu* menu, QChar letter) const {
    letter = letter.toUpper();
    for (QAction* action : menu->actions())
        if (action->isVisible() && action->isEnabled() && !action->isSeparator() &&
            FLetters.value(action) == letter)
            return action;
    return nullptr;
}

bool TZMenuAccelerators::eventFilter(QObject* watched, QEvent* event) {
    auto* menu = qobject_cast<QMenu*>(watched);
    if (!menu || event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~(Qt::ShiftModifier | Qt::AltModifier | Qt::KeypadModifier))
        return false;
    if (key->text().size() != 1 || !key->text().at(0).isLetterOrNumber()) return false;
    QAction* action = ActionFor(menu, key->text().at(0));
    if (!action) return false;
    // The menu's own Enter: it closes the menus before running an item, and opens a submenu.
    menu->setActiveAction(action);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(menu, &enter);
    return true;
}
