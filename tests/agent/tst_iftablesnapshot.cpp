// The agent's pure table logic: link dump bytes to rows, ifTable values, GetNext/Get over a
// snapshot, ifLastChange and when the kernel is read again.
#include "IfTableSnapshot.h"
#include "snmpabi.h"

#include <QtTest>

#include <cstring>
#include <random>

#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

using namespace sorvane::agent;

namespace {

// Builds datagrams of an RTM_GETLINK dump the way the kernel lays them out.
class DumpBuilder {
public:
    struct Link {
        int index = 1;
        std::uint16_t arphrd = ARPHRD_ETHER;
        std::uint32_t flags = 0;
        QByteArray name;       // attribute payload as given (zero octet included or not)
        std::int64_t mtu = -1; // -1: no attribute
        QByteArray address;
        bool hasAddress = false;
        bool stats64 = false;
        rtnl_link_stats64 s64{};
        std::size_t stats64Length = sizeof(rtnl_link_stats64);
        bool stats32 = false;
        rtnl_link_stats s32{};
    };

    DumpBuilder& link(const Link& l, std::uint16_t flags = NLM_F_MULTI, std::uint32_t seq = 0) {
        QByteArray payload;
        ifinfomsg info{};
        info.ifi_family = AF_UNSPEC;
        info.ifi_type = l.arphrd;
        info.ifi_index = l.index;
        info.ifi_flags = l.flags;
        payload.append(reinterpret_cast<const char*>(&info), sizeof info);
        if (!l.name.isNull()) attr(payload, IFLA_IFNAME, l.name);
        if (l.mtu >= 0) {
            const auto mtu = static_cast<std::uint32_t>(l.mtu);
            attr(payload, IFLA_MTU, QByteArray(reinterpret_cast<const char*>(&mtu), 4));
        }
        if (l.hasAddress) attr(payload, IFLA_ADDRESS, l.address);
        if (l.stats32)
            attr(payload, IFLA_STATS,
                 QByteArray(reinterpret_cast<const char*>(&l.s32), sizeof l.s32));
        if (l.stats64)
            attr(payload, IFLA_STATS64,
                 QByteArray(reinterpret_cast<const char*>(&l.s64), qsizetype(l.stats64Length)));
        return message(RTM_NEWLINK, flags, payload, seq);
    }
    DumpBuilder& message(std::uint16_t type, std::uint16_t flags, const QByteArray& payload,
                         std::uint32_t seq = 0) {
        nlmsghdr header{};
        header.nlmsg_seq = seq;
        header.nlmsg_len = static_cast<std::uint32_t>(sizeof header + payload.size());
        header.nlmsg_type = type;
        header.nlmsg_flags = flags;
        FBytes.append(reinterpret_cast<const char*>(&header), sizeof header);
        FBytes.append(payload);
        pad(FBytes);
        return *this;
    }
    DumpBuilder& done() { return message(NLMSG_DONE, NLM_F_MULTI, QByteArray(4, '\0')); }
    DumpBuilder& raw(const QByteArray& bytes) {
        FBytes.append(bytes);
        return *this;
    }
    QByteArray bytes() const { return FBytes; }

