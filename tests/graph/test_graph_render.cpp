// Pixel rules of the graph on bare buffers.
#include "ZGraphRender.h"

#include <QTest>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Buffer {
    Buffer(int w, int h, std::uint8_t fill = 0)
        : bytes(static_cast<std::size_t>(ImageStride(w) * h), fill), view{bytes.data(), w, h,
                                                                          ImageStride(w)} {}
    // Channel c (0 blue, 1 green, 2 red) of the pixel at column x, screen row y.
    int at(int x, int y, int c) const {
        return bytes[static_cast<std::size_t>((view.Height - 1 - y) * view.Stride + 3 * x + c)];
    }
    // Same, by memory row (from the bottom).
    int atRow(int x, int r, int c) const {
        return bytes[static_cast<std::size_t>(r * view.Stride + 3 * x + c)];
    }
    std::vector<std::uint8_t> bytes;
    TZImageView view;
};

TZToneTables Tables(double gamma) {
    TZToneTables t;
    BuildToneTables(t, gamma);
    return t;
}

// The line rule walked step by step over its whole length, every pixel through
// BlendPixel: the model the clipped walk must agree with.
void ModelLine(const TZImageView& img, const TZToneTables& t, int x1, int y1, int x2, int y2,
               TColor colour) {
    const auto lin = LinearChannels(t, colour);
    if (x2 < x1) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const int dx = x2 - x1, dy = std::abs(y2 - y1), step = y2 < y1 ? -1 : 1;
    const auto off = [&](int x, int y) { return (img.Height - 1 - y) * img.Stride + 3 * x; };
    int x = x1, y = y1, err = 0;
    if (dy > dx) {
        for (int k = 0; k <= dy; ++k) {
            BlendPixel(img, t, x, y, off(x, y), lin, dy - err, dy);
            BlendPixel(img, t, x + 1, y, off(x + 1, y), lin, err, dy);
            err += dx;
            if (err >= dy) {
                err -= dy;
                ++x;
            }
            y += step;
        }
    } else {
        for (int k = 0; k <= dx; ++k) {
            BlendPixel(img, t, x, y, off(x, y), lin, dx - err, dx);
            BlendPixel(img, t, x, y + step, off(x, y + step), lin, err, dx);
            err += dy;
            if (err >= dx) {
                err -= dx;
                y += step;
            }
            ++x;
        }
    }
}

// The horizontal grid rule taken literally: every line, one after another, blended
// into its row or rows. What DrawHGrid must match byte for byte, whatever the spacing.
void ModelHGrid(const TZImageView& img, const TZToneTables& t, const TZGridSettings& g, int x) {
    if (!g.HGrid || g.HGridSpace <= 1 || x < 0 || x >= img.Width) return;
    double e = 0.0;
    if (g.GridCurve) {
        if (!(g.Curve > 0.0)) return;
        e = std::log10(1.0 / g.Curve);
        if (!std::isfinite(e)) return;
    }
    const auto lin = LinearChannels(t, g.HGridColor);
    const int n = g.HGridSpace;
    const int h = img.Height;
    const auto off = [&](long long r) {
        return static_cast<std::ptrdiff_t>(r * img.Stride + 3 * x);
    };
    for (int i = 1; i < n; ++i) {
        const double pos = g.GridCurve ? (h - 1) * ZPower(double(i) / n, e)
                                       : double(static_cast<long long>(h - 1) * i) / n;
        if (!(pos > -2.0 && pos < h + 1.0)) continue;
        if (g.GridGamma) {
            const double whole = std::trunc(pos);
            const auto r = static_cast<long long>(whole);
            std::array<std::int32_t, 3> up{}, low{};
            for (int c = 0; c < 3; ++c) {
                up[c] = int(std::nearbyint((pos - whole) * lin[c]));
                low[c] = lin[c] - up[c];
            }
            if (r >= 0 && r < h) BlendContribution(img, t, off(r), low);
            if (r + 1 >= 0 && r + 1 < h) BlendContribution(img, t, off(r + 1), up);
        } else {
            const auto r = static_cast<long long>(std::nearbyint(pos));
            if (r >= 0 && r < h) BlendContribution(img, t, off(r), {lin[0], lin[1], lin[2]});
        }
    }
}

