#include "UnitZPerformanceSourceSNMPMIB.h"

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

void TZSNMPMIBSharedTable::Acquire() {
    if (FUsageCount == 0) {
        FLoader = NewLoader();
        FColumnReferences.fill(0);
        FColumnSelection = {};
        FTable.reset();
    }
    ++FUsageCount;
}

void TZSNMPMIBSharedTable::Release() {
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

void TZSNMPMIBSharedTable::Refresh() {
    FTable.reset();
    if (FLoader) FTable = FLoader->LoadIFTable(FColumnSelection);
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
    FShared->Acquire();
}

TZPerformanceSourceSNMPMIB::~TZPerformanceSourceSNMPMIB() {
    // Withdrawn here too: otherwise a destroyed source's column would still be fetched on
    // every tick for the sources that remain.
    if (FColumnRegistered) FShared->WithdrawColumn(FSelect);
    FShared->Release();
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
