#include "ZRelationFile.h"

#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <sys/stat.h>
#include <utility>

namespace {

constexpr char kWindow[] = "Window";
constexpr char kProperty[] = "Property";

// The defaults of the colour keys are texts, read as any stored value would be.
constexpr char kReceiveColorDefault[] = "0000ff";
constexpr char kSendColorDefault[] = "00ff00";
constexpr char kGridColorDefault[] = "ff0000";
constexpr char kCurveDefault[] = "0.25";
constexpr char kGammaDefault[] = "2.50";

constexpr TColor kWhite = 0xFFFFFF;

TColor ReadColor(const TIniFile& ini, std::string_view key, std::string_view def) {
    return ParseColor(ini.ReadString(kProperty, key, def));
}

double ReadDecimal(const TIniFile& ini, std::string_view key, std::string_view def,
                   std::string_view separator, double fallback, double upper) {
    const std::optional<double> v = ParseDecimal(ini.ReadString(kProperty, key, def), separator);
    return (v && *v > 0.0 && *v <= upper) ? *v : fallback;
}

// One writing operation: the keys in order, stopping at the first refused one.
bool WriteKeys(TIniFile& ini, std::string_view section,
               std::initializer_list<std::pair<std::string_view, std::string>> keys) {
    for (const auto& [key, value] : keys) {
        if (!ini.WriteString(section, key, value)) {
            ShowWriteRefused(ini.FileName());
            return false;
        }
    }
    return true;
}

std::string Bool(bool b) {
    return b ? "1" : "0";
}
std::string Int(std::int32_t v) {
    return std::to_string(v);
}

TIniFile SettingsFile() {
    return TIniFile(RelationFileName(kSettingsExtension));
}

} // namespace

std::string RelationFileName(std::string_view extension) {
    return RelationFileName(
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString(), extension);
}

std::string RelationFileName(const std::string& executablePath, std::string_view extension) {
    if (executablePath.empty()) return std::string(); // no executable, so nothing beside it
    const std::size_t slash = executablePath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string name = executablePath.substr(nameStart);
    struct stat st;
    if (name.empty() || ::lstat(executablePath.c_str(), &st) != 0) name.clear();
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return executablePath.substr(0, nameStart) + name + std::string(extension);
}

TMainWindowSettings ReadMainWindowSettings(const TWindowBounds& windowDefaults) {
    return ReadMainWindowSettings(SettingsFile(), windowDefaults);
}

TMainWindowSettings ReadMainWindowSettings(const TIniFile& ini,
                                           const TWindowBounds& windowDefaults) {
    const TMainWindowSettings d;
    const std::string separator = UserDecimalSeparator();
    const auto coordinate = [&](std::string_view key, std::int32_t def, std::int32_t lowest) {
        return std::clamp(ini.ReadInteger(kWindow, key, def), lowest, kCoordinateMax);
    };
    TMainWindowSettings s;
    s.Window.x = coordinate("x", windowDefaults.x, kCoordinateMin);
    s.Window.y = coordinate("y", windowDefaults.y, kCoordinateMin);
    s.Window.cx = coordinate("cx", windowDefaults.cx, 1);
    s.Window.cy = coordinate("cy", windowDefaults.cy, 1);

    s.Interface = ini.ReadInteger(kProperty, "Interface", d.Interface);
    s.Scale = ini.ReadInteger(kProperty, "Scale", d.Scale);
    if (s.Scale <= 0) s.Scale = d.Scale;
    s.Delay = ini.ReadInteger(kProperty, "Delay", d.Delay);
    s.Delay = s.Delay < 1 ? d.Delay : std::min(s.Delay, kCoordinateMax);
    s.ReceiveColor = ReadColor(ini, "ReceiveColor", kReceiveColorDefault);
    s.SendColor = ReadColor(ini, "SendColor", kSendColorDefault);
    s.Curve = ReadDecimal(ini, "Curve", kCurveDefault, separator, d.Curve, 1.0);
    s.Gamma = ReadDecimal(ini, "Gamma", kGammaDefault, separator, d.Gamma, HUGE_VAL);
    s.GridCurve = ini.ReadBool(kProperty, "GridCurve", d.GridCurve);
    s.GridGamma = ini.ReadBool(kProperty, "GridGamma", d.GridGamma);
    s.HGrid = ini.ReadBool(kProperty, "HGrid", d.HGrid);
    s.HGridSpace = std::min(ini.ReadInteger(kProperty, "HGridSpace", d.HGridSpace), kCoordinateMax);
    s.HGridColor = ReadColor(ini, "HGridColor", kGridColorDefault);
    s.VGrid = ini.ReadBool(kProperty, "VGrid", d.VGrid);
    s.VGridSpace = ini.ReadInteger(kProperty, "VGridSpace", d.VGridSpace);
    s.VGridColor = ReadColor(ini, "VGridColor", kGridColorDefault);
    s.StayOnTop = ini.ReadBool(kProperty, "StayOnTop", d.StayOnTop);
    return s;
}

