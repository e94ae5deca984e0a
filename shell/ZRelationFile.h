// The settings file, and every access to it.
//
// Each function below opens the file (SettingsFile(), or the one given), does its reads or writes
// in a fixed order and closes it; nothing is cached. Readers never fail: a missing file, key or
// unreadable value gives the default of TSettings. Each writer replaces the file once for all its
// keys, or is refused as a whole and returns false, the file untouched. Showing the refusal is
// the caller's.
//
// Value forms are those of ZTextForms.h; decimals are written with the user's decimal separator.
// Values that would harm the program downstream are bounded when read, by the file bounds of
// ZSettings.h; all others are passed on as they stand.
#pragma once

#include "IniFile.h"
#include "ZSettings.h"

#include <string>
#include <string_view>

inline constexpr char kApplicationTitle[] = "Sorvane";
inline constexpr char kSettingsExtension[] = ".ini";

// The file beside the executable that bears its name with the extension (".ini") in place of
// its own: the directory up to the last "/", then the name as the directory lists it, from its
// last "." on replaced by extension (a name without "." gets it appended). When the executable
// is no longer in its directory (renamed or deleted while running), the name part is empty.
std::string RelationFileName(std::string_view extension);
std::string RelationFileName(const std::string& executablePath, std::string_view extension);

// The settings file of this executable, where ZSettingsPlace.h puts it, looked up afresh at
// each call. In the user's configuration folder, that folder is created here (0700) and a new
// file is created 0600.
TIniFile SettingsFile();

// Reads "Window" x, y, cx, cy (defaults: windowDefaults), then "Property" Interface, Scale,
// Delay, ReceiveColor, SendColor, Curve, Gamma, GridCurve, GridGamma, HGrid, HGridSpace,
// HGridColor, VGrid, VGridSpace, VGridColor, StayOnTop, InterfaceName, AutoScale, the agent's
// keys (ReadAgentSettings), FollowRoute, then ReadScaleSettings with the Scale just read. Bounded
// on reading:
// - x, y to kCoordinateMin … kCoordinateMax, cx, cy to 1 … kCoordinateMax;
// - Scale: 0 or below reads as the default (a full scale must be positive);
// - Delay: below 1 reads as the default, above kDelayFileMax as kDelayFileMax;
// - HGridSpace: above kHGridSpaceFileMax as kHGridSpaceFileMax;
// - Curve: no number, 0 or below, or above kCurveFileMax reads as the default; Gamma: no
//   number, 0 or below.
// Interface, VGridSpace, InterfaceName and the booleans are passed on as read.
TSettings ReadSettings(const TIniFile& ini, const TWindowBounds& windowDefaults);

// Reads "Property" Agent, SNMPVersion ("3" reads as 3, anything else as 2), Community, SNMPUser,
// SNMPAuthProtocol, SNMPAuthPassphrase, SNMPPrivProtocol, SNMPPrivPassphrase.
TAgentSettings ReadAgentSettings(const TIniFile& ini);

// A file that holds a community or a passphrase is made readable by its owner only (0600 at
// most); it keeps that mode through every later write. False when the mode could not be set.
bool KeepSecretsPrivate(const TIniFile& ini);

// Reads ScaleUnit (default 1), then ScaleText with, as its default, scale in the unit just read
// (ScaleInUnit; the exact number also where it does not fit the key's 32 bits), then takes a
// unit outside 0 … kScaleUnitCount - 1 as 0. Only ScaleText and ScaleUnit of s change.
void ReadScaleSettings(const TIniFile& ini, std::int32_t scale, TSettings& s);

// Writes "Window" x, y, cx, cy.
bool WriteWindowBounds(TIniFile& ini, const TWindowBounds& bounds);

// When current differs from remembered: remembered := current, then WriteWindowBounds. A move
// that ends where it began writes nothing, and does not even open the file. False only when the
// write was refused (remembered is updated all the same, so the same bounds are not tried again).
bool SaveWindowBoundsIfMoved(TIniFile& ini, TWindowBounds& remembered,
                             const TWindowBounds& current);

// Writes "Property" StayOnTop.
bool WriteStayOnTop(TIniFile& ini, bool stayOnTop);
// Writes "Property" Interface: the position the followed interface's row moved to.
bool WriteInterface(TIniFile& ini, std::int32_t position);
// Writes "Property" Interface and InterfaceName: the uplink followed now (a name the file
// cannot hold is left out).
bool WriteFollowedInterface(TIniFile& ini, std::int32_t position, const std::string& name);
// Writes "Property" AutoScale.
bool WriteAutoScale(TIniFile& ini, bool autoScale);

// Writes the seventeen "Property" keys the property dialog saves, in this order: Interface,
// Scale, ScaleText, ScaleUnit, Delay, ReceiveColor, SendColor, Curve, Gamma, GridCurve,
// GridGamma, HGrid, HGridSpace, HGridColor, VGrid, VGridSpace, VGridColor; then InterfaceName
// when there is one that the file can hold; then Agent and FollowRoute once either is set or
// the file has it already. The community and the v3 keys are the user's, never written here.
bool WritePropertySettings(TIniFile& ini, const TSettings& settings);
