// Until the main window exists: the graph in a plain window, fed by two
// pseudo-random series, ticking once a second.
#include "UnitZPerformanceGraph.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Sorvane");
    QWidget window;
    window.setWindowTitle("Sorvane");
    window.setFixedSize(305, 97);

    auto* graph = new TZPerformanceGraph(&window);
    graph->SetBounds(4, 4, 305 - 8, 97 - 8);
    auto* receive = new TZPerformanceSource(&window);
    receive->SetGraph(graph);
    receive->SetColor(0x0000FF);
    auto* send = new TZPerformanceSource(&window);
    send->SetGraph(graph);
    send->SetColor(0x00FF00);

    graph->SetCurve(0.25);
    graph->SetGamma(2.50);
    graph->SetGridCurve(true);
    graph->SetGridGamma(true);
    graph->SetHGrid(true);
    graph->SetHGridSpace(10);
    graph->SetHGridColor(0xFF0000);
    graph->SetVGrid(true);
    graph->SetVGridSpace(60);
    graph->SetVGridColor(0xFF0000);
    graph->Refresh();

    auto* timer = new QTimer(&window);
    QObject::connect(timer, &QTimer::timeout, graph, &TZPerformanceGraph::Advance);
    timer->start(1000);
    window.show();
    return app.exec();
}
