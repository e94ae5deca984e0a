#include "scratchfiles.h"

#include <QFile>
#include <QFileInfo>

namespace testcommon {

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() &&
           f.flush();
}

std::string NativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString CopyInto(const QString& dir, const QStringList& files) {
    for (const QString& from : files) {
        const QString to = dir + '/' + QFileInfo(from).fileName();
        if (!QFile::copy(from, to) || !QFile::setPermissions(to, QFile::permissions(from)))
            return from;
    }
    return {};
}

bool TScratchDir::Renew() {
    FDir.reset();
    FDir = std::make_unique<QTemporaryDir>();
    return FDir->isValid();
}

} // namespace testcommon
