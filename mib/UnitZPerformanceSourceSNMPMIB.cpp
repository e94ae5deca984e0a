#include "UnitZPerformanceSourceSNMPMIB.h"

#include <algorithm>
#include <future>
#include <system_error>
#include <utility>

TZSNMPMIBSharedTable::TZSNMPMIBSharedTable(TLoaderFactory factory) : FFactory(std::move(factory)) {}

TZSNMPMIBSharedTable::~TZSNMPMIBSharedTable() = default;

std::unique_ptr<TZIFTableLoader> TZSNMPMIBSharedTable::NewLoader() const {
    if (FOverride) return FOverride();
    return NewLocalLoader();
}

std::unique_ptr<TZIFTableLoader> TZSNMPMIBSharedTable::NewLocalLoader() const {
    if (FFactory) return FFactory();
    return std::make_unique<TZSNMPMIB>();
}

void TZSNMPMIBSharedTable::Acquire(const TZPerformanceSourceSNMPMIB* source) {
    FSources.push_back(source);
    if (FUsageCount == 0) {
        FLoader = NewLoader();
        FColumnReferences.fill(0);
        FColumnSelection = {};
        FTable.reset();
    }
    ++FUsageCount;
}

void TZSNMPMIBSharedTable::Release(const TZPerformanceSourceSNMPMIB* source) {
    std::erase(FSources, source);
    if (--FUsageCount == 0) {
        FTable.reset(); // tables outlive nothing of the loader, but go first anyway
        FLoader.reset();
    }
}

void TZSNMPMIBSharedTable::SetLoaderOverride(TLoaderFactory factory) {
    FOverride = std::move(factory);
    FTable.reset();
    if (FUsageCount > 0) {
        FLoader.reset(); // the old one's worker, if any, stops before the new one starts
        FLoader = NewLoader();
    }
}

void TZSNMPMIBSharedTable::RegisterColumn(TZSNMPMIBIFSelect column) {
    if (static_cast<int>(column) >= kZSNMPMIBIFColumnCount) return;
    int& count = FColumnReferences[static_cast<std::size_t>(column)];
    if (count == 0) FColumnSelection.Include(column);
    ++count;
}

void TZSNMPMIBSharedTable::WithdrawColumn(TZSNMPMIBIFSelect column) {
    if (static_cast<int>(column) >= kZSNMPMIBIFColumnCount) return;
    int& count = FColumnReferences[static_cast<std::size_t>(column)];
    if (count > 0 && --count == 0) FColumnSelection.Exclude(column);
}

bool TZSNMPMIBSharedTable::ReadRows(std::vector<int>& positions) const {
    positions.clear();
    for (const TZPerformanceSourceSNMPMIB* source : FSources) {
        const TZSNMPMIBIFSelect column = source->Select();
        if (!source->ColumnRegistered() ||
            (column != TZSNMPMIBIFSelect::zifInOctets && column != TZSNMPMIBIFSelect::zifOutOctets))
            continue;
        // A source without its row waits for it to come back: only a whole load shows that.
        if (!FTable->Items(source->Choice())) return false;
        if (std::find(positions.begin(), positions.end(), source->Choice()) == positions.end())
            positions.push_back(source->Choice());
    }
    return !positions.empty();
}

void TZSNMPMIBSharedTable::Refresh() {
    constexpr TZSNMPMIBIFSelectSet kInPlace{TZSNMPMIBIFSelect::zifInOctets,
                                            TZSNMPMIBIFSelect::zifOutOctets,
                                            TZSNMPMIBIFSelect::zifDescr};
    // The descriptions change only with the rows, which the loader watches.
    if (FTable && FLoader && FTableSelection == FColumnSelection &&
        (FColumnSelection.Bits() & ~kInPlace.Bits()) == 0 && ReadRows(FPositions) &&
        FLoader->RefreshCounters(*FTable, FPositions, FColumnSelection)) {
        FWholeLoad = false;
        return;
    }
    FTable.reset();
    if (FLoader) LoadWhole();
}

void TZSNMPMIBSharedTable::LoadWhole() {
    FTable = FLoader->LoadIFTable(FColumnSelection);
    FTableSelection = FColumnSelection;
    FWholeLoad = true;
}

void TZSNMPMIBSharedTable::Freshen(int position) {
    if (!FTable || !FLoader || FWholeLoad || !FTable->Items(position) ||
        std::find(FPositions.begin(), FPositions.end(), position) != FPositions.end())
        return;
    const int one[] = {position};
    if (FLoader->RefreshCounters(*FTable, one, FColumnSelection)) {
        FPositions.push_back(position);
        return;
    }
    LoadWhole();
}

