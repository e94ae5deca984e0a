// The series history and the graph control's rules.
#include "UnitZPerformanceGraph.h"
#include "feedsource.h"

#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include <climits>
#include <memory>
#include <vector>

namespace {

using testcommon::TFeedSource;

std::vector<std::uint8_t> Snapshot(const TZPerformanceGraph& g) {
    const auto* p = g.Pixels();
    return p ? std::vector<std::uint8_t>(p, p + std::size_t(g.Stride()) * g.ImageHeight())
             : std::vector<std::uint8_t>{};
}

int Channel(const TZPerformanceGraph& g, int x, int memRow, int c) {
    return g.Pixels()[memRow * g.Stride() + 3 * x + c];
}

// The image's pixel at column x of screen row y (rows are stored bottom-up).
QRgb Upright(const TZPerformanceGraph& g, int x, int y) {
    const int row = g.ImageHeight() - 1 - y;
    return qRgb(Channel(g, x, row, 2), Channel(g, x, row, 1), Channel(g, x, row, 0));
}

void GridsOff(TZPerformanceGraph& g) {
    g.SetHGrid(false);
    g.SetVGrid(false);
}

} // namespace

class TestPerformanceGraph : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void plottedOneTickBehind();
    void average_data();
    void average();
    void setCount();
    void shift();
    void clear();
    void attach();
    void destroyOrder();
    void propertyWrites_data();
    void propertyWrites();
    void toneTablesFollowGamma_data();
    void toneTablesFollowGamma();
    void vgridSpace();
    void bounds();
    void advanceWithoutImage();
    void advanceScrolls();
    void ticksMatchRedraw_data();
    void ticksMatchRedraw();
    void replayBridgesGaps();
    void detachedLineSurvivesUntilRedraw();
    void resizeKeepsNewest();
    void newSourceFirstSegment();
    void unusableScaleDrawsNothing();
    void frame();
    void rowConversion();
    void screenCopyIsFlippedImage();
    void partialPresent();
    void doubleClickIsAPress();

private:
    std::unique_ptr<QWidget> owner;
    QPointer<TZPerformanceGraph> graph;
};

void TestPerformanceGraph::init() {
    owner = std::make_unique<QWidget>();
    graph = new TZPerformanceGraph(owner.get());
    graph->SetBounds(0, 0, 12, 10); // a 10 x 8 image
}

void TestPerformanceGraph::cleanup() {
    owner.reset();
}

void TestPerformanceGraph::plottedOneTickBehind() {
    auto* s = new TFeedSource(owner.get());
    s->SetGraph(graph);
    s->Queue = {5, 7, 9};
    QList<int> plotted;
    for (int i = 0; i < 3; ++i) {
        graph->Advance();
        plotted << s->LastValue;
        QCOMPARE(s->LastPos, 0);
        QVERIFY(s->HasLast);
    }
    QCOMPARE(plotted, (QList<int>{0, 5, 7}));
    QCOMPARE(s->GetValue(0), 9);
    QCOMPARE(s->GetValue(2), 5);
}

