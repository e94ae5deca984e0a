// The property dialog with the keyboard alone, on the offscreen platform: the
// spin fields' keys against the step table, the colour swatches, a Tab walk
// that changes everything and saves it, the names assistive tools read, and the
// Alt mnemonics. The main window holds the settings over a scripted interface
// table; its settings file lies beside this executable.
#include "UnitSorvane.h"
#include "UnitSorvaneProperty.h"
#include "ZRelationFile.h"
#include "scriptedtable.h"

#include <QAccessible>
#include <QCheckBox>
#include <QColorDialog>
#include <QFile>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

QString SettingsPath() {
    return QString::fromStdString(RelationFileName(kSettingsExtension));
}

QByteArray SettingsText() {
    QFile f(SettingsPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString ArrowsText(TZSpinButtonState s) {
    if (s.testFlag(zsbsMore) && s.testFlag(zsbsLess)) return "both";
    if (s.testFlag(zsbsMore)) return "more";
    if (s.testFlag(zsbsLess)) return "less";
    return "none";
}

// One field of the step table: the text after one arrow click from a text, and
// the arrows that text leaves enabled. The fallbacks are the first showing's.
struct TTableField {
    std::function<QString(const QString&, bool)> Step;
    std::function<TZSpinButtonState(const QString&)> Arrows;
};

TTableField TableField(const QString& field) {
    const TSettings d;
    if (field == "SpinEditScale")
        return {[d](const QString& t, bool more) {
                    return QString::number(StepScaleValue(IntegerText(t, d.ScaleText), more));
                },
                [d](const QString& t) { return ScaleButtonState(IntegerText(t, d.ScaleText)); }};
    if (field == "SpinEditDelay")
        return {[](const QString& t, bool more) {
                    return QString::number(StepDelayValue(IntegerText(t, kDelayMin), more));
                },
                [](const QString& t) { return DelayButtonState(IntegerText(t, kDelayMin)); }};
    if (field == "SpinEditCurve")
        return {[d](const QString& t, bool more) {
                    return TwoDecimalText(StepCurveValue(RealText(t, d.Curve), more));
                },
                [d](const QString& t) { return CurveButtonState(RealText(t, d.Curve)); }};
    if (field == "SpinEditGamma")
        return {[d](const QString& t, bool more) {
                    return TwoDecimalText(StepGammaValue(RealText(t, d.Gamma), more));
                },
                [d](const QString& t) { return GammaButtonState(RealText(t, d.Gamma)); }};
    if (field == "SpinEditHGrid")
        return {[d](const QString& t, bool more) {
                    return QString::number(StepHGridValue(IntegerText(t, d.HGridSpace), more));
                },
                [d](const QString& t) { return HGridButtonState(IntegerText(t, d.HGridSpace)); }};
    return {[](const QString& t, bool more) {
                return VGridSpaceToText(
                    static_cast<std::int32_t>(StepVGridValue(TextToVGridSpace(t), more)));
            },
            [](const QString& t) { return VGridButtonState(TextToVGridSpace(t)); }};
}

// What a key does by the table, clicking the arrow as the mouse would: once,
// ten times, or until the arrow greys or the text stays, never past a greyed arrow.
struct TTableResult {
    QString Text;
    TZSpinButtonState Arrows;
};
TTableResult ByTable(const QString& field, QString text, int key) {
    const TTableField f = TableField(field);
    const bool more = key == Qt::Key_Up || key == Qt::Key_PageUp || key == Qt::Key_End;
    const int clicks = key == Qt::Key_Up || key == Qt::Key_Down           ? 1
                       : key == Qt::Key_PageUp || key == Qt::Key_PageDown ? 10
                                                                          : 10000;
    TZSpinButtonState arrows = {zsbsMore, zsbsLess}; // a fresh showing enables both
    for (int i = 0; i < clicks && arrows.testFlag(more ? zsbsMore : zsbsLess); ++i) {
        const QString next = f.Step(text, more);
        const bool changed = next != text;
        text = next;
        arrows = f.Arrows(text);
        if (clicks > 1 && !changed) break;
    }
    return {text, arrows};
}

const char* const kSpinFields[] = {"SpinEditScale", "SpinEditDelay", "SpinEditCurve",
                                   "SpinEditGamma", "SpinEditHGrid", "SpinEditVGrid"};

} // namespace

class TestPropertyKeys : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void fieldKeys_data();
    void fieldKeys();
    void greyedKeyDoesNothing();
    void focusFramePoints_data();
    void focusFramePoints();
    void swatchFocusFrame();
    void swatchKeys_data();
    void swatchKeys();
    void swatchKeepsMouseFocus();
    void tabWalkChangesEverything();
    void accessibleNames();
    void accessibleArrows();
    void mnemonicsAreUniqueAndLabelled();
    void mnemonicKeys_data();
    void mnemonicKeys();
    void mnemonicsDrawNothingUntilAlt();

private:
    void Show();
    TZSpinEdit* Spin(const QString& name) const { return dialog->findChild<TZSpinEdit*>(name); }
    const Ui::FormSorvaneProperty& ui() const { return dialog->Form(); }
    // Puts the focus on a field holding text, entered afresh (no typed text).
    void Enter(TZSpinEdit* edit, const QString& text);
    // A key to whatever has the focus, as the keyboard sends it.
    static void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Runs the colour chooser by keys once it is up: its HTML field, the colour, Enter.
    void ChooseByKeys(const QString& html, bool* ran);

    std::shared_ptr<TScript> script;
    std::unique_ptr<TFormSorvane> form;
    TFormSorvaneProperty* dialog = nullptr;
};

