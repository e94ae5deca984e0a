// The per-tick load of the program (the two octet columns through the agent) against the
// cheapest way to get the same figures: reading and parsing /proc/net/dev once. And what a
// load costs as the interface table grows.
#include "AgentStats.h"
#include "KernelLinks.h"
#include "ZSNMPMIB.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

struct Octets {
    std::string_view name;
    std::uint64_t in = 0, out = 0;
};

// Reads /proc/net/dev and takes each interface's received and sent octets.
std::size_t readProcNetDev(std::vector<char>& buffer, std::vector<Octets>& rows) {
    rows.clear();
    const int fd = ::open("/proc/net/dev", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::size_t size = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data() + size, buffer.size() - size)) > 0;) {
        size += static_cast<std::size_t>(got);
        if (size == buffer.size()) buffer.resize(buffer.size() * 2);
    }
    ::close(fd);

    std::string_view text(buffer.data(), size);
    for (int skip = 0; skip < 2 && !text.empty(); ++skip)
        text.remove_prefix(text.find('\n') + 1);
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        Octets row;
        row.name = line.substr(line.find_first_not_of(' '), colon - line.find_first_not_of(' '));
        const char* p = line.data() + colon + 1;
        const char* const last = line.data() + line.size();
        std::uint64_t fields[9] = {};
        for (auto& field : fields) {
            while (p < last && *p == ' ')
                ++p;
            p = std::from_chars(p, last, field).ptr;
        }
        row.in = fields[0];
        row.out = fields[8];
        rows.push_back(row);
    }
    return rows.size();
}

void BM_ProcNetDev(benchmark::State& state) {
    std::vector<char> buffer(4096);
    std::vector<Octets> rows;
    for (auto _ : state)
        benchmark::DoNotOptimize(readProcNetDev(buffer, rows));
    state.counters["interfaces"] = double(rows.size());
}
BENCHMARK(BM_ProcNetDev);

void BM_LoadIFTableOctets(benchmark::State& state) {
    TZSNMPMIB mib(AGENT_LIBRARY, UTILITY_LIBRARY);
    void* agent = ::dlopen(AGENT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    const auto dumps =
        reinterpret_cast<SorvaneAgentDumpCountFn>(::dlsym(agent, SORVANE_AGENT_DUMP_COUNT_SYMBOL));
    if (!mib.Ready() || !dumps) {
        state.SkipWithError("agent not ready");
        return;
    }
    const TZSNMPMIBIFSelectSet octets{TZSNMPMIBIFSelect::zifInOctets,
                                      TZSNMPMIBIFSelect::zifOutOctets};
    const std::uint64_t before = dumps();
    int rows = 0;
    for (auto _ : state) {
        const auto table = mib.LoadIFTable(octets);
        rows = table->Count();
        benchmark::DoNotOptimize(table->Items(0));
    }
    state.counters["interfaces"] = rows;
    state.counters["dumps_per_load"] =
        double(dumps() - before) /
        double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    ::dlclose(agent);
}
BENCHMARK(BM_LoadIFTableOctets);

// What a tick reads between walks: the chosen row's two octet cells, in place.
void BM_RefreshCountersOctets(benchmark::State& state) {
    TZSNMPMIB mib(AGENT_LIBRARY, UTILITY_LIBRARY);
    const TZSNMPMIBIFSelectSet octets{TZSNMPMIBIFSelect::zifInOctets,
                                      TZSNMPMIBIFSelect::zifOutOctets};
    const auto table = mib.LoadIFTable(octets);
    const int rows[] = {table->Count() - 1};
    if (!mib.Ready() || table->Count() == 0 || !mib.RefreshCounters(*table, rows, octets)) {
        state.SkipWithError("no in-place read here");
        return;
    }
    int wholeLoads = 0;
    for (auto _ : state)
        if (!mib.RefreshCounters(*table, rows, octets)) {
            ++wholeLoads; // the links changed meanwhile: a walk, as the program would
            benchmark::DoNotOptimize(mib.LoadIFTable(octets));
        }
    state.counters["interfaces"] = table->Count();
    state.counters["whole_loads"] = wholeLoads;
}
BENCHMARK(BM_RefreshCountersOctets);

// The two octet columns of an agent with state.range(0) interfaces: a load should grow with
// the rows, not with their square.
void BM_LoadIFTableRows(benchmark::State& state) {
    TZSNMPMIB mib(ROWS_AGENT_LIBRARY, UTILITY_LIBRARY);
    void* agent = ::dlopen(ROWS_AGENT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    using SetRowsFn = void (*)(std::uint32_t);
    const auto setRows = reinterpret_cast<SetRowsFn>(::dlsym(agent, "rowsagent_set_rows"));
    if (!mib.Ready() || !setRows) {
        state.SkipWithError("agent not ready");
        return;
    }
    setRows(static_cast<std::uint32_t>(state.range(0)));
    const TZSNMPMIBIFSelectSet octets{TZSNMPMIBIFSelect::zifInOctets,
                                      TZSNMPMIBIFSelect::zifOutOctets};
    int rows = 0;
    for (auto _ : state) {
        const auto table = mib.LoadIFTable(octets);
        rows = table->Count();
        benchmark::DoNotOptimize(table->Items(rows - 1));
    }
    state.counters["rows"] = rows;
    state.counters["per_row"] = benchmark::Counter(
        double(rows), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    ::dlclose(agent);
}
BENCHMARK(BM_LoadIFTableRows)->Arg(1024)->Arg(8192)->Unit(benchmark::kMillisecond);

// The table alone: rows named by a first column, then found again by a second.
void BM_FindOrAddRows(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    std::vector<std::string> keys;
    for (int i = 1; i <= count; ++i)
        keys.push_back(std::to_string(i));
    for (auto _ : state) {
        TZSNMPMIBIFTable table;
        for (const std::string& key : keys)
            table.FindOrAdd(key)->ifInOctets = 1;
        for (const std::string& key : keys)
            table.FindOrAdd(key)->ifOutOctets = 2;
        benchmark::DoNotOptimize(table.Items(count - 1));
    }
    state.counters["per_row"] = benchmark::Counter(
        double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FindOrAddRows)->Arg(8192)->Arg(100000)->Unit(benchmark::kMillisecond);

// The kernel's share of a load: one link dump, parsed.
void BM_LinkDump(benchmark::State& state) {
    sorvane::agent::LinkReader reader;
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.dump());
}
BENCHMARK(BM_LinkDump);

} // namespace

BENCHMARK_MAIN();
