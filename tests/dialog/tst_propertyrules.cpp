// The property dialog's rules without a window: conversions, texts both ways,
// the step of each value at both ends of its range, arrow states, what "Ok"
// makes of a scale, and the preview pictures pixel by pixel.
#include "ZPropertyRules.h"
#include "spinarrows.h"

#include <QLocale>
#include <QPainter>
#include <QTest>

#include <climits>
#include <cmath>

namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kWhite = 0xFFFFFFFF;

QImage Bitmap(int w = 21, int h = 21) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::magenta); // anything the drawing leaves untouched shows
    return image;
}

// The green rows of a column, as one run; {-1, -1} when there is none and
// {-2, -2} when the green pixels are not one contiguous run.
QPair<int, int> GreenRun(const QImage& image, int x) {
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb p = image.pixel(x, y);
        if (p == kGreen) {
            if (top < 0)
                top = y;
            else if (bottom != y - 1)
                return {-2, -2};
            bottom = y;
        } else if (p != kBlack) {
            return {-2, -2};
        }
    }
    return {top, bottom};
}

using testcommon::Arrows;

} // namespace

class TestPropertyRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void scaleUnits_data();
    void scaleUnits();
    void vgridText_data();
    void vgridText();
    void textToVGrid_data();
    void textToVGrid();
    void vgridTextRoundTrip();
    void integerText_data();
    void integerText();
    void twoDecimals_data();
    void twoDecimals();

    void scaleStep_data();
    void scaleStep();
    void integerSteps_data();
    void integerSteps();
    void realSteps_data();
    void realSteps();
    void realStepsStayOnTheTextGrid();
    void arrows_data();
    void arrows();

    void applyScale_data();
    void applyScale();

    void curveColumns_data();
    void curveColumns();
    void curveShape_data();
    void curveShape();
    void curveOutOfUse_data();
    void curveOutOfUse();
    void gammaTone();
    void gammaGray_data();
    void gammaGray();
    void lineSwatch_data();
    void lineSwatch();
};

void TestPropertyRules::initTestCase() {
    QLocale::setDefault(QLocale::c());
}

void TestPropertyRules::cleanup() {
    QLocale::setDefault(QLocale::c());
}

void TestPropertyRules::scaleUnits_data() {
    QTest::addColumn<qint64>("v");
    QTest::addColumn<int>("unit");
    QTest::addColumn<qint64>("bits");
    QTest::addColumn<qint64>("fromBits");
    QTest::newRow("Byte/s 10000") << qint64(10000) << 0 << qint64(80000) << qint64(1250);
    QTest::newRow("Bit/s 80007") << qint64(80007) << 1 << qint64(80007) << qint64(80007);
    QTest::newRow("Byte/s 80007 drops the remainder")
        << qint64(80007) << 0 << qint64(640056) << qint64(10000);
    QTest::newRow("Byte/s 1000") << qint64(1000) << 0 << qint64(8000) << qint64(125);
    QTest::newRow("Byte/s 268435456, past 32 bits")
        << qint64(268435456) << 0 << qint64(2147483648) << qint64(33554432);
    QTest::newRow("Byte/s 10^9") << qint64(1000000000) << 0 << qint64(8000000000)
                                 << qint64(125000000);
    QTest::newRow("negative truncates toward zero") << qint64(-9) << 0 << qint64(-72) << qint64(-1);
    QTest::newRow("unknown unit is bits") << qint64(77) << 5 << qint64(77) << qint64(77);
}

void TestPropertyRules::scaleUnits() {
    QFETCH(qint64, v);
    QFETCH(int, unit);
    QFETCH(qint64, bits);
    QFETCH(qint64, fromBits);
    QCOMPARE(ScaleToBits(v, unit), bits);
    QCOMPARE(ScaleFromBits(v, unit), fromBits);
}

void TestPropertyRules::vgridText_data() {
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("text");
    QTest::newRow("60") << 60 << "1'";
    QTest::newRow("65") << 65 << "1'5\"";
    QTest::newRow("5") << 5 << "5\"";
    QTest::newRow("90") << 90 << "1'30\"";
    QTest::newRow("1800") << 1800 << "30'";
    QTest::newRow("3599") << 3599 << "59'59\"";
    QTest::newRow("0") << 0 << "";
}

