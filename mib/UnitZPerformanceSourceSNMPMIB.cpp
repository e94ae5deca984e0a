#include "UnitZPerformanceSourceSNMPMIB.h"

#include <array>
#include <memory>

namespace {

// The one piece of process-wide state: shared by every SNMP-fed source and
// alive exactly as long as any of them.
struct TSharedState {
    int UsageCount = 0;
    std::unique_ptr<TZSNMPMIB> MIB;
    std::array<int, 100> ColumnReferences{};
    TZSNMPMIBIFSelectSet ColumnSelection;
    std::unique_ptr<TZSNMPMIBIFTable> Table;
};

TSharedState& Shared() {
    static TSharedState state;
    return state;
}

void Acquire() {
    TSharedState& s = Shared();
    if (s.UsageCount == 0) {
        s.MIB = std::make_unique<TZSNMPMIB>();
        s.ColumnReferences.fill(0);
        s.ColumnSelection = {};
        s.Table.reset();
    }
    ++s.UsageCount;
}

void Release() {
    TSharedState& s = Shared();
    if (--s.UsageCount == 0) {
        s.Table.reset(); // tables outlive nothing of the component, but go first anyway
        s.MIB.reset();
    }
}

void RegisterColumn(TZSNMPMIBIFSelect column) {
    TSharedState& s = Shared();
    int& count = s.ColumnReferences[static_cast<std::size_t>(column)];
    if (count == 0) s.ColumnSelection.Include(column);
    ++count;
}

void WithdrawColumn(TZSNMPMIBIFSelect column) {
    TSharedState& s = Shared();
    int& count = s.ColumnReferences[static_cast<std::size_t>(column)];
    if (--count == 0) s.ColumnSelection.Exclude(column);
}

} // namespace

TZPerformanceSourceSNMPMIB::TZPerformanceSourceSNMPMIB(QObject* owner)
    : TZPerformanceSource(owner) {
    Acquire();
}

TZPerformanceSourceSNMPMIB::~TZPerformanceSourceSNMPMIB() {
    if (FColumnRegistered) WithdrawColumn(FSelect);
    Release();
}

void TZPerformanceSourceSNMPMIB::SetSelect(TZSNMPMIBIFSelect column) {
    if (FColumnRegistered) WithdrawColumn(FSelect);
    FSelect = column;
    RegisterColumn(column);
    FColumnRegistered = true;
}

std::uint32_t TZPerformanceSourceSNMPMIB::CurrentReading() const {
    const TZSNMPMIBIFTable* table = Shared().Table.get();
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
    Graph()->AddValue(this, static_cast<std::int32_t>(growth));
}

void RefreshIFTable() {
    TSharedState& s = Shared();
    s.Table.reset();
    if (s.MIB) s.Table = s.MIB->LoadIFTable(s.ColumnSelection);
}

int SNMPMIBSourceUsageCount() {
    return Shared().UsageCount;
}
TZSNMPMIBIFSelectSet SNMPMIBColumnSelection() {
    return Shared().ColumnSelection;
}
const TZSNMPMIBIFTable* SNMPMIBSharedTable() {
    return Shared().Table.get();
}
