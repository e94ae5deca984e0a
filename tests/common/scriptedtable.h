// An interface table the test writes: stands in for the agent behind TZSNMPMIBSharedTable.
#pragma once

#include "UnitZPerformanceSourceSNMPMIB.h"

#include <memory>
#include <string>
#include <vector>

struct TScriptedRow {
    std::string Descr;
    std::uint32_t InOctets = 0;
    std::uint32_t OutOctets = 0;
    std::int32_t OperStatus = 1; // up
};

// What the loaders of one script have been asked, and the rows they answer with.
struct TScript {
    std::vector<TScriptedRow> Rows;
    std::vector<TZSNMPMIBIFSelectSet> Loads; // the selection of every load, in order
    int LoadersMade = 0;
    int LoadersAlive = 0;
    // Rows read in place between loads, as an agent that watches its rows allows; RowsChanged
    // stands for an agent whose rows changed since the last load.
    bool InPlace = false;
    bool RowsChanged = false;
    std::vector<std::vector<int>> RowRefreshes; // the positions of every such read
};

class TScriptedLoader : public TZIFTableLoader {
public:
    explicit TScriptedLoader(std::shared_ptr<TScript> script) : FScript(std::move(script)) {
        ++FScript->LoadersMade;
        ++FScript->LoadersAlive;
    }
    ~TScriptedLoader() override { --FScript->LoadersAlive; }

    std::unique_ptr<TZSNMPMIBIFTable> LoadIFTable(TZSNMPMIBIFSelectSet select) override {
        FScript->Loads.push_back(select);
        auto table = std::make_unique<TZSNMPMIBIFTable>();
        int index = 1;
        for (const TScriptedRow& r : FScript->Rows) {
            TZSNMPMIBIFEntry* row = table->FindOrAdd(std::to_string(index++));
            if (select.Contains(TZSNMPMIBIFSelect::zifDescr)) row->ifDescr = r.Descr;
            if (select.Contains(TZSNMPMIBIFSelect::zifInOctets)) row->ifInOctets = r.InOctets;
            if (select.Contains(TZSNMPMIBIFSelect::zifOutOctets)) row->ifOutOctets = r.OutOctets;
            if (select.Contains(TZSNMPMIBIFSelect::zifOperStatus)) row->ifOperStatus = r.OperStatus;
        }
        return table;
    }

    bool RefreshCounters(TZSNMPMIBIFTable& table, std::span<const int> positions,
                         TZSNMPMIBIFSelectSet columns) override {
        if (!FScript->InPlace) return false;
        FScript->RowRefreshes.emplace_back(positions.begin(), positions.end());
        if (FScript->RowsChanged) return false;
        for (const int p : positions) {
            TZSNMPMIBIFEntry* row = table.Items(p);
            if (!row || p >= static_cast<int>(FScript->Rows.size())) return false;
            const TScriptedRow& r = FScript->Rows[static_cast<std::size_t>(p)];
            if (columns.Contains(TZSNMPMIBIFSelect::zifInOctets)) row->ifInOctets = r.InOctets;
            if (columns.Contains(TZSNMPMIBIFSelect::zifOutOctets)) row->ifOutOctets = r.OutOctets;
        }
        return true;
    }

private:
    std::shared_ptr<TScript> FScript;
};

// A shared table whose every loader answers from script.
inline std::shared_ptr<TZSNMPMIBSharedTable> ScriptedSharedTable(std::shared_ptr<TScript> script) {
    return std::make_shared<TZSNMPMIBSharedTable>(
        [script] { return std::make_unique<TScriptedLoader>(script); });
}
