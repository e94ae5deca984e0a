// Lock, shared block and message port of the single-instance rule.
#include "SingleInstance.h"
#include "scratchfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace instance;

namespace {

// Runs body in a child process that stays alive until killed; returns its pid
// once body has run.
pid_t Child(const std::function<void()>& body) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        char c = 1;
        (void)!::write(ready[1], &c, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]); // a child that ends early gives end of file, not a hang
    char c = 0;
    (void)!::read(ready[0], &c, 1);
    ::close(ready[0]);
    return pid;
}

void Reap(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Reaps the child when the test leaves early.
struct TChildGuard {
    pid_t Pid;
    ~TChildGuard() {
        if (Pid > 0) ::Reap(Pid);
    }
    void Reap() {
        ::Reap(Pid);
        Pid = -1;
    }
};

int RawConnect(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

sockaddr_un Address(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    return a;
}

// A socket bound at path; listening with the backlog unless it is negative.
int BoundSocket(const std::string& path, int backlog) {
    const sockaddr_un a = Address(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        (backlog >= 0 && ::listen(fd, backlog) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// What a directory entry is made as.
enum class Entry {
    Listening,   // a port that answers
    BacklogFull, // a port that answers with "try again"
    BoundOnly,   // a port being opened: bound, not listening yet
    Closed,      // closed without being removed
    Killed,      // its process was killed
    RegularFile, // a file that is no socket
    Directory,
    LinkToClosed, // a symbolic link to a dead socket elsewhere
};

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void key_data();
    void key();
    void objectNames();
    void runtimeDirectory();
    void lockHeldByAnotherProcess();
    void sharedBlock();
    void portDelivers();
    void portDropsMalformed();
    void portStaleAndDead();
    void portBoundsPending();
    void boundSocketPaths_data();
    void boundSocketPaths();
    void deadPortsRemoved_data();
    void deadPortsRemoved();
    void deadPortsAmongLiveOnes();

private:
    testcommon::TScratchDir dir;
    std::string path(const char* name) const {
        return testcommon::NativePath(dir.Path() + '/' + name);
    }
};

void TestSingleInstance::init() {
    QVERIFY(dir.Renew());
    ::chmod(testcommon::NativePath(dir.Path()).c_str(), 0700);
}

void TestSingleInstance::key_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("key");
    QTest::newRow("plain") << "/opt/tools/sorvane"
                           << "_opt_tools_sorvane";
    QTest::newRow("case kept") << "/Home/A/Sorvane"
                               << "_Home_A_Sorvane";
    QTest::newRow("dots and blanks") << "/a b/c.d/x"
                                     << "_a b_c.d_x";
}

void TestSingleInstance::key() {
    QFETCH(QString, path);
    QFETCH(QString, key);
    QCOMPARE(QString::fromStdString(InstanceKey(path.toStdString())), key);
    QCOMPARE(QString::fromStdString(ObjectName("MutexSorvane_", key.toStdString())),
             "MutexSorvane_" + key);
}

void TestSingleInstance::objectNames() {
    const std::string longA = InstanceKey("/" + std::string(400, 'a') + "/sorvane");
    const std::string longB = InstanceKey("/" + std::string(400, 'a') + "/sorvanf");
    const std::string a = ObjectName("ShareSorvane_", longA);
    QVERIFY(a.size() <= 255);
    QCOMPARE(a, ObjectName("ShareSorvane_", longA)); // stable
    QVERIFY(a != ObjectName("ShareSorvane_", longB));
    QVERIFY(a.rfind("ShareSorvane_", 0) == 0);
    // And it really is a usable file name.
    TInstanceLock lock;
    QCOMPARE(lock.Acquire(path("") + a), TInstanceLock::Result::Acquired);
}

void TestSingleInstance::runtimeDirectory() {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.Path()));
    QCOMPARE(QString::fromStdString(RuntimeDirectory()), dir.Path());

    // A runtime directory others may enter is not used.
    ::chmod(testcommon::NativePath(dir.Path()).c_str(), 0755);
    const std::string fallback = RuntimeDirectory();
    const std::string expected = "/tmp/sorvane-" + std::to_string(::getuid());
    QCOMPARE(fallback, expected);
    struct stat st {};
    QCOMPARE(::lstat(fallback.c_str(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0700);
    QCOMPARE(st.st_uid, ::getuid());

    qputenv("XDG_RUNTIME_DIR", "");
    QCOMPARE(RuntimeDirectory(), expected);
    if (saved.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", saved);
}

void TestSingleInstance::lockHeldByAnotherProcess() {
    const std::string lockPath = path("MutexSorvane__x");
    const pid_t holder = Child([&] {
        static TInstanceLock lock;
        if (lock.Acquire(lockPath) != TInstanceLock::Result::Acquired) ::_exit(3);
    });
    QVERIFY(holder > 0);
    {
        TInstanceLock second;
        QCOMPARE(second.Acquire(lockPath), TInstanceLock::Result::HeldElsewhere);
    }
    Reap(holder); // a crash leaves nothing that blocks the next start
    TInstanceLock next;
    QCOMPARE(next.Acquire(lockPath), TInstanceLock::Result::Acquired);
    QCOMPARE(TInstanceLock().Acquire(path("no/such/dir/lock")), TInstanceLock::Result::Failed);
}

void TestSingleInstance::sharedBlock() {
    const std::string blockPath = path("ShareSorvane__x");
    TSharedBlock first;
    QVERIFY(first.Open(blockPath));
    QCOMPARE(first.Read(), 0u);
    first.Write(0xCAFE1234u);
    const pid_t reader = Child([&] {
        TSharedBlock other;
        if (!other.Open(blockPath) || other.Read() != 0xCAFE1234u) ::_exit(4);
        other.Write(77);
    });
    QVERIFY(reader > 0);
    QCOMPARE(first.Read(), 77u);
    Reap(reader);
    struct stat st {};
    QCOMPARE(::stat(blockPath.c_str(), &st), 0);
    QCOMPARE(int(st.st_size), 4);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    first.Close();
    QCOMPARE(first.Read(), 0u);
    QVERIFY(!TSharedBlock().Open(path("missing/dir/block")));
    // A directory in the block's place is refused, not mapped.
    ::mkdir(path("ShareSorvane__dir").c_str(), 0700);
    QVERIFY(!TSharedBlock().Open(path("ShareSorvane__dir")));
}

void TestSingleInstance::portDelivers() {
    const std::string d = testcommon::NativePath(dir.Path());
    TMessagePort port;
    QVERIFY(port.Open(d));
    QVERIFY(port.Number() != 0);
    struct stat st {};
    QCOMPARE(::stat(PortPath(d, port.Number()).c_str(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    QVERIFY(PortAlive(d, port.Number()));
    port.Receive(); // the liveness probe: no record

    QVERIFY(PostRecord(d, port.Number(), {1024, 100, 0}));
    QVERIFY(PostRecord(d, port.Number(), {1024, 0xFFFFFFFFu, 7}));
    const auto records = port.Receive();
    QCOMPARE(int(records.size()), 2);
    QCOMPARE(records[0].Message, 1024u);
    QCOMPARE(records[0].WParam, 100u);
    QCOMPARE(records[1].WParam, 0xFFFFFFFFu);
    QCOMPARE(records[1].LParam, 7u);

    // Little-endian on the wire.
    const int fd = RawConnect(PortPath(d, port.Number()));
    const unsigned char raw[12] = {0, 4, 0, 0, 101, 0, 0, 0, 0, 0, 0, 0};
    QCOMPARE(int(::send(fd, raw, 12, 0)), 12);
    ::close(fd);
    const auto one = port.Receive();
    QCOMPARE(int(one.size()), 1);
    QCOMPARE(one[0].Message, 1024u);
    QCOMPARE(one[0].WParam, 101u);
}

void TestSingleInstance::portDropsMalformed() {
    const std::string d = testcommon::NativePath(dir.Path());
    TMessagePort port;
    QVERIFY(port.Open(d));
    const std::string p = PortPath(d, port.Number());

    const int shortFd = RawConnect(p); // five bytes, then gone
    QCOMPARE(int(::send(shortFd, "hello", 5, 0)), 5);
    ::close(shortFd);
    QVERIFY(port.Receive().empty());
    QVERIFY(port.PendingFds().empty());

    const int slow = RawConnect(p); // a record in two parts
    const unsigned char head[5] = {0, 4, 0, 0, 1};
    const unsigned char tail[7] = {0, 0, 0, 0, 0, 0, 0};
    QCOMPARE(int(::send(slow, head, 5, 0)), 5);
    QVERIFY(port.Receive().empty());
    QCOMPARE(int(port.PendingFds().size()), 1);
    QCOMPARE(int(::send(slow, tail, 7, 0)), 7);
    const auto records = port.Receive();
    QCOMPARE(int(records.size()), 1);
    QCOMPARE(records[0].WParam, 1u);
    QVERIFY(port.PendingFds().empty());
    ::close(slow);
}

void TestSingleInstance::portStaleAndDead() {
    const std::string d = testcommon::NativePath(dir.Path());
    // A socket file whose listener is gone, as a crash leaves it.
    const std::string stale = PortPath(d, 42);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, stale.c_str(), sizeof a.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    QCOMPARE(::listen(fd, 1), 0);
    QVERIFY(PortAlive(d, 42));
    ::close(fd);
    QVERIFY(!PortAlive(d, 42));
    QVERIFY(!PostRecord(d, 42, {1024, 100, 0}));
    QVERIFY(!PortAlive(d, 0));
    QVERIFY(!PortAlive(d, 43));

    TMessagePort port;
    QVERIFY(port.Open(d));
    const std::uint32_t n = port.Number();
    port.Close();
    QVERIFY(!PortAlive(d, n));
    QVERIFY(!TMessagePort().Open(std::string(200, 'x'))); // no room for the path
}

void TestSingleInstance::portBoundsPending() {
    const std::string d = testcommon::NativePath(dir.Path());
    TMessagePort port;
    QVERIFY(port.Open(d));
    std::vector<int> silent;
    for (int i = 0; i < 40; ++i) {
        const int fd = RawConnect(PortPath(d, port.Number()));
        if (fd >= 0) silent.push_back(fd);
        port.Receive();
    }
    QVERIFY(port.PendingFds().size() <= 16);
    QVERIFY(PostRecord(d, port.Number(), {1024, 100, 0}));
    QCOMPARE(int(port.Receive().size()), 1); // still served
    for (int fd : silent)
        ::close(fd);
}

void TestSingleInstance::boundSocketPaths_data() {
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QStringList>("paths");
    const QString head = "Num       RefCount Protocol Flags    Type St Inode Path\n";
    QTest::newRow("header only") << head << QStringList{};
    QTest::newRow("unbound and bound")
        << head + "0000000012345678: 00000003 00000000 00000000 0001 03   224\n"
                  "00000000c9b9054a: 00000002 00000000 00010000 0001 01 24857 "
                  "/run/u/sorvane-window-9\n"
        << QStringList{"/run/u/sorvane-window-9"};
    QTest::newRow("blanks in the path, no final line end")
        << head + "00000000c9b9054a: 00000002 00000000 00000000 0001 01 24857 /tmp/a b/s x"
        << QStringList{"/tmp/a b/s x"};
    QTest::newRow("abstract names left out")
        << head + "00000000c9b9054a: 00000002 00000000 00010000 0001 01 24857 @/tmp/dbus-x\n"
        << QStringList{};
    QTest::newRow("wide inode") << head + "00000000c9b9054a: 00000002 00000000 00010000 0001 01 "
                                          "4026531993 /r/p\n"
                                << QStringList{"/r/p"};
}

void TestSingleInstance::boundSocketPaths() {
    QFETCH(QString, listing);
    QFETCH(QStringList, paths);
    QStringList got;
    for (const std::string& p : BoundSocketPaths(listing.toStdString()))
        got << QString::fromStdString(p);
    QCOMPARE(got, paths);
}

void TestSingleInstance::deadPortsRemoved_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("entry");
    QTest::addColumn<bool>("removed");
    auto row = [](const char* title, const char* name, Entry entry, bool removed) {
        QTest::newRow(title) << name << int(entry) << removed;
    };
    row("closed port", "sorvane-window-42", Entry::Closed, true);
    row("port of a killed process", "sorvane-window-4294967295", Entry::Killed, true);
    row("listening port", "sorvane-window-43", Entry::Listening, false);
    row("listening port, backlog full", "sorvane-window-44", Entry::BacklogFull, false);
    row("port being opened", "sorvane-window-45", Entry::BoundOnly, false);
    row("dead socket of another name", "other-window-46", Entry::Closed, false);
    row("dead socket, leading zero", "sorvane-window-047", Entry::Closed, false);
    row("dead socket, number zero", "sorvane-window-0", Entry::Closed, false);
    row("dead socket, number past 32 bits", "sorvane-window-4294967296", Entry::Closed, false);
    row("dead socket, suffix", "sorvane-window-48.old", Entry::Closed, false);
    row("regular file named as a port", "sorvane-window-49", Entry::RegularFile, false);
    row("directory named as a port", "sorvane-window-50", Entry::Directory, false);
    row("link named as a port", "sorvane-window-51", Entry::LinkToClosed, false);
}

void TestSingleInstance::deadPortsRemoved() {
    QFETCH(QString, name);
    QFETCH(int, entry);
    QFETCH(bool, removed);
    const std::string d = testcommon::NativePath(dir.Path());
    const std::string p = d + "/" + name.toStdString();
    std::vector<int> keep; // held open until the check
    switch (Entry(entry)) {
    case Entry::Listening:
        keep.push_back(BoundSocket(p, 4));
        break;
    case Entry::BacklogFull: {
        keep.push_back(BoundSocket(p, 0));
        const sockaddr_un a = Address(p);
        for (int i = 0; i < 64; ++i) {
            const int c = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            keep.push_back(c);
            if (::connect(c, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) break;
        }
        QCOMPARE(errno, EAGAIN);
        break;
    }
    case Entry::BoundOnly:
        keep.push_back(BoundSocket(p, -1));
        break;
    case Entry::Closed:
        ::close(BoundSocket(p, 4));
        break;
    case Entry::Killed: {
        TChildGuard holder{Child([p] {
            if (BoundSocket(p, 4) < 0) ::_exit(5);
        })};
        QVERIFY(holder.Pid > 0);
        QVERIFY(PortAlive(d, 4294967295u));
        holder.Reap();
        break;
    }
    case Entry::RegularFile:
        ::close(::open(p.c_str(), O_WRONLY | O_CREAT, 0600));
        break;
    case Entry::Directory:
        QCOMPARE(::mkdir(p.c_str(), 0700), 0);
        break;
    case Entry::LinkToClosed:
        QVERIFY(QDir(dir.Path()).mkdir("elsewhere"));
        ::close(BoundSocket(path("elsewhere/sorvane-window-1"), 4));
        QCOMPARE(::symlink(path("elsewhere/sorvane-window-1").c_str(), p.c_str()), 0);
        break;
    }
    QVERIFY(std::find(keep.begin(), keep.end(), -1) == keep.end());
    QVERIFY(Exists(p));

    RemoveDeadPorts(d);
    QCOMPARE(!Exists(p), removed);
    if (Entry(entry) == Entry::LinkToClosed) QVERIFY(Exists(path("elsewhere/sorvane-window-1")));
    if (Entry(entry) == Entry::BoundOnly) { // and once it listens, it answers
        QCOMPARE(::listen(keep.front(), 4), 0);
        QVERIFY(PortAlive(d, 45));
    }
    for (int fd : keep)
        ::close(fd);
}

// Another executable's running instance keeps its port, and keeps receiving.
void TestSingleInstance::deadPortsAmongLiveOnes() {
    const std::string d = testcommon::NativePath(dir.Path());
    TMessagePort live;
    QVERIFY(live.Open(d));
    // An instance that is killed: it publishes its port as the program does.
    TSharedBlock block;
    QVERIFY(block.Open(path("ShareSorvane__killed")));
    TChildGuard killed{Child([&] {
        static TMessagePort port;
        TSharedBlock own;
        if (!port.Open(d) || !own.Open(path("ShareSorvane__killed"))) ::_exit(6);
        own.Write(port.Number());
    })};
    QVERIFY(killed.Pid > 0);
    const std::string dyingPath = PortPath(d, block.Read());
    QVERIFY(PortAlive(d, block.Read()));
    killed.Reap();
    QVERIFY(Exists(dyingPath));

    RemoveDeadPorts(d);
    QVERIFY(!Exists(dyingPath));
    QVERIFY(Exists(PortPath(d, live.Number())));
    QVERIFY(PostRecord(d, live.Number(), {1024, 100, 0}));
    QCOMPARE(int(live.Receive().size()), 1);
    RemoveDeadPorts(""); // no directory: nothing to do, nothing breaks
}

QTEST_APPLESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
