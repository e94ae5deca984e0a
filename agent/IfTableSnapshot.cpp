#include "IfTableSnapshot.h"

#include "snmpabi.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

namespace sorvane::agent {

namespace {

// Netlink data carries no alignment promise a C++ object could rely on: copy, never cast.
template <typename T> T readStruct(std::span<const std::uint8_t> bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), std::min(sizeof(T), bytes.size()));
    return value;
}

constexpr std::size_t align4(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

LinkCounters countersFrom(const rtnl_link_stats64& s) {
    return {s.rx_packets, s.tx_packets, s.rx_bytes,   s.tx_bytes,  s.rx_errors,
            s.tx_errors,  s.rx_dropped, s.tx_dropped, s.multicast, s.rx_missed_errors};
}

LinkCounters countersFrom(const rtnl_link_stats& s) {
    return {s.rx_packets, s.tx_packets, s.rx_bytes,   s.tx_bytes,  s.rx_errors,
            s.tx_errors,  s.rx_dropped, s.tx_dropped, s.multicast, s.rx_missed_errors};
}

} // namespace

namespace {

// The messages of one dump datagram in turn: those of another request skipped, the end and
// errors reported, each message of type `type` handed to take (false from take: failed).
template <typename Take>
DumpStatus FeedDump(std::span<const std::uint8_t> datagram, std::uint32_t sequence,
                    std::uint16_t type, bool& interrupted, Take take) {
    std::size_t offset = 0;
    while (datagram.size() - offset >= sizeof(nlmsghdr)) {
        const auto rest = datagram.subspan(offset);
        const auto header = readStruct<nlmsghdr>(rest);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > rest.size())
            return DumpStatus::Failed;
        const std::size_t next = std::min(align4(header.nlmsg_len), rest.size());
        if (sequence != 0 && header.nlmsg_seq != sequence) {
            offset += next;
            continue;
        }
        if (header.nlmsg_flags & NLM_F_DUMP_INTR) interrupted = true;
        if (header.nlmsg_type == NLMSG_DONE) return DumpStatus::Done;
        if (header.nlmsg_type == NLMSG_ERROR) return DumpStatus::Failed;
        if (header.nlmsg_type == type &&
            !take(rest.subspan(sizeof(nlmsghdr), header.nlmsg_len - sizeof(nlmsghdr))))
            return DumpStatus::Failed;
        offset += next;
    }
    return DumpStatus::More;
}

} // namespace

DumpStatus LinkDumpParser::feed(std::span<const std::uint8_t> datagram) {
    return FeedDump(datagram, FSequence, RTM_NEWLINK, FInterrupted,
                    [this](std::span<const std::uint8_t> payload) {
                        parseLink(payload);
                        return true;
                    });
}

void LinkDumpParser::parseLink(std::span<const std::uint8_t> payload) {
    if (payload.size() < sizeof(ifinfomsg)) return;
    const auto info = readStruct<ifinfomsg>(payload);
    if (info.ifi_index <= 0) return;

    LinkInfo link;
    link.index = static_cast<std::uint32_t>(info.ifi_index);
    link.arphrd = info.ifi_type;
    link.flags = info.ifi_flags;
    bool haveStats64 = false;

    auto attrs = payload.subspan(std::min(align4(sizeof(ifinfomsg)), payload.size()));
    while (attrs.size() >= sizeof(rtattr)) {
        const auto attr = readStruct<rtattr>(attrs);
        if (attr.rta_len < sizeof(rtattr) || attr.rta_len > attrs.size()) break;
        const auto data = attrs.subspan(sizeof(rtattr), attr.rta_len - sizeof(rtattr));
        switch (attr.rta_type & NLA_TYPE_MASK) {
        case IFLA_IFNAME: {
            const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
            link.name.assign(data.begin(), end);
            break;
        }
        case IFLA_MTU:
            if (data.size() >= sizeof(std::uint32_t)) link.mtu = readStruct<std::uint32_t>(data);
            break;
        case IFLA_ADDRESS:
            link.address.assign(data.begin(), data.end());
            break;
        case IFLA_STATS64:
            link.counters = countersFrom(readStruct<rtnl_link_stats64>(data));
            haveStats64 = true;
            break;
        case IFLA_STATS:
            if (!haveStats64) link.counters = countersFrom(readStruct<rtnl_link_stats>(data));
            break;
        default:
            break;
        }
        attrs = attrs.subspan(std::min(align4(attr.rta_len), attrs.size()));
    }
    FLinks.push_back(std::move(link));
}