// Tables that do not rise with their index: repeated blends cycle instead of settling.
TZToneTables Scrambled() {
    TZToneTables t;
    for (int i = 0; i < 256; ++i) {
        t.ToLinear[std::size_t(i)] = std::uint8_t((i * 7 + 3) & 0xFF);
        t.ToDisplay[std::size_t(i)] = std::uint8_t((i * 13 + 5) & 0xFF);
    }
    return t;
}

// Every byte different from its neighbours, so that each row starts from its own value.
void FillPattern(Buffer& b) {
    for (std::size_t i = 0; i < b.bytes.size(); ++i)
        b.bytes[i] = std::uint8_t((i * 37 + i / 7) & 0xFF);
}

} // namespace

class TestGraphRender : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void toneTables_data();
    void toneTables();
    void toneTablesRoundTrip();
    void toneTablesUnusableGamma_data();
    void toneTablesUnusableGamma();
    void power_data();
    void power();
    void stride_data();
    void stride();
    void blendRule();
    void blendPixel();
    void mapValue_data();
    void mapValue();
    void lineHorizontal();
    void line45Degrees();
    void lineSteep();
    void lineSharedEnd();
    void lineClipped_data();
    void lineClipped();
    void lineFarOffCheap();
    void hgrid_data();
    void hgrid();
    void hgridCurve();
    void hgridNothing_data();
    void hgridNothing();
    void hgridHugeSpaceBounded();
    void hgridMatchesLineByLine_data();
    void hgridMatchesLineByLine();
    void hgridLargestSpacing_data();
    void hgridLargestSpacing();
    void vgrid_data();
    void vgrid();
};

void TestGraphRender::toneTables_data() {
    QTest::addColumn<double>("gamma");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("linear");
    QTest::addColumn<int>("display");
    // display column: -1 where the example gives none
    QTest::newRow("2.5 [16]") << 2.5 << 16 << 0 << -1;
    QTest::newRow("2.5 [32]") << 2.5 << 32 << 1 << 111;
    QTest::newRow("2.5 [64]") << 2.5 << 64 << 8 << -1;
    QTest::newRow("2.5 [128]") << 2.5 << 128 << 46 << 194;
    QTest::newRow("2.5 [192]") << 2.5 << 192 << 125 << -1;
    QTest::newRow("2.5 [255]") << 2.5 << 255 << 255 << 255;
    QTest::newRow("2.5 [1]") << 2.5 << 1 << -1 << 28;
    QTest::newRow("2.5 [8]") << 2.5 << 8 << -1 << 64;
    QTest::newRow("2.5 [254]") << 2.5 << 254 << -1 << 255;
    QTest::newRow("2.5 [0]") << 2.5 << 0 << 0 << 0;
    QTest::newRow("1.0 [77]") << 1.0 << 77 << 77 << 77;
    QTest::newRow("1.0 [200]") << 1.0 << 200 << 200 << 200;
}

void TestGraphRender::toneTables() {
    QFETCH(double, gamma);
    QFETCH(int, index);
    QFETCH(int, linear);
    QFETCH(int, display);
    const TZToneTables t = Tables(gamma);
    if (linear >= 0) QCOMPARE(int(t.ToLinear[index]), linear);
    if (display >= 0) QCOMPARE(int(t.ToDisplay[index]), display);
}

void TestGraphRender::toneTablesRoundTrip() {
    const TZToneTables t = Tables(2.5);
    int changed = 0;
    for (int s = 0; s < 256; ++s)
        changed += t.ToDisplay[t.ToLinear[s]] != s;
    QCOMPARE(changed, 83);
    const TZToneTables identity = Tables(1.0);
    for (int s = 0; s < 256; ++s) {
        QCOMPARE(int(identity.ToLinear[s]), s);
        QCOMPARE(int(identity.ToDisplay[s]), s);
    }
}

void TestGraphRender::toneTablesUnusableGamma_data() {
    QTest::addColumn<double>("gamma");
    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -2.5;
    QTest::newRow("nan") << std::nan("");
    QTest::newRow("infinite") << HUGE_VAL;
}

