// The extension agent: Get and GetNext over ifTable of the local machine.
//
// The library has no handle to hang state on, so its state is one process-wide object behind a
// mutex: the latest snapshot of the links, the ifLastChange history and the time reference.
// Every answer comes from one sorted snapshot and depends only on the name asked for, never on
// a cursor, so links that come and go between requests cannot send a walk backwards.
#include "AgentStats.h"
#include "IfTableSnapshot.h"
#include "KernelLinks.h"
#include "snmpabi.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

namespace {

using namespace sorvane::agent;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kGenErr = 5; // SNMPv1 genErr: the request could not be served at all
constexpr std::array<std::uint32_t, 8> kSupportedView{1, 3, 6, 1, 2, 1, 2, 2}; // ifTable

struct AgentState {
    std::mutex lock;
    bool started = false;
    Clock::time_point timeZero;
    std::int64_t ticksAtTimeZero = 0;

    LinkReader kernel;
    std::vector<IfRow> rows;
    bool haveSnapshot = false;
    bool speedsFilled = false;
    Clock::time_point readAt;
    RefreshPolicy policy;
    LastChangeTracker lastChange;
    std::vector<LinkCountersAt> counters; // kept: a counters read allocates nothing
    // Some rows' counters were read alone since the last read of every row.
    bool countersPartial = false;
    std::atomic<std::uint64_t> dumps{0};
    std::atomic<std::uint64_t> linkDumps{0};
};

AgentState& agent() {
    static AgentState state;
    return state;
}

// Centiseconds since the time reference; TimeTicks wrap modulo 2^32.
std::uint32_t ticksNow(const AgentState& s) {
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s.timeZero);
    return static_cast<std::uint32_t>(s.ticksAtTimeZero + since.count() / 10);
}

void start(AgentState& s, std::uint32_t timeZeroReference) {
    s.started = true;
    s.timeZero = Clock::now();
    // The reference is whole seconds of the wall clock; a missing (0) or future one makes the
    // start of the agent the reference instead.
    const auto wallCs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count() /
                        10;
    const std::int64_t referenceCs = std::int64_t{timeZeroReference} * 100;
    s.ticksAtTimeZero = timeZeroReference != 0 && wallCs >= referenceCs ? wallCs - referenceCs : 0;
}

// Between changes of the links only their counters move: those alone are read then, and the
// rest of every row is the last full dump's, which is what a full dump would give again. Any
// announced change, a different set of links or a counters read that fails reads in full.
bool readCounters(AgentState& s) {
    if (!s.haveSnapshot || !s.kernel.counters(s.counters)) return false;
    // Asked after the counters, so a change made before them is seen now, not a read later.
    if (s.kernel.linksChanged()) return false;
    return applyCountersToRows(s.rows, s.counters);
}

bool readKernel(AgentState& s) {
    s.dumps.fetch_add(1, std::memory_order_relaxed);
    s.countersPartial = false;
    if (readCounters(s)) {
        // Same links, same status: ifLastChange stands as it was.
        s.readAt = Clock::now();
        s.speedsFilled = false;
        return true;
    }
    // Announcements up to now are covered by the dump that follows.
    s.kernel.linksChanged();
    auto links = s.kernel.dump();
    s.linkDumps.fetch_add(1, std::memory_order_relaxed);
    if (!links) {
        s.haveSnapshot = false;
        return false;
    }
    s.rows = rowsFromLinks(*links);
    s.lastChange.stamp(s.rows, ticksNow(s));
    s.readAt = Clock::now();
    s.haveSnapshot = true;
    s.speedsFilled = false;
    return true;
}

std::span<const std::uint32_t> nameOf(const SnmpVarBind& binding) {
    if (binding.name.ids == nullptr) return {};
    return {binding.name.ids, binding.name.idLength};
}

