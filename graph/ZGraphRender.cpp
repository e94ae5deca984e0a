#include "ZGraphRender.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Round to nearest, ties to even (the default floating-point rounding mode).
std::int32_t Nearest(double v) {
    return static_cast<std::int32_t>(std::nearbyint(v));
}

// Wide enough for (steps x distance) of any two 32-bit ends.
__extension__ typedef __int128 Wide;

// Error and whole moves after k steps of a walk that adds minor per step against major.
inline void WalkAfter(std::int64_t k, std::int64_t minor, std::int64_t major, std::int64_t& err,
                      std::int64_t& moves) {
    const Wide total = static_cast<Wide>(k) * minor;
    err = static_cast<std::int64_t>(total % major);
    moves = static_cast<std::int64_t>(total / major);
}

// 32-bit difference with wrap-around, as 32-bit machine arithmetic gives it.
std::int32_t WrapSub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// The exponent of the graph curve; false when the curve cannot give one.
bool CurveExponent(double curve, double& e) {
    if (!(curve > 0.0) || !std::isfinite(curve)) return false;
    e = std::log10(1.0 / curve);
    return std::isfinite(e);
}

inline void BlendByte(std::uint8_t& s, const TZToneTables& t, std::int32_t c) {
    std::int32_t v = t.ToLinear[s] + c;
    if (v >= 255) v = 255;
    s = t.ToDisplay[static_cast<std::size_t>(v)];
}

// a/b of each linear channel, truncated; 64-bit so that any line length fits.
inline void BlendShare(const TZImageView& image, const TZToneTables& tables, std::ptrdiff_t offset,
                       const std::array<std::uint8_t, 3>& lin, std::int64_t a, std::int64_t b) {
    std::uint8_t* p = image.Pixels + offset;
    BlendByte(p[0], tables, static_cast<std::int32_t>(lin[0] * a / b));
    BlendByte(p[1], tables, static_cast<std::int32_t>(lin[1] * a / b));
    BlendByte(p[2], tables, static_cast<std::int32_t>(lin[2] * a / b));
}

} // namespace

double ZPower(double x, double y) {
    if (y == 0.0) return 1.0;
    if (x == 0.0 && y > 0.0) return 0.0;
    if (y == std::trunc(y) && std::fabs(y) <= 2147483647.0) {
        auto n = static_cast<std::int64_t>(std::fabs(y));
        double r = 1.0;
        double b = x;
        while (n != 0) {
            if (n & 1) r *= b;
            b *= b;
            n >>= 1;
        }
        return y < 0.0 ? 1.0 / r : r;
    }
    return std::exp(y * std::log(x));
}