void TestGraphRender::toneTablesUnusableGamma() {
    QFETCH(double, gamma);
    const TZToneTables t = Tables(gamma);
    // No correction rather than garbage: the identity tables.
    for (int s = 0; s < 256; ++s) {
        QCOMPARE(int(t.ToLinear[s]), s);
        QCOMPARE(int(t.ToDisplay[s]), s);
    }
}

void TestGraphRender::power_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("expected");
    QTest::newRow("y 0 of 0") << 0.0 << 0.0 << 1.0;
    QTest::newRow("0 to positive") << 0.0 << 2.5 << 0.0;
    QTest::newRow("whole") << 3.0 << 4.0 << 81.0;
    QTest::newRow("negative whole") << 2.0 << -3.0 << 0.125;
    QTest::newRow("fraction") << 4.0 << 0.5 << 2.0;
}

void TestGraphRender::power() {
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, expected);
    QVERIFY(qFuzzyCompare(ZPower(x, y), expected));
}

void TestGraphRender::stride_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("stride");
    QTest::newRow("1") << 1 << 4;
    QTest::newRow("4") << 4 << 12;
    QTest::newRow("5") << 5 << 16;
    QTest::newRow("295") << 295 << 888;
    QTest::newRow("200") << 200 << 600;
}

void TestGraphRender::stride() {
    QFETCH(int, width);
    QFETCH(int, stride);
    QCOMPARE(ImageStride(width), stride);
}

void TestGraphRender::blendRule() {
    // A zero contribution still rewrites the pixel: 16 -> linear 0 -> 0.
    Buffer b(2, 2, 16);
    const TZToneTables t = Tables(2.5);
    BlendContribution(b.view, t, 0, {0, 0, 0});
    QCOMPARE(b.atRow(0, 0, 0), 0);
    QCOMPARE(b.atRow(0, 0, 2), 0);
    QCOMPARE(b.atRow(1, 0, 0), 16); // neighbour untouched

    // Gamma 1: saturated addition per channel.
    Buffer g(1, 1, 0);
    const TZToneTables one = Tables(1.0);
    g.bytes[0] = 200;
    g.bytes[1] = 10;
    BlendContribution(g.view, one, 0, {100, 20, 7});
    QCOMPARE(g.atRow(0, 0, 0), 255);
    QCOMPARE(g.atRow(0, 0, 1), 30);
    QCOMPARE(g.atRow(0, 0, 2), 7);

    // Gamma 2.5: contributions add in linear light (128 is linear 46; 46 + 46 = 92).
    Buffer l(1, 1, 0);
    const TZToneTables g25 = Tables(2.5);
    BlendContribution(l.view, g25, 0, {46, 0, 0});
    QCOMPARE(l.atRow(0, 0, 0), int(g25.ToDisplay[46]));
    BlendContribution(l.view, g25, 0, {46, 0, 0});
    QCOMPARE(l.atRow(0, 0, 0), int(g25.ToDisplay[g25.ToLinear[g25.ToDisplay[46]] + 46]));
}

void TestGraphRender::blendPixel() {
    Buffer b(3, 3);
    const TZToneTables t = Tables(1.0);
    const std::array<std::uint8_t, 3> lin{255, 100, 7};
    // 2/3 of each channel, truncated.
    BlendPixel(b.view, t, 1, 1, b.view.Stride + 3, lin, 2, 3);
    QCOMPARE(b.at(1, 1, 0), 170);
    QCOMPARE(b.at(1, 1, 1), 66);
    QCOMPARE(b.at(1, 1, 2), 4);
    // Outside the image nothing is written, whatever the offset says.
    const auto before = b.bytes;
    BlendPixel(b.view, t, 3, 1, 0, lin, 1, 1);
    BlendPixel(b.view, t, 0, -1, 0, lin, 1, 1);
    BlendPixel(b.view, t, -1, 0, 0, lin, 1, 1);
    BlendPixel(b.view, t, 0, 3, 0, lin, 1, 1);
    QCOMPARE(b.bytes, before);
}

