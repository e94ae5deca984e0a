#include "ZTextForms.h"

#include "IniFile.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

constexpr TColor kWhite = 0xFFFFFF;
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

} // namespace

std::string ColorToText(TColor color) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[color & 0xF]);
        color >>= 4;
    } while (color != 0);
    if (text.size() < 6) text.insert(0, 6 - text.size(), '0');
    return text;
}

TColor ParseColor(std::string_view text) {
    std::string prefixed = "$";
    prefixed.append(text);
    // Any 32-bit pattern converts; only 24 bits are a colour.
    const std::int32_t v = ParseProfileInteger(prefixed, static_cast<std::int32_t>(kWhite));
    return (v < 0 || static_cast<TColor>(v) > kWhite) ? kWhite : static_cast<TColor>(v);
}

std::string DecimalToText(double value, std::string_view separator) {
    char buffer[400]; // the widest finite double in fixed notation takes 309 digits and more
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (const std::size_t dot = text.find('.'); dot != std::string::npos)
        text.replace(dot, 1, separator);
    return text;
}

std::optional<double> ParseDecimal(std::string_view text, std::string_view separator) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    std::string s(text);
    // A comma too, so that a file written under a comma-separator locale reads anywhere.
    for (const std::string_view sep : {separator, std::string_view(",")}) {
        if (sep.empty() || sep == ".") continue;
        for (std::size_t at = s.find(sep); at != std::string::npos; at = s.find(sep, at + 1))
            s.replace(at, sep.size(), 1, '.');
    }
    std::string_view digits = s;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
            return std::nullopt;
    }
    if (digits.empty()) return std::nullopt;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string UserDecimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

QString VGridSpaceToText(std::int32_t ticks) {
    const std::int32_t m = ticks / 60;
    const std::int32_t s = ticks % 60;
    QString text;
    if (m != 0) text += QString::number(m) + QLatin1Char('\'');
    if (s != 0) text += QString::number(s) + QLatin1Char('"');
    return text;
}

std::int32_t TextToVGridSpace(const QString& text) {
    // Beyond this a number of minutes no longer fits the result anyway.
    constexpr std::int64_t kAccumulatorLimit = kInt32Max;
    std::int64_t a = 0;
    std::int64_t m = 0;
    std::int64_t s = 0;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            const int d = c.unicode() - '0';
            a = a > (kAccumulatorLimit - d) / 10 ? kAccumulatorLimit : a * 10 + d;
        } else if (c == QLatin1Char('\'')) {
            m = a;
            a = 0;
        } else if (c == QLatin1Char('"')) {
            s = a;
            a = 0;
        }
    }
    return static_cast<std::int32_t>(std::min(m * 60 + s, kInt32Max));
}

std::optional<std::int64_t> ReadIntegerText(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= t.size()) return std::nullopt;
    std::int64_t v = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        const int d = c.unicode() - '0';
        v = v > (kIntegerTextLimit - d) / 10 ? kIntegerTextLimit : v * 10 + d;
    }
    return negative ? -v : v;
}

std::int64_t IntegerText(const QString& text, std::int64_t fallback) {
    return ReadIntegerText(text).value_or(fallback);
}

QString TwoDecimalText(double value) {
    // At most four significant digits; below 100 two decimals never show more.
    if (std::isfinite(value) && std::fabs(value) >= 100.0) {
        const int digits = static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1;
        const double unit = std::pow(10.0, digits - 4);
        value = std::nearbyint(value / unit) * unit;
    }
    return QString::fromStdString(DecimalToText(value, UserDecimalSeparator()));
}

std::optional<double> ReadRealText(const QString& text) {
    return ParseDecimal(text.toStdString(), UserDecimalSeparator());
}

double RealText(const QString& text, double fallback) {
    return ReadRealText(text).value_or(fallback);
}

QString RateText(std::int64_t bytesPerSecond, std::int32_t unit) {
    const bool bits = unit != 0;
    double v = static_cast<double>(bytesPerSecond) * (bits ? 8.0 : 1.0);
    const QString sign = v < 0 ? QStringLiteral("-") : QString();
    v = std::fabs(v);
    static constexpr const char* kPrefixes[] = {"", "k", "M", "G", "T", "P", "E"};
    std::size_t p = 0;
    // Rounded to three digits first, so that 999.6 becomes "1.00 k", not "1000".
    const auto rounded = [](double x) {
        const int decimals = x < 10 ? 2 : x < 100 ? 1 : 0;
        const double f = std::pow(10.0, decimals);
        return std::nearbyint(x * f) / f;
    };
    while (rounded(v) >= 1000.0 && p + 1 < std::size(kPrefixes)) {
        v /= 1000.0;
        ++p;
    }
    const double r = rounded(v);
    const int decimals = p == 0 ? 0 : r < 10 ? 2 : r < 100 ? 1 : 0;
    return sign + QString::number(r, 'f', decimals) + QLatin1Char(' ') +
           QLatin1String(kPrefixes[p]) + (bits ? QStringLiteral("bit/s") : QStringLiteral("B/s"));
}