std::vector<std::string> TZSNMPMIBSharedTable::LoadInterfaceDescriptions() const {
    std::vector<std::string> names;
    const std::unique_ptr<TZIFTableLoader> loader = NewLocalLoader();
    const std::unique_ptr<TZSNMPMIBIFTable> table =
        loader ? loader->LoadIFTable(TZSNMPMIBIFSelectSet{TZSNMPMIBIFSelect::zifDescr}) : nullptr;
    for (int i = 0; table && i < table->Count(); ++i) {
        const TZSNMPMIBIFEntry* row = table->Items(i);
        names.push_back(row ? row->ifDescr : std::string());
    }
    return names;
}

TZSNMPMIBSharedTable::TLoaderFactory LocalLoaderMadeAhead() {
    using TLoader = std::unique_ptr<TZIFTableLoader>;
    // Shared: the factory is copied. The last copy to go waits for the thread.
    std::shared_ptr<std::future<TLoader>> first;
    try {
        first = std::make_shared<std::future<TLoader>>(std::async(
            std::launch::async, []() -> TLoader { return std::make_unique<TZSNMPMIB>(); }));
    } catch (const std::system_error&) {
        return {}; // no thread to be had: the table makes its loaders when asked
    }
    return [first]() -> TLoader {
        if (first->valid()) return first->get();
        return std::make_unique<TZSNMPMIB>();
    };
}

std::string_view InterfaceName(const TZSNMPMIBIFEntry& row) {
    const std::string_view d = row.ifDescr;
    return d.substr(0, d.find('\0'));
}

std::int32_t FollowedRow(const TZSNMPMIBIFTable* table, std::int32_t position,
                         std::string_view name) {
    if (name.empty()) return position;
    if (!table) return -1;
    if (const TZSNMPMIBIFEntry* row = table->Items(position); row && InterfaceName(*row) == name)
        return position;
    for (int i = 0; i < table->Count(); ++i)
        if (const TZSNMPMIBIFEntry* row = table->Items(i); row && InterfaceName(*row) == name)
            return i;
    return -1;
}

TZPerformanceSourceSNMPMIB::TZPerformanceSourceSNMPMIB(QObject* owner,
                                                       std::shared_ptr<TZSNMPMIBSharedTable> shared)
    : TZPerformanceSource(owner), FShared(std::move(shared)) {
    FShared->Acquire(this);
}

TZPerformanceSourceSNMPMIB::~TZPerformanceSourceSNMPMIB() {
    // Withdrawn here too: otherwise a destroyed source's column would still be fetched on
    // every tick for the sources that remain.
    if (FColumnRegistered) FShared->WithdrawColumn(FSelect);
    FShared->Release(this);
}

void TZPerformanceSourceSNMPMIB::SetSelect(TZSNMPMIBIFSelect column) {
    if (FColumnRegistered) FShared->WithdrawColumn(FSelect);
    FSelect = column;
    FShared->RegisterColumn(column);
    FColumnRegistered = true;
}

std::uint32_t TZPerformanceSourceSNMPMIB::CurrentReading() const {
    const TZSNMPMIBIFTable* table = FShared->Table();
    if (!FColumnRegistered || !table || FChoice < 0 || FChoice >= table->Count()) return 0;
    const TZSNMPMIBIFEntry* row = table->Items(FChoice);
    if (!row) return 0;
    switch (FSelect) {
    case TZSNMPMIBIFSelect::zifInOctets:
        return row->ifInOctets;
    case TZSNMPMIBIFSelect::zifOutOctets:
        return row->ifOutOctets;
    default:
        return 0;
    }
}

bool TZPerformanceSourceSNMPMIB::Present() const {
    const TZSNMPMIBIFTable* table = FShared->Table();
    return table && table->Items(FChoice) != nullptr;
}

void TZPerformanceSourceSNMPMIB::PrimeReading() {
    FShared->Freshen(FChoice);
    FPreviousReading = CurrentReading();
    FWasAbsent = !Present();
}

void TZPerformanceSourceSNMPMIB::Sample() {
    const std::uint32_t reading = CurrentReading();
    const bool present = Present();
    if (present && FWasAbsent) FPreviousReading = reading;
    FWasAbsent = !present;
    const std::uint32_t growth = reading - FPreviousReading; // modulo 2^32
    FPreviousReading = reading;
    AddToGraph(static_cast<std::int32_t>(growth));
}
