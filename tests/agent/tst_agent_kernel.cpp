// The agent against the kernel: the whole ifTable of this machine, and interfaces of a network
// namespace made by the test with a known amount of traffic, compared with what sysfs reports.
// The test runs beside copies of the two agent libraries, as the program does.
#include "AgentStats.h"
#include "ZSNMPMIB.h"
#include "loopback.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One interface as sysfs shows it.
struct KernelLink {
    QString name;
    quint32 index = 0, arphrd = 0, mtu = 0, flags = 0;
    QString address, operstate;
    qint64 speed = -1; // -1: sysfs cannot tell (a link that is down, or no speed at all)
    quint64 rxBytes = 0, txBytes = 0, rxPackets = 0, txPackets = 0, multicast = 0;
    quint64 rxDropped = 0, rxMissed = 0, rxErrors = 0, txDropped = 0, txErrors = 0;
};

const char* const kSysfsScript = R"(cd /sys/class/net || exit 1
for d in *; do
  printf '%s' "$d"
  for f in ifindex type mtu flags address operstate speed statistics/rx_bytes \
           statistics/tx_bytes statistics/rx_packets statistics/tx_packets statistics/multicast \
           statistics/rx_dropped statistics/rx_missed_errors statistics/rx_errors \
           statistics/tx_dropped statistics/tx_errors; do
    v=$(cat "$d/$f" 2>/dev/null) || v=-
    printf '|%s' "${v:--}"
  done
  echo
done)";

// The sysfs of this thread's network namespace. sysfs shows the namespace it was mounted in,
// so inside a namespace of the test's own it is mounted afresh in a private mount namespace.
QMap<quint32, KernelLink> readKernel(bool ownSysfs, QString* error) {
    QProcess sh;
    if (ownSysfs)
        sh.start("unshare", {"-m", "--propagation", "private", "sh", "-c",
                             QString("mount -t sysfs sysfs /sys && ") + kSysfsScript});
    else
        sh.start("sh", {"-c", kSysfsScript});
    if (!sh.waitForFinished(10000) || sh.exitCode() != 0) {
        *error = "reading sysfs failed: " + QString::fromLocal8Bit(sh.readAllStandardError());
        return {};
    }
    QMap<quint32, KernelLink> links;
    for (const QString& line : QString::fromLocal8Bit(sh.readAllStandardOutput()).split('\n')) {
        const QStringList f = line.split('|');
        if (f.size() != 18) continue;
        KernelLink k;
        k.name = f[0];
        k.index = f[1].toUInt();
        k.arphrd = f[2].toUInt();
        k.mtu = f[3].toUInt();
        k.flags = f[4].toUInt(nullptr, 16);
        k.address = f[5] == "-" ? QString() : f[5];
        k.operstate = f[6];
        bool ok = false;
        k.speed = f[7].toLongLong(&ok);
        if (!ok) k.speed = -1;
        quint64* counters[] = {&k.rxBytes,   &k.txBytes,  &k.rxPackets, &k.txPackets, &k.multicast,
                               &k.rxDropped, &k.rxMissed, &k.rxErrors,  &k.txDropped, &k.txErrors};
        for (int i = 0; i < 10; ++i)
            *counters[i] = f[8 + i].toULongLong();
        links.insert(k.index, k);
    }
    return links;
}

quint32 expectedType(quint32 arphrd) {
    static const QMap<quint32, quint32> map{
        {1, 6},    {772, 24}, {768, 131}, {769, 131}, {776, 131}, {778, 131},
        {512, 23}, {256, 28}, {257, 28},  {258, 28},  {259, 28},  {32, 199},
        {774, 15}, {7, 35},   {773, 42},  {780, 47},  {19, 37}};
    return map.value(arphrd, 1);
}

QString expectedPhys(const QString& sysfsAddress) {
    QStringList octets = sysfsAddress.toUpper().split(':', Qt::SkipEmptyParts).mid(0, 6);
    while (!octets.isEmpty() && octets.size() < 6)
        octets << "00";
    const bool zero =
        std::all_of(octets.begin(), octets.end(), [](const QString& o) { return o == "00"; });
    return zero ? QString() : octets.join(' ');
}

// The agent's value is the low 32 bits of the kernel's counter at some moment between the two
// readings around the load.
bool withinReadings(quint32 agent, quint64 before, quint64 after) {
    return after >= before && quint64(quint32(agent - quint32(before))) <= after - before;
}

