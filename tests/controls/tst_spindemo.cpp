// The demo as an owner of the controls, driven with the mouse and keyboard.
#define QTEST_QPA_MOUSE_HANDLING
#include "activewindow.h"
#include "spinarrows.h"
#include "spindemo.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>

namespace {

using namespace testcommon;

void Click(TZSpinEdit* edit, bool upper) {
    QTest::mouseClick(edit->Button(), Qt::LeftButton, {}, ArrowCentre(edit->Button(), upper));
}

} // namespace

class TestSpinDemo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stepsGreyAndManualEntry() {
        TSpinDemo demo;
        QVERIFY(ShowActive(&demo));
        TZSpinEdit* count = demo.SpinEditCount;

        for (int i = 0; i < 6; ++i)
            Click(count, true);
        QCOMPARE(count->text(), QStringLiteral("10"));
        QCOMPARE(count->Button()->State(), TZSpinButtonState(zsbsLess));
        Click(count, false);
        QCOMPARE(count->text(), QStringLiteral("9"));
        QCOMPARE(count->Button()->State(), TZSpinButtonState(zsbsMore | zsbsLess));

        // Typed text is normalised when the field is left.
        count->selectAll();
        QTest::keyClicks(count, QStringLiteral("42"));
        QTest::keyClick(count, Qt::Key_Tab);
        QCOMPARE(count->text(), QStringLiteral("10"));
        QVERIFY(demo.Log->toPlainText().endsWith(
            QStringLiteral("Count: Manual(true, true)\nCount: Exit")));
    }

    void holdRunsToTheLimit() {
        TSpinDemo demo;
        QVERIFY(ShowActive(&demo));
        TZSpinEdit* gamma = demo.SpinEditGamma;
        gamma->Button()->RepeatFirst = 10;
        gamma->Button()->RepeatInterval = 5;
        const QPoint at = ArrowCentre(gamma->Button(), false);
        QTest::mousePress(gamma->Button(), Qt::LeftButton, {}, at);
        QTRY_COMPARE(gamma->text(), QStringLiteral("1.00"));
        QVERIFY(!gamma->Button()->LowerHalf()->isEnabled());
        QTest::mouseRelease(gamma->Button(), Qt::LeftButton, {}, at);
        QCOMPARE(gamma->text(), QStringLiteral("1.00"));
        QVERIFY(gamma->hasFocus());

        QTest::mouseClick(demo.SpinButtonClicks, Qt::LeftButton, {}, QPoint(8, 4));
        QCOMPARE(demo.TextClicks->text(), QStringLiteral("Spin button: 1 of 20"));
    }
};

QTEST_MAIN(TestSpinDemo)
#include "tst_spindemo.moc"
