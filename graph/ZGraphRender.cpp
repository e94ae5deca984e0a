#include "ZGraphRender.h"

#include <algorithm>
#include <cmath>
#include <limits>
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

namespace {

// One horizontal grid line where the per-line rule puts it: its row (trunc of the
// position when the colour is split between two rows, nearest otherwise) and, when
// split, each channel's share for the row above (the row itself keeps the rest).
struct GridLine {
    bool Skip = false; // too far outside the image to touch it
    std::int64_t Row = 0;
    std::array<std::int32_t, 3> Upper{};
};

bool SameShares(const GridLine& a, const GridLine& b, unsigned channels) {
    if (a.Skip || b.Skip) return a.Skip == b.Skip;
    if (a.Row != b.Row) return false;
    for (std::size_t c = 0; c < 3; ++c)
        if ((channels >> c & 1u) != 0 && a.Upper[c] != b.Upper[c]) return false;
    return true;
}

// Whether a table never falls (only then does a repeated blend settle).
bool Rising(const std::array<std::uint8_t, 256>& table) {
    bool falls = false;
    for (std::size_t i = 1; i < table.size(); ++i)
        falls |= table[i] < table[i - 1];
    return !falls;
}

// With tables that rise with their index a blend moves a value one way only, so this
// many blends of one contribution always reach the value that stays put.
constexpr std::int64_t kSettlingRun = 256;

// Up to this many lines per row, placing them one by one is the cheapest.
constexpr std::int64_t kDirectLinesPerRow = 4;

// A stored value taken through every run of shares a crowded row receives, and the most
// blends one run needed before the value stayed put; the runs at either end of a row
// can be shorter than those within, so they are kept apart.
struct Settled {
    std::uint8_t Value = 0;
    std::uint16_t EndBlends = 0;
    std::uint16_t InnerBlends = 0;
};

// The horizontal grid of one column. Lines with the same row and the same shares are
// blended as one run, counted in closed form: the position rises (or falls) with the
// line number, so a run ends at the first line whose place differs, found by a search
// from the curve's inverse. Where every run of a row is long enough for each of its
// blends to settle, the row is finished from its stored value alone.
class HGridColumn {
public:
    HGridColumn(const TZImageView& image, const TZToneTables& tables, const TZGridSettings& grid,
                std::int32_t x, double e)
        : FImage(image), FTables(tables), FCurve(grid.GridCurve), FSplit(grid.GridGamma),
          FRising(!grid.GridCurve || e >= 0.0), FN(grid.HGridSpace), FH(image.Height), FE(e),
          FColumn(3 * std::int64_t{x}), FLin(LinearChannels(tables, grid.HGridColor)) {}

    void Draw() {
        if (FN - 1 <= kDirectLinesPerRow * FH) {
            for (std::int64_t i = 1; i < FN; ++i)
                Apply(Line(i), 1);
            return;
        }
        FSettles = Rising(FTables.ToLinear) && Rising(FTables.ToDisplay);
        if (FSettles && (!FCurve || FE > 0.0)) SettleCrowdedRows();
        Walk();
    }

private:
    double Position(std::int64_t i) const {
        if (FCurve)
            return static_cast<double>(FH - 1) *
                   ZPower(static_cast<double>(i) / static_cast<double>(FN), FE);
        return static_cast<double>(std::int64_t{FH - 1} * i) / static_cast<double>(FN);
    }

    GridLine Line(std::int64_t i) const {
        GridLine line;
        const double t = Position(i);
        // Rows far outside the image (a curve above 1 pushes lines up) touch nothing.
        if (!(t > -2.0 && t < static_cast<double>(FH) + 1.0)) {
            line.Skip = true;
        } else if (FSplit) {
            const double whole = std::trunc(t);
            line.Row = static_cast<std::int64_t>(whole);
            const double f = t - whole;
            for (std::size_t c = 0; c < 3; ++c)
                line.Upper[c] = Nearest(f * FLin[c]);
        } else {
            line.Row = static_cast<std::int64_t>(std::nearbyint(t));
        }
        return line;
    }

    std::uint8_t Blend(std::uint8_t s, std::int32_t c) const {
        std::int32_t v = FTables.ToLinear[s] + c;
        if (v >= 255) v = 255;
        return FTables.ToDisplay[static_cast<std::size_t>(v)];
    }