    static void attr(QByteArray& out, std::uint16_t type, const QByteArray& data) {
        rtattr a{};
        a.rta_len = static_cast<std::uint16_t>(sizeof a + data.size());
        a.rta_type = type;
        out.append(reinterpret_cast<const char*>(&a), sizeof a);
        out.append(data);
        pad(out);
    }

private:
    static void pad(QByteArray& b) {
        while (b.size() % 4)
            b.append('\0');
    }
    QByteArray FBytes;
};

std::span<const std::uint8_t> span(const QByteArray& b) {
    return {reinterpret_cast<const std::uint8_t*>(b.constData()),
            static_cast<std::size_t>(b.size())};
}

DumpBuilder::Link named(int index, const char* name) {
    DumpBuilder::Link l;
    l.index = index;
    l.name = QByteArray(name, qsizetype(std::strlen(name) + 1));
    return l;
}

using Arcs = std::vector<std::uint32_t>;

Arcs arcs(const QString& dotted) {
    Arcs out;
    if (dotted.isEmpty()) return out;
    for (const QString& part : dotted.split('.'))
        out.push_back(part.toUInt());
    return out;
}

std::vector<IfRow> rowsWithIndices(std::initializer_list<std::uint32_t> indices) {
    std::vector<IfRow> rows;
    for (auto i : indices) {
        IfRow row;
        row.index = i;
        rows.push_back(row);
    }
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(Arcs)

class TestIfTableSnapshot : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dumpFraming_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("status");
        QTest::addColumn<QList<quint32>>("indices");
        QTest::addColumn<bool>("interrupted");

        const auto more = int(DumpStatus::More);
        const auto done = int(DumpStatus::Done);
        const auto failed = int(DumpStatus::Failed);
        using L = QList<quint32>;

        QTest::newRow("empty dump") << DumpBuilder().done().bytes() << done << L{} << false;
        QTest::newRow("links in kernel order")
            << DumpBuilder().link(named(7, "c")).link(named(1, "a")).done().bytes() << done
            << L{7, 1} << false;
        QTest::newRow("no done yet: more to come")
            << DumpBuilder().link(named(2, "b")).bytes() << more << L{2} << false;
        QTest::newRow("index 0 and negative are dropped") << DumpBuilder()
                                                                 .link(named(0, "z"))
                                                                 .link(named(-3, "n"))
                                                                 .link(named(4, "d"))
                                                                 .done()
                                                                 .bytes()
                                                          << done << L{4} << false;
        QTest::newRow("other message types are skipped")
            << DumpBuilder()
                   .message(RTM_NEWADDR, NLM_F_MULTI, QByteArray(24, '\x01'))
                   .link(named(3, "c"))
                   .done()
                   .bytes()
            << done << L{3} << false;
        QTest::newRow("message shorter than ifinfomsg is skipped")
            << DumpBuilder()
                   .message(RTM_NEWLINK, NLM_F_MULTI, QByteArray(8, '\0'))
                   .link(named(5, "e"))
                   .done()
                   .bytes()
            << done << L{5} << false;
        QTest::newRow("error message fails") << DumpBuilder()
                                                    .link(named(1, "a"))
                                                    .message(NLMSG_ERROR, 0, QByteArray(20, '\0'))
                                                    .bytes()
                                             << failed << L{1} << false;
        QTest::newRow("interrupted dump is flagged")
            << DumpBuilder().link(named(1, "a"), NLM_F_MULTI | NLM_F_DUMP_INTR).done().bytes()
            << done << L{1} << true;

        QByteArray overlong = DumpBuilder().link(named(1, "a")).bytes();
        overlong[0] = char(overlong.size() + 4); // nlmsg_len beyond the datagram
        QTest::newRow("length beyond the datagram fails") << overlong << failed << L{} << false;
        QByteArray tiny = DumpBuilder().link(named(1, "a")).bytes();
        std::memset(tiny.data(), 0, 4);
        tiny[0] = 8; // shorter than a header
        QTest::newRow("length below a header fails") << tiny << failed << L{} << false;
        QTest::newRow("trailing bytes shorter than a header are ignored")
            << DumpBuilder().link(named(6, "f")).raw(QByteArray(7, '\xff')).bytes() << more << L{6}
            << false;
    }
    void dumpFraming() {
        QFETCH(QByteArray, datagram);
        QFETCH(int, status);
        QFETCH(QList<quint32>, indices);
        QFETCH(bool, interrupted);

        LinkDumpParser parser;
        QCOMPARE(int(parser.feed(span(datagram))), status);
        QCOMPARE(parser.interrupted(), interrupted);
        QList<quint32> got;
        for (const LinkInfo& l : parser.take())
            got << l.index;
        QCOMPARE(got, indices);
    }