void TestPerformanceGraph::average_data() {
    QTest::addColumn<int>("delay");
    QTest::addColumn<QList<int>>("values"); // newest first
    QTest::addColumn<QList<bool>>("valid");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("expected");
    const QList<bool> all(6, true);
    QTest::newRow("delay 3") << 3 << QList<int>{9, 6, 3, 3, 100, 100} << all << 0 << 4;
    QTest::newRow("two of three valid")
        << 3 << QList<int>{9, 6, 50, 3, 100, 100}
        << QList<bool>{true, true, false, true, true, true} << 0 << 4;
    QTest::newRow("negatives truncate toward zero")
        << 2 << QList<int>{0, -3, -4, 0, 0, 0} << all << 0 << -3;
    QTest::newRow("positives truncate") << 2 << QList<int>{0, 3, 4, 0, 0, 0} << all << 0 << 3;
    QTest::newRow("oldest slot") << 1 << QList<int>{1, 2, 3, 4, 5, 6} << all << 5 << 0;
    QTest::newRow("delay 0") << 0 << QList<int>{1, 2, 3, 4, 5, 6} << all << 0 << 0;
    QTest::newRow("delay negative") << -4 << QList<int>{1, 2, 3, 4, 5, 6} << all << 0 << 0;
    QTest::newRow("huge delay stops at the end")
        << INT_MAX << QList<int>{1, 2, 3, 4, 5, 6} << all << 1 << 4;
    QTest::newRow("index below range") << 1 << QList<int>{1, 2, 3, 4, 5, 6} << all << -1 << 0;
    QTest::newRow("index past range") << 1 << QList<int>{1, 2, 3, 4, 5, 6} << all << 6 << 0;
    QTest::newRow("no valid slot")
        << 3 << QList<int>{1, 2, 3, 4, 5, 6} << QList<bool>(6, false) << 0 << 0;
    QTest::newRow("sum beyond 32 bits")
        << 2 << QList<int>{0, INT_MAX, INT_MAX, 0, 0, 0} << all << 0 << INT_MAX;
}

void TestPerformanceGraph::average() {
    QFETCH(int, delay);
    QFETCH(QList<int>, values);
    QFETCH(QList<bool>, valid);
    QFETCH(int, index);
    QFETCH(int, expected);
    TZPerformanceSource s(nullptr);
    s.SetCount(int(values.size()));
    for (int i = 0; i < values.size(); ++i) {
        s.SetValue(i, values[i]);
        s.SetValid(i, valid[i]);
    }
    s.Delay = delay;
    QCOMPARE(s.GetAverage(index), expected);
}

void TestPerformanceGraph::setCount() {
    TZPerformanceSource s(nullptr);
    s.SetCount(3);
    for (int i = 0; i < 3; ++i) {
        s.SetValue(i, 10 + i);
        s.SetValid(i, true);
    }
    s.LastPos = 7;
    s.LastValue = 8;
    s.HasLast = true;
    s.SetCount(5);
    QCOMPARE(s.Count(), 5);
    QCOMPARE(s.GetValue(0), 10);
    QCOMPARE(s.GetValue(2), 12);
    QCOMPARE(s.GetValue(3), 0);
    QVERIFY(!s.IsValid(3) && !s.IsValid(4));
    s.SetCount(2);
    QCOMPARE(s.Count(), 2);
    QCOMPARE(s.GetValue(1), 11);
    QVERIFY(!s.IsValid(2));
    s.SetValue(2, 99); // out of range: ignored
    s.SetCount(3);
    QCOMPARE(s.GetValue(2), 0);
    s.SetCount(-1);
    QCOMPARE(s.Count(), 0);
    QCOMPARE(s.GetValue(0), 0);
    QCOMPARE(s.LastPos, 7);
    QCOMPARE(s.LastValue, 8);
    QVERIFY(s.HasLast);
}

void TestPerformanceGraph::shift() {
    TZPerformanceSource none(nullptr);
    none.Shift();
    QCOMPARE(none.Count(), 0);

    TZPerformanceSource one(nullptr);
    one.SetCount(1);
    one.SetValue(0, 5);
    one.SetValid(0, true);
    one.Shift();
    QCOMPARE(one.GetValue(0), 0);
    QVERIFY(!one.IsValid(0));

    TZPerformanceSource many(nullptr);
    many.SetCount(3);
    for (int i = 0; i < 3; ++i) {
        many.SetValue(i, i + 1);
        many.SetValid(i, i != 1);
    }
    many.Shift();
    QCOMPARE(many.GetValue(0), 0);
    QCOMPARE(many.GetValue(1), 1);
    QCOMPARE(many.GetValue(2), 2);
    QVERIFY(!many.IsValid(0));
    QVERIFY(many.IsValid(1));
    QVERIFY(!many.IsValid(2));
}