DumpStatus StatsDumpParser::feed(std::span<const std::uint8_t> datagram) {
    const DumpStatus status =
        FeedDump(datagram, FSequence, RTM_NEWSTATS, FInterrupted,
                 [this](std::span<const std::uint8_t> payload) { return parseStats(payload); });
    // One link's answer has no closing message.
    if (FSingle && status == DumpStatus::More && !FLinks.empty()) return DumpStatus::Done;
    return status;
}

bool StatsDumpParser::parseStats(std::span<const std::uint8_t> payload) {
    // A message without its counters cannot stand in for the link's: the caller reads in full.
    if (payload.size() < sizeof(if_stats_msg)) return false;
    const auto info = readStruct<if_stats_msg>(payload);
    if (info.ifindex == 0) return true; // never a row
    auto attrs = payload.subspan(std::min(align4(sizeof(if_stats_msg)), payload.size()));
    while (attrs.size() >= sizeof(rtattr)) {
        const auto attr = readStruct<rtattr>(attrs);
        if (attr.rta_len < sizeof(rtattr) || attr.rta_len > attrs.size()) break;
        const auto data = attrs.subspan(sizeof(rtattr), attr.rta_len - sizeof(rtattr));
        if ((attr.rta_type & NLA_TYPE_MASK) == IFLA_STATS_LINK_64 &&
            data.size() >= offsetof(rtnl_link_stats64, rx_nohandler)) {
            FLinks.push_back({info.ifindex, countersFrom(readStruct<rtnl_link_stats64>(data))});
            return true;
        }
        attrs = attrs.subspan(std::min(align4(attr.rta_len), attrs.size()));
    }
    return false;
}

bool applyCountersToRows(std::vector<IfRow>& rows, std::vector<LinkCountersAt>& counters) {
    if (counters.size() != rows.size()) return false;
    std::sort(counters.begin(), counters.end(),
              [](const LinkCountersAt& a, const LinkCountersAt& b) { return a.index < b.index; });
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (counters[i].index != rows[i].index) return false;
    for (std::size_t i = 0; i < rows.size(); ++i)
        applyCounters(rows[i], counters[i].counters);
    return true;
}

std::uint32_t ifTypeFromArphrd(std::uint16_t arphrd) {
    switch (arphrd) {
    case ARPHRD_ETHER:
        return 6;
    case ARPHRD_LOOPBACK:
        return 24;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
        return 131;
    case ARPHRD_PPP:
        return 23;
    case ARPHRD_SLIP:
    case ARPHRD_CSLIP:
    case ARPHRD_SLIP6:
    case ARPHRD_CSLIP6:
        return 28;
    case ARPHRD_INFINIBAND:
        return 199;
    case ARPHRD_FDDI:
        return 15;
    case ARPHRD_ARCNET:
        return 35;
    case ARPHRD_LOCALTLK:
        return 42;
    case ARPHRD_HIPPI:
        return 47;
    case ARPHRD_ATM:
        return 37;
    default:
        return 1;
    }
}

std::uint32_t ifSpeedFromMbps(std::uint32_t mbps) {
    if (mbps == 0 || mbps == std::numeric_limits<std::uint32_t>::max()) return 0;
    const std::uint64_t bps = std::uint64_t{mbps} * 1000000u;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(bps, std::numeric_limits<std::uint32_t>::max()));
}

