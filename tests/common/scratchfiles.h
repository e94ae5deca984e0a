// Real files for the tests that read and write them: a directory of each test's own, whole-file
// reads and writes, and paths in the form the platform's file functions take.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace testcommon {

// The file's bytes; "<unreadable>" where it cannot be opened, so that a missing file never
// compares equal to an empty one.
QByteArray FileBytes(const QString& path);

// Replaces the file's content with bytes, creating it; false unless every byte was written.
[[nodiscard]] bool WriteFileBytes(const QString& path, const QByteArray& bytes);

// The path as the platform's file functions take it: QFile's encoding of file names.
std::string NativePath(const QString& path);

// Copies each file into dir under its own name, with its permissions. Returns the first file
// that could not be copied, or an empty string when all were.
QString CopyInto(const QString& dir, const QStringList& files);

// A temporary directory that Renew makes afresh (removing the previous one with whatever the
// test left in it) and the destructor or Remove removes. File() names the settings file inside
// it, which no one has created yet.
class TScratchDir {
public:
    [[nodiscard]] bool Renew();
    void Remove() { FDir.reset(); }
    QString Path() const { return FDir ? FDir->path() : QString(); }
    QString FilePath(const QString& name) const { return FDir ? FDir->filePath(name) : QString(); }
    QString File() const { return FilePath(QStringLiteral("sorvane.ini")); }

private:
    std::unique_ptr<QTemporaryDir> FDir;
};

} // namespace testcommon
