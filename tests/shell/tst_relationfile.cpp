// RelationFileName: the file beside the executable with the executable's name.
#include "ZRelationFile.h"
#include "scratchfiles.h"

#include <QtTest>

class TestRelationFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void relation_data();
    void relation();
    void unusualPaths();
    void ofThisExecutable();
};

void TestRelationFile::relation_data() {
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("expected");

    QTest::newRow("extension replaced") << "App"
                                        << "Monitor.EXE" << true << ".ini"
                                        << "App/Monitor.ini";
    QTest::newRow("no extension") << "bin"
                                  << "sorvane" << true << ".ini"
                                  << "bin/sorvane.ini";
    QTest::newRow("dotted directory") << "app.d"
                                      << "sorvane" << true << ".ini"
                                      << "app.d/sorvane.ini";
    QTest::newRow("last dot only") << "x"
                                   << "my.app.bin" << true << ".ini"
                                   << "x/my.app.ini";
    QTest::newRow("trailing dot") << "x"
                                  << "sorvane." << true << ".ini"
                                  << "x/sorvane.ini";
    QTest::newRow("name is all extension") << "x"
                                           << ".sorvane" << true << ".ini"
                                           << "x/.ini";
    QTest::newRow("other extension") << "x"
                                     << "sorvane" << true << ".log"
                                     << "x/sorvane.log";
    QTest::newRow("renamed away") << "x"
                                  << "sorvane" << false << ".ini"
                                  << "x/.ini";
    QTest::newRow("longest name") << "x" << QString(251, 'n') + ".bin" << true << ".ini"
                                  << "x/" + QString(251, 'n') + ".ini";
}

void TestRelationFile::relation() {
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(QString, extension);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath(dir));
    const QString exe = root.filePath(dir + "/" + name);
    if (exists) QVERIFY(testcommon::WriteFileBytes(exe, {}));
    const std::string result =
        RelationFileName(testcommon::NativePath(exe), extension.toStdString());
    QCOMPARE(QFile::decodeName(QByteArray::fromStdString(result)), root.filePath(expected));
}

void TestRelationFile::unusualPaths() {
    QCOMPARE(RelationFileName(std::string(), ".ini"), std::string());
    const std::string deep = "/tmp/" + std::string(5000, 'd') + "/sorvane";
    QCOMPARE(RelationFileName(deep, ".ini"), "/tmp/" + std::string(5000, 'd') + "/.ini");
    QCOMPARE(RelationFileName(std::string("/"), ".ini"), std::string("/.ini"));
}

void TestRelationFile::ofThisExecutable() {
    // This test's executable name has no ".".
    QCOMPARE(QFile::decodeName(QByteArray::fromStdString(RelationFileName(".ini"))),
             QCoreApplication::applicationFilePath() + ".ini");
}

QTEST_GUILESS_MAIN(TestRelationFile)
#include "tst_relationfile.moc"
