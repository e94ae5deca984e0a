// The profile-file functions against real files: missing files, byte-exact rewrites,
// permissions, refusals, and writes interrupted at every step.
#include "ProfileFile.h"
#include "scratchfiles.h"

#include <QtTest>
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace testcommon;

mode_t Mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// The pid of a process that has ended.
pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

// Writes key k of section P in a child that is killed with the new text written, just
// before the rename; returns the child's pid once it is gone.
pid_t KilledWriter(const QString& path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        TProfileFileOps ops;
        ops.fsync = [](int) -> int {
            ::raise(SIGKILL);
            return -1;
        };
        WritePrivateProfileStringA("P", "k", "new", NativePath(path), ops);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? pid : -1;
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

const QByteArray kFixture = "; hand-written\r\n[Other]\nk=keep\n\n[Property]\n Scale = 100 \n"
                            "Unknown=x\n; tail comment\n\n[Window]\nx=1";

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void missingFileReadsDefaultAndWriteCreatesIt();
    void nothingCached();
    void rewriteKeepsEveryOtherByte();
    void permissionsKept();
    void symlinkTargetReplaced();
    void refused_data();
    void refused();
    void interrupted_data();
    void interrupted();
    void shortWritesComplete();
    void fiftyMegabytes();
    void killedWriterLeftoverRemoved_data();
    void killedWriterLeftoverRemoved();
    void runningWriterKept();
    void onlyStaleTemporariesRemoved_data();
    void onlyStaleTemporariesRemoved();
    void longNamesKeptApart();

private:
    TScratchDir FDir;
    QString FPath;
};

void TestProfileFile::init() {
    QVERIFY(FDir.Renew());
    FPath = FDir.File();
}

void TestProfileFile::missingFileReadsDefaultAndWriteCreatesIt() {
    QCOMPARE(GetPrivateProfileStringA("Property", "Scale", "dflt", NativePath(FPath)), "dflt");
    QCOMPARE(GetPrivateProfileStringA("Property", "Scale", "dflt", ""), "dflt");
    QVERIFY(WritePrivateProfileStringA("Property", "Scale", "8000", NativePath(FPath)));
    QCOMPARE(FileBytes(FPath), QByteArray("[Property]\nScale=8000\n"));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QCOMPARE(Mode(FPath), 0666 & ~mask);
    QCOMPARE(QDir(FDir.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"sorvane.ini"});
}

void TestProfileFile::nothingCached() {
    QVERIFY(WriteFileBytes(FPath, "[P]\nk=1\n"));
    QCOMPARE(GetPrivateProfileStringA("P", "k", "", NativePath(FPath)), "1");
    QVERIFY(WriteFileBytes(FPath, "[P]\nk=2\n"));
    QCOMPARE(GetPrivateProfileStringA("P", "k", "", NativePath(FPath)), "2");
    QVERIFY(WritePrivateProfileStringA("P", "j", "3", NativePath(FPath)));
    QCOMPARE(FileBytes(FPath), QByteArray("[P]\nk=2\nj=3\n"));
}

void TestProfileFile::rewriteKeepsEveryOtherByte() {
    QVERIFY(WriteFileBytes(FPath, kFixture));
    QVERIFY(WritePrivateProfileStringA("property", "scale", "8000", NativePath(FPath)));
    QVERIFY(WritePrivateProfileStringA("Property", "Delay", "1", NativePath(FPath)));
    QVERIFY(WritePrivateProfileStringA("Window", "y", "-2", NativePath(FPath)));
    // New lines end like the file's first line.
    QCOMPARE(FileBytes(FPath), QByteArray("; hand-written\r\n[Other]\nk=keep\n\n[Property]\n Scale "
                                          "= 8000 \nUnknown=x\nDelay=1\r\n; tail comment\n\n"
                                          "[Window]\nx=1\r\ny=-2\r\n"));
}

void TestProfileFile::permissionsKept() {
    QVERIFY(WriteFileBytes(FPath, "[P]\nk=1\n"));
    QVERIFY(::chmod(QFile::encodeName(FPath).constData(), 0604) == 0);
    QVERIFY(WritePrivateProfileStringA("P", "k", "2", NativePath(FPath)));
    QCOMPARE(Mode(FPath), mode_t(0604));
    QCOMPARE(FileBytes(FPath), QByteArray("[P]\nk=2\n"));
}

