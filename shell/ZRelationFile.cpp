#include "ZRelationFile.h"

#include "ZSettingsPlace.h"
#include "ZTextForms.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

constexpr char kWindow[] = "Window";
constexpr char kProperty[] = "Property";

// The default is a text, read as any stored value would be.
TColor ReadColor(const TIniFile& ini, std::string_view key, TColor def) {
    return ParseColor(ini.ReadString(kProperty, key, ColorToText(def)));
}

// A decimal within (0, upper], else the fallback.
double ReadDecimal(const TIniFile& ini, std::string_view key, std::string_view separator,
                   double fallback, double upper) {
    const std::optional<double> v = ParseDecimal(ini.ReadString(kProperty, key, {}), separator);
    return (v && *v > 0.0 && *v <= upper) ? *v : fallback;
}

// One writing operation: the keys in order, as one replacement of the file, so that a kill
// between two keys cannot leave x of one move and y of another.
bool WriteKeys(TIniFile& ini, std::string_view section,
               std::initializer_list<std::pair<std::string_view, std::string>> keys) {
    std::vector<TProfileKeyValue> list;
    list.reserve(keys.size());
    for (const auto& [key, value] : keys)
        if (!key.empty()) list.push_back({key, value}); // an empty key: not written this time
    return ini.WriteStrings(section, list);
}