void TestPerformanceGraph::clear() {
    TZPerformanceSource s(nullptr);
    s.SetCount(2);
    s.SetValue(1, 4);
    s.SetValid(1, true);
    s.HasLast = true;
    s.LastPos = 3;
    s.Clear();
    QCOMPARE(s.Count(), 2);
    QCOMPARE(s.GetValue(1), 0);
    QVERIFY(!s.IsValid(1));
    QVERIFY(!s.HasLast);
    QCOMPARE(s.LastPos, 3);
}

void TestPerformanceGraph::attach() {
    auto* a = new TFeedSource(owner.get());
    auto* b = new TFeedSource(owner.get());
    a->SetGraph(graph);
    b->SetGraph(graph);
    QCOMPARE(a->Count(), 10);
    QVERIFY(a->Registered && b->Registered);
    QCOMPARE(graph->Sources(), (std::vector<TZPerformanceSource*>{a, b}));
    a->SetGraph(graph); // same graph again: moves to the end
    QCOMPARE(graph->Sources(), (std::vector<TZPerformanceSource*>{b, a}));
    a->SetGraph(nullptr);
    QVERIFY(!a->Registered);
    QCOMPARE(graph->Sources(), (std::vector<TZPerformanceSource*>{b}));
    graph->RemoveSource(a); // not listed: nothing
    QCOMPARE(graph->Sources().size(), std::size_t(1));

    // A control 2 pixels wide leaves the history as it was.
    auto* narrow = new TZPerformanceGraph(owner.get());
    narrow->SetBounds(0, 0, 2, 50);
    auto* c = new TFeedSource(owner.get());
    c->SetCount(7);
    c->SetGraph(narrow);
    QCOMPARE(c->Count(), 7);
    QVERIFY(c->Registered);
}

void TestPerformanceGraph::destroyOrder() {
    auto* s = new TFeedSource(owner.get());
    s->SetGraph(graph);
    delete s; // attached: leaves the list
    QVERIFY(graph->Sources().empty());

    QPointer<TFeedSource> t = new TFeedSource(owner.get());
    t->SetGraph(graph);
    delete graph.data();
    QVERIFY(!t->Registered);
    delete t.data(); // must not touch the destroyed graph
}

enum Prop {
    PCurve,
    PGamma,
    PGridCurve,
    PGridGamma,
    PHGrid,
    PHGridSpace,
    PHGridColor,
    PVGrid,
    PVGridSpace,
    PVGridColor
};

void TestPerformanceGraph::propertyWrites_data() {
    QTest::addColumn<int>("prop");
    QTest::addColumn<bool>("gridsOn");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("rebuild");
    QTest::newRow("Curve unchanged") << int(PCurve) << true << 0.25 << true;
    QTest::newRow("Gamma unchanged") << int(PGamma) << true << 2.5 << true;
    QTest::newRow("GridCurve, hgrid on") << int(PGridCurve) << true << 0.0 << true;
    QTest::newRow("GridCurve, hgrid off") << int(PGridCurve) << false << 0.0 << false;
    QTest::newRow("GridCurve unchanged") << int(PGridCurve) << true << 1.0 << false;
    QTest::newRow("GridGamma, hgrid on") << int(PGridGamma) << true << 0.0 << true;
    QTest::newRow("GridGamma, hgrid off") << int(PGridGamma) << false << 0.0 << false;
    QTest::newRow("HGrid switched") << int(PHGrid) << true << 0.0 << true;
    QTest::newRow("HGrid unchanged") << int(PHGrid) << true << 1.0 << false;
    QTest::newRow("HGridSpace, hgrid on") << int(PHGridSpace) << true << 4.0 << true;
    QTest::newRow("HGridSpace, hgrid off") << int(PHGridSpace) << false << 4.0 << false;
    QTest::newRow("HGridSpace unchanged") << int(PHGridSpace) << true << 10.0 << false;
    QTest::newRow("HGridColor, hgrid on") << int(PHGridColor) << true << 255.0 << true;
    QTest::newRow("HGridColor, hgrid off") << int(PHGridColor) << false << 255.0 << false;
    QTest::newRow("VGrid switched") << int(PVGrid) << true << 0.0 << true;
    QTest::newRow("VGridSpace, vgrid on") << int(PVGridSpace) << true << 30.0 << true;
    QTest::newRow("VGridSpace, vgrid off") << int(PVGridSpace) << false << 30.0 << false;
    QTest::newRow("VGridSpace unchanged") << int(PVGridSpace) << true << 60.0 << false;
    QTest::newRow("VGridColor, vgrid on") << int(PVGridColor) << true << 255.0 << true;
    QTest::newRow("VGridColor, vgrid off") << int(PVGridColor) << false << 255.0 << false;
}