void applyCounters(IfRow& row, const LinkCounters& c) {
    // Counters are the low 32 bits of the kernel's; the casts below are the modulo.
    row.inOctets = static_cast<std::uint32_t>(c.rxBytes);
    row.inUcastPkts = static_cast<std::uint32_t>(c.rxPackets - c.multicast);
    row.inNUcastPkts = static_cast<std::uint32_t>(c.multicast);
    row.inDiscards = static_cast<std::uint32_t>(c.rxDropped + c.rxMissedErrors);
    row.inErrors = static_cast<std::uint32_t>(c.rxErrors);
    row.outOctets = static_cast<std::uint32_t>(c.txBytes);
    row.outUcastPkts = static_cast<std::uint32_t>(c.txPackets);
    row.outDiscards = static_cast<std::uint32_t>(c.txDropped);
    row.outErrors = static_cast<std::uint32_t>(c.txErrors);
}

IfRow rowFromLink(const LinkInfo& link) {
    IfRow row;
    row.index = link.index;
    row.descr = link.name;
    row.type = ifTypeFromArphrd(link.arphrd);
    row.mtu = link.mtu;
    row.speed = row.type == 24 ? 10000000u : 0u;

    const std::size_t taken = std::min<std::size_t>(link.address.size(), 6);
    std::copy_n(link.address.begin(), taken, row.physAddress.begin());
    const bool allZero =
        std::all_of(row.physAddress.begin(), row.physAddress.end(), [](auto b) { return b == 0; });
    row.physLength = allZero ? 0 : 6;
    if (allZero) row.physAddress.fill(0);

    const bool up = link.flags & IFF_UP;
    row.adminStatus = up ? 1 : 2;
    row.operStatus = up && (link.flags & IFF_RUNNING) ? 1 : 2;

    applyCounters(row, link.counters);
    return row;
}

std::vector<IfRow> rowsFromLinks(const std::vector<LinkInfo>& links) {
    std::vector<IfRow> rows;
    rows.reserve(links.size());
    for (const LinkInfo& link : links)
        if (link.index != 0) rows.push_back(rowFromLink(link));
    std::stable_sort(rows.begin(), rows.end(),
                     [](const IfRow& a, const IfRow& b) { return a.index < b.index; });
    rows.erase(std::unique(rows.begin(), rows.end(),
                           [](const IfRow& a, const IfRow& b) { return a.index == b.index; }),
               rows.end());
    return rows;
}

void LastChangeTracker::stamp(std::vector<IfRow>& rows, std::uint32_t nowTicks) {
    std::vector<Seen> seen;
    seen.reserve(rows.size());
    for (IfRow& row : rows) {
        if (!FStarted) {
            row.lastChange = 0;
        } else {
            const auto it = std::lower_bound(
                FSeen.begin(), FSeen.end(), row.index,
                [](const Seen& s, std::uint32_t index) { return s.index < index; });
            const bool known = it != FSeen.end() && it->index == row.index;
            row.lastChange = known && it->operStatus == row.operStatus ? it->lastChange : nowTicks;
        }
        seen.push_back({row.index, row.operStatus, row.lastChange});
    }
    FSeen = std::move(seen);
    FStarted = true;
}

IfValue columnValue(const IfRow& row, std::uint32_t column) {
    switch (column) {
    case 1:
        return {ASN_INTEGER, row.index, {}};
    case 2:
        return {ASN_OCTETSTRING,
                0,
                {reinterpret_cast<const std::uint8_t*>(row.descr.data()), row.descr.size()}};
    case 3:
        return {ASN_INTEGER, row.type, {}};
    case 4:
        return {ASN_INTEGER, row.mtu, {}};
    case 5:
        return {ASN_GAUGE32, row.speed, {}};
    case 6:
        return {ASN_OCTETSTRING, 0, {row.physAddress.data(), row.physLength}};
    case 7:
        return {ASN_INTEGER, row.adminStatus, {}};
    case 8:
        return {ASN_INTEGER, row.operStatus, {}};
    case 9:
        return {ASN_TIMETICKS, row.lastChange, {}};
    case 10:
        return {ASN_COUNTER32, row.inOctets, {}};
    case 11:
        return {ASN_COUNTER32, row.inUcastPkts, {}};
    case 12:
        return {ASN_COUNTER32, row.inNUcastPkts, {}};
    case 13:
        return {ASN_COUNTER32, row.inDiscards, {}};
    case 14:
        return {ASN_COUNTER32, row.inErrors, {}};
    case 15:
        return {ASN_COUNTER32, row.inUnknownProtos, {}};
    case 16:
        return {ASN_COUNTER32, row.outOctets, {}};
    case 17:
        return {ASN_COUNTER32, row.outUcastPkts, {}};
    case 18:
        return {ASN_COUNTER32, row.outNUcastPkts, {}};
    case 19:
        return {ASN_COUNTER32, row.outDiscards, {}};
    case 20:
        return {ASN_COUNTER32, row.outErrors, {}};
    default:
        return {ASN_GAUGE32, row.outQLen, {}};
    }
}

