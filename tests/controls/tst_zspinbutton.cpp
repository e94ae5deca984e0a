// Mouse input goes through the window, as a real pointer's would: the press
// picks the half under it, the implicit grab routes the release, and Qt's
// click-to-focus runs.
#define QTEST_QPA_MOUSE_HANDLING
#include "ZSpinButton.h"
#include "activewindow.h"
#include "spinarrows.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

Q_DECLARE_METATYPE(TZSpinButtonState)

namespace {

using namespace testcommon;

QImage Grab(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Where the rows of a glyph (# black, anything else not black) first match
// inside the image; (-1, -1) when nowhere.
QPoint FindBlackPattern(const QImage& image, const QStringList& rows) {
    const int gw = rows[0].size(), gh = rows.size();
    for (int y = 0; y + gh <= image.height(); ++y)
        for (int x = 0; x + gw <= image.width(); ++x) {
            bool match = true;
            for (int r = 0; r < gh && match; ++r)
                for (int c = 0; c < gw && match; ++c)
                    match = (image.pixel(x + c, y + r) == qRgb(0, 0, 0)) == (rows[r][c] == '#');
            if (match) return {x, y};
        }
    return {-1, -1};
}

bool HasBlack(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(0, 0, 0)) return true;
    return false;
}

} // namespace

class TestZSpinButton : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> FWindow;
    TZSpinButton* FButton = nullptr;
    QLineEdit* FOther = nullptr;
    QLineEdit* FTarget = nullptr;
    QElapsedTimer FClock;
    std::vector<qint64> FMoreAt;
    int FMore = 0;
    int FLess = 0;
    int FWrongSender = 0;

    QTimer* RepeatTimer() const { return FButton->findChild<QTimer*>(); }
    QPoint UpperCentre() const { return ArrowCentre(FButton, true); }
    QPoint LowerCentre() const { return ArrowCentre(FButton, false); }

private Q_SLOTS:
    void init() {
        FWindow = std::make_unique<QWidget>();
        FWindow->resize(200, 120);
        FOther = new QLineEdit(FWindow.get());
        FOther->setGeometry(60, 10, 100, 22);
        FTarget = new QLineEdit(FWindow.get());
        FTarget->setGeometry(60, 40, 100, 22);
        FButton = new TZSpinButton(FWindow.get());
        FButton->move(10, 10);
        FMore = FLess = FWrongSender = 0;
        FMoreAt.clear();
        FButton->OnMore = [this](QObject* sender) {
            FMoreAt.push_back(FClock.elapsed());
            ++FMore;
            if (sender != FButton) ++FWrongSender;
        };
        FButton->OnLess = [this](QObject* sender) {
            ++FLess;
            if (sender != FButton) ++FWrongSender;
        };
        QVERIFY(ShowActive(FWindow.get()));
        FOther->setFocus();
        QTRY_VERIFY(FOther->hasFocus());
    }

    void cleanup() { FWindow.reset(); }

    void defaults() {
        TZSpinButton button;
        QCOMPARE(button.size(), QSize(17, 25));
        QCOMPARE(button.State(), TZSpinButtonState(zsbsMore | zsbsLess));
        QCOMPARE(button.RepeatFirst, 500);
        QCOMPARE(button.RepeatInterval, 150);
        QVERIFY(!button.FocusControl);
        QCOMPARE(button.focusPolicy(), Qt::NoFocus);
        QVERIFY(button.UpperHalf()->isEnabled());
        QVERIFY(button.LowerHalf()->isEnabled());
    }

