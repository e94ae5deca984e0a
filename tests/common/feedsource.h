// A series whose samples the test decides. Header-only over the graph: the tests that include
// it link sorvane_graph themselves.
#pragma once

#include "UnitZPerformanceGraph.h"

#include <QList>

#include <functional>

namespace testcommon {

// Each tick hands the graph the first value of Queue; with the queue empty, Next() where it is
// set, else 0. While Silent it hands over nothing at all.
class TFeedSource : public TZPerformanceSource {
public:
    using TZPerformanceSource::TZPerformanceSource;
    void Sample() override {
        if (Silent) return;
        Graph()->AddValue(this, !Queue.isEmpty() ? Queue.takeFirst() : Next ? Next() : 0);
    }
    QList<int> Queue;
    std::function<int()> Next;
    bool Silent = false;
};

} // namespace testcommon