QString describe(const TZSNMPMIBIFEntry& r) {
    return QString("%1 %2 type=%3 mtu=%4 speed=%5 phys='%6' admin=%7 oper=%8 lastChange=%9 "
                   "in=%10/%11/%12/%13/%14/%15 out=%16/%17/%18/%19/%20/%21")
        .arg(r.ifIndex)
        .arg(QString::fromStdString(r.ifDescr))
        .arg(r.ifType)
        .arg(r.ifMtu)
        .arg(r.ifSpeed)
        .arg(QString::fromStdString(r.ifPhysAddress))
        .arg(r.ifAdminStatus)
        .arg(r.ifOperStatus)
        .arg(r.ifLastChange)
        .arg(r.ifInOctets)
        .arg(r.ifInUcastPkts)
        .arg(r.ifInNUcastPkts)
        .arg(r.ifInDiscards)
        .arg(r.ifInErrors)
        .arg(r.ifInUnknownProtos)
        .arg(r.ifOutOctets)
        .arg(r.ifOutUcastPkts)
        .arg(r.ifOutNUcastPkts)
        .arg(r.ifOutDiscards)
        .arg(r.ifOutErrors)
        .arg(r.ifOutQLen);
}

// Compares one row with sysfs read before and after the load; returns the first difference.
QString compareRow(const TZSNMPMIBIFEntry& r, const KernelLink& b, const KernelLink& a) {
    const auto differs = [&](const char* what, auto got, auto want) {
        return QString("%1 %2: agent %3, kernel %4").arg(b.name, what).arg(got).arg(want);
    };
    if (quint32(r.ifIndex) != b.index) return differs("ifIndex", r.ifIndex, b.index);
    if (QString::fromStdString(r.ifDescr) != b.name)
        return differs("ifDescr", QString::fromStdString(r.ifDescr), b.name);
    if (quint32(r.ifType) != expectedType(b.arphrd)) return differs("ifType", r.ifType, b.arphrd);
    if (quint32(r.ifMtu) != b.mtu) return differs("ifMtu", r.ifMtu, b.mtu);
    if (QString::fromStdString(r.ifPhysAddress) != expectedPhys(b.address))
        return differs("ifPhysAddress", QString::fromStdString(r.ifPhysAddress), b.address);
    const bool up = b.flags & IFF_UP;
    if (r.ifAdminStatus != (up ? 1 : 2)) return differs("ifAdminStatus", r.ifAdminStatus, b.flags);
    const bool running = up && (b.operstate == "up" || b.operstate == "unknown");
    if (r.ifOperStatus != (running ? 1 : 2))
        return differs("ifOperStatus", r.ifOperStatus, b.operstate);

    if (r.ifType == 24 && r.ifSpeed != 10000000u) return differs("ifSpeed", r.ifSpeed, "loopback");
    if (r.ifType == 6 && b.speed >= 0) {
        const quint64 bps = b.speed <= 0 ? 0 : quint64(b.speed) * 1000000u;
        const quint32 want = quint32(std::min<quint64>(bps, 0xFFFFFFFFu));
        if (r.ifSpeed != want) return differs("ifSpeed", r.ifSpeed, b.speed);
    }
    if (r.ifType != 6 && r.ifType != 24 && r.ifSpeed != 0) return differs("ifSpeed", r.ifSpeed, 0);

    struct Counter {
        const char* what;
        quint32 agent;
        quint64 before, after;
    };
    const Counter counters[] = {
        {"ifInOctets", r.ifInOctets, b.rxBytes, a.rxBytes},
        {"ifInUcastPkts", r.ifInUcastPkts, b.rxPackets - b.multicast, a.rxPackets - a.multicast},
        {"ifInNUcastPkts", r.ifInNUcastPkts, b.multicast, a.multicast},
        {"ifInDiscards", r.ifInDiscards, b.rxDropped + b.rxMissed, a.rxDropped + a.rxMissed},
        {"ifInErrors", r.ifInErrors, b.rxErrors, a.rxErrors},
        {"ifInUnknownProtos", r.ifInUnknownProtos, 0, 0},
        {"ifOutOctets", r.ifOutOctets, b.txBytes, a.txBytes},
        {"ifOutUcastPkts", r.ifOutUcastPkts, b.txPackets, a.txPackets},
        {"ifOutNUcastPkts", r.ifOutNUcastPkts, 0, 0},
        {"ifOutDiscards", r.ifOutDiscards, b.txDropped, a.txDropped},
        {"ifOutErrors", r.ifOutErrors, b.txErrors, a.txErrors},
        {"ifOutQLen", r.ifOutQLen, 0, 0},
    };
    for (const Counter& c : counters)
        if (!withinReadings(c.agent, c.before, c.after))
            return differs(c.what, c.agent, QString("%1..%2").arg(c.before).arg(c.after));
    return {};
}

