// The settings file beside the executable, and every access to it.
//
// Each function below opens the file (a TIniFile on RelationFileName(".ini"), or the one
// given), does its reads or writes in a fixed order and closes it; nothing is cached. Readers
// never fail: a missing file, key or unreadable value gives the default. Writers stop at the
// first key the platform refuses, show the error box ("<path> に書き込めません", titled
// "Sorvane") and return false; keys written before it stay written.
//
// Value forms: integers and booleans as TIniFile has them; colours as six or more upper-case
// hexadecimal digits of the 0x00BBGGRR value without prefix, read as hexadecimal after a "$"
// (a "0x" prefix, an empty text, anything but hexadecimal digits, or a value above 0xFFFFFF
// reads as white); decimal numbers with two digits after the user's decimal separator, read
// with that separator, a full stop or a comma.
//
// Values that would harm the program downstream are bounded when read (see ReadMainWindowSettings);
// all others are passed on as they stand.
#pragma once

#include "IniFile.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#ifndef SORVANE_TCOLOR_DEFINED
#define SORVANE_TCOLOR_DEFINED
// Red in the lowest byte, green in the next, blue in the third.
using TColor = std::uint32_t;
#endif

inline constexpr char kApplicationTitle[] = "Sorvane";
inline constexpr char kSettingsExtension[] = ".ini";
inline constexpr std::int32_t kScaleUnitCount = 2; // 0 "Byte/s", 1 "Bit/s"

// Window coordinates and sizes are 16-bit on X11; larger stored values could not be shown and
// would only make the graph's image and loops huge.
inline constexpr std::int32_t kCoordinateMin = -32768;
inline constexpr std::int32_t kCoordinateMax = 32767;

// The file beside the executable that bears its name with the extension (".ini") in place of
// its own: the directory up to the last "/", then the name as the directory lists it, from its
// last "." on replaced by extension (a name without "." gets it appended). When the executable
// is no longer in its directory (renamed or deleted while running), the name part is empty.
std::string RelationFileName(std::string_view extension);
std::string RelationFileName(const std::string& executablePath, std::string_view extension);

struct TWindowBounds {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t cx = 305;
    std::int32_t cy = 97;
    bool operator==(const TWindowBounds&) const = default;
};

// Everything the main window reads at its creation, in its reading order. The member
// initialisers are the defaults (the window's come from the caller).
struct TMainWindowSettings {
    TWindowBounds Window;
    std::int32_t Interface = 0;
    std::int32_t Scale = 8000;
    std::int32_t Delay = 1;
    TColor ReceiveColor = 0x0000FF;
    TColor SendColor = 0x00FF00;
    double Curve = 0.25;
    double Gamma = 2.50;
    bool GridCurve = true;
    bool GridGamma = true;
    bool HGrid = true;
    std::int32_t HGridSpace = 10;
    TColor HGridColor = 0xFF0000;
    bool VGrid = true;
    std::int32_t VGridSpace = 60;
    TColor VGridColor = 0xFF0000;
    bool StayOnTop = true;
};

// The seventeen keys the property dialog writes, in its writing order.
struct TPropertySettings {
    std::int32_t Interface = 0;
    std::int32_t Scale = 8000;
    std::int32_t ScaleText = 64000;
    std::int32_t ScaleUnit = 1;
    std::int32_t Delay = 1;
    TColor ReceiveColor = 0x0000FF;
    TColor SendColor = 0x00FF00;
    double Curve = 0.25;
    double Gamma = 2.50;
    bool GridCurve = true;
    bool GridGamma = true;
    bool HGrid = true;
    std::int32_t HGridSpace = 10;
    TColor HGridColor = 0xFF0000;
    bool VGrid = true;
    std::int32_t VGridSpace = 60;
    TColor VGridColor = 0xFF0000;
};

struct TScaleSettings {
    std::int32_t ScaleUnit = 1; // always 0 … kScaleUnitCount - 1
    std::int32_t ScaleText = 64000;
};

// Reads "Window" x, y, cx, cy (defaults: windowDefaults), then "Property" Interface, Scale,
// Delay, ReceiveColor, SendColor, Curve, Gamma, GridCurve, GridGamma, HGrid, HGridSpace,
// HGridColor, VGrid, VGridSpace, VGridColor, StayOnTop. Bounded on reading:
// - x, y to kCoordinateMin … kCoordinateMax, cx, cy to 1 … kCoordinateMax;
// - Scale: 0 or below reads as the default (a full scale must be positive);
// - Delay: below 1 reads as the default, above kCoordinateMax as kCoordinateMax (one history
//   slot per image column, so a longer average changes nothing but its cost);
// - HGridSpace: above kCoordinateMax as kCoordinateMax (finer than a pixel row changes nothing
//   but the cost of every column);
// - Curve: no number, 0 or below, or above 1 reads as the default; Gamma: no number, 0 or below.
// Interface, VGridSpace and the booleans are passed on as read.
TMainWindowSettings ReadMainWindowSettings(const TWindowBounds& windowDefaults);
TMainWindowSettings ReadMainWindowSettings(const TIniFile& ini,
                                           const TWindowBounds& windowDefaults);

// Writes "Window" x, y, cx, cy.
bool WriteWindowBounds(const TWindowBounds& bounds);
bool WriteWindowBounds(TIniFile& ini, const TWindowBounds& bounds);

// When current differs from remembered: remembered := current, then WriteWindowBounds. A move
// that ends where it began writes nothing. False only when the write was refused (remembered
// is updated all the same, so the same bounds are not tried again).
bool SaveWindowBoundsIfMoved(TWindowBounds& remembered, const TWindowBounds& current);
bool SaveWindowBoundsIfMoved(TIniFile& ini, TWindowBounds& remembered,
                             const TWindowBounds& current);

// Writes "Property" StayOnTop.
bool WriteStayOnTop(bool stayOnTop);
bool WriteStayOnTop(TIniFile& ini, bool stayOnTop);

// Writes the seventeen "Property" keys in the order of TPropertySettings.
bool WritePropertySettings(const TPropertySettings& settings);
bool WritePropertySettings(TIniFile& ini, const TPropertySettings& settings);

// Reads ScaleUnit (default 1), then ScaleText with the default scaleTextDefault(unit) for the
// unit just read (before it is bounded), then takes a unit outside 0 … kScaleUnitCount - 1 as 0.
using TScaleTextDefault = std::function<std::int32_t(std::int32_t unit)>;
TScaleSettings ReadScaleSettings(const TScaleTextDefault& scaleTextDefault);
TScaleSettings ReadScaleSettings(const TIniFile& ini, const TScaleTextDefault& scaleTextDefault);

// ---- value forms ----

std::string ColorToText(TColor color);
TColor ParseColor(std::string_view text);
std::string DecimalToText(double value, std::string_view separator);
// A finite number written with separator, a full stop or a comma; nothing otherwise.
std::optional<double> ParseDecimal(std::string_view text, std::string_view separator);
// The decimal separator of the user's number format (QLocale()).
std::string UserDecimalSeparator();

// The error box of a refused write.
QString WriteRefusedMessage(const std::string& fileName);
void ShowWriteRefused(const std::string& fileName);