void TestPropertyKeys::initTestCase() {
    QLocale::setDefault(QLocale::c());
}

void TestPropertyKeys::init() {
    QFile::remove(SettingsPath());
    script = std::make_shared<TScript>();
    script->Rows = {{"lo", 100, 200}, {"eth0", 1000, 2000}};
    form = std::make_unique<TFormSorvane>(instance::TInstanceNames{}, ScriptedSharedTable(script));
    form->Timer()->stop();
    dialog = new TFormSorvaneProperty(form.get(), *form, *form->SharedTable());
    form->PropertyDialog = dialog;
    QTRY_VERIFY(form->isVisible()); // first, so that it does not take the activation later
}

void TestPropertyKeys::cleanup() {
    form.reset();
    QFile::remove(SettingsPath());
}

void TestPropertyKeys::Show() {
    // From the active main window, as through its menu: the offscreen platform
    // activates a window shown again only if another one was active meanwhile.
    form->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), form.get());
    form->MenuPropertyClick();
    dialog->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), dialog);
}

void TestPropertyKeys::Enter(TZSpinEdit* edit, const QString& text) {
    ui().ComboBoxInterface->setFocus(Qt::TabFocusReason);
    edit->setText(text);
    edit->setFocus(Qt::TabFocusReason);
    QVERIFY(edit->hasFocus());
}

void TestPropertyKeys::Key(int key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget();
    QVERIFY(target);
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

void TestPropertyKeys::ChooseByKeys(const QString& html, bool* ran) {
    QTimer::singleShot(0, dialog, [this, html, ran] {
        QColorDialog* chooser = dialog->ColorDialog;
        QVERIFY(chooser->isVisible());
        // Whatever fails below, the chooser must not stay open.
        auto guard = qScopeGuard([chooser] { chooser->reject(); });
        QTRY_COMPARE(QApplication::activeWindow(), chooser);
        Key(Qt::Key_H, Qt::AltModifier); // its "&HTML:" field
        QWidget* field = QApplication::focusWidget();
        QVERIFY(qobject_cast<QLineEdit*>(field));
        Key(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, html);
        Key(Qt::Key_Return);
        QVERIFY(!chooser->isVisible());
        guard.dismiss();
        *ran = true;
    });
}

// ---- spin fields ----

void TestPropertyKeys::fieldKeys_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("arrows");
    const struct {
        const char* field;
        const char* start;
        // After Up, Down, PageUp, PageDown, Home, End.
        const char* texts[6];
        const char* arrows[6];
    } table[] = {
        {"SpinEditScale",
         "64000",
         {"65000", "60000", "200000", "15000", "1000", "1000000000"},
         {"both", "both", "both", "both", "more", "less"}},
        {"SpinEditDelay",
         "1",
         {"2", "1", "11", "1", "1", "100"},
         {"both", "more", "both", "more", "more", "less"}},
        {"SpinEditCurve",
         "0.25",
         {"0.30", "0.20", "0.75", "0.10", "0.10", "0.95"},
         {"both", "both", "both", "more", "more", "less"}},
        {"SpinEditGamma",
         "2.50",
         {"2.55", "2.45", "3.00", "2.00", "1.00", "4.00"},
         {"both", "both", "both", "both", "more", "less"}},
        {"SpinEditHGrid",
         "10",
         {"11", "9", "20", "2", "2", "20"},
         {"both", "both", "less", "more", "more", "less"}},
        {"SpinEditVGrid",
         "1'",
         {"1'5\"", "55\"", "1'50\"", "10\"", "5\"", "30'"},
         {"both", "both", "both", "both", "more", "less"}},
        // Outside the limits and at them.
        {"SpinEditHGrid",
         "30",
         {"20", "20", "20", "11", "2", "20"},
         {"less", "less", "less", "both", "more", "less"}},
        {"SpinEditScale",
         "1000",
         {"1500", "1000", "6000", "1000", "1000", "1000000000"},
         {"both", "more", "both", "more", "more", "less"}},
        {"SpinEditCurve",
         "0.95",
         {"0.95", "0.90", "0.95", "0.45", "0.10", "0.95"},
         {"less", "both", "less", "both", "more", "less"}},
        {"SpinEditVGrid",
         "30'",
         {"30'", "29'55\"", "30'", "29'10\"", "5\"", "30'"},
         {"less", "both", "less", "both", "more", "less"}},
    };
    const struct {
        int key;
        const char* name;
    } keys[] = {{Qt::Key_Up, "Up"},         {Qt::Key_Down, "Down"},
                {Qt::Key_PageUp, "PageUp"}, {Qt::Key_PageDown, "PageDown"},
                {Qt::Key_Home, "Home"},     {Qt::Key_End, "End"}};
    for (const auto& row : table)
        for (int k = 0; k < 6; ++k)
            QTest::addRow("%s %s %s", row.field + 8, row.start, keys[k].name)
                << row.field << row.start << keys[k].key << row.texts[k] << row.arrows[k];
}