    // s blended count times with c; *blends tells how many of them changed it.
    std::uint8_t Repeat(std::uint8_t s, std::int32_t c, std::int64_t count,
                        std::uint16_t* blends = nullptr) const {
        std::uint16_t changed = 0;
        for (; count > 0; --count) {
            const std::uint8_t next = Blend(s, c);
            if (next == s) break;
            s = next;
            if (++changed == 256) {
                // Only tables that fall somewhere get here: the value is now on a cycle,
                // and the rest of the count matters only modulo its length.
                std::int64_t period = 1;
                for (std::uint8_t u = Blend(s, c); u != s; u = Blend(u, c))
                    ++period;
                for (count = (count - 1) % period; count > 0; --count)
                    s = Blend(s, c);
                break;
            }
        }
        if (blends) *blends = changed;
        return s;
    }

    std::uint8_t* Pixel(std::int64_t row) const {
        return FImage.Pixels + static_cast<std::ptrdiff_t>(row * FImage.Stride + FColumn);
    }

    bool Walked(std::int64_t row) const {
        return row >= 0 && row < FH && (row < FSettledLo || row > FSettledHi);
    }

    void Apply(const GridLine& line, std::int64_t count) const {
        if (line.Skip) return;
        if (Walked(line.Row)) {
            std::uint8_t* p = Pixel(line.Row);
            for (std::size_t c = 0; c < 3; ++c)
                p[c] = Repeat(p[c], FSplit ? FLin[c] - line.Upper[c] : FLin[c], count);
        }
        if (FSplit && Walked(line.Row + 1)) {
            std::uint8_t* p = Pixel(line.Row + 1);
            for (std::size_t c = 0; c < 3; ++c)
                p[c] = Repeat(p[c], line.Upper[c], count);
        }
    }

    // Whether every contribution from low to high leaves s as it is (blends rise with c).
    bool Unmoved(std::uint8_t s, std::int32_t low, std::int32_t high) const {
        return Blend(s, low) == s && Blend(s, high) == s;
    }

    // The channels whose share still matters for the rest of this line's row: within a
    // row the upper share only grows (or, on a falling curve, only shrinks).
    unsigned Moving(const GridLine& line) const {
        if (!FSplit || line.Skip) return 0;
        if (!FSettles) return 7;
        const bool low = Walked(line.Row);
        const bool high = Walked(line.Row + 1);
        unsigned channels = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            const std::int32_t lin = FLin[c];
            const std::int32_t up = line.Upper[c];
            const std::int32_t down = lin - up;
            if (lin == 0) continue; // its share is always 0
            bool moves = false;
            if (low) {
                const std::uint8_t s = Pixel(line.Row)[c];
                moves = FRising ? !Unmoved(s, 0, down) : !Unmoved(s, down, lin);
            }
            if (high && !moves) {
                const std::uint8_t s = Pixel(line.Row + 1)[c];
                moves = FRising ? !Unmoved(s, up, lin) : !Unmoved(s, 0, up);
            }
            if (moves) channels |= 1u << c;
        }
        return channels;
    }

    // About where the next line of a different place lies: a hint for the search only.
    double NextPlace(const GridLine& line, unsigned channels) const {
        if (line.Skip) return FRising ? std::nan("") : static_cast<double>(FH) + 1.0;
        const auto r = static_cast<double>(line.Row);
        if (!FSplit) return FRising ? r + 0.5 : r - 0.5;
        double t = FRising ? r + 1.0 : r;
        for (std::size_t c = 0; c < 3; ++c) {
            const std::int32_t lin = FLin[c];
            const std::int32_t up = line.Upper[c];
            if ((channels >> c & 1u) == 0 || lin == 0) continue;
            if (FRising && up < lin) t = std::min(t, r + (up + 0.5) / lin);
            if (!FRising && up > 0) t = std::max(t, r + (up - 0.5) / lin);
        }
        return t;
    }

    // About the first line number at which the curve reaches position t; 0 when unknown.
    std::int64_t Guess(double t) const {
        if (FH < 2) return 0;
        const double span = static_cast<double>(FH - 1);
        const auto n = static_cast<double>(FN);
        double i = 0.0;
        if (!FCurve)
            i = t / span * n;
        else if (FE != 0.0)
            i = n * std::pow(t / span, 1.0 / FE);
        if (!(i >= 1.0)) return 0;
        // Beyond the last line: look at the last one, which settles it at once.
        if (!(i < n)) return FN - 1;
        return static_cast<std::int64_t>(std::ceil(i));
    }

