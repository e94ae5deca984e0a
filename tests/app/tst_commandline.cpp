// The program's command line: help and version print and end with 0, anything unknown ends
// with 2 and a message; all before any window, display or single-instance file.
#include <QtTest>

#include <sys/stat.h>

namespace {

struct TResult {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void arguments_data();
    void arguments();
    void helpNamesTheUserFileForAReadOnlyFolder();

private:
    // Runs the program with no display reachable, so that any window it tried would fail.
    TResult Run(const QString& program, const QStringList& arguments) const;

    std::unique_ptr<QTemporaryDir> FDir;
};

void TestCommandLine::init() {
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    QVERIFY(QDir(FDir->path()).mkdir("run"));
    QVERIFY(QFile::setPermissions(FDir->filePath("run"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestCommandLine::cleanup() {
    if (FDir) QProcess::execute("chmod", {"-R", "u+w", FDir->path()});
    FDir.reset();
}

TResult TestCommandLine::Run(const QString& program, const QStringList& arguments) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        env.remove(name);
    env.insert("LANG", "C.UTF-8");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_RUNTIME_DIR", FDir->filePath("run"));
    env.insert("XDG_CONFIG_HOME", FDir->filePath("config"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    TResult r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

void TestCommandLine::arguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out"); // lines that stdout holds
    QTest::addColumn<QString>("err");     // the start of stderr; empty: nothing
    const QString program = QFileInfo(SORVANE_PROGRAM).fileName();
    const QString settings =
        "Settings file: " + QFileInfo(QFileInfo(SORVANE_PROGRAM).canonicalFilePath()).path() + "/" +
        program + ".ini";
    const QStringList help{"Usage: " + program + " [options]",
                           "  -h, --help     Show this help and exit.",
                           "  -v, --version  Show the version and exit.", settings};
    const QString tryHelp = "Try '" + program + " --help' for more information.\n";
    QTest::newRow("--help") << QStringList{"--help"} << 0 << help << "";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << help << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0
                               << QStringList{"Sorvane " SORVANE_VERSION} << "";
    QTest::newRow("-v") << QStringList{"-v"} << 0 << QStringList{"Sorvane " SORVANE_VERSION} << "";
    QTest::newRow("unknown long option") << QStringList{"--bogus"} << 2 << QStringList{}
                                         << program + ": Unknown option 'bogus'.\n" + tryHelp;
    QTest::newRow("unknown short option")
        << QStringList{"-x"} << 2 << QStringList{} << program + ": Unknown option 'x'.\n" + tryHelp;
    QTest::newRow("argument") << QStringList{"eth0"} << 2 << QStringList{}
                              << program + ": Unexpected argument 'eth0'.\n" + tryHelp;
    QTest::newRow("help with an unknown option")
        << QStringList{"--help", "--bogus"} << 2 << QStringList{}
        << program + ": Unknown option 'bogus'.\n" + tryHelp;
    QTest::newRow("toolkit option without its value")
        << QStringList{"-session"} << 2 << QStringList{}
        << program + ": Missing value after '-session'.\n" + tryHelp;
    QTest::newRow("value of help") << QStringList{"--help=1"} << 2 << QStringList{}
                                   << program + ": Unexpected value after '--help'.\n" + tryHelp;
}

void TestCommandLine::arguments() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QString, err);
    const TResult r = Run(SORVANE_PROGRAM, arguments);
    QCOMPARE(r.exitCode, exitCode);
    const QStringList lines = r.out.split('\n');
    for (const QString& line : out)
        QVERIFY2(lines.contains(line), qPrintable(r.out));
    if (out.isEmpty()) QCOMPARE(r.out, QString());
    QCOMPARE(r.err, err);
    // No single-instance file, no settings folder: nothing started.
    QCOMPARE(QDir(FDir->filePath("run"))
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QVERIFY(!QFileInfo::exists(FDir->filePath("config")));
}

// An installed program in a folder the user may not write keeps its settings in the user's
// configuration folder; --help says which file that is, and creates nothing.
void TestCommandLine::helpNamesTheUserFileForAReadOnlyFolder() {
    QVERIFY(QDir(FDir->path()).mkdir("bin"));
    const QString program = FDir->filePath("bin/sorvane");
    QVERIFY(QFile::copy(SORVANE_PROGRAM, program));
    QVERIFY(QFile::setPermissions(program, QFile::permissions(SORVANE_PROGRAM)));
    QVERIFY(::chmod(QFile::encodeName(FDir->filePath("bin")).constData(), 0555) == 0);
    const TResult r = Run(program, {"--help"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.split('\n').contains("Settings file: " + FDir->filePath("config") +
                                        "/sorvane/sorvane.ini"),
             qPrintable(r.out));
    QVERIFY(!QFileInfo::exists(FDir->filePath("config")));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