void TestPropertyRules::vgridText() {
    QFETCH(int, ticks);
    QFETCH(QString, text);
    QCOMPARE(VGridSpaceToText(ticks), text);
}

void TestPropertyRules::textToVGrid_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ticks");
    QTest::newRow("2'") << "2'" << 120;
    QTest::newRow("digits without a mark") << "90" << 0;
    QTest::newRow("1'30\"") << "1'30\"" << 90;
    QTest::newRow("5\"") << "5\"" << 5;
    QTest::newRow("trailing digits dropped") << "1'30" << 60;
    QTest::newRow("later minutes replace earlier") << "1'2'" << 120;
    QTest::newRow("later seconds replace earlier") << "30\"10\"" << 10;
    QTest::newRow("other characters skipped") << " 1 ' 3x0 \"" << 90;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("a word") << "abc" << 0;
    QTest::newRow("huge minutes saturate") << "99999999999999999999'" << INT_MAX;
}

void TestPropertyRules::textToVGrid() {
    QFETCH(QString, text);
    QFETCH(int, ticks);
    QCOMPARE(TextToVGridSpace(text), ticks);
}

void TestPropertyRules::vgridTextRoundTrip() {
    for (int n = 0; n <= 7200; ++n)
        QCOMPARE(TextToVGridSpace(VGridSpaceToText(n)), n);
}

void TestPropertyRules::integerText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::addColumn<qint64>("value");
    QTest::newRow("digits") << "12345" << true << qint64(12345);
    QTest::newRow("blanks around") << "  42 " << true << qint64(42);
    QTest::newRow("minus") << "-5" << true << qint64(-5);
    QTest::newRow("plus") << "+7" << true << qint64(7);
    QTest::newRow("past 32 bits") << "8000000000" << true << qint64(8000000000);
    QTest::newRow("too long saturates")
        << "123456789012345678901234" << true << qint64(kIntegerTextLimit);
    QTest::newRow("too long negative")
        << "-123456789012345678901234" << true << qint64(-kIntegerTextLimit);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("a word") << "abc" << false << qint64(0);
    QTest::newRow("digits then letters") << "12a" << false << qint64(0);
    QTest::newRow("sign alone") << "-" << false << qint64(0);
    QTest::newRow("blank inside") << "1 2" << false << qint64(0);
    QTest::newRow("decimal point") << "1.5" << false << qint64(0);
}

void TestPropertyRules::integerText() {
    QFETCH(QString, text);
    QFETCH(bool, number);
    QFETCH(qint64, value);
    const std::optional<std::int64_t> v = ReadIntegerText(text);
    QCOMPARE(v.has_value(), number);
    QCOMPARE(IntegerText(text, -777), number ? value : qint64(-777));
}

void TestPropertyRules::twoDecimals_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0.25") << "C" << 0.25 << "0.25";
    QTest::newRow("2.5") << "C" << 2.5 << "2.50";
    QTest::newRow("0.1 + 0.05 x 4") << "C" << (0.1 + 0.05 + 0.05 + 0.05 + 0.05) << "0.30";
    QTest::newRow("4") << "C" << 4.0 << "4.00";
    QTest::newRow("four significant digits") << "C" << 123.456 << "123.50";
    QTest::newRow("five whole digits") << "C" << 12345.6 << "12350.00";
    QTest::newRow("comma locale") << "de_DE" << 2.45 << "2,45";
}

void TestPropertyRules::twoDecimals() {
    QFETCH(QString, locale);
    QFETCH(double, value);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(TwoDecimalText(value), text);
    // Read back with the same separator, onto the same two-decimal grid.
    const std::optional<double> back = ReadRealText(text);
    QVERIFY(back.has_value());
    QCOMPARE(TwoDecimalText(*back), text);
    QCOMPARE(RealText(QStringLiteral("n/a"), 1.25), 1.25);
}