    // The first line after `from` for which done() holds (done turns true once and stays
    // so, as lines move one way), FN when none does; `found` receives that line.
    template <typename Done>
    std::int64_t FirstWhere(std::int64_t from, Done done, double near, GridLine& found) const {
        std::int64_t lo = from; // done() is false here
        std::int64_t hi = FN;   // done() is true here, or past the last line
        const auto probe = [&](std::int64_t i) {
            const GridLine line = Line(i);
            if (done(line)) {
                hi = i;
                found = line;
                return true;
            }
            lo = i;
            return false;
        };
        const std::int64_t guess = Guess(near);
        if (guess > lo && guess < hi && probe(guess)) {
            for (std::int64_t step = 1; hi - step > lo; step *= 2)
                if (!probe(hi - step)) break;
        }
        if (hi == FN) {
            for (std::int64_t step = 1; lo + step < hi; step *= 2)
                if (probe(lo + step)) break;
        }
        while (hi - lo > 1)
            probe(lo + (hi - lo) / 2);
        return hi;
    }

    void Walk() {
        std::int64_t i = 1;
        GridLine line = Line(1);
        while (i < FN) {
            GridLine next;
            std::int64_t end = FN;
            if (!line.Skip && line.Row >= FSettledLo && line.Row < FPastSettled) {
                // Every row these lines reach is finished: go to the first line past them.
                const auto past = [&](const GridLine& l) {
                    return l.Skip || l.Row >= FPastSettled;
                };
                end = FirstWhere(i, past, static_cast<double>(FPastSettled) - (FSplit ? 0.0 : 0.5),
                                 next);
            } else {
                const unsigned channels = Moving(line);
                const auto moved = [&](const GridLine& l) {
                    return !SameShares(line, l, channels);
                };
                end = FirstWhere(i, moved, NextPlace(line, channels), next);
                Apply(line, end - i);
            }
            i = end;
            line = next;
        }
    }

    Settled Settle(std::uint8_t s, std::int32_t lin, bool upper, bool lower) const {
        Settled out;
        const auto run = [&](std::int32_t c) {
            std::uint16_t blends = 0;
            s = Repeat(s, c, kSettlingRun, &blends);
            std::uint16_t& most = c == 0 || c == lin ? out.EndBlends : out.InnerBlends;
            most = std::max(most, blends);
        };
        if (!FSplit) {
            run(lin);
        } else {
            // Once no share at all moves the value, the runs left change nothing.
            if (upper)
                for (std::int32_t c = 0; c <= lin && !Unmoved(s, 0, lin); ++c)
                    run(c);
            if (lower)
                for (std::int32_t c = lin; c >= 0 && !Unmoved(s, 0, lin); --c)
                    run(c);
        }
        out.Value = s;
        return out;
    }

    // The lowest position from which consecutive lines of the true curve lie at most
    // `step` apart; -inf when they do everywhere, +inf when nowhere can be vouched for.
    double LowestPosition(double step) const {
        constexpr double kInf = std::numeric_limits<double>::infinity();
        if (!(step < kInf)) return -kInf;
        const auto span = static_cast<double>(FH - 1);
        const auto n = static_cast<double>(FN);
        if (!FCurve) return span / n <= step ? -kInf : kInf;
        // A curve with e >= 1 is steepest at the top, one with e < 1 at the bottom.
        if (FE >= 1.0) return span * FE / n <= step ? -kInf : kInf;
        // Where span e x^(e-1) / n <= step; the logarithm is shaded so that its own
        // rounding cannot move the answer down.
        const double q = std::log(step * n / (span * FE)) - 1e-9;
        const double x = std::exp(q / (FE - 1.0)) + 1.0 / n;
        if (!(x < 1.0)) return kInf;
        return span * std::pow(x, FE) * (1.0 + 1e-9) + 1e-9;
    }

