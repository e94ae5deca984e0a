// Data series fed from one counter column of one interface.
//
// All sources share one MIB access component and one interface table, created
// with the first source and destroyed with the last. RefreshIFTable reloads the
// table once per tick for exactly the columns that live sources selected; each
// source then hands the graph the growth of its counter since the previous
// tick, modulo 2^32, so a counter wrap never shows as a spike.
//
// Calling order: create the sources, Select, then Choice; RefreshIFTable, then
// PrimeReading on each; per tick RefreshIFTable, then the graph's Advance.
#pragma once

#include "UnitZPerformanceGraph.h"
#include "ZSNMPMIB.h"

#include <cstdint>

class TZPerformanceSourceSNMPMIB : public TZPerformanceSource {
    Q_OBJECT
public:
    explicit TZPerformanceSourceSNMPMIB(QObject* owner);
    ~TZPerformanceSourceSNMPMIB() override;

    // Position of the interface's row in the shared table. A position past the
    // last row, or a negative one, reads 0.
    std::int32_t Choice() const { return FChoice; }
    void SetChoice(std::int32_t position) { FChoice = position; }

    // The column this source reads; only the two octet columns give readings.
    void SetSelect(TZSNMPMIBIFSelect column);
    TZSNMPMIBIFSelect Select() const { return FSelect; }
    bool ColumnRegistered() const { return FColumnRegistered; }

    // The next sample counts from now.
    void PrimeReading();
    void Sample() override;

    // The counter as the shared table holds it now.
    std::uint32_t CurrentReading() const;

private:
    std::uint32_t FPreviousReading = 0;
    std::int32_t FChoice = 0;
    bool FColumnRegistered = false;
    TZSNMPMIBIFSelect FSelect = TZSNMPMIBIFSelect::zifIndex;
};

// Frees the shared table and loads it anew for the registered columns. Does
// nothing while no source lives.
void RefreshIFTable();

// The shared state, for those that list or inspect it.
int SNMPMIBSourceUsageCount();
TZSNMPMIBIFSelectSet SNMPMIBColumnSelection();
const TZSNMPMIBIFTable* SNMPMIBSharedTable();