void TestPropertyKeys::fieldKeys() {
    QFETCH(QString, field);
    QFETCH(QString, start);
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(QString, arrows);
    // The table the arrows step by agrees with the expectation...
    const TTableResult table = ByTable(field, start, key);
    QCOMPARE(table.Text, text);
    QCOMPARE(ArrowsText(table.Arrows), arrows);

    // ... and so does the key.
    Show();
    TZSpinEdit* edit = Spin(field);
    QVERIFY(edit);
    Enter(edit, start);
    dialog->SetChanged(false);
    Key(key);
    QCOMPARE(edit->text(), text);
    QCOMPARE(ArrowsText(edit->Button()->State()), arrows);
    QVERIFY(edit->hasFocus());
    QVERIFY(ui().ButtonOk->isEnabled()); // a step, even where the value stayed
    QVERIFY(dialog->isVisible());
    // The previews follow.
    if (field == "SpinEditCurve") {
        QImage curve(21, 21, QImage::Format_RGB32);
        DrawCurveImage(curve, text.toDouble());
        QCOMPARE(dialog->CurveBitmap(), curve);
    }
    if (field == "SpinEditGamma") {
        const int grey = GammaGrayLevel(text.toDouble());
        QCOMPARE(dialog->GammaGrayBitmap().pixel(0, 0), qRgb(grey, grey, grey));
    }
}

void TestPropertyKeys::greyedKeyDoesNothing() {
    Show();
    TZSpinEdit* delay = ui().SpinEditDelay;
    Enter(delay, "1");
    Key(Qt::Key_Down); // greys the lower arrow
    QCOMPARE(ArrowsText(delay->Button()->State()), QString("more"));
    // Shown again, the text is the live 1 and the arrow still greyed: nothing may step.
    ui().ButtonCancel->click();
    Show();
    Enter(delay, "40");
    dialog->SetChanged(false);
    for (int key : {Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Home}) {
        Key(key);
        QCOMPARE(delay->text(), QString("40"));
        QVERIFY(!ui().ButtonOk->isEnabled());
    }
    // The other way steps and brings the arrow back.
    Key(Qt::Key_Up);
    QCOMPARE(delay->text(), QString("41"));
    QCOMPARE(ArrowsText(delay->Button()->State()), QString("both"));
    QVERIFY(ui().ButtonOk->isEnabled());
    Key(Qt::Key_Down);
    QCOMPARE(delay->text(), QString("40"));
}

// ---- colour swatches ----