    // Finishes the rows where so many lines land that each run of shares is long enough
    // for its blends to settle: the outcome then depends on the stored value alone.
    void SettleCrowdedRows() {
        constexpr double kInf = std::numeric_limits<double>::infinity();
        if (FH < 2) return;
        const double t1 = Position(1);
        const double tn = Position(FN - 1);
        if (!(tn - t1 >= 1.0)) return;
        std::int32_t widest = 1;
        for (const std::uint8_t lin : FLin)
            widest = std::max<std::int32_t>(widest, lin);
        // What the first and the last line may cut off the narrowest run.
        const double cut = FSplit ? 0.25 / widest : 0.25;
        // How far a computed position may stray from the true curve.
        const double slack = (static_cast<double>(FH) + 1.0) * 0x1p-30;
        if (!(16.0 * slack <= cut)) return;

        // The rows [lo, hi] none of whose runs the first or last line cuts short. With the
        // split, group g (positions g .. g + 1) gives row g + 1 its upper shares and row g
        // its lower ones; a row at either end may have no group below or above it.
        double a = 0.0;
        double b = 0.0;
        if (FSplit) {
            const double gLo = std::ceil(t1 - cut);
            const double gHi = std::floor(tn - 1.0 + cut);
            a = t1 >= gLo ? gLo : gLo + 1.0;
            b = tn < gHi + 1.0 ? gHi + 1.0 : gHi;
        } else {
            a = std::ceil(t1 - cut);
            b = std::floor(tn + cut);
        }
        a = std::max(a, 0.0);
        b = std::min(b, static_cast<double>(FH - 1));
        if (!(a <= b)) return;
        const auto lo = static_cast<std::int64_t>(a);
        const auto hi = static_cast<std::int64_t>(b);

        // The widest step between lines that lets every run of s hold the blends it needs.
        const auto allowed = [&](const Settled& s, std::size_t c) {
            const double lin = FLin[c];
            const double end = !FSplit ? cut : lin > 0.0 ? 0.5 / lin - cut : 2.0 * cut;
            double most = kInf;
            if (s.EndBlends > 0) most = (end - 4.0 * slack) / (s.EndBlends + 1);
            if (s.InnerBlends > 0)
                most = std::min(most, (1.0 / lin - 4.0 * slack) / (s.InnerBlends + 1));
            return most;
        };
        // From the top down, since lines only lie closer as the curve flattens upward: a
        // row is finished when lines lie close enough, at its lowest position, for every
        // run to hold as many lines as that run needs blends. Rows taking both groups
        // depend on the stored value alone, so each value is settled once.
        std::array<std::array<bool, 256>, 3> known{};
        std::array<std::array<std::uint8_t, 256>, 3> memo;
        double step = kInf;
        double lowest = -kInf;
        const auto tighten = [&](const Settled& s, std::size_t c) {
            const double most = allowed(s, c);
            if (most < step) {
                step = most;
                lowest = LowestPosition(step);
            }
            return s.Value;
        };
        std::int64_t row = hi;
        for (; row >= lo; --row) {
            std::uint8_t* p = Pixel(row);
            const bool upper = t1 < static_cast<double>(row);
            const bool lower = tn >= static_cast<double>(row);
            const auto settled = [&](std::size_t c) {
                const std::uint8_t s = p[c];
                if (!upper || !lower) return tighten(Settle(s, FLin[c], upper, lower), c);
                if (!known[c][s]) {
                    memo[c][s] = tighten(Settle(s, FLin[c], true, true), c);
                    known[c][s] = true;
                }
                return memo[c][s];
            };
            const std::uint8_t blue = settled(0);
            const std::uint8_t green = settled(1);
            const std::uint8_t red = settled(2);
            const double from = static_cast<double>(row) - (!FSplit ? 0.5 : upper ? 1.0 : 0.0);
            if (!(from >= lowest)) break;
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
        if (row == hi) return;
        FSettledLo = row + 1;
        FSettledHi = hi;
        FPastSettled = FSplit ? hi : hi + 1;
    }

    const TZImageView& FImage;
    const TZToneTables& FTables;
    const bool FCurve;
    const bool FSplit;
    const bool FRising;
    const std::int64_t FN;
    const std::int32_t FH;
    const double FE;
    const std::int64_t FColumn;
    const std::array<std::uint8_t, 3> FLin;
    bool FSettles = false;
    // Rows finished in closed form, and the first row (group, with the split) whose lines
    // reach beyond them.
    std::int64_t FSettledLo = 1;
    std::int64_t FSettledHi = 0;
    std::int64_t FPastSettled = 0;
};

} // namespace

void DrawHGrid(const TZImageView& image, const TZToneTables& tables, const TZGridSettings& grid,
               std::int32_t x) {
    if (!grid.HGrid || grid.HGridSpace <= 1) return;
    if (x < 0 || x >= image.Width || image.Height <= 0) return;
    double e = 0.0;
    if (grid.GridCurve && !CurveExponent(grid.Curve, e)) return;
    HGridColumn(image, tables, grid, x, e).Draw();
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