// The row a Get names in one of the two octet columns (1.3.6.1.2.1.2.2.1.10 or .16 and the
// ifIndex); none for any other name.
std::optional<std::uint32_t> octetCellIndex(std::span<const std::uint32_t> name) {
    if (name.size() != kInstanceNameLength ||
        !std::equal(kIfEntryPrefix.begin(), kIfEntryPrefix.end(), name.begin()))
        return std::nullopt;
    if (name[9] != 10 && name[9] != 16) return std::nullopt;
    return name[10];
}

// A Get of octet cells only (what the program asks each tick between walks): just those rows'
// counters are read, one small answer each instead of every link's. The rest of the snapshot
// is then older than it looks, so the next other request reads in full. Any doubt (a row not
// in the snapshot, a failed read, an announced change of the links) reads in full instead.
bool readRowCounters(AgentState& s, const SnmpVarBindList& bindings) {
    if (!s.haveSnapshot) return false;
    std::array<std::uint32_t, 8> done{};
    std::size_t doneCount = 0;
    for (std::uint32_t i = 0; i < bindings.len; ++i) {
        const auto index = octetCellIndex(nameOf(bindings.list[i]));
        if (!index) return false;
        if (std::find(done.begin(), done.begin() + doneCount, *index) != done.begin() + doneCount)
            continue;
        if (doneCount == done.size()) return false;
        done[doneCount++] = *index;
        const auto row = std::find_if(s.rows.begin(), s.rows.end(),
                                      [&](const IfRow& r) { return r.index == *index; });
        if (row == s.rows.end() || !s.kernel.countersOf(*index, s.counters)) return false;
        applyCounters(*row, s.counters.front().counters);
    }
    if (s.kernel.linksChanged()) return false;
    s.dumps.fetch_add(1, std::memory_order_relaxed);
    s.countersPartial = true;
    s.readAt = Clock::now();
    return true;
}

// The speed is not in the dump and costs a query per link: only asked when a request needs it.
void fillSpeeds(AgentState& s) {
    if (s.speedsFilled) return;
    for (IfRow& row : s.rows)
        if (row.type == 6) row.speed = ifSpeedFromMbps(s.kernel.speedMbps(row.descr));
    s.speedsFilled = true;
}

// Same allocator as SnmpUtilMemAlloc/SnmpUtilVarBindFree, so the caller can release what the
// agent stores with the utility library.
void* allocate(std::size_t bytes) {
    return std::calloc(1, bytes == 0 ? 1 : bytes);
}

void releaseValue(AsnAny& value) {
    if (value.asnType == ASN_OCTETSTRING && value.asnValue.string.dynamic)
        std::free(value.asnValue.string.stream);
    else if (value.asnType == ASN_OBJECTIDENTIFIER)
        std::free(value.asnValue.object.ids);
    std::memset(&value, 0, sizeof value);
    value.asnType = ASN_NULL;
}

// Builds the answer aside first, so a failed allocation leaves the binding as it was.
bool storeCell(const AgentState& s, SnmpVarBind& binding, IfCell cell) {
    const auto name = cellName(s.rows, cell);
    const IfValue value = columnValue(s.rows[cell.row], cell.column);

    auto* ids = static_cast<std::uint32_t*>(allocate(sizeof name));
    if (ids == nullptr) return false;
    std::memcpy(ids, name.data(), sizeof name);

    AsnAny any{};
    any.asnType = value.asnType;
    if (value.asnType == ASN_OCTETSTRING) {
        if (!value.octets.empty()) {
            auto* stream = static_cast<std::uint8_t*>(allocate(value.octets.size()));
            if (stream == nullptr) {
                std::free(ids);
                return false;
            }
            std::memcpy(stream, value.octets.data(), value.octets.size());
            any.asnValue.string = {stream, static_cast<std::uint32_t>(value.octets.size()), 1};
        }
    } else {
        any.asnValue.unsigned32 = value.number;
    }

    std::free(binding.name.ids);
    binding.name = {static_cast<std::uint32_t>(name.size()), ids};
    releaseValue(binding.value);
    binding.value = any;
    return true;
}