void TestGraphRender::mapValue_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<double>("curve");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("row");
    QTest::newRow("0") << 0 << 0 << 10000 << 0.25 << 87 << 0;
    QTest::newRow("100") << 100 << 0 << 10000 << 0.25 << 87 << 5;
    QTest::newRow("1000") << 1000 << 0 << 10000 << 0.25 << 87 << 21;
    QTest::newRow("5000") << 5000 << 0 << 10000 << 0.25 << 87 << 56;
    QTest::newRow("10000") << 10000 << 0 << 10000 << 0.25 << 87 << 86;
    QTest::newRow("20000 above the top") << 20000 << 0 << 10000 << 0.25 << 87 << 130;
    QTest::newRow("curve 0.1 is linear") << 5000 << 0 << 10000 << 0.1 << 87 << 43;
    QTest::newRow("curve 0.01 squares") << 5000 << 0 << 10000 << 0.01 << 87 << 21;
    QTest::newRow("curve 1: any value on top") << 1 << 0 << 10000 << 1.0 << 87 << 86;
    QTest::newRow("Min with curve 1 stays at bottom") << 0 << 0 << 10000 << 1.0 << 87 << 0;
    QTest::newRow("Min not zero") << 50 << 50 << 150 << 0.25 << 87 << 0;
    QTest::newRow("below Min: bottom row") << -500 << 0 << 10000 << 0.25 << 87 << 0;
    QTest::newRow("most negative") << INT_MIN << 0 << 8000 << 0.25 << 87 << 0;
    QTest::newRow("Max = Min: nothing") << 5 << 100 << 100 << 0.25 << 87 << kUnmappableRow;
    QTest::newRow("Max = Min at Min: nothing") << 100 << 100 << 100 << 0.25 << 87 << kUnmappableRow;
    QTest::newRow("curve 0: nothing") << 5 << 0 << 100 << 0.0 << 87 << kUnmappableRow;
    QTest::newRow("curve negative: nothing") << 5 << 0 << 100 << -0.25 << 87 << kUnmappableRow;
    QTest::newRow("curve nan: nothing") << 5 << 0 << 100 << std::nan("") << 87 << kUnmappableRow;
    QTest::newRow("huge value held in range") << INT_MAX << 0 << 1 << 0.01 << 87 << (1 << 30);
    QTest::newRow("negative scale") << 500 << 0 << -1000 << 0.25 << 87 << 0;
}

void TestGraphRender::mapValue() {
    QFETCH(int, value);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(double, curve);
    QFETCH(int, height);
    QFETCH(int, row);
    QCOMPARE(MapValue(value, min, max, curve, height), row);
}

void TestGraphRender::lineHorizontal() {
    // Gamma 2.5 on a background of 16: a touched pixel drops to 0, an untouched one keeps 16.
    Buffer b(8, 6, 16);
    const TZToneTables t = Tables(2.5);
    DrawLine(b.view, t, 1, 2, 5, 2, 0xFFFFFF);
    for (int x = 0; x < 8; ++x) {
        const bool on = x >= 1 && x <= 5;
        QCOMPARE(b.at(x, 2, 0), on ? 255 : 16);
        QCOMPARE(b.at(x, 3, 1), on ? 0 : 16); // row below: weight 0, still blended
        QCOMPARE(b.at(x, 1, 2), 16);          // row above: untouched
    }
}

void TestGraphRender::line45Degrees() {
    Buffer b(6, 6);
    const TZToneTables t = Tables(1.0);
    DrawLine(b.view, t, 4, 1, 0, 5, 0x0000FF); // right to left, swapped to run left to right
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y) {
            const bool on = x <= 4 && y == 5 - x;
            QCOMPARE(b.at(x, y, 2), on ? 255 : 0);
            QCOMPARE(b.at(x, y, 0), 0);
        }
}

