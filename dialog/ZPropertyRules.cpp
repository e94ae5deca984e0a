#include "ZPropertyRules.h"

#include "ZGraphRender.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

bool FitsInt32(std::int64_t v) {
    return v >= kInt32Min && v <= kInt32Max;
}

// Round to nearest, ties to even.
double Nearest(double v) {
    return std::nearbyint(v);
}

// A real as shown, in hundredths.
double Hundredths(double v) {
    return Nearest(v * 100.0);
}

double ClampReal(double v, double lo, double hi) {
    if (std::isnan(v)) return lo;
    return std::clamp(v, lo, hi);
}

TZSpinButtonState ArrowState(bool less, bool more) {
    TZSpinButtonState state;
    if (more) state |= zsbsMore;
    if (less) state |= zsbsLess;
    return state;
}

int DecimalDigits(std::int64_t v) {
    int d = 1;
    while (v >= 10) {
        v /= 10;
        ++d;
    }
    return d;
}

std::int64_t PowerOfTen(int n) {
    std::int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// 5 x 10^(d - 2) for a number of d digits; at least 1 so that it can divide.
std::int64_t DecadeStep(std::int64_t v) {
    const int d = DecimalDigits(v);
    return d >= 2 ? 5 * PowerOfTen(d - 2) : 1;
}

} // namespace

std::int64_t StepScaleValue(std::int64_t v, bool more) {
    v = std::clamp(v, kScaleMin, kScaleMax);
    std::int64_t s = 0;
    if (more) {
        s = DecadeStep(v);
        v += s;
    } else {
        v -= 1;
        s = DecadeStep(v);
    }
    v -= v % s;
    return std::clamp(v, kScaleMin, kScaleMax);
}

std::int64_t StepDelayValue(std::int64_t v, bool more) {
    v = std::clamp(v, kDelayMin, kDelayMax);
    return std::clamp(more ? v + 1 : v - 1, kDelayMin, kDelayMax);
}

double StepCurveValue(double v, bool more) {
    return ClampReal(more ? v + kRealStep : v - kRealStep, kCurveMin, kCurveMax);
}

double StepGammaValue(double v, bool more) {
    return ClampReal(more ? v + kRealStep : v - kRealStep, kGammaMin, kGammaMax);
}

std::int64_t StepHGridValue(std::int64_t v, bool more) {
    return std::clamp(more ? v + 1 : v - 1, kHGridMin, kHGridMax);
}

std::int64_t StepVGridValue(std::int64_t v, bool more) {
    return std::clamp(more ? v + kVGridStep : v - kVGridStep, kVGridMin, kVGridMax);
}

TZSpinButtonState ScaleButtonState(std::int64_t v) {
    return ArrowState(v > kScaleMin, v < kScaleMax);
}

TZSpinButtonState DelayButtonState(std::int64_t v) {
    return ArrowState(v > kDelayMin, v < kDelayMax);
}

TZSpinButtonState CurveButtonState(double v) {
    const double h = Hundredths(v);
    return ArrowState(h > Hundredths(kCurveMin), h < Hundredths(kCurveMax));
}

TZSpinButtonState GammaButtonState(double v) {
    const double h = Hundredths(v);
    return ArrowState(h > Hundredths(kGammaMin), h < Hundredths(kGammaMax));
}

TZSpinButtonState HGridButtonState(std::int64_t v) {
    return ArrowState(v > kHGridMin, v < kHGridMax);
}

TZSpinButtonState VGridButtonState(std::int64_t v) {
    return ArrowState(v > kVGridMin, v < kVGridMax);
}

TZScaleApplied ApplyScale(std::int64_t v, std::int32_t unit) {
    v = std::clamp(v, -kIntegerTextLimit, kIntegerTextLimit);
    const std::int64_t bytes = ScaleFromBits(ScaleToBits(v, unit), kScaleUnitByte);
    const std::int64_t max = std::clamp<std::int64_t>(bytes, 1, kInt32Max);
    TZScaleApplied applied;
    applied.Max = static_cast<std::int32_t>(max);
    applied.ScaleUnit = unit;
    if (max == bytes && FitsInt32(v)) {
        applied.ScaleText = static_cast<std::int32_t>(v);
        return applied;
    }
    const std::int64_t shown = ScaleFromBits(ScaleToBits(max, kScaleUnitByte), unit);
    if (FitsInt32(shown)) {
        applied.ScaleText = static_cast<std::int32_t>(shown);
    } else {
        applied.ScaleText = applied.Max;
        applied.ScaleUnit = kScaleUnitByte;
    }
    return applied;
}

// ---- previews ----

QRgb ToQRgb(TColor colour) {
    return qRgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

void DrawCurveImage(QImage& image, double curve) {
    const int w = image.width();
    const int h = image.height();
    image.fill(qRgb(0, 0, 0));
    if (w <= 0 || h <= 0) return;
    const double e = std::log10(1.0 / curve);
    if (!(curve > 0.0) || !std::isfinite(e)) return;
    const QRgb green = ToQRgb(0x00FF00);
    int prev = h - 1;
    for (int i = 0; i < w; ++i) {
        const double t = i == 0 ? 0.0 : static_cast<double>(i) / (w - 1);
        const double p = t == 0.0 ? 0.0 : ZPower(t, e);
        double y = (h - 1) - Nearest(p * (h - 1));
        // A curve above 1 overshoots the top: such rows are only clipped.
        y = std::isnan(y) ? -1.0 : std::clamp(y, -1.0, static_cast<double>(h - 1));
        const int row = static_cast<int>(y);
        if (prev >= row) {
            for (int r = std::max(row, 0); r <= std::min(prev, h - 1); ++r)
                image.setPixel(i, r, green);
        }
        prev = row;
    }
}

void DrawGammaToneImage(QImage& image) {
    image.fill(qRgb(0, 0, 0));
    const QRgb white = qRgb(255, 255, 255);
    for (int y = 1; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, white);
}

std::int32_t GammaGrayLevel(double gamma) {
    // As the tone tables do: a gamma that is no positive number corrects nothing.
    if (!(gamma > 0.0) || !std::isfinite(gamma)) gamma = 1.0;
    const double c = Nearest(255.0 * ZPower(0.5, 1.0 / gamma));
    return static_cast<std::int32_t>(std::clamp(c, 0.0, 255.0));
}

void DrawGammaGrayImage(QImage& image, double gamma) {
    const int c = GammaGrayLevel(gamma);
    image.fill(qRgb(c, c, c));
}

void PaintBoxLinePaint(QPainter& canvas, int width, int height, TColor colour) {
    canvas.fillRect(0, 0, width, height, QColor(0, 0, 0));
    canvas.fillRect(0, height / 2, width, 1, QColor(ToQRgb(colour)));
}
