// The settings record: every key of the settings file, each default and each bound stated once.
//
// Two kinds of bounds live here. The file bounds are what the program can take from a file
// without harm (a zero scale would divide by zero, a huge delay or grid spacing would only make
// loops long); the reader applies them, and everything else passes as stored. The field limits
// are the ranges the property dialog steps within; a value outside them is still taken, they
// only shape the arrows.
#pragma once

#include "ZColor.h"

#include <cstdint>
#include <string>

struct TWindowBounds {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t cx = 305;
    std::int32_t cy = 97;
    bool operator==(const TWindowBounds&) const = default;
};

inline constexpr std::int32_t kScaleUnitByte = 0; // "Byte/s"
inline constexpr std::int32_t kScaleUnitBit = 1;  // "Bit/s"
inline constexpr std::int32_t kScaleUnitCount = 2;

// Where the interface table comes from: this machine (no Host), or an SNMP agent elsewhere.
struct TAgentSettings {
    std::string Host;         // "host", "host:port" or a transport address such as "udp6:[::1]:161"
    std::int32_t Version = 2; // 2 for "2c", 3 for v3
    std::string Community = "public";
    std::string User;
    std::string AuthProtocol; // "MD5", "SHA", "SHA-256", "SHA-512"; empty: no authentication
    std::string AuthPassphrase;
    std::string PrivProtocol; // "DES", "AES"; empty: no privacy
    std::string PrivPassphrase;
    bool Remote() const { return !Host.empty(); }
    bool operator==(const TAgentSettings&) const = default;
};

// The member initialisers are the defaults. The window's place at a first start is the
// caller's: it depends on the screen.
struct TSettings {
    TWindowBounds Window;
    std::int32_t Interface = 0;
    std::int32_t Scale = 8000; // bytes per second at the top row
    // The dialog's scale text, in ScaleUnit; wider than its 32-bit key because a missing key
    // reads as Scale in that unit, which in "Bit/s" may not fit 32 bits.
    std::int64_t ScaleText = 64000;
    std::int32_t ScaleUnit = kScaleUnitBit;
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
    // Additions; a file without their keys behaves as one from before them.
    // The interface's name, followed when its row moves; empty: only the position counts.
    std::string InterfaceName;
    // The full scale follows the peak of the columns shown.
    bool AutoScale = false;
    TAgentSettings Agent;
    // The interface the kernel routes internet traffic through, whichever it is.
    bool FollowRoute = false;
};

// ---- file bounds ----

// Window coordinates and sizes are 16-bit on X11; larger stored values could not be shown and
// would only make the graph's image and loops huge.
inline constexpr std::int32_t kCoordinateMin = -32768;
inline constexpr std::int32_t kCoordinateMax = 32767;
// One history slot per image column, so a longer average changes nothing but its cost.
inline constexpr std::int32_t kDelayFileMax = kCoordinateMax;
// Finer than a pixel row changes nothing but the cost of every column.
inline constexpr std::int32_t kHGridSpaceFileMax = kCoordinateMax;
inline constexpr double kCurveFileMax = 1.0;

// ---- field limits of the dialog ----

inline constexpr std::int64_t kScaleMin = 1000;
inline constexpr std::int64_t kScaleMax = 1000000000;
inline constexpr std::int64_t kDelayMin = 1;
inline constexpr std::int64_t kDelayMax = 100;
inline constexpr double kCurveMin = 0.10;
inline constexpr double kCurveMax = 0.95;
inline constexpr double kGammaMin = 1.0;
inline constexpr double kGammaMax = 4.0;
inline constexpr double kRealStep = 0.05;
inline constexpr std::int64_t kHGridMin = 2;
inline constexpr std::int64_t kHGridMax = 20;
inline constexpr std::int64_t kVGridMin = 5;
inline constexpr std::int64_t kVGridMax = 1800;
inline constexpr std::int64_t kVGridStep = 5;

// Unit 0 ("Byte/s"): times 8; any other unit: unchanged.
constexpr std::int64_t ScaleToBits(std::int64_t v, std::int32_t unit) {
    return unit == kScaleUnitByte ? v * 8 : v;
}
// Unit 0: divided by 8, truncated toward zero; any other unit: unchanged.
constexpr std::int64_t ScaleFromBits(std::int64_t v, std::int32_t unit) {
    return unit == kScaleUnitByte ? v / 8 : v;
}
// A scale of bytes per second shown in unit (an unknown unit shows as "Byte/s").
constexpr std::int64_t ScaleInUnit(std::int32_t bytesPerSecond, std::int32_t unit) {
    if (unit < 0 || unit >= kScaleUnitCount) unit = kScaleUnitByte;
    return ScaleFromBits(ScaleToBits(bytesPerSecond, kScaleUnitByte), unit);
}

// Whoever holds the live objects the settings describe: the main window. The property dialog
// reaches it through these two calls only.
class TSettingsHolder {
public:
    virtual ~TSettingsHolder() = default;
    // The record as the live objects hold it; ScaleText and ScaleUnit as the settings file has
    // them (read afresh: they belong to the file alone).
    virtual TSettings CurrentSettings() const = 0;
    // Applies the record's "Property" values (not the window's bounds nor StayOnTop, which are
    // the window's own), then saves them as the live objects report them, ScaleText and
    // ScaleUnit as given, and redraws. False when the file refused the write: the values are
    // applied all the same and drawn at the next tick, and the refusal has been shown.
    virtual bool ApplySettings(const TSettings& settings) = 0;
};
