// Data series fed from one counter column of one interface, and the interface table they share.
//
// All sources of one TZSNMPMIBSharedTable share one table loader (the MIB access component,
// made with the first source and freed with the last) and one interface table. Refresh reloads
// the table once per tick for exactly the columns that live sources selected; each source then
// hands the graph the growth of its counter since the previous tick, modulo 2^32, so a counter
// wrap never shows as a spike.
//
// Calling order: create the sources, Select, then Choice; Refresh, then PrimeReading on each;
// per tick Refresh, then the graph's Advance.
#pragma once

#include "ZPerformanceSource.h"
#include "ZSNMPMIB.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TZPerformanceSourceSNMPMIB;

class TZSNMPMIBSharedTable {
public:
    using TLoaderFactory = std::function<std::unique_ptr<TZIFTableLoader>()>;
    // The factory makes the loader when the first source arrives; without one, the agent
    // beside the executable (TZSNMPMIB).
    explicit TZSNMPMIBSharedTable(TLoaderFactory factory = {});
    ~TZSNMPMIBSharedTable();
    TZSNMPMIBSharedTable(const TZSNMPMIBSharedTable&) = delete;
    TZSNMPMIBSharedTable& operator=(const TZSNMPMIBSharedTable&) = delete;

    // Loads the table anew for the registered columns; does nothing while no source lives.
    // While only the octet columns (and the descriptions) are registered and the agent's rows
    // stay the same, only the rows the sources read are read again, in place: the other rows
    // then keep their counters of the last whole load.
    void Refresh();
    // The table of the last Refresh; null before the first or while no source lives.
    const TZSNMPMIBIFTable* Table() const { return FTable.get(); }
    int UsageCount() const { return FUsageCount; }
    // Whether the last Refresh loaded the whole table, not some rows in place.
    bool WholeLoad() const { return FWholeLoad; }
    TZSNMPMIBIFSelectSet ColumnSelection() const { return FColumnSelection; }

    // Columns loaded for a reader other than a source (the window's readout, following an
    // interface by name); counted like the sources' own, so each Register needs a Withdraw.
    void RegisterColumn(TZSNMPMIBIFSelect column);
    void WithdrawColumn(TZSNMPMIBIFSelect column);

    // Loads from then on through loaders of this factory instead (another machine's agent);
    // an empty one goes back to the first. The table of the old loader is gone at once.
    void SetLoaderOverride(TLoaderFactory factory);
    bool Overridden() const { return static_cast<bool>(FOverride); }

    // This machine's interface descriptions in the agent's order, from a loader of their own
    // made and freed for this one load.
    std::vector<std::string> LoadInterfaceDescriptions() const;

private:
    friend class TZPerformanceSourceSNMPMIB;
    void Acquire(const TZPerformanceSourceSNMPMIB* source);
    void Release(const TZPerformanceSourceSNMPMIB* source);
    // The rows the live octet sources read; false where one reads no row of the table.
    bool ReadRows(std::vector<int>& positions) const;
    // Reads the row at position now unless the last Refresh read it: a source that turns to
    // another row must not count from that row's counters of an older load.
    void Freshen(int position);
    // The table anew from the loader, for the registered columns.
    void LoadWhole();
    std::unique_ptr<TZIFTableLoader> NewLoader() const;
    std::unique_ptr<TZIFTableLoader> NewLocalLoader() const;

    TLoaderFactory FFactory;
    TLoaderFactory FOverride;
    int FUsageCount = 0;
    std::unique_ptr<TZIFTableLoader> FLoader;
    std::array<int, kZSNMPMIBIFColumnCount> FColumnReferences{};
    TZSNMPMIBIFSelectSet FColumnSelection;
    std::unique_ptr<TZSNMPMIBIFTable> FTable;
    TZSNMPMIBIFSelectSet FTableSelection; // the columns FTable was loaded with
    std::vector<const TZPerformanceSourceSNMPMIB*> FSources;
    // The rows the last Refresh read, where it read only some (kept: a tick's refresh
    // allocates nothing here).
    std::vector<int> FPositions;
    bool FWholeLoad = false;
};

// Loaders of this machine's agent. The first is made at once on a thread of its own, so that the
// agent's libraries load while the caller goes on with other work; later ones are made when
// asked. Call the factory from one thread only.
TZSNMPMIBSharedTable::TLoaderFactory LocalLoaderMadeAhead();

// A row's description as an interface name: its octets up to the first zero.
std::string_view InterfaceName(const TZSNMPMIBIFEntry& row);

// Where the interface called name is read: position while that row bears the name (or name is
// empty), else the first row that does; -1 when no row does. Needs the zifDescr column.
std::int32_t FollowedRow(const TZSNMPMIBIFTable* table, std::int32_t position,
                         std::string_view name);

class TZPerformanceSourceSNMPMIB : public TZPerformanceSource {
    Q_OBJECT
public:
    // The source keeps the shared table alive as long as it lives.
    TZPerformanceSourceSNMPMIB(QObject* owner, std::shared_ptr<TZSNMPMIBSharedTable> shared);
    ~TZPerformanceSourceSNMPMIB() override;

    // Position of the interface's row in the shared table. A position past the
    // last row, or a negative one, reads 0.
    std::int32_t Choice() const { return FChoice; }
    void SetChoice(std::int32_t position) { FChoice = position; }

    // The column this source reads; only the two octet columns give readings.
    void SetSelect(TZSNMPMIBIFSelect column);
    TZSNMPMIBIFSelect Select() const { return FSelect; }
    bool ColumnRegistered() const { return FColumnRegistered; }

    TZSNMPMIBSharedTable& Shared() const { return *FShared; }

    // The next sample counts from now.
    void PrimeReading();
    // The growth since the last tick; the first reading after one without the interface's
    // row primes instead, so a returning interface's whole counter is no spike.
    void Sample() override;

    // The counter as the shared table holds it now.
    std::uint32_t CurrentReading() const;
    // The shared table holds a row at Choice.
    bool Present() const;

private:
    std::shared_ptr<TZSNMPMIBSharedTable> FShared;
    std::uint32_t FPreviousReading = 0;
    bool FWasAbsent = false;
    std::int32_t FChoice = 0;
    bool FColumnRegistered = false;
    TZSNMPMIBIFSelect FSelect = TZSNMPMIBIFSelect::zifIndex;
};