void TestPerformanceGraph::propertyWrites() {
    QFETCH(int, prop);
    QFETCH(bool, gridsOn);
    QFETCH(double, value);
    QFETCH(bool, rebuild);
    graph->SetHGrid(gridsOn);
    graph->SetVGrid(gridsOn);
    graph->Refresh();
    QVERIFY(!graph->NeedsRebuild());
    const auto i = static_cast<std::int32_t>(value);
    switch (Prop(prop)) {
    case PCurve:
        graph->SetCurve(value);
        break;
    case PGamma:
        graph->SetGamma(value);
        break;
    case PGridCurve:
        graph->SetGridCurve(value != 0);
        break;
    case PGridGamma:
        graph->SetGridGamma(value != 0);
        break;
    case PHGrid:
        graph->SetHGrid(value != 0);
        break;
    case PHGridSpace:
        graph->SetHGridSpace(i);
        break;
    case PHGridColor:
        graph->SetHGridColor(TColor(i));
        break;
    case PVGrid:
        graph->SetVGrid(value != 0);
        break;
    case PVGridSpace:
        graph->SetVGridSpace(i);
        break;
    case PVGridColor:
        graph->SetVGridColor(TColor(i));
        break;
    }
    QCOMPARE(graph->NeedsRebuild(), rebuild);
    if (rebuild) {
        graph->Advance(); // the flag is consumed by the next tick
        QVERIFY(!graph->NeedsRebuild());
    }
}

void TestPerformanceGraph::toneTablesFollowGamma_data() {
    QTest::addColumn<std::vector<double>>("gammas");
    QTest::newRow("the first value again") << std::vector<double>{2.5};
    QTest::newRow("another") << std::vector<double>{1.8};
    QTest::newRow("back to the first") << std::vector<double>{1.0, 2.5};
    QTest::newRow("one value twice") << std::vector<double>{1.0, 1.0};
    QTest::newRow("unusable, then usable") << std::vector<double>{-1.0, 2.2, 2.2};
}

void TestPerformanceGraph::toneTablesFollowGamma() {
    QFETCH(std::vector<double>, gammas);
    for (const double gamma : gammas) {
        graph->SetGamma(gamma);
        TZToneTables expected;
        BuildToneTables(expected, gamma);
        QCOMPARE(graph->ToneTables().ToLinear, expected.ToLinear);
        QCOMPARE(graph->ToneTables().ToDisplay, expected.ToDisplay);
        QVERIFY(graph->NeedsRebuild());
    }
}

void TestPerformanceGraph::vgridSpace() {
    graph->SetVGridSpace(0);
    QCOMPARE(graph->VGridSpace(), 5);
    graph->SetVGridSpace(60);
    graph->SetVGridSpace(-3);
    QCOMPARE(graph->VGridSpace(), 5);
    graph->SetVGridSpace(60);
    for (int i = 0; i < 45; ++i)
        graph->Advance();
    QCOMPARE(graph->VGridPhase(), 45);
    graph->SetVGridSpace(30);
    QCOMPARE(graph->VGridPhase(), 15);

    // The phase returns to 0 once every VGridSpace ticks: a line enters at the right edge.
    graph->SetVGridSpace(4);
    graph->SetHGrid(false);
    graph->SetVGridColor(0xFF0000);
    graph->Refresh();
    QList<int> entered;
    for (int t = 0; t < 8; ++t) {
        graph->Advance();
        if (Channel(*graph, graph->ImageWidth() - 1, 0, 0) != 0) entered << graph->VGridPhase();
    }
    QCOMPARE(entered, (QList<int>{0, 0}));
}

