#include "ZTranslation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTranslator>

namespace {

constexpr char kTranslationPrefix[] = ":/i18n/sorvane_";

// The messages are written in English, so an English speaker wants no translation even when
// a later language of the list has one.
bool IsSourceLanguage(const QString& tag) {
    const QString language = tag.section(QLatin1Char('-'), 0, 0);
    return language.compare(QLatin1String("en"), Qt::CaseInsensitive) == 0 ||
           tag == QLatin1String("C") || tag == QLatin1String("POSIX");
}

} // namespace

QString ProgramTranslationFor(const QStringList& uiLanguages) {
    for (const QString& tag : uiLanguages) {
        if (tag.isEmpty()) continue;
        if (IsSourceLanguage(tag)) return QString();
        QStringList parts = tag.split(QLatin1Char('-'), Qt::SkipEmptyParts);
        while (!parts.isEmpty()) {
            const QString path =
                QLatin1String(kTranslationPrefix) + parts.join(QLatin1Char('_')) + ".qm";
            if (QFileInfo::exists(path)) return path;
            parts.removeLast();
        }
    }
    return QString();
}

bool InstallProgramTranslation(QCoreApplication& app, const QStringList& uiLanguages) {
    const QString path = ProgramTranslationFor(uiLanguages);
    if (path.isEmpty()) return false;
    auto* translator = new QTranslator(&app);
    if (translator->load(path) && QCoreApplication::installTranslator(translator)) return true;
    delete translator;
    return false;
}
