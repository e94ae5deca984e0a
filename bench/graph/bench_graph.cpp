// Cost of a tick, a full redraw and painting, at the default size and at 4K; and what
// the horizontal grid costs when its spacing is far finer than a pixel row.
#include "UnitZPerformanceGraph.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

// Counts heap allocations so that a benchmark can report them per iteration.
static std::atomic<long> gAllocations{0};

void* operator new(std::size_t n) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

class NoiseSource : public TZPerformanceSource {
public:
    using TZPerformanceSource::TZPerformanceSource;
    void Sample() override { Graph()->AddValue(this, pick(random)); }
    std::minstd_rand random{7};
    std::uniform_int_distribution<int> pick{0, 9000};
};

struct Rig {
    Rig(int imageWidth, int imageHeight) {
        graph = new TZPerformanceGraph(&owner);
        graph->SetBounds(0, 0, imageWidth + 2, imageHeight + 2);
        for (TColor colour : {TColor(0x0000FF), TColor(0x00FF00)}) {
            auto* s = new NoiseSource(&owner);
            s->Max = 8000;
            s->SetColor(colour);
            s->SetGraph(graph);
        }
        graph->SetHGridColor(0xFF0000);
        graph->SetVGridColor(0xFF0000);
        graph->Refresh();
        // Fill the histories.
        for (int i = 0; i < imageWidth; ++i)
            graph->Advance();
    }
    QWidget owner;
    TZPerformanceGraph* graph = nullptr;
};

const int kSizes[][2] = {{295, 87}, {3838, 2158}};

void SetLabel(benchmark::State& state) {
    const auto& s = kSizes[state.range(0)];
    state.SetLabel(std::to_string(s[0]) + "x" + std::to_string(s[1]));
}

void BM_Advance(benchmark::State& state) {
    const auto& s = kSizes[state.range(0)];
    Rig rig(s[0], s[1]);
    const long before = gAllocations.load();
    for (auto _ : state)
        rig.graph->Advance();
    state.counters["allocs/iter"] = benchmark::Counter(double(gAllocations.load() - before),
                                                       benchmark::Counter::kAvgIterations);
    SetLabel(state);
}

void BM_Memmove(benchmark::State& state) {
    const auto& s = kSizes[state.range(0)];
    std::vector<std::uint8_t> buffer(std::size_t(ImageStride(s[0])) * s[1], 1);
    for (auto _ : state) {
        std::memmove(buffer.data(), buffer.data() + 3, buffer.size() - 3);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    SetLabel(state);
}

void BM_Rebuild(benchmark::State& state) {
    const auto& s = kSizes[state.range(0)];
    Rig rig(s[0], s[1]);
    for (auto _ : state)
        rig.graph->Refresh();
    SetLabel(state);
}

// A full redraw with the horizontal grid at an ordinary spacing and at the largest one a
// spacing can hold: the second must stay of the order of the first.
void BM_RebuildHGridSpace(benchmark::State& state) {
    const auto& s = kSizes[state.range(0)];
    Rig rig(s[0], s[1]);
    rig.graph->SetHGridSpace(static_cast<std::int32_t>(state.range(1)));
    rig.graph->Refresh();
    for (auto _ : state)
        rig.graph->Refresh();
    state.SetLabel(std::to_string(s[0]) + "x" + std::to_string(s[1]) +
                   " HGridSpace=" + std::to_string(state.range(1)));
}

// One column of grid on a bare black buffer, defaults otherwise (curve, gamma split, 2.5);
// the third argument, when given, is the graph curve in hundredths.
void BM_DrawHGridColumn(benchmark::State& state) {
    const auto height = static_cast<std::int32_t>(state.range(0));
    std::vector<std::uint8_t> pixels(std::size_t(ImageStride(1)) * std::size_t(height));
    const TZImageView view{pixels.data(), 1, height, ImageStride(1)};
    TZToneTables tables;
    BuildToneTables(tables, 2.5);
    TZGridSettings grid;
    grid.HGridSpace = static_cast<std::int32_t>(state.range(1));
    grid.HGridColor = 0xFF0000;
    if (state.range(2) > 0) grid.Curve = double(state.range(2)) / 100.0;
    for (auto _ : state) {
        std::fill(pixels.begin(), pixels.end(), std::uint8_t{0});
        DrawHGrid(view, tables, grid, 0);
        benchmark::ClobberMemory();
    }
    state.SetLabel("height " + std::to_string(height) + " HGridSpace=" +
                   std::to_string(state.range(1)) + " Curve=" + std::to_string(grid.Curve));
}

// Painting into a backing-store-like target (the offscreen platform's window
// surface is such an image), the upright copy included.
void BM_Present(benchmark::State& state) {
    const auto& s = kSizes[state.range(0)];
    Rig rig(s[0], s[1]);
    QImage surface(s[0] + 2, s[1] + 2, QImage::Format_RGB32);
    const QRect all(0, 0, s[0] + 2, s[1] + 2);
    QPainter painter(&surface);
    rig.graph->PresentTo(painter, all);
    const long before = gAllocations.load();
    for (auto _ : state) {
        rig.graph->PresentTo(painter, all);
        benchmark::ClobberMemory();
    }
    state.counters["allocs/iter"] = benchmark::Counter(double(gAllocations.load() - before),
                                                       benchmark::Counter::kAvgIterations);
    SetLabel(state);
}

// The reference: the same bytes drawn as they lie, without flipping.
void BM_DrawImageUnflipped(benchmark::State& state) {
    const auto& s = kSizes[state.range(0)];
    Rig rig(s[0], s[1]);
    std::vector<std::uint8_t> copy(rig.graph->Pixels(),
                                   rig.graph->Pixels() + std::size_t(rig.graph->Stride()) * s[1]);
    const QImage image(copy.data(), s[0], s[1], ImageStride(s[0]), QImage::Format_BGR888);
    QImage surface(s[0] + 2, s[1] + 2, QImage::Format_RGB32);
    QPainter painter(&surface);
    painter.drawImage(1, 1, image);
    const long before = gAllocations.load();
    for (auto _ : state) {
        painter.drawImage(1, 1, image);
        benchmark::ClobberMemory();
    }
    state.counters["allocs/iter"] = benchmark::Counter(double(gAllocations.load() - before),
                                                       benchmark::Counter::kAvgIterations);
    SetLabel(state);
}

} // namespace

BENCHMARK(BM_Advance)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memmove)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rebuild)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RebuildHGridSpace)
    ->ArgsProduct({{0, 1}, {10, 65536, 2147483647}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawHGridColumn)
    ->ArgsProduct({{87, 2158}, {10, 65536, 2147483647}, {0}})
    ->ArgsProduct({{87, 2158}, {2147483647}, {10, 50, 95}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Present)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawImageUnflipped)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
