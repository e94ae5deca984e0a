// The main window's popup menu by keyboard, on the offscreen platform: the
// menu key and Shift+F10 open it, and a letter chooses an item as Enter would.
#include "UnitSorvane.h"
#include "ZMenuAccelerators.h"
#include "ZRelationFile.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include <memory>

namespace {

QString SettingsPath() {
    return QString::fromStdString(RelationFileName(kSettingsExtension));
}

QMenu* FitMenu(TFormSorvane& form) {
    return form.PopupMenu()->actions().at(2)->menu();
}

} // namespace

class TestMenuKeys : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void everyItemHasItsOwnLetter();
    void letters_data();
    void letters();
    void fitCorners_data();
    void fitCorners();
    void openedByKeyboard_data();
    void openedByKeyboard();

private:
    void OpenMenu();
    std::unique_ptr<TFormSorvane> form;
    int made = 0;
};

void TestMenuKeys::init() {
    QFile::remove(SettingsPath());
    form = std::make_unique<TFormSorvane>(instance::TInstanceNames{});
    form->Timer()->stop();
    made = 0;
    form->CreatePropertyDialog = [this] {
        ++made;
        return new QWidget(form.get(), Qt::Window);
    };
    QTRY_VERIFY(form->isVisible());
}

void TestMenuKeys::cleanup() {
    form.reset();
    QFile::remove(SettingsPath());
}

void TestMenuKeys::OpenMenu() {
    form->PopupMenu()->popup(form->mapToGlobal(QPoint(150, 48)));
    QTRY_VERIFY(form->PopupMenu()->isVisible());
}

void TestMenuKeys::everyItemHasItsOwnLetter() {
    const TZMenuAccelerators* keys = form->MenuAccelerators();
    for (QMenu* menu : {form->PopupMenu(), FitMenu(*form)}) {
        QList<QChar> seen;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            const QChar letter = keys->Letter(a);
            QVERIFY2(!letter.isNull(), qPrintable(a->text()));
            QVERIFY2(!seen.contains(letter), qPrintable(a->text()));
            seen.append(letter);
            QCOMPARE(keys->ActionFor(menu, letter.toLower()), a);
            // The text carries no mnemonic, so the menu looks as it did.
            QVERIFY(!a->text().contains(u'&'));
        }
    }
}

void TestMenuKeys::letters_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("effect");
    QTest::newRow("P Property...") << int(Qt::Key_P) << int(Qt::NoModifier) << "property";
    QTest::newRow("Shift+P") << int(Qt::Key_P) << int(Qt::ShiftModifier) << "property";
    QTest::newRow("S Stay on top") << int(Qt::Key_S) << int(Qt::NoModifier) << "stayontop";
    QTest::newRow("Alt+S") << int(Qt::Key_S) << int(Qt::AltModifier) << "stayontop";
    QTest::newRow("F Fit window with...") << int(Qt::Key_F) << int(Qt::NoModifier) << "fit";
    QTest::newRow("X Exit") << int(Qt::Key_X) << int(Qt::NoModifier) << "exit";
    QTest::newRow("Ctrl+S: no letter") << int(Qt::Key_S) << int(Qt::ControlModifier) << "none";
    QTest::newRow("Q: no item") << int(Qt::Key_Q) << int(Qt::NoModifier) << "none";
    QTest::newRow("7: a corner of the submenu only")
        << int(Qt::Key_7) << int(Qt::NoModifier) << "none";
}

void TestMenuKeys::letters() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, effect);
    const QPoint place = form->pos();
    OpenMenu();
    QMenu* menu = form->PopupMenu();
    QTest::keyClick(menu, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    if (effect == "fit") {
        // The submenu opens with its first item chosen; the main menu stays.
        QMenu* fit = FitMenu(*form);
        QTRY_VERIFY(fit->isVisible());
        QVERIFY(menu->isVisible());
        QCOMPARE(fit->activeAction(), fit->actions().first());
        fit->close();
        menu->close();
        return;
    }
    if (effect == "none") {
        QVERIFY(menu->isVisible());
        QCOMPARE(made, 0);
        QVERIFY(form->StayOnTop());
        QVERIFY(form->isVisible());
        QCOMPARE(form->pos(), place);
        menu->close();
        return;
    }
    // An item ran: the menu is gone, as after Enter.
    QTRY_VERIFY(!menu->isVisible());
    QCOMPARE(made, effect == "property" ? 1 : 0);
    if (effect == "property") QVERIFY(form->PropertyDialog && form->PropertyDialog->isVisible());
    QCOMPARE(form->StayOnTop(), effect != "stayontop");
    QCOMPARE(form->isVisible(), effect != "exit");
}

void TestMenuKeys::fitCorners_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QPoint>("corner"); // 0 left or top, 1 right or bottom
    QTest::newRow("7 Top Left") << int(Qt::Key_7) << QPoint(0, 0);
    QTest::newRow("9 Top Right") << int(Qt::Key_9) << QPoint(1, 0);
    QTest::newRow("1 Bottom Left") << int(Qt::Key_1) << QPoint(0, 1);
    QTest::newRow("3 Bottom Right") << int(Qt::Key_3) << QPoint(1, 1);
}

void TestMenuKeys::fitCorners() {
    QFETCH(int, key);
    QFETCH(QPoint, corner);
    form->move(200, 150);
    OpenMenu();
    QTest::keyClick(form->PopupMenu(), Qt::Key_F);
    QMenu* fit = FitMenu(*form);
    QTRY_VERIFY(fit->isVisible());
    // From the keypad too: the corners sit where its 7, 9, 1 and 3 do.
    QTest::keyClick(fit, Qt::Key(key), Qt::KeypadModifier);
    QTRY_VERIFY(!fit->isVisible());
    QVERIFY(!form->PopupMenu()->isVisible());
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(form->pos(),
             QPoint(corner.x() * (screen.width() - 305), corner.y() * (screen.height() - 97)));
}

void TestMenuKeys::openedByKeyboard_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("opens");
    QTest::newRow("menu key") << "menu" << true;
    QTest::newRow("Shift+F10") << "shift+f10" << true;
    QTest::newRow("F10 alone") << "f10" << false;
    // A right press has opened it already, through the graph.
    QTest::newRow("a mouse context event") << "mouse" << false;
}

void TestMenuKeys::openedByKeyboard() {
    QFETCH(QString, how);
    QFETCH(bool, opens);
    form->move(200, 150); // room for the menu where it is asked for
    const QPoint centre =
        form->PerformanceGraph->mapToGlobal(form->PerformanceGraph->rect().center());
    if (how == "menu" || how == "mouse") {
        QContextMenuEvent e(how == "menu" ? QContextMenuEvent::Keyboard : QContextMenuEvent::Mouse,
                            QPoint(150, 48), form->mapToGlobal(QPoint(150, 48)));
        QApplication::sendEvent(form.get(), &e);
    } else {
        QTest::keyClick(form.get(), Qt::Key_F10,
                        how == "shift+f10" ? Qt::ShiftModifier : Qt::NoModifier);
    }
    QMenu* menu = form->PopupMenu();
    if (!opens) {
        QVERIFY(!menu->isVisible()); // a popup is up as soon as it is asked for
        return;
    }
    QVERIFY(menu->isVisible());
    QCOMPARE(menu->pos(), centre);
    // And on by letter.
    QTest::keyClick(menu, Qt::Key_S);
    QTRY_VERIFY(!menu->isVisible());
    QVERIFY(!form->StayOnTop());
}

QTEST_MAIN(TestMenuKeys)
#include "tst_menukeys.moc"