std::optional<IfCell> cellAfter(const std::vector<IfRow>& rows,
                                std::span<const std::uint32_t> name) {
    if (rows.empty()) return std::nullopt;
    const IfCell first{1, 0};
    const std::size_t common = std::min(name.size(), kIfEntryPrefix.size());
    for (std::size_t i = 0; i < common; ++i)
        if (name[i] != kIfEntryPrefix[i])
            return name[i] < kIfEntryPrefix[i] ? std::optional(first) : std::nullopt;
    if (name.size() <= kIfEntryPrefix.size()) return first; // a prefix of every cell's name

    const std::uint32_t column = name[9];
    if (column == 0) return first;
    if (column > kColumnCount) return std::nullopt;
    if (name.size() == 10) return IfCell{column, 0};

    // Any name with this column and index precedes or equals name[..10]; the next cell has a
    // larger index in this column, or is the first of the next column.
    const auto next =
        std::upper_bound(rows.begin(), rows.end(), name[10],
                         [](std::uint32_t index, const IfRow& row) { return index < row.index; });
    if (next != rows.end()) return IfCell{column, static_cast<std::size_t>(next - rows.begin())};
    if (column < kColumnCount) return IfCell{column + 1, 0};
    return std::nullopt;
}

std::optional<IfCell> cellAt(const std::vector<IfRow>& rows, std::span<const std::uint32_t> name) {
    if (name.size() != kInstanceNameLength) return std::nullopt;
    if (!std::equal(kIfEntryPrefix.begin(), kIfEntryPrefix.end(), name.begin()))
        return std::nullopt;
    const std::uint32_t column = name[9];
    if (column == 0 || column > kColumnCount) return std::nullopt;
    const auto it =
        std::lower_bound(rows.begin(), rows.end(), name[10],
                         [](const IfRow& row, std::uint32_t index) { return row.index < index; });
    if (it == rows.end() || it->index != name[10]) return std::nullopt;
    return IfCell{column, static_cast<std::size_t>(it - rows.begin())};
}

std::array<std::uint32_t, kInstanceNameLength> cellName(const std::vector<IfRow>& rows,
                                                        IfCell cell) {
    std::array<std::uint32_t, kInstanceNameLength> name{};
    std::copy(kIfEntryPrefix.begin(), kIfEntryPrefix.end(), name.begin());
    name[9] = cell.column;
    name[10] = rows[cell.row].index;
    return name;
}

bool RefreshPolicy::needsRead(bool isGetNext, std::span<const std::uint32_t> name,
                              bool haveSnapshot, std::int64_t ageMs) {
    if (!isGetNext) return !haveSnapshot || ageMs > kGetMaxAgeMs;
    if (name.size() >= kInstanceNameLength) return !haveSnapshot || ageMs > kMidWalkMaxAgeMs;

    const bool inEntry =
        name.size() == 10 && std::equal(kIfEntryPrefix.begin(), kIfEntryPrefix.end(), name.begin());
    const std::uint32_t start = inEntry ? std::min(name[9], kColumnCount + 1) : 0;
    const bool newLoad = start <= FLastWalkStart;
    FLastWalkStart = start;
    return !haveSnapshot || newLoad || ageMs > kWalkStartMaxAgeMs;
}

} // namespace sorvane::agent
