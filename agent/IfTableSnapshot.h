// The interface table as the agent serves it, built from the bytes of an rtnetlink link dump.
// Everything here is pure: it parses buffers and answers questions about a snapshot, so it can
// be fed recorded or hand-made bytes. Reading the kernel lives in KernelLinks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sorvane::agent {

inline constexpr std::uint32_t kColumnCount = 21;
// 1.3.6.1.2.1.2.2.1: ifEntry; a column adds one arc and a row one more.
inline constexpr std::array<std::uint32_t, 9> kIfEntryPrefix{1, 3, 6, 1, 2, 1, 2, 2, 1};
inline constexpr std::size_t kInstanceNameLength = 11;

struct LinkCounters {
    std::uint64_t rxPackets = 0, txPackets = 0, rxBytes = 0, txBytes = 0;
    std::uint64_t rxErrors = 0, txErrors = 0, rxDropped = 0, txDropped = 0;
    std::uint64_t multicast = 0, rxMissedErrors = 0;
};

// One link as an RTM_NEWLINK message describes it.
struct LinkInfo {
    std::uint32_t index = 0;
    std::uint16_t arphrd = 0;
    std::uint32_t flags = 0;
    std::uint32_t mtu = 0;
    std::string name;
    std::vector<std::uint8_t> address;
    LinkCounters counters;
};

enum class DumpStatus { More, Done, Failed };

// Collects the links of a dump that arrives as one or more datagrams. Malformed messages inside
// a well-framed datagram are skipped; broken framing or an error message fails the dump.
class LinkDumpParser {
public:
    // Messages of another sequence number than a nonzero `sequence` belong to some other
    // request and are skipped.
    explicit LinkDumpParser(std::uint32_t sequence = 0) : FSequence(sequence) {}
    DumpStatus feed(std::span<const std::uint8_t> datagram);
    // The kernel flags a dump that raced with a change; its content may be inconsistent.
    bool interrupted() const { return FInterrupted; }
    std::vector<LinkInfo> take() { return std::move(FLinks); }

private:
    void parseLink(std::span<const std::uint8_t> payload);

    std::uint32_t FSequence;
    std::vector<LinkInfo> FLinks;
    bool FInterrupted = false;
};

// The counters of one link as an RTM_NEWSTATS message gives them.
struct LinkCountersAt {
    std::uint32_t index = 0;
    LinkCounters counters;
};

// Collects the counters of a statistics dump into a list the caller keeps, so that reading
// again allocates nothing. A link whose message lacks the 64-bit counters fails the dump.
class StatsDumpParser {
public:
    // `single`: the answer to a request for one link, which is its message alone.
    StatsDumpParser(std::uint32_t sequence, std::vector<LinkCountersAt>& links, bool single = false)
        : FSequence(sequence), FLinks(links), FSingle(single) {
        FLinks.clear();
    }
    DumpStatus feed(std::span<const std::uint8_t> datagram);
    bool interrupted() const { return FInterrupted; }

private:
    bool parseStats(std::span<const std::uint8_t> payload);

    std::uint32_t FSequence;
    std::vector<LinkCountersAt>& FLinks;
    bool FSingle;
    bool FInterrupted = false;
};

// One row of ifTable, every value already in the form the agent hands out.
struct IfRow {
    std::uint32_t index = 0;
    std::string descr;
    std::uint32_t type = 1;
    std::uint32_t mtu = 0;
    std::uint32_t speed = 0;
    std::array<std::uint8_t, 6> physAddress{};
    std::uint8_t physLength = 0; // 0 or 6
    std::uint32_t adminStatus = 2, operStatus = 2, lastChange = 0;
    std::uint32_t inOctets = 0, inUcastPkts = 0, inNUcastPkts = 0, inDiscards = 0, inErrors = 0;
    std::uint32_t inUnknownProtos = 0, outOctets = 0, outUcastPkts = 0, outNUcastPkts = 0;
    std::uint32_t outDiscards = 0, outErrors = 0, outQLen = 0;
};

std::uint32_t ifTypeFromArphrd(std::uint16_t arphrd);
// An ethtool speed in Mb/s as a Gauge32 in b/s; unknown (0 or all ones) gives 0.
std::uint32_t ifSpeedFromMbps(std::uint32_t mbps);
// The row of one link. Ethernet speed is not in the dump: it stays 0 for the caller to fill.
IfRow rowFromLink(const LinkInfo& link);
// The counter columns of a row from the link's counters.
void applyCounters(IfRow& row, const LinkCounters& counters);
// New counters for rows that stay what they were: only when `counters` names exactly the
// indexes of `rows`, else the rows are left alone and the answer is false. Sorts `counters`.
bool applyCountersToRows(std::vector<IfRow>& rows, std::vector<LinkCountersAt>& counters);
// Rows in ascending index; a repeated index keeps its first link, index 0 is dropped.
std::vector<IfRow> rowsFromLinks(const std::vector<LinkInfo>& links);

// ifLastChange: rows present at the first read keep 0; a row that appears later, or whose
// ifOperStatus changes, gets the time of the read that first saw it. Holds only present rows.
class LastChangeTracker {
public:
    void stamp(std::vector<IfRow>& rows, std::uint32_t nowTicks);

private:
    struct Seen {
        std::uint32_t index, operStatus, lastChange;
    };
    std::vector<Seen> FSeen; // ascending index
    bool FStarted = false;
};

struct IfValue {
    std::uint8_t asnType;
    std::uint32_t number;                 // all but the two octet-string columns
    std::span<const std::uint8_t> octets; // ifDescr, ifPhysAddress
};
IfValue columnValue(const IfRow& row, std::uint32_t column);

// A cell of the table: column 1..21 and a position in the rows.
struct IfCell {
    std::uint32_t column;
    std::size_t row;
};
// The first cell whose name comes strictly after `name` in arc order; none past the table.
std::optional<IfCell> cellAfter(const std::vector<IfRow>& rows,
                                std::span<const std::uint32_t> name);
// The cell named exactly by `name`.
std::optional<IfCell> cellAt(const std::vector<IfRow>& rows, std::span<const std::uint32_t> name);
std::array<std::uint32_t, kInstanceNameLength> cellName(const std::vector<IfRow>& rows,
                                                        IfCell cell);

// When to read the kernel again. A GetNext whose name holds no row instance starts a column walk
// (column 0 when it starts before ifEntry): the loads of the program walk their columns in
// ascending order, so a start at or below the previous start begins a new load. Within a load
// the snapshot is shared; a walk that crawls on for longer than a second reads afresh.
struct RefreshPolicy {
    static constexpr std::int64_t kWalkStartMaxAgeMs = 50;
    static constexpr std::int64_t kGetMaxAgeMs = 50;
    static constexpr std::int64_t kMidWalkMaxAgeMs = 1000;

    // Decides for one request, and remembers a walk start.
    bool needsRead(bool isGetNext, std::span<const std::uint32_t> name, bool haveSnapshot,
                   std::int64_t ageMs);

private:
    std::uint32_t FLastWalkStart = 0;
};

} // namespace sorvane::agent
