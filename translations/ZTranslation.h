// The program's translations: its messages in the language the user prefers, where one is
// shipped. The source texts are English; nothing is installed for English.
#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// The shipped translation for the first of the languages (BCP 47 tags, most wanted first, as
// QLocale::uiLanguages gives them) that has one, its "-"-parts dropped from the end until one
// fits: a resource path, or empty when English or no shipped language comes first.
QString ProgramTranslationFor(const QStringList& uiLanguages);

// Installs that translation on app (the translator is app's child); false when none.
bool InstallProgramTranslation(QCoreApplication& app, const QStringList& uiLanguages);