void TestPropertyRules::scaleStep_data() {
    QTest::addColumn<qint64>("from");
    QTest::addColumn<bool>("more");
    QTest::addColumn<qint64>("to");
    QTest::newRow("10000 up") << qint64(10000) << true << qint64(15000);
    QTest::newRow("10000 down") << qint64(10000) << false << qint64(9500);
    QTest::newRow("typed 12345 up") << qint64(12345) << true << qint64(15000);
    QTest::newRow("typed 12345 down") << qint64(12345) << false << qint64(10000);
    QTest::newRow("95000 up") << qint64(95000) << true << qint64(100000);
    QTest::newRow("9500 up") << qint64(9500) << true << qint64(10000);
    QTest::newRow("100000 down") << qint64(100000) << false << qint64(95000);
    QTest::newRow("1000 up") << qint64(1000) << true << qint64(1500);
    QTest::newRow("1500 down") << qint64(1500) << false << qint64(1000);
    QTest::newRow("1000 down stays") << qint64(1000) << false << qint64(1000);
    QTest::newRow("10^9 up stays") << qint64(1000000000) << true << qint64(1000000000);
    QTest::newRow("10^9 down") << qint64(1000000000) << false << qint64(950000000);
    QTest::newRow("999999999 up") << qint64(999999999) << true << qint64(1000000000);
    QTest::newRow("below the range: clamped first") << qint64(5) << true << qint64(1500);
    QTest::newRow("negative: clamped first") << qint64(-3) << false << qint64(1000);
    QTest::newRow("8 x 10^9 in Bit/s: clamped first")
        << qint64(8000000000) << false << qint64(950000000);
}

void TestPropertyRules::scaleStep() {
    QFETCH(qint64, from);
    QFETCH(bool, more);
    QFETCH(qint64, to);
    QCOMPARE(StepScaleValue(from, more), to);
}

void TestPropertyRules::integerSteps_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<bool>("more");
    QTest::addColumn<qint64>("to");
    QTest::newRow("delay 1 down stays") << "delay" << qint64(1) << false << qint64(1);
    QTest::newRow("delay 1 up") << "delay" << qint64(1) << true << qint64(2);
    QTest::newRow("delay 100 up stays") << "delay" << qint64(100) << true << qint64(100);
    QTest::newRow("delay 100 down") << "delay" << qint64(100) << false << qint64(99);
    QTest::newRow("delay 0: clamped, then up") << "delay" << qint64(0) << true << qint64(2);
    QTest::newRow("delay 250: clamped, then down") << "delay" << qint64(250) << false << qint64(99);
    QTest::newRow("hgrid 30 down") << "hgrid" << qint64(30) << false << qint64(20);
    QTest::newRow("hgrid 30 up") << "hgrid" << qint64(30) << true << qint64(20);
    QTest::newRow("hgrid 2 down stays") << "hgrid" << qint64(2) << false << qint64(2);
    QTest::newRow("hgrid 20 up stays") << "hgrid" << qint64(20) << true << qint64(20);
    QTest::newRow("hgrid 10 up") << "hgrid" << qint64(10) << true << qint64(11);
    QTest::newRow("hgrid 1 up") << "hgrid" << qint64(1) << true << qint64(2);
    QTest::newRow("vgrid 5 down stays") << "vgrid" << qint64(5) << false << qint64(5);
    QTest::newRow("vgrid 5 up") << "vgrid" << qint64(5) << true << qint64(10);
    QTest::newRow("vgrid 1800 up stays") << "vgrid" << qint64(1800) << true << qint64(1800);
    QTest::newRow("vgrid 1800 down") << "vgrid" << qint64(1800) << false << qint64(1795);
    QTest::newRow("vgrid 7 down") << "vgrid" << qint64(7) << false << qint64(5);
    QTest::newRow("vgrid 3 up") << "vgrid" << qint64(3) << true << qint64(8);
    QTest::newRow("vgrid largest 32-bit up") << "vgrid" << qint64(INT_MAX) << true << qint64(1800);
}

void TestPropertyRules::integerSteps() {
    QFETCH(QString, kind);
    QFETCH(qint64, from);
    QFETCH(bool, more);
    QFETCH(qint64, to);
    if (kind == "delay")
        QCOMPARE(StepDelayValue(from, more), to);
    else if (kind == "hgrid")
        QCOMPARE(StepHGridValue(from, more), to);
    else
        QCOMPARE(StepVGridValue(from, more), to);
}