std::string Bool(bool b) {
    return b ? "1" : "0";
}
std::string Int(std::int64_t v) {
    return std::to_string(v);
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

TIniFile SettingsFile() {
    const TSettingsPlace place =
        SettingsPlace(QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
    if (!place.InUserConfig) return TIniFile(place.FileName);
    // A failure shows later, as the write it refuses.
    CreateSettingsFolder(place.FileName);
    return TIniFile(place.FileName, UserSettingsFileOps());
}

TSettings ReadSettings(const TIniFile& ini, const TWindowBounds& windowDefaults) {
    const TSettings d;
    const std::string separator = UserDecimalSeparator();
    const auto coordinate = [&](std::string_view key, std::int32_t def, std::int32_t lowest) {
        return std::clamp(ini.ReadInteger(kWindow, key, def), lowest, kCoordinateMax);
    };
    TSettings s;
    s.Window.x = coordinate("x", windowDefaults.x, kCoordinateMin);
    s.Window.y = coordinate("y", windowDefaults.y, kCoordinateMin);
    s.Window.cx = coordinate("cx", windowDefaults.cx, 1);
    s.Window.cy = coordinate("cy", windowDefaults.cy, 1);

    s.Interface = ini.ReadInteger(kProperty, "Interface", d.Interface);
    s.Scale = ini.ReadInteger(kProperty, "Scale", d.Scale);
    if (s.Scale <= 0) s.Scale = d.Scale;
    s.Delay = ini.ReadInteger(kProperty, "Delay", d.Delay);
    s.Delay = s.Delay < 1 ? d.Delay : std::min(s.Delay, kDelayFileMax);
    s.ReceiveColor = ReadColor(ini, "ReceiveColor", d.ReceiveColor);
    s.SendColor = ReadColor(ini, "SendColor", d.SendColor);
    s.Curve = ReadDecimal(ini, "Curve", separator, d.Curve, kCurveFileMax);
    s.Gamma = ReadDecimal(ini, "Gamma", separator, d.Gamma, std::numeric_limits<double>::max());
    s.GridCurve = ini.ReadBool(kProperty, "GridCurve", d.GridCurve);
    s.GridGamma = ini.ReadBool(kProperty, "GridGamma", d.GridGamma);
    s.HGrid = ini.ReadBool(kProperty, "HGrid", d.HGrid);
    s.HGridSpace =
        std::min(ini.ReadInteger(kProperty, "HGridSpace", d.HGridSpace), kHGridSpaceFileMax);
    s.HGridColor = ReadColor(ini, "HGridColor", d.HGridColor);
    s.VGrid = ini.ReadBool(kProperty, "VGrid", d.VGrid);
    s.VGridSpace = ini.ReadInteger(kProperty, "VGridSpace", d.VGridSpace);
    s.VGridColor = ReadColor(ini, "VGridColor", d.VGridColor);
    s.StayOnTop = ini.ReadBool(kProperty, "StayOnTop", d.StayOnTop);
    s.InterfaceName = ini.ReadString(kProperty, "InterfaceName", d.InterfaceName);
    s.AutoScale = ini.ReadBool(kProperty, "AutoScale", d.AutoScale);
    s.Agent = ReadAgentSettings(ini);
    s.FollowRoute = ini.ReadBool(kProperty, "FollowRoute", d.FollowRoute);
    ReadScaleSettings(ini, s.Scale, s);
    return s;
}

TAgentSettings ReadAgentSettings(const TIniFile& ini) {
    const TAgentSettings d;
    TAgentSettings a;
    a.Host = ini.ReadString(kProperty, "Agent", d.Host);
    a.Version = ini.ReadString(kProperty, "SNMPVersion", "2c") == "3" ? 3 : 2;
    a.Community = ini.ReadString(kProperty, "Community", d.Community);
    a.User = ini.ReadString(kProperty, "SNMPUser", d.User);
    a.AuthProtocol = ini.ReadString(kProperty, "SNMPAuthProtocol", d.AuthProtocol);
    a.AuthPassphrase = ini.ReadString(kProperty, "SNMPAuthPassphrase", d.AuthPassphrase);
    a.PrivProtocol = ini.ReadString(kProperty, "SNMPPrivProtocol", d.PrivProtocol);
    a.PrivPassphrase = ini.ReadString(kProperty, "SNMPPrivPassphrase", d.PrivPassphrase);
    return a;
}

bool KeepSecretsPrivate(const TIniFile& ini) {
    for (const char* key : {"Community", "SNMPAuthPassphrase", "SNMPPrivPassphrase"})
        if (!ini.ReadString(kProperty, key, "").empty())
            return ProfileRestrictToOwner(ini.FileName());
    return true;
}

void ReadScaleSettings(const TIniFile& ini, std::int32_t scale, TSettings& s) {
    const TSettings d;
    const std::int32_t unit = ini.ReadInteger(kProperty, "ScaleUnit", d.ScaleUnit);
    const std::int64_t exact = ScaleInUnit(scale, unit);
    // The key holds 32 bits; a default that does not fit is passed as a marker and put back.
    constexpr std::int32_t kNoFit = std::numeric_limits<std::int32_t>::min();
    const bool fits = exact >= std::numeric_limits<std::int32_t>::min() &&
                      exact <= std::numeric_limits<std::int32_t>::max();
    const std::int32_t text =
        ini.ReadInteger(kProperty, "ScaleText", fits ? static_cast<std::int32_t>(exact) : kNoFit);
    s.ScaleText = (!fits && text == kNoFit) ? exact : text;
    s.ScaleUnit = (unit < 0 || unit >= kScaleUnitCount) ? kScaleUnitByte : unit;
}

bool WriteWindowBounds(TIniFile& ini, const TWindowBounds& bounds) {
    return WriteKeys(ini, kWindow,
                     {{"x", Int(bounds.x)},
                      {"y", Int(bounds.y)},
                      {"cx", Int(bounds.cx)},
                      {"cy", Int(bounds.cy)}});
}

bool SaveWindowBoundsIfMoved(TIniFile& ini, TWindowBounds& remembered,
                             const TWindowBounds& current) {
    if (remembered == current) return true;
    remembered = current;
    return WriteWindowBounds(ini, current);
}

bool WriteStayOnTop(TIniFile& ini, bool stayOnTop) {
    return WriteKeys(ini, kProperty, {{"StayOnTop", Bool(stayOnTop)}});
}

bool WriteInterface(TIniFile& ini, std::int32_t position) {
    return WriteKeys(ini, kProperty, {{"Interface", Int(position)}});
}

bool WriteFollowedInterface(TIniFile& ini, std::int32_t position, const std::string& name) {
    const bool named = !name.empty() && ProfileWritable(kProperty, "InterfaceName", name);
    return WriteKeys(ini, kProperty,
                     {{"Interface", Int(position)}, {named ? "InterfaceName" : "", name}});
}

bool WriteAutoScale(TIniFile& ini, bool autoScale) {
    return WriteKeys(ini, kProperty, {{"AutoScale", Bool(autoScale)}});
}

bool WritePropertySettings(TIniFile& ini, const TSettings& s) {
    const std::string separator = UserDecimalSeparator();
    // A name a profile file cannot hold (a line end in it) is not followed.
    const bool name =
        !s.InterfaceName.empty() && ProfileWritable(kProperty, "InterfaceName", s.InterfaceName);
    // The additions are written once they differ from their defaults, so that a file from before
    // them stays byte for byte as it was; a host a profile file cannot hold is not taken.
    const bool agent = ProfileWritable(kProperty, "Agent", s.Agent.Host) &&
                       (!s.Agent.Host.empty() || !ini.ReadString(kProperty, "Agent", "").empty());
    const bool followRoute = s.FollowRoute || ini.ReadBool(kProperty, "FollowRoute", false);
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
                      {"VGridColor", ColorToText(s.VGridColor)},
                      {name ? "InterfaceName" : std::string_view(), s.InterfaceName},
                      {agent ? "Agent" : std::string_view(), s.Agent.Host},
                      {followRoute ? "FollowRoute" : std::string_view(), Bool(s.FollowRoute)}});
}