std::int32_t query(std::uint8_t requestType, SnmpVarBindList* bindings, std::int32_t* errorStatus,
                   std::int32_t* errorIndex) {
    *errorStatus = SNMP_ERRORSTATUS_NOERROR;
    *errorIndex = 0;
    const bool isGetNext = requestType == SNMP_PDU_GETNEXT;
    if (bindings == nullptr || (requestType != SNMP_PDU_GET && !isGetNext) ||
        (bindings->len > 0 && bindings->list == nullptr)) {
        *errorStatus = kGenErr;
        return 0;
    }
    if (bindings->len == 0) return 1;

    AgentState& s = agent();
    const std::lock_guard guard(s.lock);
    if (!s.started) start(s, 0);

    const auto age =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s.readAt).count();
    bool read = false;
    bool octetsOnly = !isGetNext;
    for (std::uint32_t i = 0; i < bindings->len; ++i) {
        read |= s.policy.needsRead(isGetNext, nameOf(bindings->list[i]), s.haveSnapshot, age);
        octetsOnly = octetsOnly && octetCellIndex(nameOf(bindings->list[i])).has_value();
    }
    // A Get of octet cells alone is the program's load between walks: always read afresh.
    if (octetsOnly || (s.countersPartial && bindings->len > 0)) read = true;
    if (read && !(octetsOnly && readRowCounters(s, *bindings)) && !readKernel(s)) {
        *errorStatus = kGenErr;
        *errorIndex = 1;
        return 0;
    }

    for (std::uint32_t i = 0; i < bindings->len; ++i) {
        SnmpVarBind& binding = bindings->list[i];
        const auto cell =
            isGetNext ? cellAfter(s.rows, nameOf(binding)) : cellAt(s.rows, nameOf(binding));
        if (!cell) {
            *errorStatus = SNMP_ERRORSTATUS_NOSUCHNAME;
            *errorIndex = static_cast<std::int32_t>(i + 1);
            return 1;
        }
        if (cell->column == 5) fillSpeeds(s);
        if (!storeCell(s, binding, *cell)) {
            *errorStatus = kGenErr;
            *errorIndex = static_cast<std::int32_t>(i + 1);
            return 0;
        }
    }
    return 1;
}

} // namespace

extern "C" {

// A second component initialising the same loaded library keeps the first reference, so the
// ifLastChange values it has handed out keep their meaning.
SNMPABI_EXPORT int32_t SnmpExtensionInit(uint32_t timeZeroReference, void** trapEvent,
                                         AsnObjectIdentifier* supportedView) {
    try {
        if (trapEvent != nullptr) *trapEvent = nullptr;
        if (supportedView != nullptr) // static arcs: not the caller's to free
            *supportedView = {static_cast<std::uint32_t>(kSupportedView.size()),
                              const_cast<std::uint32_t*>(kSupportedView.data())};
        AgentState& s = agent();
        const std::lock_guard guard(s.lock);
        if (!s.started) start(s, timeZeroReference);
        // Serve the network namespace of the caller from now on.
        s.kernel.reopen();
        s.haveSnapshot = false;
        return 1;
    } catch (...) {
        return 0;
    }
}

SNMPABI_EXPORT int32_t SnmpExtensionQuery(uint8_t requestType, SnmpVarBindList* bindings,
                                          int32_t* errorStatus, int32_t* errorIndex) {
    if (errorStatus == nullptr || errorIndex == nullptr) return 0;
    try {
        return query(requestType, bindings, errorStatus, errorIndex);
    } catch (...) {
        *errorStatus = kGenErr;
        return 0;
    }
}

SNMPABI_EXPORT uint64_t sorvane_agent_dump_count(void) {
    try {
        return agent().dumps.load(std::memory_order_relaxed);
    } catch (...) {
        return 0;
    }
}

SNMPABI_EXPORT uint64_t sorvane_agent_link_dump_count(void) {
    try {
        return agent().linkDumps.load(std::memory_order_relaxed);
    } catch (...) {
        return 0;
    }
}

} // extern "C"