void TestPropertyKeys::focusFramePoints_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("count");
    QTest::newRow("a swatch, 119 x 20") << QSize(119, 20) << 133;
    QTest::newRow("3 x 3: the middle pixel") << QSize(3, 3) << 1;
    QTest::newRow("3 x 6: one column") << QSize(3, 6) << 2;
    QTest::newRow("6 x 3: one row") << QSize(6, 3) << 2;
    QTest::newRow("2 x 20: no room") << QSize(2, 20) << 0;
    QTest::newRow("empty") << QSize(0, 0) << 0;
}

void TestPropertyKeys::focusFramePoints() {
    QFETCH(QSize, size);
    QFETCH(int, count);
    const QPolygon points = TZPaintBox::FocusFramePoints(size);
    QCOMPARE(points.size(), count);
    QSet<QPair<int, int>> seen;
    const QRect ring(1, 1, size.width() - 2, size.height() - 2);
    for (const QPoint& p : points) {
        // Each once (a dot drawn twice would invert back), on the ring, every other pixel.
        QVERIFY(!seen.contains({p.x(), p.y()}));
        seen.insert({p.x(), p.y()});
        QVERIFY(ring.contains(p));
        QVERIFY(p.x() == ring.left() || p.x() == ring.right() || p.y() == ring.top() ||
                p.y() == ring.bottom());
        QCOMPARE((p.x() + p.y()) % 2, 0);
    }
}

void TestPropertyKeys::swatchFocusFrame() {
    Show();
    for (TZPaintBox* box : {ui().PaintBoxReceive, ui().PaintBoxSend, ui().PaintBoxHGridColor,
                            ui().PaintBoxVGridColor}) {
        const QImage before = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        box->setFocus(Qt::TabFocusReason);
        QVERIFY(box->hasFocus());
        const QImage focused = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(focused.size(), before.size());
        const QPolygon frame = TZPaintBox::FocusFramePoints(box->size());
        QVERIFY(frame.size() > 100);
        // The frame's dots invert what was there; every other pixel is as before.
        QImage expected = before;
        for (const QPoint& p : frame) {
            const QRgb c = before.pixel(p);
            expected.setPixel(p, qRgb(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c)));
        }
        QCOMPARE(focused, expected);
        ui().ButtonCancel->setFocus(Qt::TabFocusReason);
        QCOMPARE(box->grab().toImage().convertToFormat(QImage::Format_RGB32), before);
    }
}

void TestPropertyKeys::swatchKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier) << true;
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
    QTest::newRow("Enter of the keypad") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
    QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier) << false;
    QTest::newRow("a letter") << int(Qt::Key_A) << int(Qt::NoModifier) << false;
}

void TestPropertyKeys::swatchKeys() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, opens);
    Show();
    ui().PaintBoxSend->setFocus(Qt::TabFocusReason);
    dialog->SetChanged(true); // "Ok" could be pressed
    bool offered = false;
    QColor offeredColour;
    QTimer::singleShot(0, dialog, [&] {
        if (!dialog->ColorDialog->isVisible()) return;
        offered = true;
        offeredColour = dialog->ColorDialog->currentColor();
        dialog->ColorDialog->setCurrentColor(QColor(10, 20, 30));
        dialog->ColorDialog->accept();
    });
    Key(key, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(offered, opens);
    // Neither way is the dialog's default button pressed.
    QVERIFY(dialog->isVisible());
    QVERIFY(!QFile::exists(SettingsPath()));
    if (opens) {
        QCOMPARE(offeredColour, QColor(0, 255, 0));
        QCOMPARE(dialog->SendColor(), TColor(0x1E140A));
        QTRY_COMPARE(QApplication::activeWindow(), dialog);
        QVERIFY(ui().PaintBoxSend->hasFocus()); // back where it was
    } else {
        QCOMPARE(dialog->SendColor(), TColor(0x00FF00));
    }
    // A held Enter's repeats neither open it again nor reach "Ok".
    bool reopened = false;
    QTimer::singleShot(0, dialog, [&] {
        if (!dialog->ColorDialog->isVisible()) return;
        reopened = true;
        dialog->ColorDialog->reject();
    });
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(ui().PaintBoxSend, &repeat);
    QVERIFY(!reopened);
    QVERIFY(dialog->isVisible());
    QVERIFY(!QFile::exists(SettingsPath()));
}