void BuildToneTables(TZToneTables& tables, double gamma) {
    if (!(gamma > 0.0) || !std::isfinite(gamma)) gamma = 1.0;
    for (int i = 0; i < 256; ++i) {
        const double x = i / 255.0;
        const double lin = std::clamp(255.0 * ZPower(x, gamma), 0.0, 255.0);
        const double disp = std::clamp(255.0 * ZPower(x, 1.0 / gamma), 0.0, 255.0);
        tables.ToLinear[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(Nearest(lin));
        tables.ToDisplay[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(Nearest(disp));
    }
}

std::array<std::uint8_t, 3> LinearChannels(const TZToneTables& tables, TColor colour) {
    return {tables.ToLinear[(colour >> 16) & 0xFF], tables.ToLinear[(colour >> 8) & 0xFF],
            tables.ToLinear[colour & 0xFF]};
}

void BlendContribution(const TZImageView& image, const TZToneTables& tables, std::ptrdiff_t offset,
                       const std::array<std::int32_t, 3>& c) {
    std::uint8_t* p = image.Pixels + offset;
    BlendByte(p[0], tables, c[0]);
    BlendByte(p[1], tables, c[1]);
    BlendByte(p[2], tables, c[2]);
}

void BlendPixel(const TZImageView& image, const TZToneTables& tables, std::int32_t x,
                std::int32_t y, std::ptrdiff_t offset, const std::array<std::uint8_t, 3>& lin,
                std::int32_t a, std::int32_t b) {
    if (y < 0 || y >= image.Height || x < 0 || x >= image.Width || b <= 0) return;
    BlendShare(image, tables, offset, lin, a, b);
}

std::int32_t MapValue(std::int32_t value, std::int32_t min, std::int32_t max, double curve,
                      std::int32_t height) {
    const std::int32_t range = WrapSub(max, min);
    double e = 0.0;
    if (range == 0 || !CurveExponent(curve, e)) return kUnmappableRow;
    double d = static_cast<double>(WrapSub(value, min)) / static_cast<double>(range);
    // Below Min the power has no real value: such values sit on the bottom row.
    if (!(d > 0.0)) return 0;
    d = ZPower(d, e);
    double row = static_cast<double>(height - 1) * d;
    if (std::isnan(row)) return kUnmappableRow;
    constexpr double kLimit = 1073741824.0; // 2^30
    row = std::clamp(row, -kLimit, kLimit);
    return static_cast<std::int32_t>(std::trunc(row));
}

void DrawLine(const TZImageView& image, const TZToneTables& tables, std::int32_t x1,
              std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor colour) {
    const auto lin = LinearChannels(tables, colour);
    if (x2 < x1) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const std::int64_t dx = std::int64_t{x2} - x1;
    const std::int64_t dy = std::abs(std::int64_t{y2} - y1);
    const std::int64_t ystep = y2 < y1 ? -1 : 1;
    const std::int64_t h = image.Height;
    const std::int64_t w = image.Width;
    const auto offsetOf = [&](std::int64_t x, std::int64_t y) {
        return static_cast<std::ptrdiff_t>((h - 1 - y) * image.Stride + 3 * x);
    };
    const auto blend = [&](std::int64_t x, std::int64_t y, std::int64_t a, std::int64_t b) {
        if (y < 0 || y >= h || x < 0 || x >= w) return;
        BlendShare(image, tables, offsetOf(x, y), lin, a, b);
    };

    if (dx == 0 && dy == 0) { // equal ends: one pixel, full colour
        blend(x1, y1, 1, 1);
        return;
    }

    // Step k of either walk has the error (k * minor) mod major, so the walk can
    // start at the first step that reaches the image and stop after the last.
    if (dy > dx) {
        std::int64_t kFirst = 0;
        std::int64_t kLast = dy;
        if (ystep > 0) {
            kFirst = std::max<std::int64_t>(0, -std::int64_t{y1});
            kLast = std::min<std::int64_t>(dy, h - 1 - y1);
        } else {
            kFirst = std::max<std::int64_t>(0, std::int64_t{y1} - (h - 1));
            kLast = std::min<std::int64_t>(dy, y1);
        }
        std::int64_t err = 0;
        std::int64_t moves = 0;
        WalkAfter(kFirst, dx, dy, err, moves);
        std::int64_t x = x1 + moves;
        std::int64_t y = y1 + ystep * kFirst;
        for (std::int64_t k = kFirst; k <= kLast; ++k) {
            blend(x, y, dy - err, dy);
            blend(x + 1, y, err, dy);
            err += dx;
            if (err >= dy) {
                err -= dy;
                ++x;
            }
            y += ystep;
        }
    } else {
        const std::int64_t kFirst = std::max<std::int64_t>(0, -std::int64_t{x1});
        const std::int64_t kLast = std::min<std::int64_t>(dx, w - 1 - x1);
        std::int64_t err = 0;
        std::int64_t moves = 0;
        WalkAfter(kFirst, dy, dx, err, moves);
        std::int64_t y = y1 + ystep * moves;
        std::int64_t x = x1 + kFirst;
        for (std::int64_t k = kFirst; k <= kLast; ++k) {
            blend(x, y, dx - err, dx);
            blend(x, y + ystep, err, dx);
            err += dy;
            if (err >= dx) {
                err -= dx;
                y += ystep;
            }
            ++x;
        }
    }
}

void DrawHGrid(const TZImageView& image, const TZToneTables& tables, const TZGridSettings& grid,
               std::int32_t x) {
    if (!grid.HGrid || grid.HGridSpace <= 1) return;
    if (x < 0 || x >= image.Width) return;
    double e = 0.0;
    if (grid.GridCurve && !CurveExponent(grid.Curve, e)) return;
    const std::int32_t n = std::min(grid.HGridSpace, kMaxHGridSpace);
    const std::int32_t h = image.Height;
    const auto lin = LinearChannels(tables, grid.HGridColor);
    const auto offsetOf = [&](std::int64_t r) {
        return static_cast<std::ptrdiff_t>(r * image.Stride + 3 * std::int64_t{x});
    };
    for (std::int32_t i = 1; i < n; ++i) {
        double t = 0.0;
        if (grid.GridCurve) {
            t = static_cast<double>(h - 1) * ZPower(static_cast<double>(i) / n, e);
        } else {
            t = static_cast<double>(std::int64_t{h - 1} * i) / n;
        }
        // Rows far outside the image (a curve above 1 pushes lines up) touch nothing.
        if (!(t > -2.0 && t < static_cast<double>(h) + 1.0)) continue;
        if (grid.GridGamma) {
            const double whole = std::trunc(t);
            const auto r = static_cast<std::int64_t>(whole);
            const double f = t - whole;
            std::array<std::int32_t, 3> upper{};
            std::array<std::int32_t, 3> lower{};
            for (std::size_t c = 0; c < 3; ++c) {
                upper[c] = Nearest(f * lin[c]);
                lower[c] = lin[c] - upper[c];
            }
            if (r >= 0 && r < h) BlendContribution(image, tables, offsetOf(r), lower);
            if (r + 1 >= 0 && r + 1 < h) BlendContribution(image, tables, offsetOf(r + 1), upper);
        } else {
            const std::int64_t r = Nearest(t);
            if (r >= 0 && r < h)
                BlendContribution(image, tables, offsetOf(r), {lin[0], lin[1], lin[2]});
        }
    }
}

void DrawVGrid(const TZImageView& image, const TZToneTables& tables, const TZGridSettings& grid,
               std::int32_t x) {
    if (!grid.VGrid || grid.VGridSpace < 1) return;
    if (x < 0 || x >= image.Width) return;
    if ((image.Width - 1 - x) % grid.VGridSpace != grid.VGridPhase) return;
    const auto lin = LinearChannels(tables, grid.VGridColor);
    const std::array<std::int32_t, 3> c{lin[0], lin[1], lin[2]};
    for (std::int64_t r = 0; r < image.Height; ++r)
        BlendContribution(image, tables, static_cast<std::ptrdiff_t>(r * image.Stride + 3 * x), c);
}