void TestPerformanceGraph::bounds() {
    graph->SetBounds(0, 0, 0, 0);
    QCOMPARE(graph->width(), 202);
    QCOMPARE(graph->height(), 102);
    QVERIFY(graph->HasImage());
    QCOMPARE(graph->ImageWidth(), 200);
    QCOMPARE(graph->ImageHeight(), 100);
    QCOMPARE(graph->Stride(), 600);

    graph->SetBounds(3, 3, 2, 40);
    QVERIFY(!graph->HasImage());
    QVERIFY(graph->Pixels() == nullptr);
    QCOMPARE(graph->ImageWidth(), 200); // keeps its last values

    graph->SetBounds(3, 3, 9, 9);
    QVERIFY(graph->HasImage());
    graph->Advance();
    const auto before = Snapshot(*graph);
    graph->SetBounds(5, 7, 9, 9); // same size: not redrawn
    QCOMPARE(Snapshot(*graph), before);
}

void TestPerformanceGraph::advanceWithoutImage() {
    graph->SetBounds(0, 0, 2, 2);
    auto* s = new TFeedSource(owner.get());
    s->SetCount(4);
    s->SetGraph(graph);
    s->Queue = {3, 4};
    graph->Advance();
    graph->Advance();
    QVERIFY(!graph->HasImage());
    QCOMPARE(s->GetValue(0), 4);
    QCOMPARE(s->GetValue(1), 3);
    QCOMPARE(s->LastValue, 3);
    QCOMPARE(s->LastPos, 0);
    QCOMPARE(graph->VGridPhase(), 2);
    // Once sized, the history that was kept is drawn.
    graph->SetBounds(0, 0, 12, 10);
    QVERIFY(graph->HasImage());
    QCOMPARE(s->Count(), 10);
}

void TestPerformanceGraph::advanceScrolls() {
    GridsOff(*graph);
    graph->SetGamma(1.0);
    auto* s = new TFeedSource(owner.get());
    s->SetGraph(graph);
    s->Queue = {0, 100, 30, 70, 10};
    graph->Refresh();
    for (int i = 0; i < 5; ++i)
        graph->Advance();
    s->SetGraph(nullptr);
    const auto before = Snapshot(*graph);
    graph->Advance();
    const int w = graph->ImageWidth(), stride = graph->Stride();
    for (int r = 0; r < graph->ImageHeight(); ++r) {
        for (int x = 0; x < w - 1; ++x)
            for (int c = 0; c < 3; ++c)
                QCOMPARE(int(graph->Pixels()[r * stride + 3 * x + c]),
                         int(before[std::size_t(r * stride + 3 * (x + 1) + c)]));
        for (int c = 0; c < 3; ++c)
            QCOMPARE(Channel(*graph, w - 1, r, c), 0);
    }
}

void TestPerformanceGraph::ticksMatchRedraw_data() {
    QTest::addColumn<double>("curve");
    QTest::addColumn<bool>("gridCurve");
    QTest::addColumn<int>("space");      // of the horizontal grid
    QTest::addColumn<int>("spaceLater"); // set after the ninth tick; 0 for none
    QTest::newRow("grids on") << 0.25 << true << 4 << 0;
    QTest::newRow("straight grid") << 0.25 << false << 3 << 0;
    QTest::newRow("curve above one") << 1.5 << true << 6 << 0;
    QTest::newRow("grid changed between ticks") << 0.25 << true << 4 << 5;
}

