// The installed program end to end, against a real X server: cmake --install into a scratch
// prefix and the Debian package unpacked into a scratch root, each made read-only as a system
// folder is for its user. Started as its menu entry says, the program finds its agent in its
// private folder, and a move writes its settings into the user's configuration folder, private
// to the user, and nothing beside the executable.
#include "XTools.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

using namespace xtools;

const QString kAppId = SORVANE_APP_ID;

mode_t Mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

struct TRun {
    int exitCode = -1;
    QString output;
};

// Runs a tool to its end; its output and error output together.
TRun RunTool(const QString& tool, const QStringList& arguments, int timeoutMs = 240000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(tool, arguments);
    TRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.exitCode = p.exitCode();
    }
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

// Every file and link under root, as paths relative to it.
QStringList FilesUnder(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

// The "Window" keys of a settings file, in their order.
QStringList WindowKeys(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList keys;
    bool inWindow = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('['))
            inWindow = line == QLatin1String("[Window]");
        else if (inWindow && line.contains('='))
            keys.append(line);
    }
    return keys;
}

QStringList KeysOf(const QRect& r) {
    return {QString("x=%1").arg(r.x()), QString("y=%1").arg(r.y()), QString("cx=%1").arg(r.width()),
            QString("cy=%1").arg(r.height())};
}

// The paths of the files the process has mapped.
QString Mappings(qint64 pid) {
    QFile maps(QString("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(maps.readAll()) : QString();
}

} // namespace

class TestInstallEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void installedFiles_data();
    void installedFiles();
    void iconSizes();
    void installedPrefixReadOnly();
    void debianPackage();

private:
    QString Prefix() const { return FRoot.filePath("prefix"); }
    // A read-only copy of the tree.
    QString ReadOnlyCopy(const QString& tree, const QString& name);
    // Starts the program of the menu entry under prefix, with the given environment, checks
    // where it loaded its agent from and that a move writes settingsFile alone.
    void StartMoveAndCheck(const QString& prefix, const QProcessEnvironment& env,
                           const QString& settingsFile);

    QTemporaryDir FRoot;
    QProcess FProgram;
};

void TestInstallEndToEnd::initTestCase() {
    QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is needed");
    QVERIFY(FRoot.isValid());
    const TRun install =
        RunTool(SORVANE_CMAKE, {"--install", SORVANE_BUILD_DIR, "--prefix", Prefix()});
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));
}

void TestInstallEndToEnd::cleanupTestCase() {
    // The read-only trees are to be removed.
    QProcess::execute("chmod", {"-R", "u+w", FRoot.path()});
}

void TestInstallEndToEnd::cleanup() {
    if (FProgram.state() == QProcess::NotRunning) return;
    FProgram.terminate();
    if (!FProgram.waitForFinished(10000)) {
        FProgram.kill();
        FProgram.waitForFinished();
    }
}

void TestInstallEndToEnd::installedFiles_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::newRow("program") << SORVANE_BINDIR "/sorvane" << true;
    QTest::newRow("agent") << SORVANE_AGENTDIR "/libinetmib1.so" << false;
    QTest::newRow("utility library") << SORVANE_AGENTDIR "/libsnmpapi.so" << false;
    QTest::newRow("remote agent module") << SORVANE_AGENTDIR "/libsorvanesnmp.so" << false;
    QTest::newRow("menu entry") << SORVANE_DATADIR "/applications/" + kAppId + ".desktop" << false;
    QTest::newRow("metainfo") << SORVANE_DATADIR "/metainfo/" + kAppId + ".metainfo.xml" << false;
    QTest::newRow("scalable icon")
        << SORVANE_DATADIR "/icons/hicolor/scalable/apps/" + kAppId + ".svg" << false;
    QTest::newRow("manual page") << SORVANE_MANDIR "/man1/sorvane.1.gz" << false;
}

void TestInstallEndToEnd::installedFiles() {
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo file(QDir(Prefix()).filePath(path));
    QVERIFY2(file.isFile(), qPrintable(path));
    QCOMPARE(file.isExecutable(), executable);
    // The agent libraries are the program's alone: not in the system's library folder.
    QVERIFY(!QFileInfo::exists(QDir(Prefix()).filePath(SORVANE_LIBDIR "/libinetmib1.so")));
}

void TestInstallEndToEnd::iconSizes() {
    const QString hicolor = QDir(Prefix()).filePath(SORVANE_DATADIR "/icons/hicolor");
    const QStringList sizes = QString(SORVANE_ICON_SIZES).split(',');
    QVERIFY(sizes.size() >= 4);
    for (const QString& size : sizes) {
        const QString path = hicolor + "/" + size + "x" + size + "/apps/" + kAppId + ".png";
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("png"));
        QCOMPARE(reader.size(), QSize(size.toInt(), size.toInt()));
        // Drawn, not blank: the dark face and the red line.
        const QImage image = reader.read();
        QCOMPARE(qGray(image.pixel(0, 0)) < 64, true);
        bool red = false;
        for (int y = 0; y < image.height() && !red; ++y)
            for (int x = 0; x < image.width() && !red; ++x)
                red = qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) < 60;
        QVERIFY2(red, qPrintable(path));
    }
}

QString TestInstallEndToEnd::ReadOnlyCopy(const QString& tree, const QString& name) {
    const QString copy = FRoot.filePath(name);
    const TRun cp = RunTool("cp", {"-a", tree, copy});
    if (cp.exitCode != 0) return QString();
    if (RunTool("chmod", {"-R", "a-w", copy}).exitCode != 0) return QString();
    return copy;
}