void TestPropertyRules::realSteps_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("more");
    QTest::addColumn<QString>("to");
    QTest::newRow("curve 0.25 up") << "curve"
                                   << "0.25" << true << "0.30";
    QTest::newRow("curve 0.95 up stays") << "curve"
                                         << "0.95" << true << "0.95";
    QTest::newRow("curve 0.90 up") << "curve"
                                   << "0.90" << true << "0.95";
    QTest::newRow("curve 0.10 down stays") << "curve"
                                           << "0.10" << false << "0.10";
    QTest::newRow("curve 0.15 down") << "curve"
                                     << "0.15" << false << "0.10";
    QTest::newRow("gamma 2.50 down") << "gamma"
                                     << "2.50" << false << "2.45";
    QTest::newRow("gamma 4.00 up stays") << "gamma"
                                         << "4.00" << true << "4.00";
    QTest::newRow("gamma 3.95 up") << "gamma"
                                   << "3.95" << true << "4.00";
    QTest::newRow("gamma 1.00 down stays") << "gamma"
                                           << "1.00" << false << "1.00";
    QTest::newRow("gamma 1.05 down") << "gamma"
                                     << "1.05" << false << "1.00";
}

void TestPropertyRules::realSteps() {
    QFETCH(QString, kind);
    QFETCH(QString, from);
    QFETCH(bool, more);
    QFETCH(QString, to);
    const double v = RealText(from, -1.0);
    const double stepped = kind == "curve" ? StepCurveValue(v, more) : StepGammaValue(v, more);
    QCOMPARE(TwoDecimalText(stepped), to);
}

void TestPropertyRules::realStepsStayOnTheTextGrid() {
    // Up and down through the whole range, always from the text back: every
    // value shown is a multiple of 0.05 and the ends are reached exactly.
    struct Range {
        double (*step)(double, bool);
        const char* low;
        const char* high;
        int steps;
    };
    for (const Range& r :
         {Range{StepCurveValue, "0.10", "0.95", 17}, Range{StepGammaValue, "1.00", "4.00", 60}}) {
        QString text = QString::fromLatin1(r.low);
        for (int i = 0; i < r.steps; ++i) {
            text = TwoDecimalText(r.step(RealText(text, 0.0), true));
            QCOMPARE(qRound(RealText(text, 0.0) * 100.0) % 5, 0);
        }
        QCOMPARE(text, QString::fromLatin1(r.high));
        for (int i = 0; i < r.steps; ++i)
            text = TwoDecimalText(r.step(RealText(text, 0.0), false));
        QCOMPARE(text, QString::fromLatin1(r.low));
    }
}

void TestPropertyRules::arrows_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("less");
    QTest::addColumn<bool>("more");
    QTest::newRow("scale 1000") << "scale" << 1000.0 << false << true;
    QTest::newRow("scale 1001") << "scale" << 1001.0 << true << true;
    QTest::newRow("scale 10^9") << "scale" << 1e9 << true << false;
    QTest::newRow("scale 8 x 10^9") << "scale" << 8e9 << true << false;
    QTest::newRow("delay 1") << "delay" << 1.0 << false << true;
    QTest::newRow("delay 100") << "delay" << 100.0 << true << false;
    QTest::newRow("delay 50") << "delay" << 50.0 << true << true;
    QTest::newRow("curve 0.10") << "curve" << 0.10 << false << true;
    QTest::newRow("curve 0.1 from a sum") << "curve" << (0.15 - 0.05) << false << true;
    QTest::newRow("curve 0.95") << "curve" << 0.95 << true << false;
    QTest::newRow("curve 0.95 from a sum") << "curve" << (0.9 + 0.05) << true << false;
    QTest::newRow("curve 0.25") << "curve" << 0.25 << true << true;
    QTest::newRow("gamma 1.00") << "gamma" << 1.0 << false << true;
    QTest::newRow("gamma 4.00") << "gamma" << 4.0 << true << false;
    QTest::newRow("gamma 2.50") << "gamma" << 2.5 << true << true;
    QTest::newRow("hgrid 2") << "hgrid" << 2.0 << false << true;
    QTest::newRow("hgrid 20") << "hgrid" << 20.0 << true << false;
    QTest::newRow("hgrid 30") << "hgrid" << 30.0 << true << false;
    QTest::newRow("vgrid 5") << "vgrid" << 5.0 << false << true;
    QTest::newRow("vgrid 1800") << "vgrid" << 1800.0 << true << false;
    QTest::newRow("vgrid 60") << "vgrid" << 60.0 << true << true;
}

