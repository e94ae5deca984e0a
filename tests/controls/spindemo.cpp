#include "spindemo.h"
#include "spinarrows.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <algorithm>

using testcommon::Arrows;

TSpinDemo::TSpinDemo(QWidget* owner) : QWidget(owner) {
    setWindowTitle(QStringLiteral("Spin controls"));
    setFixedSize(300, 260);

    auto* textCount = new QLabel(QStringLiteral("Count (1 to 10):"), this);
    textCount->setGeometry(8, 11, 140, 19);
    SpinEditCount = new TZSpinEdit(this);
    SpinEditCount->setGeometry(160, 8, 121, 23);

    auto* textGamma = new QLabel(QStringLiteral("Gamma (read-only):"), this);
    textGamma->setGeometry(8, 43, 140, 19);
    SpinEditGamma = new TZSpinEdit(this);
    SpinEditGamma->setGeometry(160, 40, 73, 23);
    SpinEditGamma->setReadOnly(true);

    TextClicks = new QLabel(this);
    TextClicks->setGeometry(8, 75, 140, 19);
    SpinButtonClicks = new TZSpinButton(this);
    SpinButtonClicks->move(160, 72);

    Log = new QPlainTextEdit(this);
    Log->setGeometry(8, 108, 284, 144);
    Log->setReadOnly(true);
    Log->setFocusPolicy(Qt::NoFocus);

    SpinEditCount->setText(QStringLiteral("5"));
    SpinEditCount->OnMore = [this](QObject*) {
        Note(QStringLiteral("Count: More"));
        StepCount(1);
    };
    SpinEditCount->OnLess = [this](QObject*) {
        Note(QStringLiteral("Count: Less"));
        StepCount(-1);
    };
    SpinEditCount->OnManual = [this](QObject*, bool more, bool less) {
        Note(QStringLiteral("Count: Manual(%1, %2)")
                 .arg(more ? "true" : "false", less ? "true" : "false"));
        StepCount(more == less ? 0 : more ? 1 : -1);
    };
    SpinEditCount->OnExit = [this](QObject*) { Note(QStringLiteral("Count: Exit")); };

    SpinEditGamma->setText(QStringLiteral("2.50"));
    SpinEditGamma->OnMore = [this](QObject*) {
        Note(QStringLiteral("Gamma: More"));
        StepGamma(5);
    };
    SpinEditGamma->OnLess = [this](QObject*) {
        Note(QStringLiteral("Gamma: Less"));
        StepGamma(-5);
    };

    SpinButtonClicks->OnMore = [this](QObject*) { StepClicks(1); };
    SpinButtonClicks->OnLess = [this](QObject*) { StepClicks(-1); };
    StepClicks(0);
}

void TSpinDemo::Note(const QString& line) {
    Log->appendPlainText(line);
}

void TSpinDemo::StepCount(int delta) {
    bool ok = false;
    int v = SpinEditCount->text().toInt(&ok);
    if (!ok) v = 1;
    v = std::clamp(std::clamp(v, 1, 10) + delta, 1, 10);
    SpinEditCount->setText(QString::number(v));
    SpinEditCount->Button()->SetState(Arrows(v > 1, v < 10));
}

void TSpinDemo::StepGamma(int delta) {
    // Hundredths, so that the text stays on its grid.
    const int v = std::clamp(qRound(SpinEditGamma->text().toDouble() * 100) + delta, 100, 400);
    SpinEditGamma->setText(QString::number(v / 100.0, 'f', 2));
    SpinEditGamma->Button()->SetState(Arrows(v > 100, v < 400));
}

void TSpinDemo::StepClicks(int delta) {
    FClicks = std::clamp(FClicks + delta, 0, 20);
    TextClicks->setText(QStringLiteral("Spin button: %1 of 20").arg(FClicks));
    SpinButtonClicks->SetState(Arrows(FClicks > 0, FClicks < 20));
}
