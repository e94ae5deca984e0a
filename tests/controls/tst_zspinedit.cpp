// Mouse input goes through the window, as a real pointer's would.
#define QTEST_QPA_MOUSE_HANDLING
#include "ZSpinEdit.h"
#include "activewindow.h"
#include "spinarrows.h"

#include <QAbstractButton>
#include <QMenu>
#include <QStyleOptionFrame>
#include <QtTest>

#include <memory>

namespace {

using namespace testcommon;

// Reaches the style's idea of the edit's client area.
class ProbeSpinEdit : public TZSpinEdit {
public:
    using TZSpinEdit::TZSpinEdit;
    QRect Client() const {
        QStyleOptionFrame option;
        initStyleOption(&option);
        return style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    }
};

} // namespace

class TestZSpinEdit : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> FWindow;
    QLineEdit* FStart = nullptr;
    ProbeSpinEdit* FEdit = nullptr;
    TZSpinEdit* FNext = nullptr;
    QStringList FLog;
    int FArrowEvents = 0;
    int FWrongSender = 0;
    bool FRewrite = false;

    void Log(QObject* sender, const QString& what) {
        if (sender != FEdit) ++FWrongSender;
        FLog << what;
    }

    // What an owner does in its handlers: writes the stepped value back.
    void Rewrite(int delta) {
        if (FRewrite) FEdit->setText(QString::number(FEdit->text().toInt() + delta));
    }

    void Run(const QString& action) {
        TZSpinButton* button = FEdit->Button();
        if (action == "click") {
            QTest::mouseClick(FEdit, Qt::LeftButton, {}, QPoint(20, FEdit->height() / 2));
        } else if (action.startsWith("type:")) {
            QTest::keyClicks(FEdit, action.mid(5));
        } else if (action == "tab") {
            QTest::keyClick(FEdit, Qt::Key_Tab);
        } else if (action == "back") {
            QTest::keyClick(FNext, Qt::Key_Backtab);
        } else if (action == "up" || action == "down") {
            QTest::mouseClick(button, Qt::LeftButton, {}, ArrowCentre(button, action == "up"));
        } else if (action == "rup") {
            QTest::mouseClick(button, Qt::RightButton, {}, ArrowCentre(button, true));
        } else if (action.startsWith("set:")) {
            FEdit->setText(action.mid(4));
        } else if (action.startsWith("hold:")) {
            const int until = FArrowEvents + action.mid(5).toInt();
            QTest::mousePress(button, Qt::LeftButton, {}, ArrowCentre(button, true));
            QTRY_COMPARE(FArrowEvents, until);
            QTest::mouseRelease(button, Qt::LeftButton, {}, ArrowCentre(button, true));
        } else if (action == "key:up") {
            QTest::keyClick(FEdit, Qt::Key_Up);
        } else if (action == "key:down") {
            QTest::keyClick(FEdit, Qt::Key_Down);
        } else if (action == "grey:less") {
            button->SetState(zsbsLess);
        } else if (action == "popup") {
            // Like the edit's own context menu: the focus goes to a popup and back.
            QMenu menu(FWindow.get());
            menu.addAction(QStringLiteral("Paste"));
            menu.popup(FEdit->mapToGlobal(QPoint(10, 10)));
            QTRY_VERIFY(menu.isVisible());
            menu.close();
            QTRY_VERIFY(FEdit->hasFocus());
        } else if (action == "switch") {
            QWidget other;
            other.resize(50, 50);
            other.show();
            other.activateWindow();
            QTRY_VERIFY(other.isActiveWindow());
            FWindow->activateWindow();
            QTRY_VERIFY(FWindow->isActiveWindow());
        } else {
            QFAIL(qPrintable("unknown action " + action));
        }
    }