void TestPerformanceGraph::ticksMatchRedraw() {
    QFETCH(double, curve);
    QFETCH(bool, gridCurve);
    QFETCH(int, space);
    QFETCH(int, spaceLater);
    // One series, grids on, gamma 2.5: what the ticks drew equals a full redraw
    // from the history, as long as no sample has dropped out yet.
    graph->SetBounds(0, 0, 42, 30);
    graph->SetVGridSpace(7);
    graph->SetHGridSpace(space);
    graph->SetCurve(curve);
    graph->SetGridCurve(gridCurve);
    auto* s = new TFeedSource(owner.get());
    s->SetGraph(graph);
    s->SetColor(0x2080FF);
    s->Queue = {0, 10, 90, 40, 100, 3, 55, 55, 70, 20, 0, 130, 60, 45, 5, 80, 99, 1};
    graph->Refresh();
    for (int i = 0; i < 18; ++i) {
        if (i == 9 && spaceLater > 0) graph->SetHGridSpace(spaceLater);
        graph->Advance();
    }
    const auto ticked = Snapshot(*graph);
    graph->Refresh();
    QCOMPARE(Snapshot(*graph), ticked);
}

void TestPerformanceGraph::replayBridgesGaps() {
    GridsOff(*graph);
    graph->SetGamma(1.0);
    auto* s = new TFeedSource(owner.get());
    s->SetGraph(graph);
    s->Max = 7; // rows are values on an 8-row image with curve 0.1
    graph->SetCurve(0.1);
    s->Queue = {7, 0, 3};
    graph->Refresh();
    graph->Advance(); // 7
    graph->Advance(); // 0
    s->Silent = true;
    graph->Advance(); // no sample: an invalid slot
    graph->Advance();
    s->Silent = false;
    graph->Advance(); // 3
    QCOMPARE(s->LastPos, 0);
    graph->Refresh();
    // Valid slots at positions 4 (7), 3 (0), 0 (3); plotted points are the averages
    // of the slot before: 0, 7, 0. The replay draws 5->6 and 6->9 (columns).
    QVERIFY(s->HasLast);
    QCOMPARE(s->LastPos, 0);
    QCOMPARE(s->LastValue, 0);
    std::vector<std::uint8_t> expected(std::size_t(graph->Stride()) * 8, 0);
    TZImageView view{expected.data(), 10, 8, graph->Stride()};
    DrawLine(view, graph->ToneTables(), 5, 7, 6, 0, s->Color());
    DrawLine(view, graph->ToneTables(), 6, 0, 9, 7, s->Color());
    QCOMPARE(Snapshot(*graph), expected);
}

void TestPerformanceGraph::detachedLineSurvivesUntilRedraw() {
    GridsOff(*graph);
    auto* red = new TFeedSource(owner.get());
    auto* green = new TFeedSource(owner.get());
    red->SetColor(0x0000FF);
    green->SetColor(0x00FF00);
    red->SetGraph(graph);
    green->SetGraph(graph);
    red->Queue = {10, 60, 30, 80};
    green->Queue = {90, 20, 70, 40};
    graph->Refresh();
    for (int i = 0; i < 4; ++i)
        graph->Advance();
    const auto anyGreen = [&] {
        for (int r = 0; r < graph->ImageHeight(); ++r)
            for (int x = 0; x < graph->ImageWidth(); ++x)
                if (Channel(*graph, x, r, 1) != 0) return true;
        return false;
    };
    QVERIFY(anyGreen());
    green->SetGraph(nullptr);
    graph->Advance();
    QVERIFY(anyGreen());
    graph->Refresh();
    QVERIFY(!anyGreen());
}

void TestPerformanceGraph::resizeKeepsNewest() {
    auto* s = new TFeedSource(owner.get());
    s->SetGraph(graph);
    s->Queue = {1, 2, 3, 4};
    for (int i = 0; i < 4; ++i)
        graph->Advance();
    graph->SetBounds(0, 0, 22, 10);
    QCOMPARE(s->Count(), 20);
    QCOMPARE(s->GetValue(0), 4);
    QCOMPARE(s->GetValue(3), 1);
    QVERIFY(!s->IsValid(4) && !s->IsValid(19));
    graph->SetBounds(0, 0, 4, 10);
    QCOMPARE(s->Count(), 2);
    QCOMPARE(s->GetValue(1), 3);
}