void TestGraphRender::lineSteep() {
    Buffer b(4, 12);
    const TZToneTables t = Tables(1.0);
    DrawLine(b.view, t, 0, 0, 1, 10, 0xFFFFFF);
    // Row k: column 0 gets (10 - k)/10, column 1 gets k/10, until the move at k = 10.
    for (int y = 0; y <= 9; ++y) {
        QCOMPARE(b.at(0, y, 1), 255 * (10 - y) / 10);
        QCOMPARE(b.at(1, y, 1), 255 * y / 10);
    }
    QCOMPARE(b.at(0, 10, 1), 0);
    QCOMPARE(b.at(1, 10, 1), 255);
    QCOMPARE(b.at(2, 10, 1), 0);
    QCOMPARE(b.at(0, 11, 1), 0);
}

void TestGraphRender::lineSharedEnd() {
    Buffer b(5, 5);
    const TZToneTables t = Tables(1.0);
    DrawLine(b.view, t, 0, 2, 2, 2, 0x000064);
    DrawLine(b.view, t, 2, 2, 4, 2, 0x000064);
    QCOMPARE(b.at(1, 2, 2), 100);
    QCOMPARE(b.at(2, 2, 2), 200); // the shared end pixel gets the colour twice
    QCOMPARE(b.at(3, 2, 2), 100);
}

void TestGraphRender::lineClipped_data() {
    QTest::addColumn<int>("x1");
    QTest::addColumn<int>("y1");
    QTest::addColumn<int>("x2");
    QTest::addColumn<int>("y2");
    QTest::newRow("from above the top") << 3 << -40 << 5 << 9;
    QTest::newRow("to below the bottom") << 3 << 5 << 4 << 60;
    QTest::newRow("through, steep up") << 2 << 70 << 6 << -35;
    QTest::newRow("from left of the image") << -7 << 3 << 6 << 8;
    QTest::newRow("past the right edge") << 5 << 3 << 30 << 1;
    QTest::newRow("gentle from left") << -20 << 2 << 11 << 13;
    QTest::newRow("wholly above") << 1 << -50 << 3 << -9;
    QTest::newRow("right edge column") << 11 << 4 << 12 << 30;
    QTest::newRow("inside") << 1 << 1 << 9 << 11;
}

void TestGraphRender::lineClipped() {
    QFETCH(int, x1);
    QFETCH(int, y1);
    QFETCH(int, x2);
    QFETCH(int, y2);
    const TZToneTables t = Tables(2.5);
    Buffer fast(12, 14, 40);
    Buffer model(12, 14, 40);
    DrawLine(fast.view, t, x1, y1, x2, y2, 0x80C0FF);
    ModelLine(model.view, t, x1, y1, x2, y2, 0x80C0FF);
    QCOMPARE(fast.bytes, model.bytes);
}

void TestGraphRender::lineFarOffCheap() {
    // Ends a billion rows away: only the rows in the image are walked, and they agree
    // with the rule (column of row k = x1 + k * dx / dy).
    Buffer b(4, 10);
    const TZToneTables t = Tables(1.0);
    DrawLine(b.view, t, 0, -1000000000, 2, 1000000000, 0xFFFFFF);
    // Row y is step k = y + 10^9; dx = 2, dy = 2 * 10^9: err = 2k mod dy, column 0 or 1.
    for (int y = 0; y < 10; ++y) {
        const long long k = y + 1000000000LL;
        const long long err = (2 * k) % 2000000000LL;
        const int col = int((2 * k) / 2000000000LL);
        QCOMPARE(col, 1);
        QCOMPARE(b.at(col, y, 0), int(255 * (2000000000LL - err) / 2000000000LL));
    }
}

void TestGraphRender::hgrid_data() {
    QTest::addColumn<bool>("gridGamma");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QList<int>>("levels");
    QTest::newRow("plain") << false << QList<int>{9, 17, 26, 34, 43, 52, 60, 69, 77}
                           << QList<int>{255, 255, 255, 255, 255, 255, 255, 255, 255};
    // t = 8.6: rows 8 and 9 share the line as 102 and 153; t = 43.0 puts it all on 43.
    QTest::newRow("split") << true << QList<int>{8, 9, 43, 44, 77, 78}
                           << QList<int>{102, 153, 255, 0, 153, 102};
}

