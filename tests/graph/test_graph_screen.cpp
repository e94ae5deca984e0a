// The graph as the X server shows it: after ticks that scroll the window's
// picture and write only the newest columns, the pixels on the screen must be
// those of the image, as a full repaint would draw them.
#include "UnitZPerformanceGraph.h"
#include "ZDesktop.h"
#include "feedsource.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>

namespace {

using testcommon::TFeedSource;

// Values from 0 to 100 that look like traffic and repeat from run to run.
std::function<int()> Noise(unsigned seed) {
    return [step = seed]() mutable {
        step = step * 1103515245u + 12345u;
        return static_cast<int>((step >> 16) % 101);
    };
}

// Counts the paint events of the widget it filters.
class TPaintCount : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++Count;
        return false;
    }
    int Count = 0;
};

// The X server's copy, counting the ticks that went through it; it can be made to refuse.
class TCountingPresenter : public TZGraphPresenter {
public:
    TCountingPresenter(std::unique_ptr<TZGraphPresenter> real, int& shows, bool& refuse)
        : FReal(std::move(real)), FShows(shows), FRefuse(refuse) {}
    bool Prepare(QWindow* window, QSize size, bool& kept) override {
        return !FRefuse && FReal->Prepare(window, size, kept);
    }
    void ScrollLeft() override { FReal->ScrollLeft(); }
    void Put(const QRect& rect, const QRgb* pixels) override { FReal->Put(rect, pixels); }
    void Show(const QPoint& at) override {
        FReal->Show(at);
        ++FShows;
    }

private:
    std::unique_ptr<TZGraphPresenter> FReal;
    int& FShows;
    bool& FRefuse;
};

} // namespace

class TestGraphScreen : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void ticksMatchImage_data();
    void ticksMatchImage();

private:
    // Differences between the window on the screen and the graph's image.
    int ScreenMismatches();
    // Delivers the repaints asked for; grabbing then waits for the server's reply, so all
    // that was sent before it is on the screen.
    static void Settle();

    TPaintCount paints;
    QWidget* top = nullptr;
    TZPerformanceGraph* graph = nullptr;
    TFeedSource* receive = nullptr;
    TFeedSource* send = nullptr;
    int shows = 0;
    bool refuse = false;
};

void TestGraphScreen::init() {
    top = new QWidget(nullptr, Qt::FramelessWindowHint);
    top->setFixedSize(305, 97);
    graph = new TZPerformanceGraph(top);
    graph->SetBounds(4, 4, 297, 89);
    graph->SetVGridSpace(7);
    receive = new TFeedSource(top);
    receive->SetGraph(graph);
    receive->Max = 100;
    receive->SetColor(0x0000FF);
    receive->Next = Noise(1);
    send = new TFeedSource(top);
    send->SetGraph(graph);
    send->Max = 100;
    send->SetColor(0x00FF00);
    send->Next = Noise(77);
    graph->Refresh();
    paints.Count = 0;
    graph->installEventFilter(&paints);
    top->move(0, 0);
    top->show();
    QVERIFY(QTest::qWaitForWindowExposed(top));
}

void TestGraphScreen::cleanup() {
    delete top;
    top = nullptr;
}

void TestGraphScreen::Settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

int TestGraphScreen::ScreenMismatches() {
    const QImage shown =
        top->screen()->grabWindow(top->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    if (shown.size() != top->size()) return -1;
    const int w = graph->ImageWidth(), h = graph->ImageHeight();
    const QPoint origin = graph->mapTo(top, QPoint(1, 1));
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = graph->Pixels() + std::size_t(h - 1 - y) * graph->Stride();
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = row + 3 * x;
            wrong += shown.pixel(origin.x() + x, origin.y() + y) != qRgb(p[2], p[1], p[0]);
        }
    }
    return wrong;
}

void TestGraphScreen::ticksMatchImage_data() {
    QTest::addColumn<bool>("presenter");
    QTest::newRow("backing store") << false;
    QTest::newRow("server's copy") << true;
}

void TestGraphScreen::ticksMatchImage() {
    QFETCH(bool, presenter);
    shows = 0;
    refuse = false;
    if (presenter) {
        auto real = NewGraphPresenter();
        QVERIFY(real);
        graph->SetPresenter(std::make_unique<TCountingPresenter>(std::move(real), shows, refuse));
    }
    Settle(); // the first showing
    QVERIFY(paints.Count > 0);
    QCOMPARE(ScreenMismatches(), 0);
    // One tick at a time: the window is written without a repaint of the widget.
    const int painted = paints.Count;
    for (int i = 0; i < 25; ++i) {
        graph->Advance();
        Settle();
        QCOMPARE(ScreenMismatches(), 0);
    }
    QCOMPARE(paints.Count, painted);
    QCOMPARE(shows, presenter ? 25 : 0);
    // Covered by another window and uncovered between ticks: what the window then shows
    // again is the image of the last tick.
    {
        QWidget other(nullptr, Qt::FramelessWindowHint);
        other.setGeometry(40, 10, 120, 60);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        Settle();
    }
    QTRY_COMPARE(ScreenMismatches(), 0);
    // Several ticks before the window gets to paint.
    for (int i = 0; i < 6; ++i) {
        for (int k = 0; k <= i % 3; ++k)
            graph->Advance();
        Settle();
    }
    QCOMPARE(ScreenMismatches(), 0);
    // A tick the server's copy cannot take goes through the store, which the ticks before
    // went past; and the next the copy takes again starts it over.
    for (const bool refusing : {true, false}) {
        refuse = refusing;
        graph->Advance();
        Settle();
        QCOMPARE(ScreenMismatches(), 0);
    }
    // A series that skipped ticks joins its last point from further left.
    send->Silent = true;
    for (int i = 0; i < 5; ++i) {
        graph->Advance();
        Settle();
    }
    send->Silent = false;
    graph->Advance();
    Settle();
    QCOMPARE(ScreenMismatches(), 0);
    // A setting that redraws everything, then ticks again.
    graph->SetCurve(0.5);
    graph->Advance();
    graph->Advance();
    Settle();
    QCOMPARE(ScreenMismatches(), 0);
    // Partly covered by a sibling: the covered part must not be written over.
    auto* cover = new QWidget(top);
    cover->setAutoFillBackground(true);
    cover->setGeometry(100, 20, 30, 30);
    cover->show();
    Settle();
    const QImage before = top->grab(cover->geometry()).toImage();
    for (int i = 0; i < 3; ++i)
        graph->Advance();
    Settle();
    const QImage shownCover = top->screen()->grabWindow(top->winId(), 100, 20, 30, 30).toImage();
    QCOMPARE(shownCover.convertToFormat(QImage::Format_RGB32),
             before.convertToFormat(QImage::Format_RGB32));
    delete cover;
    Settle();
    QCOMPARE(ScreenMismatches(), 0);
    // Hidden while ticking, then shown again.
    top->hide();
    for (int i = 0; i < 4; ++i)
        graph->Advance();
    top->show();
    QVERIFY(QTest::qWaitForWindowExposed(top));
    // The paint after the exposure can take more than one turn of the loop.
    QTRY_COMPARE(ScreenMismatches(), 0);
}

int main(int argc, char** argv) {
    // The window's store is in memory shared with the X server where the server allows it, as
    // the program runs; a second run goes without (QT_XCB_NO_MITSHM), as with a remote server.
    // A private X server comes without a session bus; looking for one only forks
    // and leaves libdbus's buffers behind for the leak checker.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QApplication app(argc, argv);
    TestGraphScreen test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_graph_screen.moc"