void TestProfileFile::symlinkTargetReplaced() {
    const QString target = FDir.FilePath("real.ini");
    QVERIFY(WriteFileBytes(target, "[P]\nk=1\n"));
    QVERIFY(QFile::link(target, FPath));
    QVERIFY(WritePrivateProfileStringA("P", "k", "2", NativePath(FPath)));
    QVERIFY(QFileInfo(FPath).isSymLink());
    QCOMPARE(FileBytes(target), QByteArray("[P]\nk=2\n"));
}

// Every row leaves the place as it was: the same bytes (or nothing), no temporary file.
void TestProfileFile::refused_data() {
    QTest::addColumn<QString>("setup");
    QTest::newRow("read-only file") << "file0444";
    QTest::newRow("read-only directory") << "dir0555";
    QTest::newRow("directory missing") << "nodir";
    QTest::newRow("a directory in its place") << "isdir";
    QTest::newRow("a fifo in its place") << "fifo";
    QTest::newRow("too large") << "large";
    QTest::newRow("unreadable file (as a user)") << "file0200";
}

void TestProfileFile::refused() {
    QFETCH(QString, setup);
    const QByteArray before = "[P]\nk=old\n";
    QString path = FPath;
    QString dir = FDir.Path();
    if (setup == "file0444" || setup == "file0200") {
        if (setup == "file0200" && ::geteuid() == 0) QSKIP("the superuser reads every file");
        QVERIFY(WriteFileBytes(path, before));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), setup == "file0444" ? 0444 : 0200) ==
                0);
    } else if (setup == "dir0555") {
        dir = FDir.FilePath("ro");
        path = dir + "/sorvane.ini";
        QVERIFY(QDir().mkdir(dir));
        QVERIFY(WriteFileBytes(path, before));
        QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0555) == 0);
    } else if (setup == "nodir") {
        path = FDir.FilePath("gone/sorvane.ini");
    } else if (setup == "isdir") {
        QVERIFY(QDir().mkdir(path));
    } else if (setup == "fifo") {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
    } else if (setup == "large") {
        QVERIFY(WriteFileBytes(path, before));
        QVERIFY(::truncate(QFile::encodeName(path).constData(), kProfileMaxFileSize + 1) == 0);
    }
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
    const bool compareBytes = QFileInfo(path).isFile() && setup != "large" && setup != "file0200";
    const QByteArray bytes = compareBytes ? FileBytes(path) : QByteArray();
    const qint64 size = QFileInfo(path).size();

    const bool readable = setup == "file0444" || setup == "dir0555";
    QCOMPARE(GetPrivateProfileStringA("P", "k", "dflt", NativePath(path)),
             readable ? "old" : "dflt");
    QVERIFY(!WritePrivateProfileStringA("P", "k", "new", NativePath(path)));
    QVERIFY(!WritePrivateProfileStringA("P", "k", "old", NativePath(path))); // even when unchanged

    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System), entries);
    QCOMPARE(QFileInfo(path).size(), size);
    if (compareBytes) QCOMPARE(FileBytes(path), bytes);
    ::chmod(QFile::encodeName(dir).constData(), 0755); // let the temporary directory go
}

void TestProfileFile::interrupted_data() {
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("failAt"); // the call of that step that fails
    QTest::newRow("first write") << "write" << 1;
    QTest::newRow("write after a partial one") << "write" << 2;
    QTest::newRow("no space left") << "write0" << 1;
    QTest::newRow("fsync") << "fsync" << 1;
    QTest::newRow("rename") << "rename" << 1;
}

void TestProfileFile::interrupted() {
    QFETCH(QString, step);
    QFETCH(int, failAt);
    const QByteArray before = "[P]\nk=old\n" + QByteArray(100000, ';') + "\n";
    QVERIFY(WriteFileBytes(FPath, before));
    int calls = 0;
    TProfileFileOps ops;
    const auto fails = [&](const QString& s) { return s == step && ++calls == failAt; };
    const auto realWrite = ops.write;
    ops.write = [&, realWrite](int fd, const void* data, std::size_t size) -> ssize_t {
        if (step == "write0" && fails("write0")) return 0;
        if (fails("write")) {
            errno = EIO;
            return -1;
        }
        return realWrite(fd, data, std::min<std::size_t>(size, 4096)); // partial writes
    };
    const auto realFsync = ops.fsync;
    ops.fsync = [&, realFsync](int fd) {
        return fails("fsync") ? (errno = EIO, -1) : realFsync(fd);
    };
    const auto realRename = ops.rename;
    ops.rename = [&, realRename](const char* a, const char* b) {
        return fails("rename") ? (errno = EXDEV, -1) : realRename(a, b);
    };
    QVERIFY(!WritePrivateProfileStringA("P", "k", "new", NativePath(FPath), ops));
    QCOMPARE(calls, failAt);
    QCOMPARE(FileBytes(FPath), before);
    QCOMPARE(QDir(FDir.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"sorvane.ini"});
}

