// The hover readout: a small tooltip-like box of plain text beside the pointer. Made at the
// first hover (its font loads then, not at start-up) and kept, hidden, afterwards.
#pragma once

#include <QLabel>

class TZReadoutBox : public QLabel {
    Q_OBJECT
public:
    explicit TZReadoutBox(QWidget* owner);
    // Shows text with its top-left corner beside the global point, kept on that point's screen.
    void ShowAt(const QPoint& global, const QString& text);
};