    void messagesOfOtherRequestsAreSkipped() {
        DumpBuilder::Link stale = named(9, "old");
        const QByteArray bytes = DumpBuilder()
                                     .link(stale, NLM_F_MULTI, 6)
                                     .message(NLMSG_DONE, NLM_F_MULTI, QByteArray(4, '\0'), 6)
                                     .link(named(2, "new"), NLM_F_MULTI, 7)
                                     .message(NLMSG_DONE, NLM_F_MULTI, QByteArray(4, '\0'), 7)
                                     .bytes();
        LinkDumpParser parser(7);
        QCOMPARE(parser.feed(span(bytes)), DumpStatus::Done);
        const auto links = parser.take();
        QCOMPARE(links.size(), std::size_t{1});
        QCOMPARE(links[0].name, std::string("new"));

        LinkDumpParser any; // sequence 0 takes every message
        QCOMPARE(any.feed(span(bytes)), DumpStatus::Done);
        QCOMPARE(any.take().size(), std::size_t{1});
    }

    void dumpAcrossDatagrams() {
        LinkDumpParser parser;
        QCOMPARE(parser.feed(span(DumpBuilder().link(named(1, "lo")).bytes())), DumpStatus::More);
        QCOMPARE(parser.feed(span(DumpBuilder().link(named(2, "eth0")).done().bytes())),
                 DumpStatus::Done);
        const auto links = parser.take();
        QCOMPARE(links.size(), std::size_t{2});
        QCOMPARE(links[1].name, std::string("eth0"));
    }

    void linkAttributes_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<quint32>("mtu");
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<quint64>("rxBytes");
        QTest::addColumn<quint64>("rxMissed");

        DumpBuilder::Link l = named(2, "eth0");
        l.mtu = 1500;
        l.hasAddress = true;
        l.address = QByteArray("\x02\x00\x00\x00\x00\x01", 6);
        l.stats64 = true;
        l.s64.rx_bytes = 0x1'0000'0005ull;
        l.s64.rx_missed_errors = 9;
        QTest::newRow("name without its zero, 64-bit stats")
            << DumpBuilder().link(l).done().bytes() << QByteArray("eth0") << 1500u << l.address
            << quint64(0x1'0000'0005ull) << quint64(9);

        DumpBuilder::Link both = l;
        both.stats32 = true;
        both.s32.rx_bytes = 77;
        QTest::newRow("64-bit stats win over 32-bit ones")
            << DumpBuilder().link(both).done().bytes() << QByteArray("eth0") << 1500u << l.address
            << quint64(0x1'0000'0005ull) << quint64(9);

        DumpBuilder::Link only32 = named(2, "ppp0");
        only32.stats32 = true;
        only32.s32.rx_bytes = 77;
        only32.s32.rx_missed_errors = 3;
        QTest::newRow("32-bit stats alone")
            << DumpBuilder().link(only32).done().bytes() << QByteArray("ppp0") << 0u << QByteArray()
            << quint64(77) << quint64(3);

        DumpBuilder::Link shortStats = l;
        shortStats.stats64Length = 8 * 4; // up to rx_bytes only
        QTest::newRow("short 64-bit stats give what they hold")
            << DumpBuilder().link(shortStats).done().bytes() << QByteArray("eth0") << 1500u
            << l.address << quint64(0x1'0000'0005ull) << quint64(0);

        DumpBuilder::Link noZero;
        noZero.index = 3;
        noZero.name = QByteArray("tun7");
        QTest::newRow("name without terminating zero")
            << DumpBuilder().link(noZero).done().bytes() << QByteArray("tun7") << 0u << QByteArray()
            << quint64(0) << quint64(0);

        DumpBuilder::Link garbage;
        garbage.index = 3;
        garbage.name = QByteArray("ab\0cd", 5);
        QTest::newRow("name ends at the first zero")
            << DumpBuilder().link(garbage).done().bytes() << QByteArray("ab") << 0u << QByteArray()
            << quint64(0) << quint64(0);