QString compareTable(const TZSNMPMIBIFTable& table, const QMap<quint32, KernelLink>& before,
                     const QMap<quint32, KernelLink>& after) {
    if (table.Count() != before.size())
        return QString("%1 rows, %2 interfaces in sysfs").arg(table.Count()).arg(before.size());
    quint32 previous = 0;
    for (int i = 0; i < table.Count(); ++i) {
        const TZSNMPMIBIFEntry& row = *table.Items(i);
        if (quint32(row.ifIndex) <= previous) return "rows not in ascending index";
        previous = quint32(row.ifIndex);
        if (!before.contains(previous) || !after.contains(previous))
            return QString("index %1 unknown to sysfs").arg(previous);
        if (QString::number(previous) != QString::fromStdString(row.Key))
            return QString("key %1 for index %2")
                .arg(QString::fromStdString(row.Key))
                .arg(previous);
        const QString difference = compareRow(row, before[previous], after[previous]);
        if (!difference.isEmpty()) return difference;
    }
    return {};
}

// Loads the whole table between two readings of sysfs, logging its rows. Returns the first
// difference from sysfs, or why sysfs could not be read; empty when they agree.
QString loadAgainstKernel(TZSNMPMIB& mib, bool ownSysfs, std::unique_ptr<TZSNMPMIBIFTable>& table) {
    QString error;
    const auto before = readKernel(ownSysfs, &error);
    if (before.isEmpty()) return error;
    table = mib.LoadIFTable(TZSNMPMIBIFSelectSet::All());
    const auto after = readKernel(ownSysfs, &error);
    for (int i = 0; i < table->Count(); ++i)
        qInfo().noquote() << describe(*table->Items(i));
    return compareTable(*table, before, after);
}

bool run(const QString& program, const QStringList& args, QString* error = nullptr) {
    QProcess p;
    p.start(program, args);
    const bool ok =
        p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok && error)
        *error = program + ' ' + args.join(' ') + ": " +
                 (p.error() == QProcess::FailedToStart
                      ? QString("cannot start")
                      : QString::fromLocal8Bit(p.readAllStandardError()));
    return ok;
}

const TZSNMPMIBIFEntry* rowNamed(const TZSNMPMIBIFTable& table, const char* name) {
    for (int i = 0; i < table.Count(); ++i)
        if (table.Items(i)->ifDescr == name) return table.Items(i);
    return nullptr;
}

QString loadedAgentPath() {
    QString found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            const QString path = QString::fromLocal8Bit(info->dlpi_name);
            if (path.endsWith("/libinetmib1.so")) *static_cast<QString*>(out) = path;
            return 0;
        },
        &found);
    return found;
}

// The agent's count of full link dumps, from the copy the test loaded.
SorvaneAgentDumpCountFn linkDumpCount() {
    void* agent = ::dlopen(loadedAgentPath().toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!agent) return nullptr;
    auto* count = reinterpret_cast<SorvaneAgentDumpCountFn>(
        ::dlsym(agent, SORVANE_AGENT_LINK_DUMP_COUNT_SYMBOL));
    ::dlclose(agent); // the test's own reference keeps it loaded
    return count;
}

} // namespace

class TestAgentKernel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeTableOfThisMachine() {
        TZSNMPMIB mib; // from beside the executable
        QVERIFY(mib.Ready());
        const QString exeDir = QFileInfo(QFileInfo("/proc/self/exe").canonicalFilePath()).path();
        QCOMPARE(QFileInfo(loadedAgentPath()).canonicalPath(), exeDir);