bool WriteWindowBounds(const TWindowBounds& bounds) {
    TIniFile ini = SettingsFile();
    return WriteWindowBounds(ini, bounds);
}

bool WriteWindowBounds(TIniFile& ini, const TWindowBounds& bounds) {
    return WriteKeys(ini, kWindow,
                     {{"x", Int(bounds.x)},
                      {"y", Int(bounds.y)},
                      {"cx", Int(bounds.cx)},
                      {"cy", Int(bounds.cy)}});
}

bool SaveWindowBoundsIfMoved(TWindowBounds& remembered, const TWindowBounds& current) {
    if (remembered == current) return true; // not even the file is opened
    TIniFile ini = SettingsFile();
    return SaveWindowBoundsIfMoved(ini, remembered, current);
}

bool SaveWindowBoundsIfMoved(TIniFile& ini, TWindowBounds& remembered,
                             const TWindowBounds& current) {
    if (remembered == current) return true;
    remembered = current;
    return WriteWindowBounds(ini, current);
}

bool WriteStayOnTop(bool stayOnTop) {
    TIniFile ini = SettingsFile();
    return WriteStayOnTop(ini, stayOnTop);
}

bool WriteStayOnTop(TIniFile& ini, bool stayOnTop) {
    return WriteKeys(ini, kProperty, {{"StayOnTop", Bool(stayOnTop)}});
}

bool WritePropertySettings(const TPropertySettings& settings) {
    TIniFile ini = SettingsFile();
    return WritePropertySettings(ini, settings);
}

bool WritePropertySettings(TIniFile& ini, const TPropertySettings& s) {
    const std::string separator = UserDecimalSeparator();
    return WriteKeys(ini, kProperty,
                     {{"Interface", Int(s.Interface)},
                      {"Scale", Int(s.Scale)},
                      {"ScaleText", Int(s.ScaleText)},
                      {"ScaleUnit", Int(s.ScaleUnit)},
                      {"Delay", Int(s.Delay)},
                      {"ReceiveColor", ColorToText(s.ReceiveColor)},
                      {"SendColor", ColorToText(s.SendColor)},
                      {"Curve", DecimalToText(s.Curve, separator)},
                      {"Gamma", DecimalToText(s.Gamma, separator)},
                      {"GridCurve", Bool(s.GridCurve)},
                      {"GridGamma", Bool(s.GridGamma)},
                      {"HGrid", Bool(s.HGrid)},
                      {"HGridSpace", Int(s.HGridSpace)},
                      {"HGridColor", ColorToText(s.HGridColor)},
                      {"VGrid", Bool(s.VGrid)},
                      {"VGridSpace", Int(s.VGridSpace)},
                      {"VGridColor", ColorToText(s.VGridColor)}});
}

TScaleSettings ReadScaleSettings(const TScaleTextDefault& scaleTextDefault) {
    return ReadScaleSettings(SettingsFile(), scaleTextDefault);
}

TScaleSettings ReadScaleSettings(const TIniFile& ini, const TScaleTextDefault& scaleTextDefault) {
    TScaleSettings s;
    s.ScaleUnit = ini.ReadInteger(kProperty, "ScaleUnit", 1);
    const std::int32_t def = scaleTextDefault ? scaleTextDefault(s.ScaleUnit) : 0;
    s.ScaleText = ini.ReadInteger(kProperty, "ScaleText", def);
    if (s.ScaleUnit < 0 || s.ScaleUnit >= kScaleUnitCount) s.ScaleUnit = 0;
    return s;
}

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
            s.replace(at, sep.size(), ".");
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

QString WriteRefusedMessage(const std::string& fileName) {
    const QString format = QString::fromUtf8("%s に書き込めません");
    const qsizetype at = format.indexOf(QLatin1String("%s"));
    return format.left(at) + QFile::decodeName(QByteArray::fromStdString(fileName)) +
           format.mid(at + 2);
}

void ShowWriteRefused(const std::string& fileName) {
    // Without a widget application there is no one to show the box to.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    // Over the window in use, which may be a stay-on-top one.
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle),
                    WriteRefusedMessage(fileName), QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText); // a path is never markup
    box.exec();
}