void TestPropertyKeys::swatchKeepsMouseFocus() {
    Show();
    ui().SpinEditScale->setFocus(Qt::TabFocusReason);
    QTimer::singleShot(0, dialog, [&] { dialog->ColorDialog->reject(); });
    QTest::mouseClick(ui().PaintBoxReceive, Qt::LeftButton, {}, QPoint(50, 10));
    // A click opens the chooser as before and leaves the focus, and the frame, alone.
    QTRY_COMPARE(QApplication::activeWindow(), dialog);
    QVERIFY(ui().SpinEditScale->hasFocus());
    QVERIFY(!ui().PaintBoxReceive->hasFocus());
}

// ---- the whole dialog ----

void TestPropertyKeys::tabWalkChangesEverything() {
    Show();
    // Each stop of the Tab order, and the keys that change its value.
    const struct {
        QWidget* stop;
        std::function<void()> keys;
    } walk[] = {
        {ui().ComboBoxInterface, [] { Key(Qt::Key_Down); }},
        {ui().ComboBoxScale, [] { Key(Qt::Key_Up); }}, // Byte/s: 64000 Bit/s is 8000
        {ui().SpinEditScale, [] { Key(Qt::Key_Up); }},
        {ui().SpinEditCurve, [] { Key(Qt::Key_Up); }},
        {ui().SpinEditGamma, [] { Key(Qt::Key_Down); }},
        {ui().SpinEditDelay, [] { Key(Qt::Key_PageUp); }},
        {ui().CheckBoxGridCurve, [] { Key(Qt::Key_Space); }},
        {ui().CheckBoxGridGamma, [] { Key(Qt::Key_Space); }},
        {ui().CheckBoxHGrid, [] { Key(Qt::Key_Space); }},
        {ui().SpinEditHGrid, [] { Key(Qt::Key_Down); }},
        {ui().CheckBoxVGrid, [] { Key(Qt::Key_Space); }},
        {ui().SpinEditVGrid, [] { Key(Qt::Key_Home); }},
        {ui().ButtonOk, [] {}},
        {ui().ButtonCancel, [] {}},
        {ui().PaintBoxReceive, [] { Key(Qt::Key_Space); }},
        {ui().PaintBoxSend, [] { Key(Qt::Key_Return); }},
        {ui().PaintBoxHGridColor, [] { Key(Qt::Key_Enter, Qt::KeypadModifier); }},
        {ui().PaintBoxVGridColor, [] { Key(Qt::Key_Space); }},
        {ui().ComboBoxAgent, [] {}},
        {ui().CheckBoxFollowRoute, [] {}},
    };
    const char* const colours[] = {"#010203", "#040506", "#070809", "#0a0b0c"};
    int colour = 0;
    for (const auto& step : walk) {
        QCOMPARE(QApplication::focusWidget(), step.stop);
        bool chosen = false;
        if (qobject_cast<TZPaintBox*>(step.stop)) ChooseByKeys(colours[colour++], &chosen);
        step.keys();
        if (QTest::currentTestFailed()) return;
        if (qobject_cast<TZPaintBox*>(step.stop)) {
            QVERIFY(chosen);
            // The dialog takes the activation back itself, with the focus where it was.
            QTRY_COMPARE(QApplication::activeWindow(), dialog);
            QCOMPARE(QApplication::focusWidget(), step.stop);
        }
        Key(Qt::Key_Tab);
    }
    // Round to the start, then back to "Ok" and Enter.
    QCOMPARE(QApplication::focusWidget(), ui().ComboBoxInterface);
    for (int i = 0; i < 8; ++i)
        Key(Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), ui().ButtonOk);
    QVERIFY(ui().ButtonOk->isEnabled());
    Key(Qt::Key_Return);
    QTRY_VERIFY(!dialog->isVisible());

    const QByteArray text = SettingsText();
    for (const char* line : {"Interface=1", "Scale=8500", "ScaleText=8500", "ScaleUnit=0",
                             "Delay=11", "ReceiveColor=030201", "SendColor=060504", "Curve=0.30",
                             "Gamma=2.45", "GridCurve=0", "GridGamma=0", "HGrid=0", "HGridSpace=9",
                             "HGridColor=090807", "VGrid=0", "VGridSpace=5", "VGridColor=0C0B0A"})
        QVERIFY2(text.contains("\n" + QByteArray(line) + "\n"), line);
    QCOMPARE(form->ReceiveSource->Choice(), 1);
    QCOMPARE(form->PerformanceGraph->VGridSpace(), 5);
}

// ---- assistive tools ----