        std::unique_ptr<TZSNMPMIBIFTable> table;
        const QString difference = loadAgainstKernel(mib, false, table);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void interfacesOfANamespaceWithKnownTraffic() {
        const int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        QVERIFY(home >= 0);
        if (::unshare(CLONE_NEWNET) != 0) {
            ::close(home);
            QSKIP(qPrintable(QString("network namespaces are not allowed here (unshare: %1)")
                                 .arg(std::strerror(errno))));
        }
        // Back to the original namespace whatever happens below; the test's namespace and its
        // links vanish with the last reference to it.
        struct Return {
            int fd;
            ~Return() {
                if (::setns(fd, CLONE_NEWNET) != 0)
                    qFatal("cannot return to the network namespace");
                ::close(fd);
            }
        } back{home};

        for (const char* path : {"/proc/sys/net/ipv6/conf/all/disable_ipv6",
                                 "/proc/sys/net/ipv6/conf/default/disable_ipv6"}) {
            QFile f(path); // quiet links: no IPv6 chatter besides the test's own traffic
            if (f.open(QIODevice::WriteOnly)) f.write("1\n");
        }
        QString error;
        if (!run("ip", {"link", "add", "sv0", "type", "veth", "peer", "name", "sv1"}, &error))
            QSKIP(qPrintable("veth links cannot be made here: " + error));
        const bool tun = run("ip", {"tuntap", "add", "stun0", "mode", "tun"});
        QVERIFY2(run("ip", {"link", "set", "sv0", "mtu", "1400", "address", "02:00:00:00:00:0a"},
                     &error),
                 qPrintable(error));
        QVERIFY2(run("ip", {"link", "set", "sv1", "address", "02:00:00:00:00:0b"}, &error),
                 qPrintable(error));

        TZSNMPMIB mib;
        QVERIFY(mib.Ready());
        const auto down = mib.LoadIFTable(TZSNMPMIBIFSelectSet::All());
        QCOMPARE(down->Count(), tun ? 4 : 3);
        const TZSNMPMIBIFEntry* sv0 = rowNamed(*down, "sv0");
        QVERIFY(sv0);
        QCOMPARE(sv0->ifOperStatus, 2);
        const std::uint32_t lastChangeDown = sv0->ifLastChange;

        for (const char* link : {"lo", "sv0", "sv1"})
            QVERIFY2(run("ip", {"link", "set", link, "up"}, &error), qPrintable(error));
        const auto bothUp = [] {
            QString ignored;
            const auto k = readKernel(true, &ignored);
            return std::count_if(k.begin(), k.end(), [](const KernelLink& l) {
                       return l.name.startsWith("sv") && l.operstate == "up";
                   }) == 2;
        };
        QTRY_VERIFY_WITH_TIMEOUT(bothUp(), 5000);
        QTest::qWait(30); // so that the next read is at a later centisecond

        // Traffic: 10 unicast frames of 100 octets and 3 multicast frames of 80 from sv0 to sv1,
        // and 5 UDP datagrams of 50 octets over loopback.
        const int sv0Index = int(if_nametoindex("sv0"));
        QVERIFY(sv0Index > 0);
        const int raw = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        QVERIFY(raw >= 0);
        const auto sendFrames = [&](const unsigned char(&dst)[6], int count, int length) {
            sockaddr_ll to{};
            to.sll_family = AF_PACKET;
            to.sll_ifindex = sv0Index;
            to.sll_halen = 6;
            std::memcpy(to.sll_addr, dst, 6);
            QByteArray frame(length, '\x5a');
            std::memcpy(frame.data(), dst, 6);
            std::memcpy(frame.data() + 6, "\x02\x00\x00\x00\x00\x0a", 6);
            std::memcpy(frame.data() + 12, "\x88\xb5", 2);
            int sent = 0;
            for (int i = 0; i < count; ++i)
                if (::sendto(raw, frame.constData(), size_t(length), 0,
                             reinterpret_cast<sockaddr*>(&to), sizeof to) == length)
                    ++sent;
            return sent;
        };
        const unsigned char unicast[6] = {0x02, 0, 0, 0, 0, 0x0b};
        const unsigned char multicast[6] = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x01};
        QCOMPARE(sendFrames(unicast, 10, 100), 10);
        QCOMPARE(sendFrames(multicast, 3, 80), 3);
        ::close(raw);

        QVERIFY(testcommon::SendLoopback(5, 50));