void TestPerformanceGraph::newSourceFirstSegment() {
    GridsOff(*graph);
    graph->Refresh();
    auto* s = new TFeedSource(owner.get());
    s->SetGraph(graph);
    QCOMPARE(s->Count(), 10);
    s->Queue = {50, 50};
    const auto empty = Snapshot(*graph);
    graph->Advance();
    QCOMPARE(Snapshot(*graph), empty); // first tick: a point, no segment yet
    graph->Advance();
    QVERIFY(Snapshot(*graph) != empty);
}

void TestPerformanceGraph::unusableScaleDrawsNothing() {
    GridsOff(*graph);
    auto* s = new TFeedSource(owner.get());
    s->SetGraph(graph);
    s->Max = 0; // a hand-edited scale of 0
    s->Queue = {5, 0, 7, -3};
    graph->Refresh();
    const auto empty = Snapshot(*graph);
    for (int i = 0; i < 4; ++i)
        graph->Advance();
    graph->Refresh();
    QCOMPARE(Snapshot(*graph), empty);
}

void TestPerformanceGraph::frame() {
    for (const QSize size : {QSize(12, 10), QSize(7, 5), QSize(2, 9)}) {
        graph->SetBounds(0, 0, size.width(), size.height());
        graph->Refresh();
        const QImage img = graph->grab().toImage();
        const int w = size.width(), h = size.height();
        QCOMPARE(img.size(), size);
        const QRgb shadow = graph->palette().color(QPalette::Dark).rgb();
        const QRgb light = graph->palette().color(QPalette::Light).rgb();
        QVERIFY(shadow != light);
        for (int x = 0; x < w - 1; ++x)
            QCOMPARE(img.pixel(x, 0), shadow);
        for (int y = 0; y < h - 1; ++y)
            QCOMPARE(img.pixel(0, y), shadow);
        for (int x = 0; x < w; ++x)
            QCOMPARE(img.pixel(x, h - 1), light);
        for (int y = 0; y < h; ++y)
            QCOMPARE(img.pixel(w - 1, y), light);
        for (int y = 1; y < h - 1; ++y)
            for (int x = 1; x < w - 1; ++x) {
                const QRgb expected =
                    graph->HasImage() ? Upright(*graph, x - 1, y - 1) : qRgb(0, 0, 0);
                QCOMPARE(img.pixel(x, y), expected);
            }
    }
    // What is painted is the image flipped upright: its top line is memory row H - 1.
    graph->SetBounds(0, 0, 12, 10);
    graph->SetGamma(1.0);
    graph->SetVGrid(false);
    graph->SetHGridSpace(2);
    graph->SetGridCurve(false);
    graph->SetGridGamma(false);
    graph->SetHGridColor(0x0000FF);
    graph->Refresh();
    const QImage painted = graph->grab().toImage();
    // 8 rows: t = 7 * 1 / 2 = 3.5 -> row 4 from the bottom -> screen row 3.
    QCOMPARE(Channel(*graph, 0, 4, 2), 255);
    QCOMPARE(painted.pixel(1, 1 + 3), qRgb(255, 0, 0));
    QCOMPARE(painted.pixel(1, 1 + 4), qRgb(0, 0, 0));
}

void TestPerformanceGraph::rowConversion() {
    for (const int count : {0, 1, 3, 4, 5, 9}) {
        // Exactly the row's bytes on the heap: a read past them shows under the sanitizers.
        std::vector<std::uint8_t> row(std::size_t(3 * count));
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = std::uint8_t(17 * i + 3);
        std::vector<QRgb> out(std::size_t(count) + 1, 0x12345678u);
        BgrRowToRgb32(row.data(), out.data(), count);
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* p = row.data() + 3 * i;
            QCOMPARE(out[std::size_t(i)], qRgb(p[2], p[1], p[0]));
        }
        QCOMPARE(out[std::size_t(count)], QRgb(0x12345678u)); // nothing written past count
    }
}

