// The per-tick load of the program (the two octet columns through the agent) against the
// cheapest way to get the same figures: reading and parsing /proc/net/dev once.
#include "AgentStats.h"
#include "KernelLinks.h"
#include "ZSNMPMIB.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <dlfcn.h>
#include <fcntl.h>
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

// The kernel's share of a load: one link dump, parsed.
void BM_LinkDump(benchmark::State& state) {
    sorvane::agent::LinkReader reader;
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.dump());
}
BENCHMARK(BM_LinkDump);

} // namespace

BENCHMARK_MAIN();
