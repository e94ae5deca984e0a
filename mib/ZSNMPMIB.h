// Access to the MIB-II interface table of the local machine through an SNMP extension agent
// loaded in-process: the agent library walks the selected columns with GetNext requests and the
// result is a freshly built table, one row per interface in the agent's order.
#pragma once

#include "snmpabi.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The 21 columns of ifEntry; ordinal = column number - 1.
enum class TZSNMPMIBIFSelect : std::uint8_t {
    zifIndex,
    zifDescr,
    zifType,
    zifMtu,
    zifSpeed,
    zifPhysAddress,
    zifAdminStatus,
    zifOperStatus,
    zifLastChange,
    zifInOctets,
    zifInUcastPkts,
    zifInNUcastPkts,
    zifInDiscards,
    zifInErrors,
    zifInUnknownProtos,
    zifOutOctets,
    zifOutUcastPkts,
    zifOutNUcastPkts,
    zifOutDiscards,
    zifOutErrors,
    zifOutQLen,
};

inline constexpr int kZSNMPMIBIFColumnCount = 21;

// A column selection: bit n stands for the column of ordinal n.
class TZSNMPMIBIFSelectSet {
public:
    constexpr TZSNMPMIBIFSelectSet() = default;
    constexpr TZSNMPMIBIFSelectSet(std::initializer_list<TZSNMPMIBIFSelect> columns) {
        for (auto column : columns)
            Include(column);
    }
    static constexpr TZSNMPMIBIFSelectSet All() {
        TZSNMPMIBIFSelectSet set;
        set.FBits = kMask;
        return set;
    }