void TestGraphRender::hgrid() {
    QFETCH(bool, gridGamma);
    QFETCH(QList<int>, rows);
    QFETCH(QList<int>, levels);
    Buffer b(3, 87);
    const TZToneTables t = Tables(1.0);
    TZGridSettings g;
    g.GridCurve = false;
    g.GridGamma = gridGamma;
    g.HGridSpace = 10;
    g.HGridColor = 0x0000FF;
    DrawHGrid(b.view, t, g, 1);
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(b.atRow(1, rows[i], 2), levels[i]);
    int lit = 0;
    for (int r = 0; r < 87; ++r) {
        lit += b.atRow(1, r, 2) != 0;
        QCOMPARE(b.atRow(0, r, 2), 0); // other columns untouched
        QCOMPARE(b.atRow(1, r, 0), 0); // other channels get nothing
    }
    QCOMPARE(lit, gridGamma ? 17 : 9);
}

void TestGraphRender::hgridCurve() {
    // With the curve on, line i sits where the value i/N of the range is drawn.
    Buffer b(1, 87);
    const TZToneTables t = Tables(1.0);
    TZGridSettings g;
    g.GridCurve = true;
    g.GridGamma = false;
    g.HGridSpace = 10;
    g.HGridColor = 0x00FF00;
    DrawHGrid(b.view, t, g, 0);
    for (int i = 1; i < 10; ++i) {
        const double pos = 86 * ZPower(i / 10.0, std::log10(4.0));
        QCOMPARE(b.atRow(0, int(std::nearbyint(pos)), 1), 255);
    }
    QCOMPARE(b.atRow(0, 22, 1), 255); // i = 1: 86 * 0.25 = 21.5, ties to even -> 22
    QCOMPARE(b.atRow(0, 21, 1), 0);

    // Curve and gamma split together: i = 1 gives t = 21.5, half on 21 and half on 22.
    Buffer s(1, 87);
    g.GridGamma = true;
    DrawHGrid(s.view, t, g, 0);
    QCOMPARE(s.atRow(0, 21, 1), 127);
    QCOMPARE(s.atRow(0, 22, 1), 128);
}

void TestGraphRender::hgridNothing_data() {
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("space");
    QTest::addColumn<double>("curve");
    QTest::newRow("off") << false << 10 << 0.25;
    QTest::newRow("space 1") << true << 1 << 0.25;
    QTest::newRow("space 0") << true << 0 << 0.25;
    QTest::newRow("space negative") << true << -4 << 0.25;
    QTest::newRow("curve unusable") << true << 10 << 0.0;
}

void TestGraphRender::hgridNothing() {
    QFETCH(bool, on);
    QFETCH(int, space);
    QFETCH(double, curve);
    Buffer b(2, 20);
    const TZToneTables t = Tables(1.0);
    TZGridSettings g;
    g.HGrid = on;
    g.HGridSpace = space;
    g.Curve = curve;
    DrawHGrid(b.view, t, g, 0);
    QVERIFY(std::all_of(b.bytes.begin(), b.bytes.end(), [](auto v) { return v == 0; }));
}

void TestGraphRender::hgridHugeSpaceBounded() {
    // A hand-edited spacing of 10^9 saturates the column instead of stalling.
    Buffer b(1, 87);
    const TZToneTables t = Tables(2.5);
    TZGridSettings g;
    g.HGridSpace = 1000000000;
    g.GridCurve = false;
    g.HGridColor = 0x0000FF;
    DrawHGrid(b.view, t, g, 0);
    for (int r = 1; r < 87; ++r)
        QCOMPARE(b.atRow(0, r, 2), 255);
}