void TestPerformanceGraph::screenCopyIsFlippedImage() {
    // Image widths with and without row padding (3 x 8 is a multiple of 4, 3 x 7 is not).
    for (const QSize size : {QSize(10, 9), QSize(9, 7), QSize(3, 4)}) {
        graph->SetBounds(0, 0, size.width(), size.height());
        graph->SetGamma(1.0);
        auto* s = new TFeedSource(owner.get());
        s->SetGraph(graph);
        s->Max = 10;
        s->SetColor(0x3080F0);
        s->Queue = {1, 9, 4, 10, 0, 6, 3};
        graph->Refresh();
        for (int i = 0; i < 7; ++i)
            graph->Advance();
        const QImage screen =
            graph->grab().toImage().copy(1, 1, graph->ImageWidth(), graph->ImageHeight());
        const int w = graph->ImageWidth(), h = graph->ImageHeight();
        QCOMPARE(screen.size(), QSize(w, h));
        int lit = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int row = h - 1 - y;
                const QRgb expected = qRgb(Channel(*graph, x, row, 2), Channel(*graph, x, row, 1),
                                           Channel(*graph, x, row, 0));
                QCOMPARE(screen.pixel(x, y), expected);
                lit += expected != qRgb(0, 0, 0);
            }
        QVERIFY(lit > 0);
        delete s;
    }
}

void TestPerformanceGraph::partialPresent() {
    graph->SetBounds(0, 0, 12, 10);
    GridsOff(*graph);
    graph->Refresh();
    QImage target(12, 10, QImage::Format_RGB32);
    {
        QPainter p(&target);
        graph->PresentTo(p, QRect(0, 0, 12, 10));
    }
    // A grid line on every other row in every column; only widget columns 3..5 of
    // rows 2..5 are presented.
    graph->SetGamma(1.0);
    graph->SetHGrid(true);
    graph->SetHGridSpace(2);
    graph->SetGridCurve(false);
    graph->Refresh();
    {
        QPainter p(&target);
        graph->PresentTo(p, QRect(3, 2, 3, 4));
    }
    int litInside = 0, litOutside = 0;
    for (int y = 1; y < 9; ++y)
        for (int x = 1; x < 11; ++x) {
            const int row = graph->ImageHeight() - y; // memory row of widget row y
            const QRgb image = qRgb(Channel(*graph, x - 1, row, 2), Channel(*graph, x - 1, row, 1),
                                    Channel(*graph, x - 1, row, 0));
            const bool inside = x >= 3 && x <= 5 && y >= 2 && y <= 5;
            const QRgb expected = inside ? image : qRgb(0, 0, 0);
            (inside ? litInside : litOutside) += image != qRgb(0, 0, 0);
            QCOMPARE(target.pixel(x, y), expected);
        }
    QVERIFY(litInside > 0);
    QVERIFY(litOutside > 0);
}

// The second press of a double click arrives as a double click alone.
void TestPerformanceGraph::doubleClickIsAPress() {
    QList<Qt::MouseButton> downs;
    int doubles = 0;
    graph->OnMouseDown = [&downs](Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
        QCOMPARE(QPoint(x, y), QPoint(3, 4));
        downs << b;
    };
    graph->OnDblClick = [&doubles] { ++doubles; };
    for (const Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton}) {
        QMouseEvent e(QEvent::MouseButtonDblClick, QPointF(3, 4), graph->mapToGlobal(QPointF(3, 4)),
                      b, b, Qt::NoModifier);
        QCoreApplication::sendEvent(graph, &e);
    }
    QCOMPARE(downs, (QList<Qt::MouseButton>{Qt::LeftButton, Qt::RightButton}));
    QCOMPARE(doubles, 2);
}

QTEST_MAIN(TestPerformanceGraph)
#include "test_performance_graph.moc"