        std::unique_ptr<TZSNMPMIBIFTable> table;
        const QString difference = loadAgainstKernel(mib, true, table);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));

        // The known traffic, octet for octet.
        const TZSNMPMIBIFEntry* lo = rowNamed(*table, "lo");
        const TZSNMPMIBIFEntry* a = rowNamed(*table, "sv0");
        const TZSNMPMIBIFEntry* b = rowNamed(*table, "sv1");
        QVERIFY(lo && a && b);
        QCOMPARE(a->ifOutOctets, 10u * 100u + 3u * 80u);
        QCOMPARE(a->ifOutUcastPkts, 13u);
        QCOMPARE(b->ifInOctets, 10u * 100u + 3u * 80u);
        QCOMPARE(b->ifInUcastPkts + b->ifInNUcastPkts, 13u);
        // Loopback counts what follows its Ethernet header: IPv4, UDP, payload.
        QCOMPARE(lo->ifInOctets, 5u * (20u + 8u + 50u));
        QCOMPARE(lo->ifOutOctets, 5u * (20u + 8u + 50u));
        QCOMPARE(lo->ifOutUcastPkts, 5u);
        // What the test set, and veth's fixed 10 Gb/s, capped.
        QCOMPARE(a->ifMtu, 1400);
        QCOMPARE(a->ifType, 6);
        QCOMPARE(a->ifPhysAddress, std::string("02 00 00 00 00 0A"));
        QCOMPARE(a->ifSpeed, 4294967295u);
        QCOMPARE(a->ifOperStatus, 1);
        QCOMPARE(lo->ifType, 24);
        QCOMPARE(lo->ifPhysAddress, std::string());
        if (tun) {
            const TZSNMPMIBIFEntry* t = rowNamed(*table, "stun0");
            QVERIFY(t);
            QCOMPARE(t->ifType, 1);
            QCOMPARE(t->ifSpeed, 0u);
            QCOMPARE(t->ifPhysAddress, std::string());
        }
        // sv0 went up after the first read: its last change is the read that saw it.
        QVERIFY(a->ifLastChange > lastChangeDown);

        // While the links stay as they are, a load reads only their counters; every change of a
        // link is in the next load, whatever column it touches.
        const SorvaneAgentDumpCountFn linkDumps = linkDumpCount();
        QVERIFY(linkDumps);
        const auto loadWithoutDump = [&] {
            const std::uint64_t before = linkDumps();
            mib.LoadIFTable(TZSNMPMIBIFSelectSet::All());
            return linkDumps() == before;
        };
        QTRY_VERIFY_WITH_TIMEOUT(loadWithoutDump(), 5000);
        QVERIFY(testcommon::SendLoopback(2, 50));
        const std::uint64_t quietDumps = linkDumps();
        QVERIFY2(loadAgainstKernel(mib, true, table).isEmpty(), "counters of a quiet load");
        QCOMPARE(rowNamed(*table, "lo")->ifInOctets, 7u * (20u + 8u + 50u));
        QCOMPARE(linkDumps(), quietDumps);

        const QList<QStringList> changes{
            {"link", "set", "sv1", "down"},
            {"link", "set", "sv1", "name", "svx"},
            {"link", "set", "sv0", "mtu", "1300"},
            {"link", "set", "sv0", "address", "02:00:00:00:00:0c"},
            {"link", "add", "sv2", "type", "veth", "peer", "name", "sv3"},
            {"link", "del", "sv2"},
        };
        for (const QStringList& change : changes) {
            QVERIFY2(run("ip", change, &error), qPrintable(error));
            // A link going down takes its peer's carrier with it, a moment later.
            QTRY_VERIFY_WITH_TIMEOUT(!bothUp(), 5000);
            const std::uint64_t dumpsBefore = linkDumps();
            const QString difference = loadAgainstKernel(mib, true, table);
            QVERIFY2(difference.isEmpty(), qPrintable(change.join(' ') + ": " + difference));
            QVERIFY2(linkDumps() > dumpsBefore, qPrintable(change.join(' ')));
        }
        QVERIFY(rowNamed(*table, "svx") && !rowNamed(*table, "sv1"));
        QCOMPARE(rowNamed(*table, "svx")->ifOperStatus, 2);
        QCOMPARE(rowNamed(*table, "sv0")->ifMtu, 1300);
        QCOMPARE(rowNamed(*table, "sv0")->ifPhysAddress, std::string("02 00 00 00 00 0C"));
        QCOMPARE(table->Count(), tun ? 4 : 3);

        run("ip", {"link", "del", "sv0"});
        if (tun) run("ip", {"tuntap", "del", "stun0", "mode", "tun"});
    }
};

QTEST_APPLESS_MAIN(TestAgentKernel)
#include "tst_agent_kernel.moc"