void TestInstallEndToEnd::StartMoveAndCheck(const QString& prefix, const QProcessEnvironment& env,
                                            const QString& settingsFile) {
    // The command of the menu entry, found on the PATH the way a menu finds it.
    QSettings entry(QDir(prefix).filePath(SORVANE_DATADIR "/applications/" + kAppId + ".desktop"),
                    QSettings::IniFormat);
    const QStringList exec = entry.value("Desktop Entry/Exec").toString().split(' ');
    QCOMPARE(entry.value("Desktop Entry/Icon").toString(), kAppId);
    const QString bin = QDir(prefix).filePath(SORVANE_BINDIR);
    const QString program = QStandardPaths::findExecutable(exec.first(), {bin});
    QCOMPARE(program, bin + "/sorvane");

    FProgram.setProgram(program);
    FProgram.setArguments(exec.mid(1));
    FProgram.setProcessEnvironment(env);
    FProgram.setProcessChannelMode(QProcess::ForwardedChannels);
    FProgram.start();
    QVERIFY(FProgram.waitForStarted());
    const qulonglong window = FindWindow("Sorvane", 15000);
    QVERIFY2(window != 0, "the window did not appear");

    // Its agent, from its private folder beside its own.
    const QString agentDir = QFileInfo(QDir(prefix).filePath(SORVANE_AGENTDIR)).canonicalFilePath();
    QTRY_VERIFY_WITH_TIMEOUT(Mappings(FProgram.processId()).contains(agentDir + "/libinetmib1.so"),
                             5000);
    QVERIFY(Mappings(FProgram.processId()).contains(agentDir + "/libsnmpapi.so"));
    QVERIFY(!QFileInfo::exists(settingsFile)); // nothing written while it only appeared

    // A drag by the user is what is remembered.
    const QRect shown = WindowGeometry(window);
    DragFrom(shown.center(), QPoint(-400, 60));
    QTRY_COMPARE_WITH_TIMEOUT(WindowGeometry(window).topLeft(), shown.topLeft() + QPoint(-400, 60),
                              5000);
    QTRY_COMPARE_WITH_TIMEOUT(WindowKeys(settingsFile), KeysOf(WindowGeometry(window)), 5000);
    QCOMPARE(Mode(settingsFile), mode_t(0600));
    QCOMPARE(Mode(QFileInfo(settingsFile).path()), mode_t(0700));
    QVERIFY(!QFileInfo::exists(bin + "/sorvane.ini"));
    QCOMPARE(VisibleWindows("Sorvane").size(), 1); // and no error box
    QCOMPARE(FProgram.state(), QProcess::Running);
}

void TestInstallEndToEnd::installedPrefixReadOnly() {
    const QString prefix = ReadOnlyCopy(Prefix(), "read-only-prefix");
    QVERIFY(!prefix.isEmpty());
    QVERIFY(QDir(FRoot.path()).mkpath("prefix-user/run"));
    QVERIFY(QFile::setPermissions(FRoot.filePath("prefix-user/run"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", FRoot.filePath("prefix-user"));
    env.insert("XDG_CONFIG_HOME", FRoot.filePath("prefix-user/config"));
    env.insert("XDG_RUNTIME_DIR", FRoot.filePath("prefix-user/run"));
    StartMoveAndCheck(prefix, env, FRoot.filePath("prefix-user/config/sorvane/sorvane.ini"));
}

void TestInstallEndToEnd::debianPackage() {
    const QString out = FRoot.filePath("package");
    const TRun cpack = RunTool(SORVANE_CPACK, {"-G", "DEB", "--config",
                                               SORVANE_BUILD_DIR "/CPackConfig.cmake", "-B", out});
    QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
    const QStringList debs = QDir(out).entryList({"*.deb"}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    const QString deb = QDir(out).filePath(debs.first());
    const TRun depends = RunTool("dpkg-deb", {"--field", deb, "Depends"});
    QCOMPARE(depends.exitCode, 0);
    QVERIFY2(depends.output.contains("libqt6widgets6"), qPrintable(depends.output));

    const QString root = FRoot.filePath("package-root");
    const TRun unpack = RunTool("dpkg-deb", {"-x", deb, root});
    QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.output));
    // Under /usr, the files of the install rules, and nothing else.
    QCOMPARE(
        FilesUnder(root),
        FilesUnder(FRoot.filePath("prefix")).replaceInStrings(QRegularExpression("^"), "usr/"));

    const QString usr = ReadOnlyCopy(root + "/usr", "read-only-usr");
    QVERIFY(!usr.isEmpty());
    // A user without a configuration folder yet, and no XDG_CONFIG_HOME: ~/.config.
    QVERIFY(QDir(FRoot.path()).mkpath("package-user/run"));
    QVERIFY(QFile::setPermissions(FRoot.filePath("package-user/run"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", FRoot.filePath("package-user"));
    env.remove("XDG_CONFIG_HOME");
    env.insert("XDG_RUNTIME_DIR", FRoot.filePath("package-user/run"));
    StartMoveAndCheck(usr, env, FRoot.filePath("package-user/.config/sorvane/sorvane.ini"));
    QCOMPARE(Mode(FRoot.filePath("package-user/.config")), mode_t(0700));
}

QTEST_MAIN(TestInstallEndToEnd)
#include "tst_install_e2e.moc"
