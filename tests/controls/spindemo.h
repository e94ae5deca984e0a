// A window that shows the spin controls working on their own: an editable
// count from 1 to 10, a read-only two-decimal value from 1.00 to 4.00 and a
// bare spin button, each greying an arrow at the end of its range, with a log
// of every event as it fires.
#pragma once

#include "ZSpinEdit.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

class TSpinDemo : public QWidget {
    Q_OBJECT
public:
    explicit TSpinDemo(QWidget* owner = nullptr);

    TZSpinEdit* SpinEditCount = nullptr;
    TZSpinEdit* SpinEditGamma = nullptr;
    TZSpinButton* SpinButtonClicks = nullptr;
    QLabel* TextClicks = nullptr;
    QPlainTextEdit* Log = nullptr;

private:
    void Note(const QString& line);
    void StepCount(int delta);
    void StepGamma(int delta);
    void StepClicks(int delta);

    int FClicks = 0;
};
