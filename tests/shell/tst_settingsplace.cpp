// Where the settings file lives: beside the executable when its folder is writable, else in
// the user's configuration folder, created private; the same bytes in either place.
#include "IniFile.h"
#include "ZRelationFile.h"
#include "ZSettingsPlace.h"

#include <QtTest>
#include <sys/stat.h>

namespace {

mode_t Mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::string Std(const QString& s) {
    return QFile::encodeName(s).toStdString();
}

QString Q(const std::string& s) {
    return QFile::decodeName(QByteArray::fromStdString(s));
}

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

// Sets the process's umask for its lifetime.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : FOld(::umask(mask)) {}
    ~UmaskScope() { ::umask(FOld); }

private:
    mode_t FOld;
};

// Sets an environment variable (or removes it, for a null value) for its lifetime.
class EnvScope {
public:
    EnvScope(const char* name, const char* value)
        : FName(name), FHad(qEnvironmentVariableIsSet(name)), FOld(qgetenv(name)) {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~EnvScope() {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    bool FHad;
    QByteArray FOld;
};

} // namespace

class TestSettingsPlace : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void userConfigHome_data();
    void userConfigHome();
    void choose_data();
    void choose();
    void folderWritable_data();
    void folderWritable();
    void fromExecutableAndEnvironment_data();
    void fromExecutableAndEnvironment();
    void privateFolderAndFile();
    void existingFolderKeepsItsMode();
    void sameBytesInEitherPlace();
};

void TestSettingsPlace::userConfigHome_data() {
    QTest::addColumn<QByteArray>("xdg"); // "<unset>" for none
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("expected");
    const QByteArray unset = "<unset>";
    QTest::newRow("XDG_CONFIG_HOME wins")
        << QByteArray("/x/cfg") << QByteArray("/home/u") << "/x/cfg";
    QTest::newRow("unset: home's .config") << unset << QByteArray("/home/u") << "/home/u/.config";
    QTest::newRow("empty: home's .config")
        << QByteArray("") << QByteArray("/home/u") << "/home/u/.config";
    QTest::newRow("relative: ignored")
        << QByteArray("cfg") << QByteArray("/home/u") << "/home/u/.config";
    QTest::newRow("home with a slash at its end")
        << unset << QByteArray("/home/u/") << "/home/u/.config";
    QTest::newRow("home is the root") << unset << QByteArray("/") << "/.config";
    QTest::newRow("relative home") << unset << QByteArray("home") << "";
    QTest::newRow("nothing") << unset << unset << "";
}

void TestSettingsPlace::userConfigHome() {
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, home);
    QFETCH(QString, expected);
    const char* x = xdg == "<unset>" ? nullptr : xdg.constData();
    const char* h = home == "<unset>" ? nullptr : home.constData();
    QCOMPARE(Q(UserConfigHome(x, h)), expected);
}

void TestSettingsPlace::choose_data() {
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("inUserConfig");
    QTest::newRow("writable folder: beside") << true << "/home/u/.config"
                                             << "/opt/s/bin/sorvane.ini" << false;
    QTest::newRow("read-only folder: the user's") << false << "/home/u/.config"
                                                  << "/home/u/.config/sorvane/sorvane.ini" << true;
    QTest::newRow("trailing slashes") << false << "/c//"
                                      << "/c/sorvane/sorvane.ini" << true;
    QTest::newRow("configuration in the root") << false << "/"
                                               << "/sorvane/sorvane.ini" << true;
    QTest::newRow("no user folder: beside, refused later") << false << ""
                                                           << "/opt/s/bin/sorvane.ini" << false;
}

void TestSettingsPlace::choose() {
    QFETCH(bool, writable);
    QFETCH(QString, configHome);
    QFETCH(QString, expected);
    QFETCH(bool, inUserConfig);
    const TSettingsPlace place =
        ChooseSettingsPlace("/opt/s/bin/sorvane.ini", writable, Std(configHome));
    QCOMPARE(Q(place.FileName), expected);
    QCOMPARE(place.InUserConfig, inUserConfig);
}

void TestSettingsPlace::folderWritable_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("expected");
    QTest::newRow("0755") << 0755 << true;
    QTest::newRow("0700") << 0700 << true;
    // Read-only for everyone: refused even for the superuser, as the writes are.
    QTest::newRow("0555") << 0555 << false;
    QTest::newRow("0500") << 0500 << false;
}

