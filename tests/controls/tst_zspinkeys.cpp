// The spin edit's keys, switched on, against an owner that steps 0 ... 10 and
// greys its arrows at the ends as the property dialog does; and the names the
// arrows give assistive tools.
#include "ZSpinEdit.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QShortcut>
#include <QtTest>

#include <memory>

class TestZSpinKeys : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> FWindow;
    TZSpinEdit* FEdit = nullptr;
    QStringList FLog;
    bool FLimits = true;

    int Value() const { return FEdit->text().toInt(); }
    void Set(int v) {
        if (FLimits) v = std::clamp(v, 0, 10);
        FEdit->setText(QString::number(v));
        if (!FLimits) return;
        TZSpinButtonState s;
        if (v < 10) s |= zsbsMore;
        if (v > 0) s |= zsbsLess;
        FEdit->Button()->SetState(s);
    }

private Q_SLOTS:
    void init() {
        FWindow = std::make_unique<QWidget>();
        FWindow->resize(200, 80);
        FEdit = new TZSpinEdit(FWindow.get());
        FEdit->setGeometry(10, 10, 121, 23);
        FEdit->setText("5");
        FEdit->KeyStepping = true;
        FLog.clear();
        FLimits = true;
        FEdit->OnMore = [this](QObject*) {
            FLog << "more";
            Set(Value() + 1);
        };
        FEdit->OnLess = [this](QObject*) {
            FLog << "less";
            Set(Value() - 1);
        };
        FEdit->OnManual = [this](QObject*, bool more, bool less) {
            FLog << QStringLiteral("manual(%1,%2)").arg(int(more)).arg(int(less));
            Set(Value() + (more == less ? 0 : more ? 1 : -1));
        };
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowActive(FWindow.get()));
        FEdit->setFocus();
        QTRY_VERIFY(FEdit->hasFocus());
    }

    void cleanup() { FWindow.reset(); }

    void keys_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("arrows"); // the state before the key
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("log");
        const int none = Qt::NoModifier;
        QTest::newRow("Up") << "5"
                            << "both" << int(Qt::Key_Up) << none << 6 << "more";
        QTest::newRow("Down") << "5"
                              << "both" << int(Qt::Key_Down) << none << 4 << "less";
        QTest::newRow("keypad Up")
            << "5"
            << "both" << int(Qt::Key_Up) << int(Qt::KeypadModifier) << 6 << "more";
        QTest::newRow("PageUp: ten clicks, stopped where the arrow greys")
            << "5"
            << "both" << int(Qt::Key_PageUp) << none << 10 << "more more more more more";
        QTest::newRow("PageDown from 10") << "10"
                                          << "less" << int(Qt::Key_PageDown) << none << 0
                                          << "less less less less less less less less less less";
        QTest::newRow("Home") << "3"
                              << "both" << int(Qt::Key_Home) << none << 0 << "less less less";
        QTest::newRow("End") << "8"
                             << "both" << int(Qt::Key_End) << none << 10 << "more more";
        QTest::newRow("at the limit with the arrow still on: one click, which greys it")
            << "10"
            << "both" << int(Qt::Key_End) << none << 10 << "more";
        QTest::newRow("Up on a greyed arrow") << "10"
                                              << "less" << int(Qt::Key_Up) << none << 10 << "";
        QTest::newRow("Home on a greyed arrow") << "0"
                                                << "more" << int(Qt::Key_Home) << none << 0 << "";
        QTest::newRow("Ctrl+Up is not a step")
            << "5"
            << "both" << int(Qt::Key_Up) << int(Qt::ControlModifier) << 5 << "";
        QTest::newRow("Shift+Home selects")
            << "5"
            << "both" << int(Qt::Key_Home) << int(Qt::ShiftModifier) << 5 << "";
        QTest::newRow("a digit is typed") << "5"
                                          << "both" << int(Qt::Key_7) << none << 57 << "";
    }

    void keys() {
        QFETCH(QString, start);
        QFETCH(QString, arrows);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, value);
        QFETCH(QString, log);
        FEdit->setText(start);
        // Entered afresh: nothing typed.
        FEdit->clearFocus();
        FEdit->setFocus(Qt::TabFocusReason);
        FEdit->end(false);
        FLog.clear(); // the leaving's normalisation of the text set above
        FEdit->Button()->SetState(arrows == "both"   ? TZSpinButtonState(zsbsMore | zsbsLess)
                                  : arrows == "more" ? TZSpinButtonState(zsbsMore)
                                                     : TZSpinButtonState(zsbsLess));
        QTest::keyClick(FEdit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(Value(), value);
        QCOMPARE(FLog.join(' '), log);
    }

    void typedThenKeyIsManual() {
        FEdit->selectAll();
        QTest::keyClicks(FEdit, "2");
        QTest::keyClick(FEdit, Qt::Key_PageUp);
        // The first click carries the typed text, the others are steps: as with the mouse.
        QCOMPARE(FLog.join(' '), QString("manual(1,0) more more more more more more more"));
        QCOMPARE(Value(), 10);
    }

    void eachKeyEventIsAStep() {
        for (bool repeat : {false, true, true}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), repeat);
            QApplication::sendEvent(FEdit, &press);
        }
        QCOMPARE(Value(), 2);
    }

    void offByDefault() {
        TZSpinEdit plain(FWindow.get());
        QVERIFY(!plain.KeyStepping);
        int steps = 0;
        plain.OnMore = plain.OnLess = [&steps](QObject*) { ++steps; };
        plain.setText("123");
        plain.show();
        plain.setFocus();
        QTest::keyClick(&plain, Qt::Key_Home);
        QCOMPARE(plain.cursorPosition(), 0); // the line edit's Home
        for (int key : {Qt::Key_Up, Qt::Key_PageUp, Qt::Key_End})
            QTest::keyClick(&plain, Qt::Key(key));
        QCOMPARE(steps, 0);
    }

    void endStopsWhereTheTextStays() {
        // An owner that clamps without greying.
        FEdit->OnMore = [this](QObject*) {
            FLog << "more";
            FEdit->setText(QString::number(std::min(Value() + 1, 7)));
        };
        QTest::keyClick(FEdit, Qt::Key_End);
        QCOMPARE(Value(), 7);
        QCOMPARE(FLog.size(), 3); // 6, 7, and the click that left 7
    }

    void endIsBoundedWithoutLimits() {
        FLimits = false;
        QTest::keyClick(FEdit, Qt::Key_End);
        QCOMPARE(FLog.size(), TZSpinEdit::kLimitClicks);
        QCOMPARE(Value(), 5 + TZSpinEdit::kLimitClicks);
    }

    void keysGoBeforeWindowShortcuts() {
        int fired = 0;
        auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Up), FWindow.get());
        connect(shortcut, &QShortcut::activated, this, [&fired] { ++fired; });
        QTest::keyClick(FEdit, Qt::Key_Up);
        QCOMPARE(Value(), 6);
        QCOMPARE(fired, 0);
        // Switched off, the key is the window's.
        FEdit->KeyStepping = false;
        QTest::keyClick(FEdit, Qt::Key_Up);
        QCOMPARE(Value(), 6);
        QCOMPARE(fired, 1);
    }

    void arrowNames_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QString>("lower");
        QTest::newRow("unnamed") << QString() << "Increase"
                                 << "Decrease";
        QTest::newRow("Scale") << "Scale"
                               << "Increase Scale"
                               << "Decrease Scale";
    }

    void arrowNames() {
        QFETCH(QString, field);
        QFETCH(QString, upper);
        QFETCH(QString, lower);
        TZSpinButton button(FWindow.get());
        if (!field.isEmpty()) button.NameHalves(field);
        const struct {
            QAbstractButton* half;
            QString name;
        } halves[] = {{button.UpperHalf(), upper}, {button.LowerHalf(), lower}};
        for (const auto& h : halves) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(h.half);
            QVERIFY(a);
            QCOMPARE(a->role(), QAccessible::Button);
            QCOMPARE(a->text(QAccessible::Name), h.name);
        }
    }
};

QTEST_MAIN(TestZSpinKeys)
#include "tst_zspinkeys.moc"
