// Where the settings file lives.
//
// Beside the executable (RelationFileName(".ini")) when the executable's folder is writable:
// a portable copy and the build folder keep a file of their own. Otherwise, as for a program
// installed into a folder its user may not write, in the user's configuration folder:
// $XDG_CONFIG_HOME/sorvane/sorvane.ini, or ~/.config/sorvane/sorvane.ini. The file is read and
// written by the same rules in either place; only its place differs.
#pragma once

#include "ProfileFile.h"

#include <string>

inline constexpr char kUserSettingsFolder[] = "sorvane";
inline constexpr char kUserSettingsName[] = "sorvane.ini";

struct TSettingsPlace {
    std::string FileName;
    // In the user's configuration folder, which is created 0700 and the file 0600.
    bool InUserConfig = false;
};

// The user's configuration folder: xdgConfigHome when it is an absolute path, else home +
// "/.config" when home is absolute, else empty. Relative paths are ignored, as the XDG base
// directory rules ask. Either argument may be null.
std::string UserConfigHome(const char* xdgConfigHome, const char* home);

// besideExecutable when besideWritable; otherwise the file in configHome, or besideExecutable
// after all when there is no configHome (its writes are then refused and reported).
TSettingsPlace ChooseSettingsPlace(const std::string& besideExecutable, bool besideWritable,
                                   const std::string& configHome);

// Whether a file may be created in the folder of fileName: the effective user may write and
// search the folder, and its permission bits do not mark it read-only for everyone. This is
// the rule by which the settings file's writes are refused (ProfileFile.h).
bool FolderOfFileWritable(const std::string& fileName);

// The place for the executable at executablePath, from the file system and the environment
// (XDG_CONFIG_HOME, HOME) as they are now. Changes nothing.
TSettingsPlace SettingsPlace(const std::string& executablePath);

// Creates the missing folders up to the folder of fileName, each with mode 0700. True when that
// folder exists afterwards.
bool CreateSettingsFolder(const std::string& fileName);

// The file operations for a file in the user's configuration folder: a new file gets 0600.
TProfileFileOps UserSettingsFileOps();