void TestSettingsPlace::folderWritable() {
    QFETCH(int, mode);
    QFETCH(bool, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString folder = root.filePath("bin");
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode) == 0);
    QCOMPARE(FolderOfFileWritable(Std(folder + "/sorvane.ini")), expected);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    QVERIFY(!FolderOfFileWritable(Std(root.filePath("missing/sorvane.ini"))));
    QVERIFY(!FolderOfFileWritable(std::string()));
}

void TestSettingsPlace::fromExecutableAndEnvironment_data() {
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // relative to the test's folder
    QTest::newRow("writable: beside, the executable's name") << 0755 << "meter.bin"
                                                             << "bin/meter.ini";
    QTest::newRow("read-only: the user's sorvane.ini, whatever the name")
        << 0555 << "meter.bin"
        << "config/sorvane/sorvane.ini";
}

void TestSettingsPlace::fromExecutableAndEnvironment() {
    QFETCH(int, folderMode);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkdir("bin"));
    const QString exe = root.filePath("bin/" + name);
    {
        QFile f(exe);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QByteArray bin = QFile::encodeName(root.filePath("bin"));
    QVERIFY(::chmod(bin.constData(), folderMode) == 0);
    const QByteArray config = QFile::encodeName(root.filePath("config"));
    EnvScope xdg("XDG_CONFIG_HOME", config.constData());
    const TSettingsPlace place = SettingsPlace(Std(exe));
    ::chmod(bin.constData(), 0755);
    QCOMPARE(Q(place.FileName), root.filePath(expected));
    // Finding the place creates nothing.
    QVERIFY(!QFileInfo::exists(root.filePath("config")));
}

void TestSettingsPlace::privateFolderAndFile() {
    UmaskScope umask(022);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString file = root.filePath("home/.config/sorvane/sorvane.ini");
    QVERIFY(CreateSettingsFolder(Std(file)));
    for (const char* folder : {"home", "home/.config", "home/.config/sorvane"})
        QCOMPARE(Mode(root.filePath(folder)), mode_t(0700));
    QVERIFY(CreateSettingsFolder(Std(file))); // again: already there
    QVERIFY(!QFileInfo::exists(file));        // the file waits for the first write

    TIniFile ini(Std(file), UserSettingsFileOps());
    QVERIFY(WriteWindowBounds(ini, {10, 20, 305, 97}));
    QCOMPARE(Mode(file), mode_t(0600));
    QVERIFY(WriteStayOnTop(ini, false)); // a rewrite keeps it private
    QCOMPARE(Mode(file), mode_t(0600));
    QCOMPARE(ini.ReadInteger("Window", "x", 0), 10);

    // A folder that cannot be made.
    const QString blocked = root.filePath("plain");
    {
        QFile f(blocked);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(!CreateSettingsFolder(Std(blocked + "/sorvane/sorvane.ini")));
}

void TestSettingsPlace::existingFolderKeepsItsMode() {
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath("config"));
    QVERIFY(::chmod(QFile::encodeName(root.filePath("config")).constData(), 0751) == 0);
    QVERIFY(CreateSettingsFolder(Std(root.filePath("config/sorvane/sorvane.ini"))));
    QCOMPARE(Mode(root.filePath("config")), mode_t(0751));
    QCOMPARE(Mode(root.filePath("config/sorvane")), mode_t(0700));
}

// A file that lacks keys gets the same lines in either place: only the mode of a new file
// differs.
void TestSettingsPlace::sameBytesInEitherPlace() {
    UmaskScope umask(022);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QByteArray start = "; mine\n[Property]\nScale=1000\nUnknown=x\n";
    QByteArray written[2];
    for (int i = 0; i < 2; ++i) {
        const QString path = root.filePath(QString("%1/sorvane.ini").arg(i));
        QVERIFY(QDir(root.path()).mkdir(QString::number(i)));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(start);
        f.close();
        TIniFile ini = i == 0 ? TIniFile(Std(path)) : TIniFile(Std(path), UserSettingsFileOps());
        TWindowBounds remembered{0, 0, 305, 97};
        QVERIFY(SaveWindowBoundsIfMoved(ini, remembered, {-3, 7, 305, 97}));
        QVERIFY(WriteStayOnTop(ini, true));
        written[i] = ReadBytes(path);
    }
    QCOMPARE(written[1], written[0]);
    QCOMPARE(written[0], start + "StayOnTop=1\n[Window]\nx=-3\ny=7\ncx=305\ncy=97\n");
}

QTEST_GUILESS_MAIN(TestSettingsPlace)
#include "tst_settingsplace.moc"