private Q_SLOTS:
    void init() {
        FWindow = std::make_unique<QWidget>();
        FWindow->resize(300, 120);
        FStart = new QLineEdit(FWindow.get());
        FStart->setGeometry(150, 10, 100, 23);
        FEdit = new ProbeSpinEdit(FWindow.get());
        FEdit->setGeometry(10, 10, 121, 23);
        FEdit->setText(QStringLiteral("10"));
        FNext = new TZSpinEdit(FWindow.get());
        FNext->setGeometry(10, 50, 121, 23);
        // Slow enough between ticks that a poll sees every count on its way.
        FEdit->Button()->RepeatFirst = 30;
        FEdit->Button()->RepeatInterval = 200;
        FLog.clear();
        FArrowEvents = FWrongSender = 0;
        FRewrite = false;
        FEdit->OnMore = [this](QObject* s) {
            ++FArrowEvents;
            Log(s, "more");
            Rewrite(1);
        };
        FEdit->OnLess = [this](QObject* s) {
            ++FArrowEvents;
            Log(s, "less");
            Rewrite(-1);
        };
        FEdit->OnManual = [this](QObject* s, bool more, bool less) {
            if (more != less) ++FArrowEvents;
            Log(s, QStringLiteral("manual(%1,%2)").arg(int(more)).arg(int(less)));
            Rewrite(more && !less ? 1 : less && !more ? -1 : 0);
        };
        FEdit->OnChange = [this](QObject* s) { Log(s, "change"); };
        FEdit->OnEnter = [this](QObject* s) { Log(s, "enter"); };
        FEdit->OnExit = [this](QObject* s) { Log(s, "exit"); };
        QVERIFY(ShowActive(FWindow.get()));
        FStart->setFocus();
        QTRY_VERIFY(FStart->hasFocus());
        FLog.clear();
    }

    void cleanup() { FWindow.reset(); }

    void events_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("rewrite");
        QTest::addColumn<QString>("log");
        QTest::newRow("typing then Tab")
            << "click type:5 tab" << false << false << "enter change manual(1,1) exit";
        QTest::newRow("leaving again without typing")
            << "click type:5 tab back tab" << false << false
            << "enter change manual(1,1) exit enter exit";
        QTest::newRow("typing then upper arrow twice")
            << "click type:5 up up" << false << false << "enter change manual(1,0) more";
        QTest::newRow("typing then lower arrow twice")
            << "click type:5 down down" << false << false << "enter change manual(0,1) less";
        QTest::newRow("lower arrow without typing")
            << "click down" << false << false << "enter less";
        QTest::newRow("arrow of an unfocused edit enters it first")
            << "up" << false << false << "enter more";
        QTest::newRow("program text, then arrow of the unfocused edit")
            << "set:7 up" << false << false << "change enter more";
        QTest::newRow("program text while focused")
            << "click set:7 up up" << false << false << "enter change manual(1,0) more";
        QTest::newRow("the same text raises nothing")
            << "click set:10 up tab" << false << false << "enter more exit";
        QTest::newRow("step handler rewrites the text")
            << "click up tab" << false << true << "enter more change exit";
        QTest::newRow("manual handler rewrites the text")
            << "click type:5 down tab" << false << true << "enter change manual(0,1) change exit";
        QTest::newRow("auto-repeat after typing")
            << "click type:5 hold:3" << false << false << "enter change manual(1,0) more more more";
        QTest::newRow("auto-repeat on an unfocused edit with program text")
            << "set:7 hold:2" << false << false << "change enter more more more";
        QTest::newRow("read-only refuses typing and still steps")
            << "click type:5 tab back up" << true << false << "enter exit enter more";
        QTest::newRow("Up and Down keys do nothing")
            << "click key:up key:down tab" << false << false << "enter exit";
        QTest::newRow("right press on an arrow") << "rup" << false << false << "";
        QTest::newRow("right press keeps the typed flag")
            << "click type:5 rup tab" << false << false << "enter change manual(1,1) exit";
        QTest::newRow("greyed arrow takes no press") << "grey:less up" << false << false << "";
        QTest::newRow("a popup does not leave the field")
            << "click type:5 popup tab" << false << false << "enter change manual(1,1) exit";
        QTest::newRow("switching windows leaves and enters")
            << "click type:5 switch up" << false << false
            << "enter change manual(1,1) exit enter more";
    }

    void events() {
        QFETCH(QString, script);
        QFETCH(bool, readOnly);
        QFETCH(bool, rewrite);
        QFETCH(QString, log);
        FEdit->setReadOnly(readOnly);
        FRewrite = rewrite;
        for (const QString& action : script.split(' ', Qt::SkipEmptyParts)) {
            Run(action);
            if (QTest::currentTestFailed()) return;
        }
        QCOMPARE(FLog.join(' '), log);
        QCOMPARE(FWrongSender, 0);
    }

    void unassignedEventsAreSkipped() {
        FEdit->OnMore = nullptr;
        FEdit->OnLess = nullptr;
        FEdit->OnManual = nullptr;
        FEdit->OnEnter = nullptr;
        FEdit->OnExit = nullptr;
        FEdit->OnChange = nullptr;
        Run("click");
        FEdit->end(false);
        Run("type:5");
        Run("up");
        Run("down");
        Run("type:6");
        Run("tab");
        QCOMPARE(FLog, QStringList());
        QCOMPARE(FEdit->text(), QStringLiteral("1056"));
    }

    void geometry_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("frame");
        QTest::addColumn<int>("buttonWidth");
        QTest::newRow("121 x 23") << QSize(121, 23) << true << 15;
        QTest::newRow("73 x 23") << QSize(73, 23) << true << 15;
        QTest::newRow("65 x 30") << QSize(65, 30) << true << 15;
        QTest::newRow("121 x 23 without frame") << QSize(121, 23) << false << 15;
        QTest::newRow("wider button") << QSize(121, 23) << true << 20;
        QTest::newRow("narrower than the button") << QSize(10, 8) << true << 15;
    }

    void geometry() {
        QFETCH(QSize, size);
        QFETCH(bool, frame);
        QFETCH(int, buttonWidth);
        FEdit->setFrame(frame);
        FEdit->Button()->resize(buttonWidth, FEdit->Button()->height());
        // The layout follows the next resize, as any change of size.
        FEdit->resize(1, 1);
        FEdit->resize(size);
        const QRect client = FEdit->Client();
        if (!frame) QCOMPARE(client, QRect(QPoint(0, 0), size));
        const QRect b = FEdit->Button()->geometry();
        QCOMPARE(b.width(), buttonWidth);
        QCOMPARE(b.x() + b.width(), client.x() + client.width());
        QCOMPARE(b.y(), client.y());
        QCOMPARE(b.height(), client.height());
        // The text rectangle ends where the button begins.
        const QRect text = client.marginsRemoved(FEdit->textMargins());
        QCOMPARE(text.x() + text.width(), b.x());
        QCOMPARE(text.y(), client.y());
        QCOMPARE(text.height(), client.height());
    }

    void buttonDefaults() {
        TZSpinEdit edit;
        QCOMPARE(edit.Button()->parentWidget(), &edit);
        QCOMPARE(edit.Button()->FocusControl.data(), &edit);
        QCOMPARE(edit.Button()->width(), 15);
        QCOMPARE(edit.Button()->State(), TZSpinButtonState(zsbsMore | zsbsLess));
        QVERIFY(edit.focusPolicy() & Qt::TabFocus);
        QVERIFY(!edit.isReadOnly());
    }
};

QTEST_MAIN(TestZSpinEdit)
#include "tst_zspinedit.moc"