    constexpr void Include(TZSNMPMIBIFSelect column) { FBits |= bit(column); }
    constexpr void Exclude(TZSNMPMIBIFSelect column) { FBits &= ~bit(column); }
    constexpr bool Contains(TZSNMPMIBIFSelect column) const { return (FBits & bit(column)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr std::uint32_t Bits() const { return FBits; }
    friend constexpr bool operator==(TZSNMPMIBIFSelectSet, TZSNMPMIBIFSelectSet) = default;

private:
    static constexpr std::uint32_t kMask = (1u << kZSNMPMIBIFColumnCount) - 1;
    static constexpr std::uint32_t bit(TZSNMPMIBIFSelect column) {
        return (1u << static_cast<unsigned>(column)) & kMask;
    }
    std::uint32_t FBits = 0;
};

class TZSNMPMIBEntry {
public:
    virtual ~TZSNMPMIBEntry() = default;
    // The instance part of the row's names in dotted decimal (the ifIndex for ifTable).
    std::string Key;
};

// One interface. A column that was not loaded keeps 0 or an empty text.
class TZSNMPMIBIFEntry : public TZSNMPMIBEntry {
public:
    std::int32_t ifIndex = 0;
    std::string ifDescr; // one character per octet, a trailing zero octet included
    std::int32_t ifType = 0;
    std::int32_t ifMtu = 0;
    std::uint32_t ifSpeed = 0;
    std::string ifPhysAddress; // "00 A0 C9 14 C8 29"
    std::int32_t ifAdminStatus = 0;
    std::int32_t ifOperStatus = 0;
    std::uint32_t ifLastChange = 0;
    std::uint32_t ifInOctets = 0;
    std::uint32_t ifInUcastPkts = 0;
    std::uint32_t ifInNUcastPkts = 0;
    std::uint32_t ifInDiscards = 0;
    std::uint32_t ifInErrors = 0;
    std::uint32_t ifInUnknownProtos = 0;
    std::uint32_t ifOutOctets = 0;
    std::uint32_t ifOutUcastPkts = 0;
    std::uint32_t ifOutNUcastPkts = 0;
    std::uint32_t ifOutDiscards = 0;
    std::uint32_t ifOutErrors = 0;
    std::uint32_t ifOutQLen = 0;
};

// A growable owning list of rows, matched by key. Rows keep the order in which their keys
// were first named; finding or adding a row takes about constant time, so a table of many
// rows loads in time proportional to its size.
class TZSNMPMIBTable {
public:
    TZSNMPMIBTable() = default;
    virtual ~TZSNMPMIBTable() = default;
    TZSNMPMIBTable(const TZSNMPMIBTable&) = delete;
    TZSNMPMIBTable& operator=(const TZSNMPMIBTable&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    // The row at a position; nullptr outside 0 .. Count() - 1.
    TZSNMPMIBEntry* Items(int position) const;
    // The row whose key equals `key` ignoring letter case, appended if there is none.
    TZSNMPMIBEntry* FindOrAdd(std::string_view key);

protected:
    virtual std::unique_ptr<TZSNMPMIBEntry> NewEntry() const = 0;

private:
    std::vector<std::unique_ptr<TZSNMPMIBEntry>> FItems;
    // The position of each row by its key with A-Z folded to a-z.
    std::unordered_map<std::string, int> FPositions;
};

class TZSNMPMIBIFTable : public TZSNMPMIBTable {
public:
    TZSNMPMIBIFEntry* Items(int position) const {
        return static_cast<TZSNMPMIBIFEntry*>(TZSNMPMIBTable::Items(position));
    }
    TZSNMPMIBIFEntry* FindOrAdd(std::string_view key) {
        return static_cast<TZSNMPMIBIFEntry*>(TZSNMPMIBTable::FindOrAdd(key));
    }

protected:
    std::unique_ptr<TZSNMPMIBEntry> NewEntry() const override;
};

// Whatever gives interface tables: the agent below, or a scripted table in a test.
class TZIFTableLoader {
public:
    virtual ~TZIFTableLoader() = default;
    // A new table of the selected columns; the caller owns it. Rows come in the order in which
    // the lowest selected column names them.
    virtual std::unique_ptr<TZSNMPMIBIFTable> LoadIFTable(TZSNMPMIBIFSelectSet select) = 0;
    // Reads anew, into `table` (this loader's last loaded one), the two octet columns among
    // `columns` of the rows at `positions` alone. False, with the table then of no further use,
    // where that cannot stand for a whole load: the rows changed since, or any doubt.
    virtual bool RefreshCounters(TZSNMPMIBIFTable& table, std::span<const int> positions,
                                 TZSNMPMIBIFSelectSet columns) {
        (void)table, (void)positions, (void)columns;
        return false;
    }
};

// Loads the agent and the utility library at creation and unloads them at destruction. Ready
// is fixed at creation: any library or entry point missing, or an agent refusing its
// initialisation, leaves it false, silently, and every load then gives an empty table.
class TZSNMPMIB : public TZIFTableLoader {
public:
    // Both libraries from the executable's directory, else from the private folder they are
    // installed in, else by bare name from the system.
    TZSNMPMIB();
    // Both libraries from exactly these paths.
    TZSNMPMIB(const std::string& agentLibrary, const std::string& utilityLibrary);
    ~TZSNMPMIB() override;
    TZSNMPMIB(const TZSNMPMIB&) = delete;
    TZSNMPMIB& operator=(const TZSNMPMIB&) = delete;

    bool Ready() const { return FReady; }

    std::unique_ptr<TZSNMPMIBIFTable> LoadIFTable(TZSNMPMIBIFSelectSet select) override;
    // One Get for the octet cells of those rows; only with an agent that tells whether its
    // rows stayed the same since the last load.
    bool RefreshCounters(TZSNMPMIBIFTable& table, std::span<const int> positions,
                         TZSNMPMIBIFSelectSet columns) override;

    static constexpr const char* kAgentLibrary = "libinetmib1.so";
    static constexpr const char* kUtilityLibrary = "libsnmpapi.so";
    // Name buffers hold this many arcs; a longer name ends the walk of its column.
    static constexpr std::uint32_t kMaxNameArcs = 200;
    // A column walk ends after this many rows even if the agent keeps answering within it.
    static constexpr int kMaxWalkSteps = 8192;

private:
    void Initialise(const std::vector<std::string>& agentPaths,
                    const std::vector<std::string>& utilityPaths);
    void WalkColumn(std::uint32_t column, TZSNMPMIBIFTable& table);

    bool FReady = false;
    void* FAgentModule = nullptr;
    void* FUtilityModule = nullptr;
    SnmpExtensionInitFn FSnmpExtensionInit = nullptr;
    SnmpExtensionQueryFn FSnmpExtensionQuery = nullptr;
    SnmpUtilOidCpyFn FSnmpUtilOidCpy = nullptr;
    SnmpUtilMemAllocFn FSnmpUtilMemAlloc = nullptr;
    SnmpUtilVarBindFreeFn FSnmpUtilVarBindFree = nullptr;
    // The agent's count of full reads of its rows, where it has one, and its value when the
    // last load ended.
    std::uint64_t (*FRowsGeneration)() = nullptr;
    std::uint64_t FLoadedGeneration = 0;
    bool FLoaded = false;
};

// Where the program's own libraries are looked for, in order: beside the executable, in the
// private folder they are installed in, then by bare name from the system.
std::vector<std::string> ZSNMPMIBLibraryCandidates(const char* library);

// Stores one binding of a column walk in `table` (exposed for the tests of the conversion).
void ZSNMPMIBStoreBinding(TZSNMPMIBIFTable& table, const SnmpVarBind& binding);