void TestGraphRender::hgridMatchesLineByLine_data() {
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("space");
    QTest::addColumn<uint>("colour");
    QTest::addColumn<double>("gamma"); // 0: scrambled tables
    QTest::addColumn<double>("curve");
    QTest::addColumn<bool>("gridCurve");
    QTest::addColumn<bool>("gridGamma");
    QTest::addColumn<bool>("pattern");
    // Ordinary spacings.
    QTest::newRow("87, 10, curve, split")
        << 87 << 10 << 0x0000FFu << 2.5 << 0.25 << true << true << false;
    QTest::newRow("87, 10, plain")
        << 87 << 10 << 0x00FF00u << 2.5 << 0.25 << false << false << false;
    QTest::newRow("87, 10, on a picture")
        << 87 << 10 << 0x406080u << 2.5 << 0.25 << true << true << true;
    QTest::newRow("87, 400, white")
        << 87 << 400 << 0xFFFFFFu << 2.5 << 0.25 << true << true << false;
    QTest::newRow("87, 2000, dim")
        << 87 << 2000 << 0x303030u << 2.5 << 0.25 << true << true << false;
    // Far more lines than rows, with dim colours that climb slowly and settle below white.
    QTest::newRow("tall, dim, split")
        << 1200 << 3000000 << 0x202020u << 2.5 << 0.25 << false << true << false;
    QTest::newRow("tall, dim, curve, split")
        << 1200 << 3000000 << 0x202020u << 2.5 << 0.25 << true << true << false;
    QTest::newRow("tall, dim, plain")
        << 1200 << 3000000 << 0x202020u << 2.5 << 0.25 << false << false << false;
    QTest::newRow("tall, dim, curve")
        << 1200 << 3000000 << 0x202020u << 2.5 << 0.25 << true << false << false;
    QTest::newRow("middling, curve 0.1")
        << 300 << 2000000 << 0x505050u << 2.5 << 0.1 << true << true << false;
    QTest::newRow("middling, curve 0.01")
        << 300 << 2000000 << 0x605040u << 2.5 << 0.01 << true << true << false;
    QTest::newRow("middling, curve 0.9")
        << 300 << 2000000 << 0x183050u << 4.0 << 0.9 << true << true << false;
    QTest::newRow("bright, short")
        << 87 << 4000000 << 0xFF8000u << 2.5 << 0.25 << true << true << false;
    QTest::newRow("bright, short, gamma 1")
        << 87 << 4000000 << 0x0080FFu << 1.0 << 0.25 << false << true << false;
    QTest::newRow("crowded, on a picture")
        << 200 << 2000000 << 0x303030u << 2.5 << 0.25 << true << true << true;
    QTest::newRow("crowded, plain, on a picture")
        << 200 << 2000000 << 0x181818u << 2.5 << 0.25 << false << false << true;
    QTest::newRow("very tall, 100 lines a row")
        << 20000 << 2000000 << 0xFFFFFFu << 2.5 << 0.25 << true << true << false;
    QTest::newRow("very tall, dim")
        << 20000 << 2000000 << 0x404040u << 2.5 << 0.25 << false << true << false;
    // Curves that push the lines to the top, or all onto it.
    QTest::newRow("curve 2") << 50 << 1000000 << 0x2040FFu << 2.5 << 2.0 << true << true << false;
    QTest::newRow("curve 2, plain")
        << 50 << 1000000 << 0x2040FFu << 2.5 << 2.0 << true << false << false;
    QTest::newRow("curve 1") << 50 << 1000000 << 0x102030u << 2.5 << 1.0 << true << true << false;
    QTest::newRow("one row") << 1 << 1000000 << 0x101010u << 2.5 << 0.25 << false << true << false;
    QTest::newRow("one row, curve")
        << 1 << 1000000 << 0x101010u << 2.5 << 0.25 << true << true << false;
    QTest::newRow("two rows") << 2 << 1000000 << 0x202020u << 2.5 << 0.25 << true << true << false;
    // Blends that never settle must still come out as the count says.
    QTest::newRow("scrambled tables, split")
        << 60 << 500000 << 0x7F3F1Fu << 0.0 << 0.25 << true << true << true;
    QTest::newRow("scrambled tables, plain")
        << 60 << 500001 << 0x7F3F1Fu << 0.0 << 0.25 << false << false << true;
}