    void clicks_data() {
        QTest::addColumn<QPoint>("pressAt");
        QTest::addColumn<QPoint>("releaseAt");
        QTest::addColumn<bool>("twice");
        QTest::addColumn<int>("more");
        QTest::addColumn<int>("less");
        QTest::newRow("upper half") << QPoint(8, 5) << QPoint(8, 5) << false << 1 << 0;
        QTest::newRow("lower half") << QPoint(8, 19) << QPoint(8, 19) << false << 0 << 1;
        QTest::newRow("upper half corner pixels")
            << QPoint(16, 0) << QPoint(0, 11) << false << 1 << 0;
        QTest::newRow("lower half last row") << QPoint(16, 24) << QPoint(0, 13) << false << 0 << 1;
        QTest::newRow("uncovered middle row") << QPoint(8, 12) << QPoint(8, 12) << false << 0 << 0;
        QTest::newRow("double click upper") << QPoint(8, 5) << QPoint(8, 5) << true << 2 << 0;
        QTest::newRow("released over the other half")
            << QPoint(8, 5) << QPoint(8, 19) << false << 0 << 0;
        QTest::newRow("released outside") << QPoint(8, 19) << QPoint(8, 60) << false << 0 << 0;
    }

    void clicks() {
        QFETCH(QPoint, pressAt);
        QFETCH(QPoint, releaseAt);
        QFETCH(bool, twice);
        QFETCH(int, more);
        QFETCH(int, less);
        for (int i = 0; i < (twice ? 2 : 1); ++i) {
            QTest::mousePress(FButton, Qt::LeftButton, {}, pressAt);
            QTest::mouseRelease(FButton, Qt::LeftButton, {}, releaseAt);
        }
        QCOMPARE(FMore, more);
        QCOMPARE(FLess, less);
        QCOMPARE(FWrongSender, 0);
        QVERIFY(!RepeatTimer()->isActive());
    }

    void otherButtonsDoNothing_data() {
        QTest::addColumn<Qt::MouseButton>("mouseButton");
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }

    void otherButtonsDoNothing() {
        QFETCH(Qt::MouseButton, mouseButton);
        FButton->FocusControl = FTarget;
        QTest::mousePress(FButton, mouseButton, {}, UpperCentre());
        QVERIFY(!RepeatTimer()->isActive());
        QVERIFY(FOther->hasFocus());
        QTest::mouseRelease(FButton, mouseButton, {}, UpperCentre());
        QCOMPARE(FMore, 0);
        QCOMPARE(FLess, 0);
        QVERIFY(FOther->hasFocus());
    }