void TestProfileFile::shortWritesComplete() {
    TProfileFileOps ops;
    const auto realWrite = ops.write;
    int interrupted = 0;
    ops.write = [&, realWrite](int fd, const void* data, std::size_t) -> ssize_t {
        if (++interrupted % 2) {
            errno = EINTR;
            return -1;
        }
        return realWrite(fd, data, 1);
    };
    QVERIFY(WritePrivateProfileStringA("P", "key", "value", NativePath(FPath), ops));
    QCOMPARE(FileBytes(FPath), QByteArray("[P]\nkey=value\n"));
}

void TestProfileFile::fiftyMegabytes() {
    QByteArray big = "[Noise]\n";
    const QByteArray line = "n=" + QByteArray(98, 'z') + "\n";
    while (big.size() < 50 * 1024 * 1024)
        big += line;
    QVERIFY(WriteFileBytes(FPath, big + "[P]\nk=1\n"));
    QCOMPARE(GetPrivateProfileStringA("P", "k", "", NativePath(FPath)), "1");
    QVERIFY(WritePrivateProfileStringA("P", "k", "2", NativePath(FPath)));
    QCOMPARE(QFileInfo(FPath).size(), big.size() + 8);
    QCOMPARE(GetPrivateProfileStringA("P", "k", "", NativePath(FPath)), "2");
}

void TestProfileFile::killedWriterLeftoverRemoved_data() {
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("file") << false;
    QTest::newRow("through a symbolic link") << true;
}

void TestProfileFile::killedWriterLeftoverRemoved() {
    QFETCH(bool, throughLink);
    QVERIFY(WriteFileBytes(FPath, "[P]\nk=old\n"));
    QString name = FPath;
    if (throughLink) {
        QVERIFY(QDir(FDir.Path()).mkdir("links"));
        name = FDir.FilePath("links/settings.ini");
        QVERIFY(QFile::link(FPath, name));
    }
    const pid_t writer = KilledWriter(name);
    QVERIFY(writer > 0);
    const QString leftover = QString(".sorvane.ini.tmp-%1-").arg(writer);
    QStringList entries = Entries(FDir.Path());
    QCOMPARE(entries.size(), throughLink ? 3 : 2);
    QVERIFY2(entries.first().startsWith(leftover), qPrintable(entries.join(' ')));
    QCOMPARE(entries.first().size(), leftover.size() + 8);

    RemoveStaleProfileTemporaries(NativePath(name));
    entries.removeFirst();
    QCOMPARE(Entries(FDir.Path()), entries);
    QCOMPARE(FileBytes(FPath), QByteArray("[P]\nk=old\n"));
}

// A write in progress in another process keeps its temporary file.
void TestProfileFile::runningWriterKept() {
    QVERIFY(WriteFileBytes(FPath, "[P]\nk=old\n"));
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        TProfileFileOps ops;
        const auto realFsync = ops.fsync;
        ops.fsync = [&](int fd) {
            char c = 1;
            (void)!::write(ready[1], &c, 1);
            for (;;)
                ::pause(); // until killed
            return realFsync(fd);
        };
        WritePrivateProfileStringA("P", "k", "new", NativePath(FPath), ops);
        ::_exit(0);
    }
    ::close(ready[1]);
    pid_t running = writer;
    const auto reap = [&running] {
        if (running <= 0) return;
        ::kill(running, SIGKILL);
        ::waitpid(running, nullptr, 0);
        running = -1;
    };
    const auto reapOnFailure = qScopeGuard(reap);
    char c = 0;
    QCOMPARE(int(::read(ready[0], &c, 1)), 1);
    ::close(ready[0]);
    QCOMPARE(Entries(FDir.Path()).size(), 2);
    RemoveStaleProfileTemporaries(NativePath(FPath));
    QCOMPARE(Entries(FDir.Path()).size(), 2);
    reap();
    RemoveStaleProfileTemporaries(NativePath(FPath));
    QCOMPARE(Entries(FDir.Path()), QStringList{"sorvane.ini"});
}