void TestGraphRender::hgridMatchesLineByLine() {
    QFETCH(int, height);
    QFETCH(int, space);
    QFETCH(uint, colour);
    QFETCH(double, gamma);
    QFETCH(double, curve);
    QFETCH(bool, gridCurve);
    QFETCH(bool, gridGamma);
    QFETCH(bool, pattern);
    const TZToneTables t = gamma > 0.0 ? Tables(gamma) : Scrambled();
    TZGridSettings g;
    g.HGridSpace = space;
    g.HGridColor = colour;
    g.Curve = curve;
    g.GridCurve = gridCurve;
    g.GridGamma = gridGamma;
    Buffer drawn(2, height);
    if (pattern) FillPattern(drawn);
    Buffer model = drawn;
    model.view.Pixels = model.bytes.data();
    DrawHGrid(drawn.view, t, g, 1);
    ModelHGrid(model.view, t, g, 1);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < 3; ++c)
            if (drawn.atRow(1, r, c) != model.atRow(1, r, c))
                QFAIL(qPrintable(QString("row %1 channel %2: %3, line by line %4")
                                     .arg(r)
                                     .arg(c)
                                     .arg(drawn.atRow(1, r, c))
                                     .arg(model.atRow(1, r, c))));
    QVERIFY(drawn.bytes == model.bytes); // column 0 and the row padding untouched
}

void TestGraphRender::hgridLargestSpacing_data() {
    QTest::addColumn<int>("height");
    QTest::addColumn<uint>("colour");
    QTest::addColumn<bool>("gridCurve");
    // A linear value of 1 climbs from black to 155 under gamma 2.5 and stays there.
    QTest::newRow("87, dim") << 87 << 0x202020u << false;
    QTest::newRow("2158, dim") << 2158 << 0x202020u << false;
    QTest::newRow("2158, dim, curve") << 2158 << 0x202020u << true;
    QTest::newRow("4000, middling, curve") << 4000 << 0x505050u << true;
}

void TestGraphRender::hgridLargestSpacing() {
    // Every row gets thousands of full-colour lines: each ends where blending the
    // colour once more no longer changes it.
    QFETCH(int, height);
    QFETCH(uint, colour);
    QFETCH(bool, gridCurve);
    const TZToneTables t = Tables(2.5);
    TZGridSettings g;
    g.HGridSpace = INT_MAX;
    g.HGridColor = colour;
    g.GridCurve = gridCurve;
    g.GridGamma = false;
    Buffer b(1, height);
    DrawHGrid(b.view, t, g, 0);

    Buffer settled(1, 1);
    const auto lin = LinearChannels(t, colour);
    for (int k = 0; k < 256; ++k)
        BlendContribution(settled.view, t, 0, {lin[0], lin[1], lin[2]});
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < 3; ++c)
            QCOMPARE(b.atRow(0, r, c), settled.atRow(0, 0, c));
}

void TestGraphRender::vgrid_data() {
    QTest::addColumn<int>("space");
    QTest::addColumn<int>("phase");
    QTest::addColumn<QList<int>>("columns");
    QTest::newRow("60, phase 0") << 60 << 0 << QList<int>{139, 79, 19};
    QTest::newRow("60, phase 45") << 60 << 45 << QList<int>{94, 34};
    QTest::newRow("1: every column") << 1 << 0 << QList<int>{};
}

void TestGraphRender::vgrid() {
    QFETCH(int, space);
    QFETCH(int, phase);
    QFETCH(QList<int>, columns);
    Buffer b(140, 5);
    const TZToneTables t = Tables(1.0);
    TZGridSettings g;
    g.VGridSpace = space;
    g.VGridPhase = phase;
    g.VGridColor = 0xFF0000;
    for (int x = 0; x < 140; ++x)
        DrawVGrid(b.view, t, g, x);
    for (int x = 0; x < 140; ++x) {
        const bool grid = space == 1 || columns.contains(x);
        for (int y = 0; y < 5; ++y) {
            QCOMPARE(b.at(x, y, 0), grid ? 255 : 0);
            QCOMPARE(b.at(x, y, 2), 0);
        }
    }
    g.VGrid = false;
    Buffer off(140, 5);
    for (int x = 0; x < 140; ++x)
        DrawVGrid(off.view, t, g, x);
    QVERIFY(std::all_of(off.bytes.begin(), off.bytes.end(), [](auto v) { return v == 0; }));
}

QTEST_APPLESS_MAIN(TestGraphRender)
#include "test_graph_render.moc"
