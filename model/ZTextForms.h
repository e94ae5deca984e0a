// Every text form of the settings' numbers and colours, read and written: the settings file's
// forms and the property dialog's.
#pragma once

#include "ZColor.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// ---- the settings file ----

// Six or more upper-case hexadecimal digits of the 0x00BBGGRR value, without prefix.
std::string ColorToText(TColor color);
// Hexadecimal after an implied "$": a "0x" prefix, an empty text, anything but hexadecimal
// digits, or a value above 0xFFFFFF reads as white.
TColor ParseColor(std::string_view text);
// Two digits after separator.
std::string DecimalToText(double value, std::string_view separator);
// A finite number written with separator, a full stop or a comma; nothing otherwise.
std::optional<double> ParseDecimal(std::string_view text, std::string_view separator);
// The decimal separator of the user's number format (QLocale()).
std::string UserDecimalSeparator();

// ---- the dialog's fields ----

// Text readers saturate at +-kIntegerTextLimit, so that any number they give can still be
// multiplied by 8 (a "Byte/s" scale shown in "Bit/s").
inline constexpr std::int64_t kIntegerTextLimit = 1000000000000000000; // 10^18

// Minutes and seconds of a number of ticks: 60 "1'", 65 "1'5\"", 5 "5\"", 0 "".
QString VGridSpaceToText(std::int32_t ticks);
// Digits gather into an accumulator that an apostrophe makes the minutes and a
// double quotation mark the seconds; everything else is skipped, and digits
// without a mark are dropped. Saturates instead of overflowing.
std::int32_t TextToVGridSpace(const QString& text);

// A decimal integer with an optional sign and blanks around it; a longer run of
// digits saturates at +-kIntegerTextLimit. Nothing for any other text.
std::optional<std::int64_t> ReadIntegerText(const QString& text);
std::int64_t IntegerText(const QString& text, std::int64_t fallback);

// Fixed point with two decimals after rounding to four significant digits, with
// the user's decimal separator: 0.25 "0.25", 2.5 "2.50".
QString TwoDecimalText(double value);
// Read with the user's decimal separator (a full stop or a comma also do).
std::optional<double> ReadRealText(const QString& text);
double RealText(const QString& text, double fallback);

// ---- rates ----

// A rate of bytes per second in the unit of the dialog's scale (kScaleUnitByte "B/s", any other
// "bit/s": eight times the number) with an SI prefix (k, M, G) and three significant digits:
// 0 "0 B/s", 999 "999 B/s", 1234 "1.23 kB/s", 8000 in bits "64.0 kbit/s".
QString RateText(std::int64_t bytesPerSecond, std::int32_t unit);
