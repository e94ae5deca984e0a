#include "UnitZPerformanceSourceSNMPMIB.h"

#include <utility>

TZSNMPMIBSharedTable::TZSNMPMIBSharedTable(TLoaderFactory factory) : FFactory(std::move(factory)) {}

TZSNMPMIBSharedTable::~TZSNMPMIBSharedTable() = default;

std::unique_ptr<TZIFTableLoader> TZSNMPMIBSharedTable::NewLoader() const {
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

void TZSNMPMIBSharedTable::RegisterColumn(TZSNMPMIBIFSelect column) {
    int& count = FColumnReferences[static_cast<std::size_t>(column)];
    if (count == 0) FColumnSelection.Include(column);
    ++count;
}

void TZSNMPMIBSharedTable::WithdrawColumn(TZSNMPMIBIFSelect column) {
    int& count = FColumnReferences[static_cast<std::size_t>(column)];
    if (--count == 0) FColumnSelection.Exclude(column);
}

void TZSNMPMIBSharedTable::Refresh() {
    FTable.reset();
    if (FLoader) FTable = FLoader->LoadIFTable(FColumnSelection);
}

std::vector<std::string> TZSNMPMIBSharedTable::LoadInterfaceDescriptions() const {
    std::vector<std::string> names;
    const std::unique_ptr<TZIFTableLoader> loader = NewLoader();
    const std::unique_ptr<TZSNMPMIBIFTable> table =
        loader ? loader->LoadIFTable(TZSNMPMIBIFSelectSet{TZSNMPMIBIFSelect::zifDescr}) : nullptr;
    for (int i = 0; table && i < table->Count(); ++i) {
        const TZSNMPMIBIFEntry* row = table->Items(i);
        names.push_back(row ? row->ifDescr : std::string());
    }
    return names;
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

void TZPerformanceSourceSNMPMIB::PrimeReading() {
    FPreviousReading = CurrentReading();
}

void TZPerformanceSourceSNMPMIB::Sample() {
    const std::uint32_t reading = CurrentReading();
    const std::uint32_t growth = reading - FPreviousReading; // modulo 2^32
    FPreviousReading = reading;
    AddToGraph(static_cast<std::int32_t>(growth));
}