    void repeatSchedule_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("interval");
        QTest::newRow("defaults: 500, 650, 800, 950 ms") << 500 << 150;
        QTest::newRow("short") << 80 << 30;
        QTest::newRow("interval longer than the first delay") << 40 << 120;
    }

    void repeatSchedule() {
        QFETCH(int, first);
        QFETCH(int, interval);
        FButton->RepeatFirst = first;
        FButton->RepeatInterval = interval;
        FClock.start();
        QTest::mousePress(FButton, Qt::LeftButton, {}, UpperCentre());
        QVERIFY(RepeatTimer()->isActive());
        QCOMPARE(RepeatTimer()->interval(), first);
        QCOMPARE(FMore, 0);
        // Polling may see the count only after it has passed 4.
        QTRY_VERIFY_WITH_TIMEOUT(FMore >= 4, 10000);
        QCOMPARE(RepeatTimer()->interval(), interval);
        // A timer may round by a millisecond, never fire a whole step early.
        QVERIFY2(FMoreAt[0] >= first - 1, qPrintable(QString::number(FMoreAt[0])));
        for (int i = 1; i < 4; ++i)
            QVERIFY2(FMoreAt[i] - FMoreAt[i - 1] >= interval - 1,
                     qPrintable(QString::number(FMoreAt[i] - FMoreAt[i - 1])));
        const int held = FMore;
        QTest::mouseRelease(FButton, Qt::LeftButton, {}, UpperCentre());
        QCOMPARE(FMore, held + 1);
        QCOMPARE(FLess, 0);
        QVERIFY(!RepeatTimer()->isActive());
    }

    void releaseOutsideEndsRepeatSilently() {
        FButton->RepeatFirst = 30;
        FButton->RepeatInterval = 20;
        QTest::mousePress(FButton, Qt::LeftButton, {}, LowerCentre());
        QTRY_VERIFY(FLess >= 2);
        const int held = FLess;
        QTest::mouseRelease(FButton, Qt::LeftButton, {}, QPoint(100, 100));
        QVERIFY(!RepeatTimer()->isActive());
        QCOMPARE(FLess, held);
        QCOMPARE(FMore, 0);
    }

    void nonPositiveDelaysStopRepeating_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("runsAfterPress");
        QTest::addColumn<bool>("runsAfterTick");
        QTest::newRow("first 0") << 0 << 20 << false << false;
        QTest::newRow("first negative") << -5 << 20 << false << false;
        QTest::newRow("interval 0: one repeat") << 20 << 0 << true << false;
        QTest::newRow("interval negative") << 20 << -1 << true << false;
    }

    void nonPositiveDelaysStopRepeating() {
        QFETCH(int, first);
        QFETCH(int, interval);
        QFETCH(bool, runsAfterPress);
        QFETCH(bool, runsAfterTick);
        FButton->RepeatFirst = first;
        FButton->RepeatInterval = interval;
        QTest::mousePress(FButton, Qt::LeftButton, {}, UpperCentre());
        QCOMPARE(RepeatTimer()->isActive(), runsAfterPress);
        if (runsAfterPress) {
            QTRY_COMPARE(FMore, 1);
            QCOMPARE(RepeatTimer()->isActive(), runsAfterTick);
        }
        QTest::mouseRelease(FButton, Qt::LeftButton, {}, UpperCentre());
        QCOMPARE(FMore, runsAfterPress ? 2 : 1);
    }

    void disablingTheHeldHalfKeepsRepeating_data() {
        QTest::addColumn<bool>("upper");
        QTest::newRow("upper half greyed by OnMore") << true;
        QTest::newRow("lower half greyed by OnLess") << false;
    }

    void disablingTheHeldHalfKeepsRepeating() {
        QFETCH(bool, upper);
        int events = 0;
        // As an owner at the end of its range does.
        auto greyOwnArrow = [&](QObject*) {
            ++events;
            FButton->SetState(Arrows(upper, !upper)); // the other arrow only
        };
        (upper ? FButton->OnMore : FButton->OnLess) = greyOwnArrow;
        FButton->RepeatFirst = 30;
        FButton->RepeatInterval = 20;
        QAbstractButton* half = ArrowHalf(FButton, upper);
        const QPoint at = half->geometry().center();
        QTest::mousePress(FButton, Qt::LeftButton, {}, at);
        QTRY_VERIFY(events >= 1);
        QVERIFY(!half->isEnabled());
        QTRY_VERIFY(events >= 4);
        QVERIFY(RepeatTimer()->isActive());
        const int held = events;
        QTest::mouseRelease(FButton, Qt::LeftButton, {}, at);
        QVERIFY(!RepeatTimer()->isActive());
        // The release over a disabled half is no click.
        QCOMPARE(events, held);
    }

    void disabledHalfTakesNoPress() {
        FButton->FocusControl = FTarget;
        FButton->SetState(zsbsMore);
        QTest::mousePress(FButton, Qt::LeftButton, {}, LowerCentre());
        QVERIFY(!RepeatTimer()->isActive());
        QVERIFY(FOther->hasFocus());
        QTest::mouseRelease(FButton, Qt::LeftButton, {}, LowerCentre());
        QCOMPARE(FLess, 0);
        QTest::mouseClick(FButton, Qt::LeftButton, {}, UpperCentre());
        QCOMPARE(FMore, 1);
    }

    void hidingEndsRepeat() {
        FButton->RepeatFirst = 30;
        FButton->RepeatInterval = 20;
        QTest::mousePress(FButton, Qt::LeftButton, {}, UpperCentre());
        QTRY_VERIFY(FMore >= 1);
        FWindow->hide();
        QVERIFY(!RepeatTimer()->isActive());
    }

    void stateTouchesOnlyChangedHalves_data() {
        QTest::addColumn<TZSpinButtonState>("from");
        QTest::addColumn<TZSpinButtonState>("to");
        QTest::addColumn<int>("upperChanges");
        QTest::addColumn<int>("lowerChanges");
        const TZSpinButtonState both(zsbsMore | zsbsLess), more(zsbsMore), less(zsbsLess), none;
        QTest::newRow("both to more only") << both << more << 0 << 1;
        QTest::newRow("more only back to both") << more << both << 0 << 1;
        QTest::newRow("both to less only") << both << less << 1 << 0;
        QTest::newRow("both to none") << both << none << 1 << 1;
        QTest::newRow("none to less only") << none << less << 0 << 1;
        QTest::newRow("less only to more only") << less << more << 1 << 1;
        QTest::newRow("same set") << more << more << 0 << 0;
    }

    void stateTouchesOnlyChangedHalves() {
        QFETCH(TZSpinButtonState, from);
        QFETCH(TZSpinButtonState, to);
        QFETCH(int, upperChanges);
        QFETCH(int, lowerChanges);
        FButton->SetState(from);
        QCOMPARE(FButton->UpperHalf()->isEnabled(), from.testFlag(zsbsMore));
        QCOMPARE(FButton->LowerHalf()->isEnabled(), from.testFlag(zsbsLess));

        struct Counter : QObject {
            int Changes = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::EnabledChange) ++Changes;
                return false;
            }
        } upper, lower;
        FButton->UpperHalf()->installEventFilter(&upper);
        FButton->LowerHalf()->installEventFilter(&lower);
        FButton->SetState(to);
        FButton->UpperHalf()->removeEventFilter(&upper);
        FButton->LowerHalf()->removeEventFilter(&lower);

        QCOMPARE(FButton->State(), to);
        QCOMPARE(FButton->UpperHalf()->isEnabled(), to.testFlag(zsbsMore));
        QCOMPARE(FButton->LowerHalf()->isEnabled(), to.testFlag(zsbsLess));
        QCOMPARE(upper.Changes, upperChanges);
        QCOMPARE(lower.Changes, lowerChanges);
    }

    void focusControl_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("moves");
        QTest::newRow("takes focus by tab") << "strong" << true;
        QTest::newRow("tab only") << "tab" << true;
        QTest::newRow("no tab stop") << "click" << false;
        QTest::newRow("no focus at all") << "none" << false;
        QTest::newRow("disabled") << "disabled" << false;
        QTest::newRow("hidden") << "hidden" << false;
        QTest::newRow("not set") << "unset" << false;
        QTest::newRow("already focused") << "focused" << true;
    }

    void focusControl() {
        QFETCH(QString, target);
        QFETCH(bool, moves);
        if (target == "tab") FTarget->setFocusPolicy(Qt::TabFocus);
        if (target == "click") FTarget->setFocusPolicy(Qt::ClickFocus);
        if (target == "none") FTarget->setFocusPolicy(Qt::NoFocus);
        if (target == "disabled") FTarget->setEnabled(false);
        if (target == "hidden") FTarget->hide();
        if (target != "unset") FButton->FocusControl = FTarget;
        if (target == "focused") {
            FTarget->setFocus();
            QTRY_VERIFY(FTarget->hasFocus());
        }
        int focusIns = 0;
        struct Counter : QObject {
            int* Count;
            explicit Counter(int* count) : Count(count) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::FocusIn) ++*Count;
                return false;
            }
        } counter(&focusIns);
        FTarget->installEventFilter(&counter);
        QTest::mousePress(FButton, Qt::LeftButton, {}, UpperCentre());
        // The focus moves on the press, before the click.
        QCOMPARE(FTarget->hasFocus(), moves);
        QCOMPARE(FOther->hasFocus(), !moves);
        QCOMPARE(FMore, 0);
        QTest::mouseRelease(FButton, Qt::LeftButton, {}, UpperCentre());
        FTarget->removeEventFilter(&counter);
        QCOMPARE(FMore, 1);
        QCOMPARE(focusIns, moves && target != "focused" ? 1 : 0);
    }

    void focusControlDestroyed() {
        auto* target = new QLineEdit(FWindow.get());
        FButton->FocusControl = target;
        delete target;
        QVERIFY(!FButton->FocusControl);
        QTest::mouseClick(FButton, Qt::LeftButton, {}, UpperCentre());
        QCOMPARE(FMore, 1);
    }

    void unassignedAndReassignedEvents() {
        FButton->OnLess = nullptr;
        QTest::mouseClick(FButton, Qt::LeftButton, {}, LowerCentre());
        // A handler that replaces itself while it runs.
        int calls = 0;
        FButton->OnMore = [&](QObject*) {
            FButton->OnMore = [&calls](QObject*) { calls += 10; };
            ++calls;
        };
        QTest::mouseClick(FButton, Qt::LeftButton, {}, UpperCentre());
        QCOMPARE(calls, 1);
        QTest::mouseClick(FButton, Qt::LeftButton, {}, UpperCentre());
        QCOMPARE(calls, 11);
    }

    void layout_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("upper");
        QTest::addColumn<QRect>("lower");
        QTest::addColumn<int>("gapRow");
        QTest::newRow("17 x 25") << QSize(17, 25) << QRect(0, 0, 17, 12) << QRect(0, 13, 17, 12)
                                 << 12;
        QTest::newRow("17 x 24") << QSize(17, 24) << QRect(0, 0, 17, 12) << QRect(0, 12, 17, 12)
                                 << -1;
        QTest::newRow("15 x 21") << QSize(15, 21) << QRect(0, 0, 15, 10) << QRect(0, 11, 15, 10)
                                 << 10;
        QTest::newRow("15 x 19") << QSize(15, 19) << QRect(0, 0, 15, 9) << QRect(0, 10, 15, 9) << 9;
        QTest::newRow("30 x 2") << QSize(30, 2) << QRect(0, 0, 30, 1) << QRect(0, 1, 30, 1) << -1;
        QTest::newRow("30 x 1") << QSize(30, 1) << QRect(0, 0, 30, 0) << QRect(0, 1, 30, 0) << 0;
    }

    void layout() {
        QFETCH(QSize, size);
        QFETCH(QRect, upper);
        QFETCH(QRect, lower);
        QFETCH(int, gapRow);
        const TZSpinHalfBounds b = ZSpinHalfBounds(size.width(), size.height());
        QCOMPARE(b.Upper, upper);
        QCOMPARE(b.Lower, lower);

        FButton->resize(size);
        QCOMPARE(FButton->UpperHalf()->geometry(), upper);
        QCOMPARE(FButton->LowerHalf()->geometry(), lower);
        if (gapRow < 0) return;
        // The uncovered row shows the control's own button-face surface.
        const QImage image = Grab(FButton);
        const QRgb face = FButton->palette().color(QPalette::Button).rgb();
        for (int x = 0; x < size.width(); ++x)
            QCOMPARE(image.pixel(x, gapRow), face);
    }

    void glyphsShownAndGreyed_data() {
        QTest::addColumn<bool>("upper");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("ZSPINUP") << true << QStringList{"...g....", "..g##...", ".g####..",
                                                        "g######.", ".######w", "..wwwwww"};
        QTest::newRow("ZSPINDOWN") << false << QStringList{"gggggg..", "g######.", ".######w",
                                                           "..####w.", "...##w..", "....w..."};
    }

    void glyphsShownAndGreyed() {
        QFETCH(bool, upper);
        QFETCH(QStringList, rows);
        QAbstractButton* half = ArrowHalf(FButton, upper);
        const QPoint at = FindBlackPattern(Grab(half), rows);
        QVERIFY2(at.x() >= 0, "arrow not drawn");
        // Roughly centred in the 17 x 12 half.
        QVERIFY(at.x() >= 3 && at.x() <= 5);
        QVERIFY(at.y() >= 2 && at.y() <= 4);

        FButton->SetState(Arrows(upper, !upper)); // the other arrow only
        QVERIFY2(!HasBlack(Grab(half).copy(QRect(at, QSize(8, 6)))),
                 "a greyed arrow has no black pixel");
        FButton->SetState(zsbsMore | zsbsLess);
        QCOMPARE(FindBlackPattern(Grab(half), rows), at);
    }
};

QTEST_MAIN(TestZSpinButton)
#include "tst_zspinbutton.moc"