void TestPropertyRules::arrows() {
    QFETCH(QString, kind);
    QFETCH(double, value);
    QFETCH(bool, less);
    QFETCH(bool, more);
    const auto whole = static_cast<std::int64_t>(value);
    TZSpinButtonState s;
    if (kind == "scale")
        s = ScaleButtonState(whole);
    else if (kind == "delay")
        s = DelayButtonState(whole);
    else if (kind == "curve")
        s = CurveButtonState(value);
    else if (kind == "gamma")
        s = GammaButtonState(value);
    else if (kind == "hgrid")
        s = HGridButtonState(whole);
    else
        s = VGridButtonState(whole);
    QCOMPARE(s, Arrows(less, more));
}

void TestPropertyRules::applyScale_data() {
    QTest::addColumn<qint64>("v");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("scaleText");
    QTest::addColumn<int>("scaleUnit");
    QTest::newRow("Bit/s 1050") << qint64(1050) << 1 << 131 << 1050 << 1;
    QTest::newRow("Byte/s 10000") << qint64(10000) << 0 << 10000 << 10000 << 0;
    QTest::newRow("Byte/s 10^9") << qint64(1000000000) << 0 << 1000000000 << 1000000000 << 0;
    QTest::newRow("Bit/s 2^31 - 1") << qint64(INT_MAX) << 1 << 268435455 << INT_MAX << 1;
    // The unit switch shows 10^9 Byte/s as 8 x 10^9 Bit/s: exact, but no 32-bit
    // number; it is saved as the same scale in Byte/s.
    QTest::newRow("Bit/s 8 x 10^9") << qint64(8000000000) << 1 << 1000000000 << 1000000000 << 0;
    QTest::newRow("Bit/s 8000000007") << qint64(8000000007) << 1 << 1000000000 << 1000000000 << 0;
    QTest::newRow("Byte/s 3 x 10^9 held to 32 bits")
        << qint64(3000000000) << 0 << INT_MAX << INT_MAX << 0;
    QTest::newRow("Byte/s 0: never a zero scale") << qint64(0) << 0 << 1 << 1 << 0;
    QTest::newRow("Bit/s 7: never a zero scale") << qint64(7) << 1 << 1 << 8 << 1;
    QTest::newRow("Bit/s -80: never negative") << qint64(-80) << 1 << 1 << 8 << 1;
    QTest::newRow("saturated text") << qint64(kIntegerTextLimit) << 0 << INT_MAX << INT_MAX << 0;
}

void TestPropertyRules::applyScale() {
    QFETCH(qint64, v);
    QFETCH(int, unit);
    QFETCH(int, max);
    QFETCH(int, scaleText);
    QFETCH(int, scaleUnit);
    const TZScaleApplied a = ApplyScale(v, unit);
    QCOMPARE(a.Max, max);
    QCOMPARE(a.ScaleText, scaleText);
    QCOMPARE(a.ScaleUnit, scaleUnit);
    // What is saved shows the same scale again.
    QCOMPARE(ScaleFromBits(ScaleToBits(a.ScaleText, a.ScaleUnit), 0), qint64(a.Max));
}

void TestPropertyRules::curveColumns_data() {
    QTest::addColumn<double>("curve");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::newRow("0.1 column 0") << 0.1 << 0 << 20 << 20;
    QTest::newRow("0.1 column 1") << 0.1 << 1 << 19 << 20;
    QTest::newRow("0.1 column 2") << 0.1 << 2 << 18 << 19;
    QTest::newRow("0.1 column 10") << 0.1 << 10 << 10 << 11;
    QTest::newRow("0.1 column 20") << 0.1 << 20 << 0 << 1;
    QTest::newRow("0.25 column 0") << 0.25 << 0 << 20 << 20;
    QTest::newRow("0.25 column 1") << 0.25 << 1 << 17 << 20;
    QTest::newRow("0.25 column 2") << 0.25 << 2 << 15 << 17;
    QTest::newRow("0.25 column 20") << 0.25 << 20 << 0 << 1;
    QTest::newRow("0.95 column 1") << 0.95 << 1 << 1 << 20;
    QTest::newRow("0.95 column 8") << 0.95 << 8 << 0 << 0;
    QTest::newRow("0.95 column 20") << 0.95 << 20 << 0 << 0;
}

void TestPropertyRules::curveColumns() {
    QFETCH(double, curve);
    QFETCH(int, column);
    QFETCH(int, top);
    QFETCH(int, bottom);
    QImage image = Bitmap();
    DrawCurveImage(image, curve);
    QCOMPARE(GreenRun(image, column), qMakePair(top, bottom));
}