void TestPropertyKeys::accessibleNames() {
    Show();
    int focusable = 0;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (w->window() != dialog || !(w->focusPolicy() & Qt::TabFocus) || !w->isVisible())
            continue;
        ++focusable;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY2(a, qPrintable(w->objectName()));
        QVERIFY2(!a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
        QVERIFY2(!a->text(QAccessible::Description).isEmpty(), qPrintable(w->objectName()));
        QVERIFY2(!a->text(QAccessible::Name).contains(u'&'), qPrintable(w->objectName()));
    }
    QCOMPARE(focusable, 21); // the agent's field counts twice: the box and its text
    // Every label says which field it labels; a field beside its label says it back.
    int labels = 0;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->window() != dialog || !label->buddy()) continue;
        ++labels;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
        bool labels_buddy = false;
        for (const auto& r : a->relations(QAccessible::Labelled))
            labels_buddy |= r.first->object() == label->buddy();
        QVERIFY2(labels_buddy, qPrintable(label->objectName()));
        if (label->buddy()->parentWidget() != label->parentWidget()) continue;
        bool labelled = false;
        for (const auto& r :
             QAccessible::queryAccessibleInterface(label->buddy())->relations(QAccessible::Label))
            labelled |= r.first->object() == label;
        QVERIFY2(labelled, qPrintable(label->objectName()));
    }
    QCOMPARE(labels, 10);
}

void TestPropertyKeys::accessibleArrows() {
    Show();
    for (const char* name : kSpinFields) {
        TZSpinEdit* edit = Spin(name);
        const QString field = edit->accessibleName();
        QVERIFY(!field.isEmpty());
        const struct {
            QAbstractButton* half;
            QString name;
        } halves[] = {{edit->Button()->UpperHalf(), "Increase " + field},
                      {edit->Button()->LowerHalf(), "Decrease " + field}};
        for (const auto& h : halves) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(h.half);
            QVERIFY(a);
            QCOMPARE(a->role(), QAccessible::Button);
            QCOMPARE(a->text(QAccessible::Name), h.name);
            QVERIFY(a->actionInterface());
            QVERIFY(a->actionInterface()->actionNames().contains(
                QAccessibleActionInterface::pressAction()));
        }
    }
    // Pressing through the tool is a click: it steps, and a greyed arrow says so.
    QAccessibleInterface* up =
        QAccessible::queryAccessibleInterface(ui().SpinEditHGrid->Button()->UpperHalf());
    ui().SpinEditHGrid->setText("19");
    up->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(ui().SpinEditHGrid->text(), QString("20"));
    QVERIFY(up->state().disabled);
}

// ---- mnemonics ----

void TestPropertyKeys::mnemonicsAreUniqueAndLabelled() {
    QMap<int, QString> seen;
    int labels = 0, buttons = 0;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (w->window() != dialog) continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            text = label->text();
            if (!text.contains(u'&')) continue;
            ++labels;
            QVERIFY2(label->buddy(), qPrintable(w->objectName()));
            QVERIFY2(label->buddy()->focusPolicy() & Qt::TabFocus, qPrintable(w->objectName()));
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
            if (text.isEmpty()) continue; // the arrows
            ++buttons;
        } else {
            continue;
        }
        const QKeySequence mnemonic = QKeySequence::mnemonic(text);
        QVERIFY2(!mnemonic.isEmpty(), qPrintable(text));
        const int key = mnemonic[0].toCombined();
        QVERIFY2(!seen.contains(key), qPrintable(seen.value(key) + " and " + text));
        seen.insert(key, text);
    }
    QCOMPARE(labels, 10);
    QCOMPARE(buttons, 7);
}

