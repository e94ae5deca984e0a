// Letters that choose the items of popup menus without appearing in their
// texts. A mnemonic ("&") would change an item's text and, under the styles on
// Linux, underline a letter of it; these keep the menu as it looks.
//
// In an open menu, an item's letter (alone, with Shift or with Alt) does what
// Enter does on that item: runs it, or opens its submenu with the first item
// selected. Hidden, disabled and unlettered items take no letter; a letter no
// item of the menu has is left to the menu.
#pragma once

#include <QChar>
#include <QHash>
#include <QObject>
#include <QPointer>

class QAction;
class QMenu;

class TZMenuAccelerators : public QObject {
    Q_OBJECT
public:
    explicit TZMenuAccelerators(QObject* parent);

    // Gives the action its letter (any case) in every menu this object watches.
    void SetLetter(QAction* action, QChar letter);
    // The letter given to the action; a null QChar if none.
    QChar Letter(const QAction* action) const;
    // Starts listening to the menu's keys.
    void Watch(QMenu* menu);
    // The item of the menu that a letter chooses; null if none.
    QAction* ActionFor(const QMenu* menu, QChar letter) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHash<const QAction*, QChar> FLetters;
};