        // An attribute claiming more than the message holds ends the attributes, keeps the link.
        DumpBuilder::Link cut = named(4, "cut0");
        cut.mtu = 9000;
        QByteArray bytes = DumpBuilder().link(cut).bytes();
        QByteArray badAttr;
        DumpBuilder::attr(badAttr, IFLA_ADDRESS, QByteArray(6, '\x11'));
        badAttr[0] = char(200);
        nlmsghdr header{};
        std::memcpy(&header, bytes.constData(), sizeof header);
        header.nlmsg_len += static_cast<std::uint32_t>(badAttr.size());
        bytes.append(badAttr);
        std::memcpy(bytes.data(), &header, sizeof header);
        QTest::newRow("overlong attribute is cut off")
            << DumpBuilder().raw(bytes).done().bytes() << QByteArray("cut0") << 9000u
            << QByteArray() << quint64(0) << quint64(0);
    }
    void linkAttributes() {
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, name);
        QFETCH(quint32, mtu);
        QFETCH(QByteArray, address);
        QFETCH(quint64, rxBytes);
        QFETCH(quint64, rxMissed);

        LinkDumpParser parser;
        QCOMPARE(parser.feed(span(datagram)), DumpStatus::Done);
        const auto links = parser.take();
        QCOMPARE(links.size(), std::size_t{1});
        const LinkInfo& link = links[0];
        QCOMPARE(QByteArray::fromStdString(link.name), name);
        QCOMPARE(link.mtu, mtu);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(link.address.data()),
                            qsizetype(link.address.size())),
                 address);
        QCOMPARE(link.counters.rxBytes, rxBytes);
        QCOMPARE(link.counters.rxMissedErrors, rxMissed);
    }

    void ifType_data() {
        QTest::addColumn<int>("arphrd");
        QTest::addColumn<quint32>("ifType");
        const std::pair<int, quint32> table[] = {{ARPHRD_ETHER, 6},
                                                 {ARPHRD_LOOPBACK, 24},
                                                 {ARPHRD_TUNNEL, 131},
                                                 {ARPHRD_TUNNEL6, 131},
                                                 {ARPHRD_SIT, 131},
                                                 {ARPHRD_IPGRE, 131},
                                                 {ARPHRD_PPP, 23},
                                                 {ARPHRD_SLIP, 28},
                                                 {ARPHRD_CSLIP, 28},
                                                 {ARPHRD_SLIP6, 28},
                                                 {ARPHRD_CSLIP6, 28},
                                                 {ARPHRD_INFINIBAND, 199},
                                                 {ARPHRD_FDDI, 15},
                                                 {ARPHRD_ARCNET, 35},
                                                 {ARPHRD_LOCALTLK, 42},
                                                 {ARPHRD_HIPPI, 47},
                                                 {ARPHRD_ATM, 37},
                                                 {ARPHRD_NONE, 1},
                                                 {ARPHRD_IEEE80211_RADIOTAP, 1},
                                                 {0xFFFF, 1}};
        for (const auto& [arphrd, type] : table)
            QTest::addRow("ARPHRD %d", arphrd) << arphrd << type;
    }
    void ifType() {
        QFETCH(int, arphrd);
        QFETCH(quint32, ifType);
        QCOMPARE(ifTypeFromArphrd(static_cast<std::uint16_t>(arphrd)), ifType);
    }

    void ifSpeed_data() {
        QTest::addColumn<quint32>("mbps");
        QTest::addColumn<quint32>("gauge");
        QTest::newRow("unknown (0)") << 0u << 0u;
        QTest::newRow("unknown (all ones)") << 0xFFFFFFFFu << 0u;
        QTest::newRow("10 Mb/s") << 10u << 10000000u;
        QTest::newRow("1 Gb/s") << 1000u << 1000000000u;
        QTest::newRow("4294 Mb/s fits") << 4294u << 4294000000u;
        QTest::newRow("4295 Mb/s is capped") << 4295u << 4294967295u;
        QTest::newRow("10 Gb/s is capped") << 10000u << 4294967295u;
        QTest::newRow("400 Gb/s is capped") << 400000u << 4294967295u;
    }
    void ifSpeed() {
        QFETCH(quint32, mbps);
        QFETCH(quint32, gauge);
        QCOMPARE(ifSpeedFromMbps(mbps), gauge);
    }

    void rowValues_data() {
        QTest::addColumn<int>("arphrd");
        QTest::addColumn<quint32>("flags");
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<quint32>("speed");
        QTest::addColumn<QByteArray>("phys");
        QTest::addColumn<quint32>("admin");
        QTest::addColumn<quint32>("oper");

        const QByteArray mac("\x02\xfc\x00\x00\x00\x01", 6);
        QTest::newRow("ethernet up and running")
            << int(ARPHRD_ETHER) << quint32(IFF_UP | IFF_RUNNING) << mac << 0u << mac << 1u << 1u;
        QTest::newRow("up without carrier")
            << int(ARPHRD_ETHER) << quint32(IFF_UP) << mac << 0u << mac << 1u << 2u;
        QTest::newRow("running flag alone is down")
            << int(ARPHRD_ETHER) << quint32(IFF_RUNNING) << mac << 0u << mac << 2u << 2u;
        QTest::newRow("loopback: all-zero address is none, 10 Mb/s")
            << int(ARPHRD_LOOPBACK) << quint32(IFF_UP | IFF_RUNNING | IFF_LOOPBACK)
            << QByteArray(6, '\0') << 10000000u << QByteArray() << 1u << 1u;
        QTest::newRow("tun: no address")
            << int(ARPHRD_NONE) << 0u << QByteArray() << 0u << QByteArray() << 2u << 2u;
        QTest::newRow("4-octet tunnel address is padded")
            << int(ARPHRD_TUNNEL) << 0u << QByteArray("\x0a\x00\x00\x01", 4) << 0u
            << QByteArray("\x0a\x00\x00\x01\x00\x00", 6) << 2u << 2u;
        QTest::newRow("20-octet address keeps the first 6")
            << int(ARPHRD_INFINIBAND) << 0u
            << QByteArray("\x80\x01\x02\x03\x04\x05\x06\x07", 8) + QByteArray(12, '\x09') << 0u
            << QByteArray("\x80\x01\x02\x03\x04\x05", 6) << 2u << 2u;
    }
    void rowValues() {
        QFETCH(int, arphrd);
        QFETCH(quint32, flags);
        QFETCH(QByteArray, address);
        QFETCH(quint32, speed);
        QFETCH(QByteArray, phys);
        QFETCH(quint32, admin);
        QFETCH(quint32, oper);

        LinkInfo link;
        link.index = 3;
        link.arphrd = static_cast<std::uint16_t>(arphrd);
        link.flags = flags;
        link.address.assign(address.begin(), address.end());
        const IfRow row = rowFromLink(link);
        QCOMPARE(row.speed, speed);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(row.physAddress.data()), row.physLength),
                 phys);
        QCOMPARE(row.adminStatus, admin);
        QCOMPARE(row.operStatus, oper);
        const IfValue value = columnValue(row, 6);
        QCOMPARE(value.asnType, std::uint8_t{ASN_OCTETSTRING});
        QCOMPARE(value.octets.size(), std::size_t(phys.size()));
    }

    void counters() {
        LinkInfo link;
        link.index = 9;
        link.counters.rxBytes = 0x2'0000'0010ull;
        link.counters.txBytes = 0xFFFF'FFFFull;
        link.counters.rxPackets = 5;
        link.counters.multicast = 7; // more multicast than packets: wraps, as the kernel's do
        link.counters.rxDropped = 0xFFFF'FFFFull;
        link.counters.rxMissedErrors = 2;
        link.counters.rxErrors = 0x1'0000'0003ull;
        link.counters.txPackets = 11;
        link.counters.txDropped = 12;
        link.counters.txErrors = 13;
        const IfRow row = rowFromLink(link);
        const std::pair<std::uint32_t, std::uint32_t> expected[] = {
            {10, 0x10},        {11, 0xFFFFFFFEu}, {12, 7}, {13, 1},  {14, 3},  {15, 0},
            {16, 0xFFFFFFFFu}, {17, 11},          {18, 0}, {19, 12}, {20, 13}, {21, 0}};
        for (const auto& [column, number] : expected) {
            const IfValue v = columnValue(row, column);
            QCOMPARE(v.number, number);
            QCOMPARE(v.asnType, std::uint8_t(column == 21 ? ASN_GAUGE32 : ASN_COUNTER32));
        }
        QCOMPARE(columnValue(row, 9).asnType, std::uint8_t{ASN_TIMETICKS});
        QCOMPARE(columnValue(row, 5).asnType, std::uint8_t{ASN_GAUGE32});
        QCOMPARE(columnValue(row, 1).number, 9u);
    }

    // A statistics dump as the kernel lays it out: the counters of every link, in its order.
    void statsDump() {
        const auto stats = [](std::uint32_t index, std::uint64_t rx, std::size_t length) {
            QByteArray payload;
            if_stats_msg info{};
            info.ifindex = index;
            info.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
            payload.append(reinterpret_cast<const char*>(&info), sizeof info);
            rtnl_link_stats64 s{};
            s.rx_bytes = rx;
            s.tx_bytes = rx + 1;
            DumpBuilder::attr(payload, IFLA_STATS_LINK_64,
                              QByteArray(reinterpret_cast<const char*>(&s), qsizetype(length)));
            return payload;
        };
        std::vector<LinkCountersAt> links{{99, {}}}; // what a previous read left
        StatsDumpParser parser(0, links);
        const QByteArray dump = DumpBuilder()
                                    .message(RTM_NEWSTATS, NLM_F_MULTI, stats(3, 30, 200))
                                    .message(RTM_NEWSTATS, NLM_F_MULTI, stats(1, 10, 200))
                                    .done()
                                    .bytes();
        QCOMPARE(parser.feed(span(dump)), DumpStatus::Done);
        QCOMPARE(links.size(), std::size_t{2});
        QCOMPARE(links[0].index, 3u);
        QCOMPARE(links[0].counters.rxBytes, 30u);
        QCOMPARE(links[1].counters.txBytes, 11u);

        // Counters cut short cannot stand in for a link's: the dump fails, not a zero.
        StatsDumpParser shortOne(0, links);
        const QByteArray cut =
            DumpBuilder().message(RTM_NEWSTATS, NLM_F_MULTI, stats(1, 10, 16)).done().bytes();
        QCOMPARE(shortOne.feed(span(cut)), DumpStatus::Failed);
    }

    void countersOnlyForTheSameLinks_data() {
        QTest::addColumn<Arcs>("stats");
        QTest::addColumn<bool>("applied");
        QTest::newRow("same, kernel order") << Arcs{5, 1, 3} << true;
        QTest::newRow("one more") << Arcs{1, 3, 5, 6} << false;
        QTest::newRow("one fewer") << Arcs{1, 5} << false;
        QTest::newRow("one replaced") << Arcs{1, 4, 5} << false;
        QTest::newRow("repeated") << Arcs{1, 1, 5} << false;
    }

    void countersOnlyForTheSameLinks() {
        QFETCH(Arcs, stats);
        QFETCH(bool, applied);
        auto rows = rowsWithIndices({1, 3, 5});
        std::vector<LinkCountersAt> counters;
        for (std::uint32_t index : stats) {
            LinkCountersAt c;
            c.index = index;
            c.counters.rxBytes = 0x1'0000'0000ull + index * 100;
            c.counters.txPackets = index;
            counters.push_back(c);
        }
        QCOMPARE(applyCountersToRows(rows, counters), applied);
        for (const IfRow& row : rows) {
            QCOMPARE(row.inOctets, applied ? row.index * 100 : 0u);
            QCOMPARE(row.outUcastPkts, applied ? row.index : 0u);
        }
    }

    void rowsSortedAndUnique() {
        std::vector<LinkInfo> links(4);
        links[0].index = 7;
        links[0].name = "first7";
        links[1].index = 2;
        links[2].index = 7;
        links[2].name = "second7";
        links[3].index = 0;
        const auto rows = rowsFromLinks(links);
        QCOMPARE(rows.size(), std::size_t{2});
        QCOMPARE(rows[0].index, 2u);
        QCOMPARE(rows[1].descr, std::string("first7"));
    }

    void cellAfter_data() {
        QTest::addColumn<Arcs>("name");
        QTest::addColumn<int>("column"); // 0: none, end of the view
        QTest::addColumn<quint32>("index");

        const QString e = "1.3.6.1.2.1.2.2.1";
        const auto row = [](const QString& s) { return arcs(s); };
        QTest::newRow("empty name") << Arcs{} << 1 << 1u;
        QTest::newRow("zero") << Arcs{0} << 1 << 1u;
        QTest::newRow("iso") << row("1") << 1 << 1u;
        QTest::newRow("before mib-2") << row("1.3.6.1.2.0.9") << 1 << 1u;
        QTest::newRow("ifNumber") << row("1.3.6.1.2.1.2.1.0") << 1 << 1u;
        QTest::newRow("ifEntry") << row(e) << 1 << 1u;
        QTest::newRow("column 0 instance") << row(e + ".0.99") << 1 << 1u;
        QTest::newRow("column 1") << row(e + ".1") << 1 << 1u;
        QTest::newRow("after row 1") << row(e + ".1.1") << 1 << 3u;
        QTest::newRow("between rows") << row(e + ".1.2") << 1 << 3u;
        QTest::newRow("below a row, longer name") << row(e + ".4.3.0") << 4 << 7u;
        QTest::newRow("last row of a column") << row(e + ".1.7") << 2 << 1u;
        QTest::newRow("past the rows, longer name") << row(e + ".5.7.1") << 6 << 1u;
        QTest::newRow("largest index arc") << row(e + ".5.4294967295") << 6 << 1u;
        QTest::newRow("last cell") << row(e + ".21.7") << 0 << 0u;
        QTest::newRow("before the last cell") << row(e + ".21.6.99") << 21 << 7u;
        QTest::newRow("column 22") << row(e + ".22") << 0 << 0u;
        QTest::newRow("largest column arc") << row(e + ".4294967295") << 0 << 0u;
        QTest::newRow("after ifTable") << row("1.3.6.1.2.1.3") << 0 << 0u;
        QTest::newRow("all ones") << Arcs(12, 0xFFFFFFFFu) << 0 << 0u;
        QTest::newRow("second arc above") << row("1.4") << 0 << 0u;
        Arcs thousand = row(e + ".2.3");
        thousand.resize(1000, 0xFFFFFFFFu);
        QTest::newRow("1000 arcs") << thousand << 2 << 7u;
    }
    void cellAfter() {
        QFETCH(Arcs, name);
        QFETCH(int, column);
        QFETCH(quint32, index);
        const auto rows = rowsWithIndices({1, 3, 7});
        const auto cell = sorvane::agent::cellAfter(rows, name);
        if (column == 0) {
            QVERIFY(!cell);
            return;
        }
        QVERIFY(cell);
        QCOMPARE(int(cell->column), column);
        QCOMPARE(rows[cell->row].index, index);
        const auto answer = cellName(rows, *cell);
        QVERIFY(
            std::lexicographical_compare(name.begin(), name.end(), answer.begin(), answer.end()));
    }

    void noRowsNothingAfter() {
        const std::vector<IfRow> none;
        QVERIFY(!sorvane::agent::cellAfter(none, {}));
        QVERIFY(!sorvane::agent::cellAfter(none, arcs("1.3.6.1.2.1.2.2.1.1")));
        QVERIFY(!sorvane::agent::cellAt(none, arcs("1.3.6.1.2.1.2.2.1.1.1")));
    }

    void cellAt_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("column");
        QTest::newRow("exact") << "1.3.6.1.2.1.2.2.1.10.3" << 10;
        QTest::newRow("last column") << "1.3.6.1.2.1.2.2.1.21.7" << 21;
        QTest::newRow("missing index") << "1.3.6.1.2.1.2.2.1.10.4" << 0;
        QTest::newRow("column name only") << "1.3.6.1.2.1.2.2.1.10" << 0;
        QTest::newRow("longer than a cell") << "1.3.6.1.2.1.2.2.1.10.3.0" << 0;
        QTest::newRow("column 0") << "1.3.6.1.2.1.2.2.1.0.3" << 0;
        QTest::newRow("column 22") << "1.3.6.1.2.1.2.2.1.22.3" << 0;
        QTest::newRow("other table") << "1.3.6.1.2.1.2.3.1.10.3" << 0;
    }
    void cellAt() {
        QFETCH(QString, name);
        QFETCH(int, column);
        const auto rows = rowsWithIndices({1, 3, 7});
        const auto cell = sorvane::agent::cellAt(rows, arcs(name));
        QCOMPARE(cell ? int(cell->column) : 0, column);
        if (cell) QCOMPARE(rows[cell->row].index, 3u + 4u * (column == 21));
    }

    // Rows that appear and vanish between the steps of a walk never send it backwards, and
    // every walk ends.
    void walkOverChangingSnapshotsMovesForward() {
        std::mt19937 random(20240601);
        for (int walk = 0; walk < 50; ++walk) {
            Arcs name;
            int steps = 0;
            for (;;) {
                std::vector<IfRow> rows;
                for (std::uint32_t i = 1; i <= 12; ++i)
                    if (random() % 3 != 0) rows.push_back(rowsWithIndices({i})[0]);
                const auto cell = sorvane::agent::cellAfter(rows, name);
                if (!cell) break;
                const auto next = cellName(rows, *cell);
                QVERIFY(std::lexicographical_compare(name.begin(), name.end(), next.begin(),
                                                     next.end()));
                name.assign(next.begin(), next.end());
                QVERIFY(++steps <= 21 * 12);
            }
            QVERIFY(steps > 0);
        }
    }

    void lastChange() {
        LastChangeTracker tracker;
        const auto read = [&](std::vector<std::pair<std::uint32_t, std::uint32_t>> present,
                              std::uint32_t now) {
            std::vector<IfRow> rows;
            for (auto [index, oper] : present) {
                IfRow r;
                r.index = index;
                r.operStatus = oper;
                rows.push_back(r);
            }
            tracker.stamp(rows, now);
            QList<quint32> stamps;
            for (const IfRow& r : rows)
                stamps << r.lastChange;
            return stamps;
        };
        using L = QList<quint32>;
        QCOMPARE(read({{1, 1}, {2, 2}}, 500), L({0, 0}));                  // first read
        QCOMPARE(read({{1, 1}, {2, 1}, {3, 2}}, 600), L({0, 600, 600}));   // 2 changed, 3 new
        QCOMPARE(read({{1, 2}, {3, 2}}, 700), L({700, 600}));              // 1 changed, 2 gone
        QCOMPARE(read({{1, 2}, {2, 1}, {3, 2}}, 800), L({700, 800, 600})); // 2 is back: new
        QCOMPARE(read({{1, 2}, {2, 1}, {3, 2}}, 900), L({700, 800, 600})); // nothing changed
    }

    void refreshPolicy() {
        RefreshPolicy policy;
        const QString e = "1.3.6.1.2.1.2.2.1";
        struct Step {
            bool getNext;
            QString name;
            bool haveSnapshot;
            std::int64_t ageMs;
            bool read;
        };
        const Step steps[] = {
            {true, e + ".10", false, 0, true},   // nothing read yet
            {true, e + ".10.1", true, 5, false}, // within the walk
            {true, e + ".16", true, 6, false},   // next column of the same load
            {true, e + ".16.4", true, 999, false},
            {true, e + ".16.4", true, 1001, true}, // a walk that crawls reads afresh
            {true, e + ".10", true, 7, true},      // column at or below the last start: new load
            {true, e + ".16", true, 51, true},     // start of a column, snapshot too old
            {true, e + ".21", true, 0, false},
            {true, "", true, 0, true}, // a walk from the very beginning
            {false, e + ".10.1", true, 50, false},
            {false, e + ".10.1", true, 51, true},
            {false, e + ".10.1", false, 0, true},
        };
        int i = 0;
        for (const Step& s : steps) {
            const Arcs name = arcs(s.name);
            QVERIFY2(policy.needsRead(s.getNext, name, s.haveSnapshot, s.ageMs) == s.read,
                     qPrintable(QString("step %1").arg(i)));
            ++i;
        }
    }
};

QTEST_APPLESS_MAIN(TestIfTableSnapshot)
#include "tst_iftablesnapshot.moc"
