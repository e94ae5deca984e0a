// The rules of the property dialog that need no window: unit conversions, the
// texts of its spin edits both ways, one step of each value within its limits,
// the arrow states that follow from a value, and the preview pictures.
//
// Scale numbers are 64-bit here: a "Byte/s" scale of up to 10^9 is 8 x 10^9 in
// "Bit/s", which 32 bits cannot hold. The limits are the settings record's.
#pragma once

#include "ZColor.h"
#include "ZSettings.h"
#include "ZSpinButton.h"
#include "ZTextForms.h"

#include <QImage>
#include <QRgb>

#include <cstdint>

class QPainter;

// One step of each value from v, up (more) or down, within its limits.
// Scale: clamped to its limits, then the decade step (500 from 1000 to 9999,
// 5000 from 10000 to 99999 ...), rounded down to a multiple of the step.
std::int64_t StepScaleValue(std::int64_t v, bool more);
std::int64_t StepDelayValue(std::int64_t v, bool more);
double StepCurveValue(double v, bool more);
double StepGammaValue(double v, bool more);
std::int64_t StepHGridValue(std::int64_t v, bool more);
std::int64_t StepVGridValue(std::int64_t v, bool more);

// The arrows a value leaves enabled: the lower one above the lower limit, the
// upper one below the upper limit. Reals are compared as shown, in hundredths.
TZSpinButtonState ScaleButtonState(std::int64_t v);
TZSpinButtonState DelayButtonState(std::int64_t v);
TZSpinButtonState CurveButtonState(double v);
TZSpinButtonState GammaButtonState(double v);
TZSpinButtonState HGridButtonState(std::int64_t v);
TZSpinButtonState VGridButtonState(std::int64_t v);

// What "Ok" applies and saves for the scale number v shown in unit.
struct TZScaleApplied {
    std::int32_t Max = 0;       // bytes per second, 1 ... 2^31 - 1
    std::int32_t ScaleText = 0; // the number to show next time, in ScaleUnit
    std::int32_t ScaleUnit = 0;
};
// Max is v in bytes, kept within 1 ... 2^31 - 1 (a full scale must be positive
// and the settings reader takes 32 bits). ScaleText is v itself while Max is
// exact and v fits 32 bits; otherwise Max shown in unit, or in "Byte/s" when
// even that does not fit.
TZScaleApplied ApplyScale(std::int64_t v, std::int32_t unit);

// ---- previews ----

// The colour with red in the low byte as an opaque Qt colour.
QRgb ToQRgb(TColor colour);

// Black, and a green curve from the bottom-left to the top-right corner with the
// graph's exponent log10(1 / curve); each column joined to the previous one by
// a vertical run.
void DrawCurveImage(QImage& image, double curve);
// Black with white rows 1, 3, 5 ...
void DrawGammaToneImage(QImage& image);
// The grey that a display of this gamma shows at half of white's brightness.
std::int32_t GammaGrayLevel(double gamma);
void DrawGammaGrayImage(QImage& image, double gamma);
// Black with a one-pixel line of the colour across row height / 2.
void PaintBoxLinePaint(QPainter& canvas, int width, int height, TColor colour);