void TestProfileFile::onlyStaleTemporariesRemoved_data() {
    QTest::addColumn<QString>("name"); // with a dead pid, or this process's
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("removed");
    QTest::newRow("a dead writer's") << ".sorvane.ini.tmp-<dead>-a0b1c2d3"
                                     << "file" << true;
    QTest::newRow("a live writer's") << ".sorvane.ini.tmp-<self>-a0b1c2d3"
                                     << "file" << false;
    QTest::newRow("another file's") << ".sorvane.in.tmp-<dead>-a0b1c2d3"
                                    << "file" << false;
    QTest::newRow("without the dot") << "sorvane.ini.tmp-<dead>-a0b1c2d3"
                                     << "file" << false;
    QTest::newRow("suffix too short") << ".sorvane.ini.tmp-<dead>-a0b1c2d"
                                      << "file" << false;
    QTest::newRow("suffix too long") << ".sorvane.ini.tmp-<dead>-a0b1c2d34"
                                     << "file" << false;
    QTest::newRow("upper-case suffix") << ".sorvane.ini.tmp-<dead>-A0B1C2D3"
                                       << "file" << false;
    QTest::newRow("pid with a leading zero") << ".sorvane.ini.tmp-0<dead>-a0b1c2d3"
                                             << "file" << false;
    QTest::newRow("no pid") << ".sorvane.ini.tmp--a0b1c2d3"
                            << "file" << false;
    QTest::newRow("pid zero") << ".sorvane.ini.tmp-0-a0b1c2d3"
                              << "file" << false;
    QTest::newRow("a name without pid") << ".sorvane.ini.tmpa0b1c2d3"
                                        << "file" << false;
    QTest::newRow("a directory") << ".sorvane.ini.tmp-<dead>-a0b1c2d3"
                                 << "dir" << false;
    QTest::newRow("a symbolic link") << ".sorvane.ini.tmp-<dead>-a0b1c2d3"
                                     << "link" << false;
}

void TestProfileFile::onlyStaleTemporariesRemoved() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, removed);
    QVERIFY(WriteFileBytes(FPath, "[P]\nk=old\n"));
    QVERIFY(WriteFileBytes(FDir.FilePath("other"), "kept\n"));
    name.replace("<dead>", QString::number(DeadPid()))
        .replace("<self>", QString::number(::getpid()));
    const QString path = FDir.FilePath(name);
    if (kind == "file") QVERIFY(WriteFileBytes(path, "[P]\nk=half"));
    if (kind == "dir") QVERIFY(QDir(FDir.Path()).mkdir(name));
    if (kind == "link") QVERIFY(QFile::link(FDir.FilePath("other"), path));
    QCOMPARE(Entries(FDir.Path()).size(), 3);

    RemoveStaleProfileTemporaries(NativePath(FPath));
    QCOMPARE(!QFileInfo::exists(path) && !QFileInfo(path).isSymLink(), removed);
    QVERIFY(QFileInfo::exists(FDir.FilePath("other")));
    QCOMPARE(FileBytes(FPath), QByteArray("[P]\nk=old\n"));
    RemoveStaleProfileTemporaries(""); // no file: nothing to do
}

// Two long names alike in their first 64 bytes do not share their temporaries.
void TestProfileFile::longNamesKeptApart() {
    const QString a = FDir.FilePath(QString(80, 'a') + "1.ini");
    const QString b = FDir.FilePath(QString(80, 'a') + "2.ini");
    QVERIFY(WriteFileBytes(a, "[P]\nk=a\n"));
    QVERIFY(WriteFileBytes(b, "[P]\nk=b\n"));
    QVERIFY(KilledWriter(a) > 0);
    QCOMPARE(Entries(FDir.Path()).size(), 3);
    const QString leftover = Entries(FDir.Path()).first();
    QVERIFY2(leftover.size() < 100, qPrintable(leftover));
    RemoveStaleProfileTemporaries(NativePath(b));
    QCOMPARE(Entries(FDir.Path()).size(), 3);
    RemoveStaleProfileTemporaries(NativePath(a));
    QCOMPARE(Entries(FDir.Path()).size(), 2);
    QCOMPARE(FileBytes(a), QByteArray("[P]\nk=a\n"));
}

QTEST_APPLESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
