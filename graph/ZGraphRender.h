// Pixel rendering of the traffic graph on a bare 24-bit bottom-up buffer.
//
// Everything here is integer and table work on memory the caller owns: nothing
// allocates, nothing needs a window. The graph control calls these; tests and
// benchmarks call them directly.
#pragma once

#include "ZColor.h"

#include <array>
#include <cstddef>
#include <cstdint>

struct TZToneTables {
    std::array<std::uint8_t, 256> ToLinear{};  // stored channel value -> linear intensity
    std::array<std::uint8_t, 256> ToDisplay{}; // linear intensity -> stored channel value
};

// A view of an image: Width x Height pixels, 3 bytes each (blue, green, red),
// rows bottom-up (memory row 0 is the bottom line), Stride bytes per row.
struct TZImageView {
    std::uint8_t* Pixels = nullptr;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Stride = 0;
};

// The drawing settings the grid reads. The initialisers are the graph control's own defaults;
// the program sets every one from its settings record.
struct TZGridSettings {
    double Curve = 0.25;
    bool GridCurve = true;
    bool GridGamma = true;
    bool HGrid = true;
    std::int32_t HGridSpace = 10;
    TColor HGridColor = 0x00FF00;
    bool VGrid = true;
    std::int32_t VGridSpace = 60;
    TColor VGridColor = 0x00FF00;
    std::int32_t VGridPhase = 0;
};

// Bytes per row: 3 x width rounded up to a multiple of 4.
constexpr std::int32_t ImageStride(std::int32_t width) {
    return (3 * width + 3) & ~3;
}

// x^y: 1 for y = 0, 0 for x = 0 and y > 0, repeated multiplication for whole y,
// exp(y ln x) otherwise.
double ZPower(double x, double y);

// Fills both tables for the gamma. A gamma that is not a positive number gives
// the identity tables (no correction) rather than tables full of garbage.
void BuildToneTables(TZToneTables& tables, double gamma);

// The three linear channel values of a colour, in pixel byte order (blue, green, red).
std::array<std::uint8_t, 3> LinearChannels(const TZToneTables& tables, TColor colour);

// Adds the contribution c (per channel, 0..255) to the pixel at byte offset, in linear light.
void BlendContribution(const TZImageView& image, const TZToneTables& tables, std::ptrdiff_t offset,
                       const std::array<std::int32_t, 3>& c);

// Adds a/b of the colour (linear channel values lin) to pixel (x, y), y a screen row
// counted from the top; nothing happens outside the image. 0 <= a <= b, b > 0.
void BlendPixel(const TZImageView& image, const TZToneTables& tables, std::int32_t x,
                std::int32_t y, std::ptrdiff_t offset, const std::array<std::uint8_t, 3>& lin,
                std::int32_t a, std::int32_t b);

// Row returned by MapValue when the scale or curve leaves nothing sensible to
// draw (Max = Min, Curve not above 0): just below the image, so lines between
// such rows touch no pixel.
inline constexpr std::int32_t kUnmappableRow = -2;

// The memory row (from the bottom) of a value under the graph curve. Values below
// Min are drawn at the bottom row; values above Max map above the top row (the
// result is held within +-2^30 so that later integer work cannot overflow).
std::int32_t MapValue(std::int32_t value, std::int32_t min, std::int32_t max, double curve,
                      std::int32_t height);

// Anti-aliased line between (x1, y1) and (x2, y2), screen rows from the top. Only
// the steps that can touch the image are walked, so far-off ends cost nothing.
void DrawLine(const TZImageView& image, const TZToneTables& tables, std::int32_t x1,
              std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor colour);

// The horizontal-grid pixels of column x: exactly what blending the HGridSpace - 1
// lines one after another gives, for any spacing. Lines that share a row (and a
// share of the colour) are counted, not walked, and their blends stop once the pixel
// no longer changes, so a spacing far finer than a pixel row costs about one pass
// over the column.
void DrawHGrid(const TZImageView& image, const TZToneTables& tables, const TZGridSettings& grid,
               std::int32_t x);

// Column x of the vertical grid, when x is a grid column for the current phase.
void DrawVGrid(const TZImageView& image, const TZToneTables& tables, const TZGridSettings& grid,
               std::int32_t x);
