// The settings file beside this test's executable, where the main window and the property
// dialog read and write it. Header-only over the shell's RelationFileName: the tests that
// include it link sorvane_shell themselves.
#pragma once

#include "ZRelationFile.h"
#include "scratchfiles.h"

#include <QFile>

namespace testcommon {

inline QString SettingsPath() {
    return QFile::decodeName(QByteArray::fromStdString(RelationFileName(kSettingsExtension)));
}

// Its bytes, or "<unreadable>" while there is none.
inline QByteArray SettingsText() {
    return FileBytes(SettingsPath());
}

[[nodiscard]] inline bool WriteSettings(const QByteArray& text) {
    return WriteFileBytes(SettingsPath(), text);
}

} // namespace testcommon
