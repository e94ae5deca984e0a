// The program's translations: which one a list of languages picks, and what the error box of
// a refused write then says. The ja translation gives back the original Japanese text.
#include "UnitSorvane.h"
#include "ZTranslation.h"

#include <QLocale>
#include <QTranslator>
#include <QtTest>

namespace {

const QString kJapanese = ":/i18n/sorvane_ja.qm";
const std::string kPath = "/opt/sorvane/bin/sorvane.ini";

// Removes what InstallProgramTranslation installed.
void RemoveTranslators() {
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}

} // namespace

class TestTranslation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { RemoveTranslators(); }
    void choice_data();
    void choice();
    void message_data();
    void message();
    void systemLocale();
};

void TestTranslation::choice_data() {
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ja-JP") << QStringList{"ja-JP", "ja"} << kJapanese;
    QTest::newRow("ja") << QStringList{"ja"} << kJapanese;
    QTest::newRow("ja with a script") << QStringList{"ja-Jpan-JP"} << kJapanese;
    QTest::newRow("German, then Japanese") << QStringList{"de-DE", "ja-JP"} << kJapanese;
    QTest::newRow("English before Japanese: the source texts")
        << QStringList{"en-US", "ja-JP"} << QString();
    QTest::newRow("en") << QStringList{"en"} << QString();
    QTest::newRow("C") << QStringList{"C"} << QString();
    QTest::newRow("French only") << QStringList{"fr-FR", "fr"} << QString();
    QTest::newRow("nothing") << QStringList{} << QString();
    QTest::newRow("empty tag skipped") << QStringList{"", "ja"} << kJapanese;
}

void TestTranslation::choice() {
    QFETCH(QStringList, languages);
    QFETCH(QString, expected);
    QCOMPARE(ProgramTranslationFor(languages), expected);
}

void TestTranslation::message_data() {
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Japanese: the original text")
        << QStringList{"ja-JP"} << true
        << QString::fromUtf8("/opt/sorvane/bin/sorvane.ini に書き込めません");
    QTest::newRow("English") << QStringList{"en-GB"} << false
                             << "Cannot write to /opt/sorvane/bin/sorvane.ini";
    QTest::newRow("no translation shipped: English")
        << QStringList{"de-DE"} << false << "Cannot write to /opt/sorvane/bin/sorvane.ini";
}

void TestTranslation::message() {
    QFETCH(QStringList, languages);
    QFETCH(bool, installed);
    QFETCH(QString, expected);
    QCOMPARE(InstallProgramTranslation(*QCoreApplication::instance(), languages), installed);
    QCOMPARE(WriteRefusedMessage(kPath), expected);
    // A path that holds a place marker stays as it is.
    QVERIFY(WriteRefusedMessage("/tmp/%1%2/x.ini").contains("/tmp/%1%2/x.ini"));
}

// Run by CTest under several LANG and LANGUAGE settings, with SORVANE_EXPECT_LANGUAGE saying
// which texts the user then sees.
void TestTranslation::systemLocale() {
    const QByteArray expect = qgetenv("SORVANE_EXPECT_LANGUAGE");
    if (expect.isEmpty()) QSKIP("run by CTest with a locale set");
    const bool japanese = expect == "ja";
    QCOMPARE(
        InstallProgramTranslation(*QCoreApplication::instance(), QLocale::system().uiLanguages()),
        japanese);
    QCOMPARE(WriteRefusedMessage(kPath),
             japanese ? QString::fromUtf8("/opt/sorvane/bin/sorvane.ini に書き込めません")
                      : QString("Cannot write to /opt/sorvane/bin/sorvane.ini"));
}

QTEST_GUILESS_MAIN(TestTranslation)
#include "tst_translation.moc"