void TestPropertyKeys::mnemonicKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("target");
    QTest::newRow("I Interface") << int(Qt::Key_I) << "ComboBoxInterface";
    QTest::newRow("S Scale") << int(Qt::Key_S) << "SpinEditScale";
    QTest::newRow("D Delay Count") << int(Qt::Key_D) << "SpinEditDelay";
    QTest::newRow("R Receive Line Color") << int(Qt::Key_R) << "PaintBoxReceive";
    QTest::newRow("N Send Line Color") << int(Qt::Key_N) << "PaintBoxSend";
    QTest::newRow("U Graph Curve") << int(Qt::Key_U) << "SpinEditCurve";
    QTest::newRow("G CRT Gamma") << int(Qt::Key_G) << "SpinEditGamma";
    QTest::newRow("L the horizontal grid's Line Color") << int(Qt::Key_L) << "PaintBoxHGridColor";
    QTest::newRow("E the vertical grid's Line Color") << int(Qt::Key_E) << "PaintBoxVGridColor";
    QTest::newRow("A Affect by 'Graph Curve'") << int(Qt::Key_A) << "CheckBoxGridCurve";
    QTest::newRow("M Affect by 'CRT Gamma'") << int(Qt::Key_M) << "CheckBoxGridGamma";
    QTest::newRow("H Horizontal Grid") << int(Qt::Key_H) << "CheckBoxHGrid";
    QTest::newRow("V Vertical Grid") << int(Qt::Key_V) << "CheckBoxVGrid";
    QTest::newRow("T Agent") << int(Qt::Key_T) << "ComboBoxAgent";
}

void TestPropertyKeys::mnemonicKeys() {
    QFETCH(int, key);
    QFETCH(QString, target);
    Show();
    QWidget* w = dialog->findChild<QWidget*>(target);
    QVERIFY(w);
    ui().ButtonCancel->setFocus(Qt::TabFocusReason);
    Key(key, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), w);
    // A check box is also switched, as a click would.
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        QTRY_VERIFY(!box->isChecked());
        QVERIFY(ui().ButtonOk->isEnabled());
    } else {
        QVERIFY(!ui().ButtonOk->isEnabled());
    }
}

void TestPropertyKeys::mnemonicsDrawNothingUntilAlt() {
    Show();
    QList<QWidget*> marked;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(w);
        const auto* button = qobject_cast<QAbstractButton*>(w);
        if (w->window() == dialog &&
            ((label && label->text().contains(u'&')) || (button && button->text().contains(u'&'))))
            marked.append(w);
    }
    QCOMPARE(marked.size(), 17);
    const auto grab = [](QWidget* w) { return w->grab().toImage(); };
    // The same widget under the application's style, with its mnemonic or without one.
    const auto appStyle = [&grab](QWidget* w, bool withMnemonic) {
        QStyle* own = w->style();
        auto* label = qobject_cast<QLabel*>(w);
        auto* button = qobject_cast<QAbstractButton*>(w);
        const QString text = label ? label->text() : button->text();
        QString shown = text;
        if (!withMnemonic) shown.remove(u'&');
        w->setStyle(nullptr);
        label ? label->setText(shown) : button->setText(shown);
        const QImage image = grab(w);
        label ? label->setText(text) : button->setText(text);
        w->setStyle(own);
        return image;
    };
    int underlined = 0;
    for (QWidget* w : marked) {
        QVERIFY2(grab(w) == appStyle(w, false), qPrintable(w->objectName()));
        // Labels clip the underline where the font's is below their height.
        if (appStyle(w, true) != appStyle(w, false)) ++underlined;
    }
    QVERIFY(underlined >= 2); // at least "Ok" and "Cancel": else nothing below could fail

    // Alt held: the underlines as the application's style draws them, whichever control
    // has the focus; released: gone again.
    for (QWidget* focus :
         {static_cast<QWidget*>(ui().SpinEditScale), static_cast<QWidget*>(ui().ComboBoxScale),
          static_cast<QWidget*>(ui().CheckBoxHGrid), static_cast<QWidget*>(ui().PaintBoxSend)}) {
        focus->setFocus(Qt::TabFocusReason);
        QTest::keyPress(focus, Qt::Key_Alt, Qt::AltModifier);
        for (QWidget* w : marked)
            QVERIFY2(grab(w) == appStyle(w, true),
                     qPrintable(focus->objectName() + " " + w->objectName()));
        QTest::keyRelease(focus, Qt::Key_Alt);
        for (QWidget* w : marked)
            QVERIFY2(grab(w) == appStyle(w, false),
                     qPrintable(focus->objectName() + " " + w->objectName()));
    }
    // Held while the window loses the activation: its release goes elsewhere.
    QTest::keyPress(ui().SpinEditScale, Qt::Key_Alt, Qt::AltModifier);
    QVERIFY(grab(ui().ButtonCancel) != appStyle(ui().ButtonCancel, false));
    form->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), form.get());
    QCOMPARE(grab(ui().ButtonCancel), appStyle(ui().ButtonCancel, false));
}

QTEST_MAIN(TestPropertyKeys)
#include "tst_propertykeys.moc"