void TestPropertyRules::curveShape_data() {
    QTest::addColumn<double>("curve");
    for (int h = 10; h <= 95; h += 5)
        QTest::addRow("%.2f", h / 100.0) << h / 100.0;
    QTest::newRow("1.00") << 1.0;
}

void TestPropertyRules::curveShape() {
    // Every column one run, each joined to the previous one, bottom-left to top-right.
    QFETCH(double, curve);
    QImage image = Bitmap();
    DrawCurveImage(image, curve);
    QPair<int, int> previous{20, 20};
    for (int x = 0; x < 21; ++x) {
        const QPair<int, int> run = GreenRun(image, x);
        QVERIFY2(run.first >= 0, qPrintable(QString("column %1").arg(x)));
        QCOMPARE(run.second, x == 0 ? 20 : previous.first);
        previous = run;
    }
    QCOMPARE(GreenRun(image, 0), qMakePair(20, 20));
    QCOMPARE(previous.first, 0);
}

void TestPropertyRules::curveOutOfUse_data() {
    QTest::addColumn<double>("curve");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("above 1") << 4.0 << true;
    QTest::newRow("zero") << 0.0 << false;
    QTest::newRow("negative") << -0.5 << false;
    QTest::newRow("not a number") << std::nan("") << false;
    QTest::newRow("infinite") << HUGE_VAL << false;
}

void TestPropertyRules::curveOutOfUse() {
    // Only what fits the image is drawn: a curve that overshoots the top fills
    // column 1 and then stays above the image; one without an exponent draws nothing.
    QFETCH(double, curve);
    QFETCH(bool, drawn);
    QImage image = Bitmap();
    DrawCurveImage(image, curve);
    for (int x = 0; x < 21; ++x) {
        QPair<int, int> expected{-1, -1};
        if (drawn && x == 0) expected = {20, 20};
        if (drawn && x == 1) expected = {0, 20};
        QCOMPARE(GreenRun(image, x), expected);
    }
}

void TestPropertyRules::gammaTone() {
    QImage image = Bitmap();
    DrawGammaToneImage(image);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x)
            QCOMPARE(image.pixel(x, y), y % 2 ? kWhite : kBlack);
}

void TestPropertyRules::gammaGray_data() {
    QTest::addColumn<double>("gamma");
    QTest::addColumn<int>("level");
    QTest::newRow("1.00") << 1.0 << 128;
    QTest::newRow("2.20") << 2.2 << 186;
    QTest::newRow("2.50") << 2.5 << 193;
    QTest::newRow("3.00") << 3.0 << 202;
    QTest::newRow("4.00") << 4.0 << 214;
    QTest::newRow("no positive gamma: as 1") << 0.0 << 128;
}

void TestPropertyRules::gammaGray() {
    QFETCH(double, gamma);
    QFETCH(int, level);
    QCOMPARE(GammaGrayLevel(gamma), level);
    QImage image = Bitmap();
    DrawGammaGrayImage(image, gamma);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x)
            QCOMPARE(image.pixel(x, y), qRgb(level, level, level));
}

void TestPropertyRules::lineSwatch_data() {
    QTest::addColumn<uint>("colour");
    QTest::addColumn<int>("height");
    QTest::addColumn<QRgb>("shown");
    QTest::addColumn<int>("row");
    QTest::newRow("red, red in the low byte") << 0x0000FFu << 20 << qRgb(255, 0, 0) << 10;
    QTest::newRow("blue") << 0xFF0000u << 20 << qRgb(0, 0, 255) << 10;
    QTest::newRow("a mixed colour") << 0x123456u << 20 << qRgb(0x56, 0x34, 0x12) << 10;
    QTest::newRow("odd height: row height div 2") << 0x00FF00u << 21 << qRgb(0, 255, 0) << 10;
}

void TestPropertyRules::lineSwatch() {
    QFETCH(uint, colour);
    QFETCH(int, height);
    QFETCH(QRgb, shown);
    QFETCH(int, row);
    QImage image = Bitmap(119, height);
    {
        QPainter canvas(&image);
        PaintBoxLinePaint(canvas, 119, height, colour);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 119; ++x)
            QCOMPARE(image.pixel(x, y), y == row ? (shown | 0xFF000000) : kBlack);
}

QTEST_MAIN(TestPropertyRules)
#include "tst_propertyrules.moc"
