// The property dialog over a real main window, on the offscreen platform.
//
// This executable lives in a directory of its own beside copies of the test
// agent, so the main window's sources and the dialog's interface list read
// counters and names the test sets; the settings file beside it is removed
// before and after every test.
#include "UnitSorvane.h"
#include "UnitSorvaneProperty.h"
#include "ZRelationFile.h"
#include "agentlibrary.h"
#include "besidesettings.h"
#include "boxcatcher.h"
#include "spinarrows.h"

#include <QAbstractItemView>
#include <QColorDialog>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

using namespace testcommon;

// The wParam of every user message the main window handles.
class UserMessages : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == TUserMessageEvent::EventType())
            WParams.append(static_cast<TUserMessageEvent*>(event)->WParam);
        return false;
    }
    QList<std::uint32_t> WParams;
};

} // namespace

class TestPropertyDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void layout();
    void interfaceList_data();
    void interfaceList();
    void interfaceListFromStart();
    void firstShowing();
    void storedScale_data();
    void storedScale();
    void unitSwitch_data();
    void unitSwitch();
    void steps_data();
    void steps();
    void typedThenLeft_data();
    void typedThenLeft();
    void typedThenArrow();
    void okWithBits1050();
    void okWithTypedValue_data();
    void okWithTypedValue();
    void okWritesAllKeys();
    void okBeyond32BitsStaysExact();
    void okAppliesEverything();
    void interfaceKeptOrChanged();
    void choiceOutsideList_data();
    void choiceOutsideList();
    void okDisabledAfterEveryShowing();
    void showingAgainKeepsEdits();
    void firstArrowClickSteps_data();
    void firstArrowClickSteps();
    void arrowsStayGreyedAcrossCancel();
    void closeBoxHides();
    void colourChooser();
    void refusedWrite();
    void remoteAgent_data();
    void remoteAgent();

private:
    void Recreate();
    void Show();
    void DeliverMessages() {
        QCoreApplication::sendPostedEvents(form.get(), TUserMessageEvent::EventType());
    }
    int Posted101() const { return int(messages->WParams.count(101)); }
    const Ui::FormSorvaneProperty& ui() const { return dialog->Form(); }
    TZSpinEdit* Spin(const QString& name) const { return dialog->findChild<TZSpinEdit*>(name); }
    // Types into a field that has the focus, as the user would.
    void TypeInto(TZSpinEdit* edit, const QString& text);

    TTestAgent agent{AgentBesideExecutable()};
    std::unique_ptr<TFormSorvane> form;
    TFormSorvaneProperty* dialog = nullptr;
    UserMessages* messages = nullptr;
};

void TestPropertyDialog::initTestCase() {
    QVERIFY2(agent.Ok(), qPrintable("the test agent did not load: " + agent.Error()));
    QLocale::setDefault(QLocale::c());
}

void TestPropertyDialog::Recreate() {
    form.reset();
    form = std::make_unique<TFormSorvane>(instance::TInstanceNames{});
    form->Timer()->stop(); // ticks only where a test asks for them
    dialog = new TFormSorvaneProperty(form.get(), *form, *form->SharedTable());
    form->PropertyDialog = dialog;
    messages = new UserMessages;
    messages->setParent(form.get());
    form->installEventFilter(messages);
    DeliverMessages();
    messages->WParams.clear();
}

void TestPropertyDialog::init() {
    QFile::remove(SettingsPath());
    agent.Configure(TESTAGENT_COUNTERS, 3);
    Recreate();
}

void TestPropertyDialog::cleanup() {
    form.reset();
    QFile::setPermissions(SettingsPath(), QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(SettingsPath());
}

void TestPropertyDialog::Show() {
    form->MenuPropertyClick();
    QVERIFY(dialog->isVisible());
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
}

void TestPropertyDialog::TypeInto(TZSpinEdit* edit, const QString& text) {
    edit->setFocus(Qt::TabFocusReason);
    QVERIFY(edit->hasFocus());
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QCOMPARE(edit->text(), text);
}

void TestPropertyDialog::layout() {
    QCOMPARE(dialog->windowTitle(), QString("Property"));
    QCOMPARE(dialog->size(), QSize(289, 483));
    QCOMPARE(dialog->font().pixelSize(), 15);
    QCOMPARE(dialog->font().families().value(0), QString::fromUtf8("ＭＳ Ｐゴシック"));
    QVERIFY(!dialog->isModal());
    QVERIFY(!dialog->isVisible());
    QVERIFY(ui().ButtonOk->isDefault());
    QVERIFY(!ui().ButtonOk->isEnabled());
    const struct {
        QWidget* w;
        QRect bounds;
    } table[] = {
        {ui().GroupBoxGraph, {0, 0, 289, 193}},     {ui().ComboBoxInterface, {80, 17, 201, 23}},
        {ui().ComboBoxScale, {80, 40, 80, 23}},     {ui().SpinEditScale, {160, 40, 121, 23}},
        {ui().SpinEditDelay, {160, 64, 121, 23}},   {ui().PanelReceive, {160, 89, 121, 22}},
        {ui().PaintBoxReceive, {1, 1, 119, 20}},    {ui().PanelCurve, {258, 136, 23, 23}},
        {ui().ImageCurve, {1, 1, 21, 21}},          {ui().SpinEditGamma, {160, 160, 73, 23}},
        {ui().PanelGammaTone, {234, 160, 23, 23}},  {ui().PanelGrid, {0, 196, 289, 169}},
        {ui().CheckBoxHGrid, {8, 68, 145, 17}},     {ui().SpinEditVGrid, {216, 112, 65, 23}},
        {ui().PaintBoxVGridColor, {1, 1, 119, 20}}, {ui().PanelSource, {0, 368, 289, 87}},
        {ui().ComboBoxAgent, {80, 20, 201, 23}},    {ui().CheckBoxFollowRoute, {8, 64, 273, 17}},
        {ui().ButtonOk, {148, 458, 69, 25}},        {ui().ButtonCancel, {220, 458, 69, 25}},
    };
    for (const auto& row : table)
        QCOMPARE(row.w->geometry(), row.bounds);
    QCOMPARE(ui().PaintBoxReceive->Tag(), 10);
    QCOMPARE(ui().PaintBoxSend->Tag(), 11);
    QCOMPARE(ui().PaintBoxHGridColor->Tag(), 20);
    QCOMPARE(ui().PaintBoxVGridColor->Tag(), 21);
    for (TZSpinEdit* ro :
         {ui().SpinEditCurve, ui().SpinEditGamma, ui().SpinEditHGrid, ui().SpinEditVGrid})
        QVERIFY(ro->isReadOnly());
    QVERIFY(!ui().SpinEditScale->isReadOnly());
    // The delay row sits second on screen but last in the tab order of its group.
    QList<QWidget*> order;
    for (QWidget* w = ui().ComboBoxInterface; order.size() < 20; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus && w != ui().ComboBoxAgent->lineEdit()) order.append(w);
    const QList<QWidget*> expected{
        ui().ComboBoxInterface, ui().ComboBoxScale,      ui().SpinEditScale,
        ui().SpinEditCurve,     ui().SpinEditGamma,      ui().SpinEditDelay,
        ui().CheckBoxGridCurve, ui().CheckBoxGridGamma,  ui().CheckBoxHGrid,
        ui().SpinEditHGrid,     ui().CheckBoxVGrid,      ui().SpinEditVGrid,
        ui().ButtonOk,          ui().ButtonCancel,       ui().PaintBoxReceive,
        ui().PaintBoxSend,      ui().PaintBoxHGridColor, ui().PaintBoxVGridColor,
        ui().ComboBoxAgent,     ui().CheckBoxFollowRoute};
    QCOMPARE(order, expected);
}

void TestPropertyDialog::interfaceList_data() {
    QTest::addColumn<int>("scenario");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("three named rows, a trailing zero octet dropped")
        << int(TESTAGENT_SEVERAL) << QStringList{"lo", "eth0", "wlan0"};
    QTest::newRow("no rows") << int(TESTAGENT_NO_ROWS) << QStringList{};
    QTest::newRow("agent refuses to start") << int(TESTAGENT_FAILING_INIT) << QStringList{};
}

void TestPropertyDialog::interfaceList() {
    QFETCH(int, scenario);
    QFETCH(QStringList, items);
    agent.Configure(scenario, 0);
    auto* own = new TFormSorvaneProperty(form.get(), *form, *form->SharedTable());
    QStringList listed;
    for (int i = 0; i < own->Form().ComboBoxInterface->count(); ++i)
        listed.append(own->Form().ComboBoxInterface->itemText(i));
    QCOMPARE(listed, items);
    QCOMPARE(own->Form().ComboBoxInterface->currentIndex(), -1);
    for (int row = 0; row < items.size(); ++row) // the layout's item height
        QCOMPARE(own->Form().ComboBoxInterface->view()->sizeHintForRow(row), 15);

    // Without a list the interface stays what it was.
    form->PropertyDialog = own;
    form->MenuPropertyClick();
    own->Form().CheckBoxVGrid->click();
    own->ButtonOkClick();
    QCOMPARE(form->ReceiveSource->Choice(), 0);
    QCOMPARE(own->Form().ComboBoxInterface->currentIndex(), items.isEmpty() ? -1 : 0);
}

void TestPropertyDialog::interfaceListFromStart() {
    agent.Configure(TESTAGENT_SEVERAL, 0);
    const QStringList atStart = TFormSorvaneProperty::LoadInterfaceList(*form->SharedTable());
    QCOMPARE(atStart, (QStringList{"lo", "eth0", "wlan0"}));
    // Interfaces gone by the time the dialog is made: it still offers the list from start.
    agent.Configure(TESTAGENT_NO_ROWS, 0);
    QVERIFY(TFormSorvaneProperty::LoadInterfaceList(*form->SharedTable()).isEmpty());
    auto* own = new TFormSorvaneProperty(form.get(), *form, *form->SharedTable(), atStart);
    QStringList listed;
    for (int i = 0; i < own->Form().ComboBoxInterface->count(); ++i)
        listed.append(own->Form().ComboBoxInterface->itemText(i));
    QCOMPARE(listed, atStart);
    QCOMPARE(own->Form().ComboBoxInterface->currentIndex(), -1);
}

void TestPropertyDialog::firstShowing() {
    // No settings file: the main window's defaults, the scale in Bit/s.
    Show();
    QCOMPARE(ui().ComboBoxInterface->count(), 3);
    QCOMPARE(ui().ComboBoxInterface->currentIndex(), 0);
    QCOMPARE(ui().ComboBoxScale->currentIndex(), 1);
    QCOMPARE(ui().ComboBoxScale->currentText(), QString("Bit/s"));
    QCOMPARE(dialog->ScaleUnit(), 1);
    QCOMPARE(ui().SpinEditScale->text(), QString("64000"));
    QCOMPARE(ui().SpinEditDelay->text(), QString("1"));
    QCOMPARE(ui().SpinEditCurve->text(), QString("0.25"));
    QCOMPARE(ui().SpinEditGamma->text(), QString("2.50"));
    QCOMPARE(ui().SpinEditHGrid->text(), QString("10"));
    QCOMPARE(ui().SpinEditVGrid->text(), QString("1'"));
    for (QCheckBox* c :
         {ui().CheckBoxGridCurve, ui().CheckBoxGridGamma, ui().CheckBoxHGrid, ui().CheckBoxVGrid})
        QVERIFY(c->isChecked());
    QCOMPARE(dialog->ColorOfTag(10), TColor(0x0000FF));
    QCOMPARE(dialog->ColorOfTag(11), TColor(0x00FF00));
    QCOMPARE(dialog->ColorOfTag(20), TColor(0xFF0000));
    QCOMPARE(dialog->ColorOfTag(21), TColor(0xFF0000));
    QCOMPARE(dialog->ColorOfTag(99), TColor(0xFFFFFF));
    QVERIFY(!dialog->Changed());
    QVERIFY(!ui().ButtonOk->isEnabled());
    // The previews, and the swatches as painted.
    QImage curve(21, 21, QImage::Format_RGB32);
    DrawCurveImage(curve, 0.25);
    QCOMPARE(dialog->CurveBitmap(), curve);
    QCOMPARE(ui().ImageCurve->pixmap().toImage().convertToFormat(QImage::Format_RGB32), curve);
    QCOMPARE(dialog->GammaGrayBitmap().pixel(10, 10), qRgb(193, 193, 193));
    QCOMPARE(dialog->GammaToneBitmap().pixel(3, 1), qRgb(255, 255, 255));
    QCOMPARE(dialog->GammaToneBitmap().pixel(3, 2), qRgb(0, 0, 0));
    const QImage swatch = ui().PaintBoxSend->grab().toImage();
    QCOMPARE(swatch.pixel(0, 10), qRgb(0, 255, 0));
    QCOMPARE(swatch.pixel(118, 10), qRgb(0, 255, 0));
    QCOMPARE(swatch.pixel(50, 9), qRgb(0, 0, 0));
    DeliverMessages();
    QCOMPARE(Posted101(), 1); // "Property..." posts it
    QVERIFY(!QFile::exists(SettingsPath()));
}

void TestPropertyDialog::storedScale_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("text");
    QTest::newRow("neither key, Max 8000") << QByteArray() << 1 << "64000";
    QTest::newRow("both keys") << QByteArray("ScaleText=1050\nScaleUnit=1\n") << 1 << "1050";
    QTest::newRow("Byte/s without a text") << QByteArray("ScaleUnit=0\n") << 0 << "8000";
    QTest::newRow("unit 5 shows Byte/s")
        << QByteArray("ScaleUnit=5\nScaleText=777\n") << 0 << "777";
    QTest::newRow("unit 5 without a text: the byte number")
        << QByteArray("ScaleUnit=5\n") << 0 << "8000";
    QTest::newRow("unit -1") << QByteArray("ScaleUnit=-1\nScaleText=4000\n") << 0 << "4000";
    QTest::newRow("Max 3 x 10^8 in Bit/s, past 32 bits")
        << QByteArray("Scale=300000000\n") << 1 << "2400000000";
    QTest::newRow("Max 2^31 - 1 in Bit/s")
        << QByteArray("Scale=2147483647\n") << 1 << "17179869176";
    QTest::newRow("a text that is no number") << QByteArray("ScaleText=8k\n") << 1 << "64000";
}

void TestPropertyDialog::storedScale() {
    QFETCH(QByteArray, settings);
    QFETCH(int, unit);
    QFETCH(QString, text);
    QVERIFY(WriteSettings("[Property]\n" + settings));
    Recreate();
    Show();
    QCOMPARE(dialog->ScaleUnit(), unit);
    QCOMPARE(ui().ComboBoxScale->currentIndex(), unit);
    QCOMPARE(ui().SpinEditScale->text(), text);
    QVERIFY(!ui().ButtonOk->isEnabled());
}

void TestPropertyDialog::unitSwitch_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("pick");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("changed");
    QTest::newRow("10000 Byte/s to Bit/s")
        << QByteArray("ScaleUnit=0\nScaleText=10000\n") << "" << 1 << "80000" << true;
    QTest::newRow("80007 Bit/s to Byte/s")
        << QByteArray("ScaleUnit=1\nScaleText=80007\n") << "" << 0 << "10000" << true;
    QTest::newRow("1000 Bit/s to Byte/s")
        << QByteArray("ScaleUnit=1\nScaleText=1000\n") << "" << 0 << "125" << true;
    QTest::newRow("10^9 Byte/s to Bit/s, exact")
        << QByteArray("ScaleUnit=0\nScaleText=1000000000\n") << "" << 1 << "8000000000" << true;
    QTest::newRow("the unit already shown")
        << QByteArray("ScaleUnit=1\nScaleText=80007\n") << "" << 1 << "80007" << false;
    QTest::newRow("no number: the scale in the unit shown")
        << QByteArray("ScaleUnit=1\n") << "abc" << 0 << "8000" << true;
}

void TestPropertyDialog::unitSwitch() {
    QFETCH(QByteArray, settings);
    QFETCH(QString, typed);
    QFETCH(int, pick);
    QFETCH(QString, text);
    QFETCH(bool, changed);
    QVERIFY(WriteSettings("[Property]\n" + settings));
    Show();
    const TZSpinButtonState arrows = Arrows(false, true);
    ui().SpinEditScale->Button()->SetState(arrows);
    if (!typed.isEmpty()) {
        ui().SpinEditScale->setText(typed);
        dialog->SetChanged(false);
    }
    ui().ComboBoxScale->setCurrentIndex(pick);
    Q_EMIT ui().ComboBoxScale->activated(pick);
    QCOMPARE(ui().SpinEditScale->text(), text);
    QCOMPARE(dialog->ScaleUnit(), pick);
    QCOMPARE(ui().ButtonOk->isEnabled(), changed);
    QCOMPARE(ui().SpinEditScale->Button()->State(), arrows); // not recomputed
    if (changed && typed.isEmpty()) {
        // And back again: the same number.
        ui().ComboBoxScale->setCurrentIndex(1 - pick);
        Q_EMIT ui().ComboBoxScale->activated(1 - pick);
        const qint64 back = pick == 0 ? ScaleToBits(text.toLongLong(), 0) : text.toLongLong() / 8;
        QCOMPARE(ui().SpinEditScale->text(), QString::number(back));
    }
}

void TestPropertyDialog::steps_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("more");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("less");
    QTest::addColumn<bool>("upper");
    // Scale in Bit/s, the unit of the first showing; its fallback is 64000.
    QTest::newRow("scale 10000 up") << "SpinEditScale"
                                    << "10000" << true << "15000" << true << true;
    QTest::newRow("scale 10000 down") << "SpinEditScale"
                                      << "10000" << false << "9500" << true << true;
    QTest::newRow("scale 12345 up") << "SpinEditScale"
                                    << "12345" << true << "15000" << true << true;
    QTest::newRow("scale 12345 down") << "SpinEditScale"
                                      << "12345" << false << "10000" << true << true;
    QTest::newRow("scale 95000 up") << "SpinEditScale"
                                    << "95000" << true << "100000" << true << true;
    QTest::newRow("scale 1000 down") << "SpinEditScale"
                                     << "1000" << false << "1000" << false << true;
    QTest::newRow("scale 10^9 up") << "SpinEditScale"
                                   << "1000000000" << true << "1000000000" << true << false;
    QTest::newRow("scale no number up") << "SpinEditScale"
                                        << "x" << true << "65000" << true << true;
    QTest::newRow("delay 1 down") << "SpinEditDelay"
                                  << "1" << false << "1" << false << true;
    QTest::newRow("delay 1 up") << "SpinEditDelay"
                                << "1" << true << "2" << true << true;
    QTest::newRow("delay 100 up") << "SpinEditDelay"
                                  << "100" << true << "100" << true << false;
    QTest::newRow("delay no number up") << "SpinEditDelay"
                                        << "x" << true << "2" << true << true;
    QTest::newRow("curve 0.25 up") << "SpinEditCurve"
                                   << "0.25" << true << "0.30" << true << true;
    QTest::newRow("curve 0.95 up") << "SpinEditCurve"
                                   << "0.95" << true << "0.95" << true << false;
    QTest::newRow("curve 0.10 down") << "SpinEditCurve"
                                     << "0.10" << false << "0.10" << false << true;
    QTest::newRow("gamma 2.50 down") << "SpinEditGamma"
                                     << "2.50" << false << "2.45" << true << true;
    QTest::newRow("gamma 4.00 up") << "SpinEditGamma"
                                   << "4.00" << true << "4.00" << true << false;
    QTest::newRow("gamma 1.00 down") << "SpinEditGamma"
                                     << "1.00" << false << "1.00" << false << true;
    QTest::newRow("hgrid 30 down") << "SpinEditHGrid"
                                   << "30" << false << "20" << true << false;
    QTest::newRow("hgrid 30 up") << "SpinEditHGrid"
                                 << "30" << true << "20" << true << false;
    QTest::newRow("hgrid 2 down") << "SpinEditHGrid"
                                  << "2" << false << "2" << false << true;
    QTest::newRow("vgrid 5 down") << "SpinEditVGrid"
                                  << "5\"" << false << "5\"" << false << true;
    QTest::newRow("vgrid 5 up") << "SpinEditVGrid"
                                << "5\"" << true << "10\"" << true << true;
    QTest::newRow("vgrid 1800 up") << "SpinEditVGrid"
                                   << "30'" << true << "30'" << true << false;
}

void TestPropertyDialog::steps() {
    QFETCH(QString, field);
    QFETCH(QString, from);
    QFETCH(bool, more);
    QFETCH(QString, to);
    QFETCH(bool, less);
    QFETCH(bool, upper);
    Show();
    TZSpinEdit* edit = Spin(field);
    QVERIFY(edit);
    edit->setText(from);
    dialog->SetChanged(false);
    QTest::mouseClick(ArrowHalf(edit->Button(), more), Qt::LeftButton);
    QCOMPARE(edit->text(), to);
    QCOMPARE(edit->Button()->State(), Arrows(less, upper));
    QVERIFY(ui().ButtonOk->isEnabled()); // even where the value stayed
    // The previews follow the curve and gamma steps.
    QImage curve(21, 21, QImage::Format_RGB32);
    DrawCurveImage(curve, field == "SpinEditCurve" ? to.toDouble() : 0.25);
    QCOMPARE(dialog->CurveBitmap(), curve);
    const int grey = GammaGrayLevel(field == "SpinEditGamma" ? to.toDouble() : 2.5);
    QCOMPARE(dialog->GammaGrayBitmap().pixel(0, 0), qRgb(grey, grey, grey));
}

void TestPropertyDialog::typedThenLeft_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("less");
    QTest::addColumn<bool>("upper");
    QTest::newRow("delay 0") << "SpinEditDelay"
                             << "0"
                             << "1" << false << true;
    QTest::newRow("delay a word") << "SpinEditDelay"
                                  << "many"
                                  << "1" << false << true;
    QTest::newRow("delay 250") << "SpinEditDelay"
                               << "250"
                               << "100" << true << false;
    QTest::newRow("delay 7") << "SpinEditDelay"
                             << "7"
                             << "7" << true << true;
    QTest::newRow("scale 12") << "SpinEditScale"
                              << "12"
                              << "1000" << false << true;
    QTest::newRow("scale 5 x 10^9") << "SpinEditScale"
                                    << "5000000000"
                                    << "1000000000" << true << false;
    QTest::newRow("scale a word: the scale in Bit/s") << "SpinEditScale"
                                                      << "fast"
                                                      << "64000" << true << true;
    QTest::newRow("scale 12345") << "SpinEditScale"
                                 << "12345"
                                 << "12345" << true << true;
}

void TestPropertyDialog::typedThenLeft() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(bool, less);
    QFETCH(bool, upper);
    Show();
    TZSpinEdit* edit = Spin(field);
    TypeInto(edit, typed);
    QVERIFY(ui().ButtonOk->isEnabled());
    QTest::keyClick(edit, Qt::Key_Tab);
    QVERIFY(!edit->hasFocus());
    QCOMPARE(edit->text(), text);
    QCOMPARE(edit->Button()->State(), Arrows(less, upper));
    QVERIFY(dialog->isVisible());
}

void TestPropertyDialog::typedThenArrow() {
    Show();
    TypeInto(ui().SpinEditScale, "12345");
    QTest::mouseClick(ui().SpinEditScale->Button()->UpperHalf(), Qt::LeftButton);
    QCOMPARE(ui().SpinEditScale->text(), QString("15000"));
    QTest::mouseClick(ui().SpinEditScale->Button()->LowerHalf(), Qt::LeftButton);
    QCOMPARE(ui().SpinEditScale->text(), QString("10000"));
}

void TestPropertyDialog::okWithBits1050() {
    Show();
    TypeInto(ui().SpinEditScale, "1050");
    QTest::keyClick(ui().SpinEditScale, Qt::Key_Return); // "Ok" as the default button
    QVERIFY(!dialog->isVisible());
    QCOMPARE(form->ReceiveSource->Max, 131);
    QCOMPARE(form->SendSource->Max, 131);
    const QByteArray file = SettingsText();
    QVERIFY2(file.contains("\nScale=131\nScaleText=1050\nScaleUnit=1\n"), file.constData());
    DeliverMessages();
    QCOMPARE(Posted101(), 2); // "Property..." and "Ok"
    Show();
    QCOMPARE(ui().ComboBoxScale->currentText(), QString("Bit/s"));
    QCOMPARE(ui().SpinEditScale->text(), QString("1050"));
}

void TestPropertyDialog::okWithTypedValue_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("delay");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("scale 0 Bit/s: Max held at 1")
        << "SpinEditScale"
        << "0" << 1 << 1 << QByteArray("Scale=1\nScaleText=8\nScaleUnit=1\n");
    QTest::newRow("scale -5 Bit/s: Max held at 1")
        << "SpinEditScale"
        << "-5" << 1 << 1 << QByteArray("Scale=1\nScaleText=8\nScaleUnit=1\n");
    QTest::newRow("scale 99999999999 Bit/s: Max at 32 bits, shown in Byte/s")
        << "SpinEditScale"
        << "99999999999" << 2147483647 << 1
        << QByteArray("Scale=2147483647\nScaleText=2147483647\nScaleUnit=0\n");
    QTest::newRow("scale 500 Bit/s, below the field's limit")
        << "SpinEditScale"
        << "500" << 62 << 1 << QByteArray("Scale=62\nScaleText=500\n");
    QTest::newRow("scale a word") << "SpinEditScale"
                                  << "fast" << 8000 << 1
                                  << QByteArray("Scale=8000\nScaleText=64000\n");
    QTest::newRow("delay 0") << "SpinEditDelay"
                             << "0" << 8000 << 0 << QByteArray("Delay=0\n");
    QTest::newRow("delay -3") << "SpinEditDelay"
                              << "-3" << 8000 << -3 << QByteArray("Delay=-3\n");
    QTest::newRow("delay 250") << "SpinEditDelay"
                               << "250" << 8000 << 250 << QByteArray("Delay=250\n");
    QTest::newRow("delay a word") << "SpinEditDelay"
                                  << "slow" << 8000 << 1 << QByteArray("Delay=1\n");
}

void TestPropertyDialog::okWithTypedValue() {
    // Enter presses "Ok" while the field still has the focus: Ok takes the typed
    // value as it stands, without the field's limits.
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(int, max);
    QFETCH(int, delay);
    QFETCH(QByteArray, saved);
    Show();
    TypeInto(Spin(field), typed);
    QTest::keyClick(Spin(field), Qt::Key_Return);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(form->ReceiveSource->Max, max);
    QCOMPARE(form->SendSource->Max, max);
    QCOMPARE(form->ReceiveSource->Delay, delay);
    QCOMPARE(form->SendSource->Delay, delay);
    QVERIFY2(SettingsText().contains(saved), SettingsText().constData());
}

void TestPropertyDialog::okWritesAllKeys() {
    Show();
    ui().CheckBoxHGrid->click();
    QVERIFY(ui().ButtonOk->isEnabled());
    QTest::mouseClick(ui().ButtonOk, Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(SettingsText(), QByteArray("[Property]\n"
                                        "Interface=0\n"
                                        "Scale=8000\n"
                                        "ScaleText=64000\n"
                                        "ScaleUnit=1\n"
                                        "Delay=1\n"
                                        "ReceiveColor=0000FF\n"
                                        "SendColor=00FF00\n"
                                        "Curve=0.25\n"
                                        "Gamma=2.50\n"
                                        "GridCurve=1\n"
                                        "GridGamma=1\n"
                                        "HGrid=0\n"
                                        "HGridSpace=10\n"
                                        "HGridColor=FF0000\n"
                                        "VGrid=1\n"
                                        "VGridSpace=60\n"
                                        "VGridColor=FF0000\n"
                                        "InterfaceName=if\n"));
    QVERIFY(!form->PerformanceGraph->HGrid());
    QVERIFY(!form->PerformanceGraph->NeedsRebuild()); // redrawn at once
}

void TestPropertyDialog::okBeyond32BitsStaysExact() {
    QVERIFY(WriteSettings("[Property]\nScale=1000000000\nScaleUnit=0\n"));
    Recreate();
    Show();
    QCOMPARE(ui().SpinEditScale->text(), QString("1000000000"));
    ui().ComboBoxScale->setCurrentIndex(1);
    Q_EMIT ui().ComboBoxScale->activated(1);
    QCOMPARE(ui().SpinEditScale->text(), QString("8000000000"));
    QTest::mouseClick(ui().ButtonOk, Qt::LeftButton);
    QCOMPARE(form->ReceiveSource->Max, 1000000000);
    QCOMPARE(form->SendSource->Max, 1000000000);
    // 8 x 10^9 is no 32-bit number: the same scale is kept in Byte/s.
    for (const char* line : {"\nScale=1000000000\n", "\nScaleText=1000000000\n", "\nScaleUnit=0\n"})
        QVERIFY2(SettingsText().contains(line), SettingsText().constData());
    Show();
    QCOMPARE(ui().ComboBoxScale->currentIndex(), 0);
    QCOMPARE(ui().SpinEditScale->text(), QString("1000000000"));
}

void TestPropertyDialog::okAppliesEverything() {
    Show();
    auto click = [](TZSpinEdit* e, bool more, int times) {
        for (int i = 0; i < times; ++i)
            QTest::mouseClick(ArrowHalf(e->Button(), more), Qt::LeftButton);
    };
    click(ui().SpinEditScale, false, 1); // 64000 -> 60000 bits
    click(ui().SpinEditDelay, true, 4);
    click(ui().SpinEditCurve, true, 2);
    click(ui().SpinEditGamma, false, 3);
    click(ui().SpinEditHGrid, false, 2);
    click(ui().SpinEditVGrid, true, 3);
    ui().CheckBoxGridCurve->click();
    ui().CheckBoxGridGamma->click();
    ui().CheckBoxVGrid->click();
    ui().ButtonOk->click();
    TZPerformanceGraph* g = form->PerformanceGraph;
    QCOMPARE(form->ReceiveSource->Max, 7500);
    QCOMPARE(form->SendSource->Max, 7500);
    QCOMPARE(form->ReceiveSource->Delay, 5);
    QCOMPARE(form->SendSource->Delay, 5);
    QCOMPARE(TwoDecimalText(g->Curve()), QString("0.35"));
    QCOMPARE(TwoDecimalText(g->Gamma()), QString("2.35"));
    QCOMPARE(g->HGridSpace(), 8);
    QCOMPARE(g->VGridSpace(), 75);
    QVERIFY(!g->GridCurve());
    QVERIFY(!g->GridGamma());
    QVERIFY(g->HGrid());
    QVERIFY(!g->VGrid());
    QVERIFY(SettingsText().contains("\nCurve=0.35\nGamma=2.35\n"));
    QVERIFY(SettingsText().contains("\nHGridSpace=8\n"));
    QVERIFY(SettingsText().contains("\nVGridSpace=75\n"));
    // What the main window reads at its next start is what was applied.
    const TSettings next = ReadSettings(SettingsFile(), TWindowBounds{});
    QCOMPARE(next.Scale, 7500);
    QCOMPARE(next.Delay, 5);
    QCOMPARE(next.VGridSpace, 75);
    QVERIFY(!next.VGrid);
}

void TestPropertyDialog::interfaceKeptOrChanged() {
    TZPerformanceSourceSNMPMIB* in = form->ReceiveSource;
    TZPerformanceSourceSNMPMIB* out = form->SendSource;
    // Some history on interface 0.
    for (std::uint32_t t = 1; t <= 3; ++t) {
        agent.SetOctets(0, 1000 * t, 100 * t);
        form->TimerTimer();
    }
    QCOMPARE(in->GetValue(0), 1000);
    QVERIFY(in->IsValid(1));

    // The interface in use again: history kept.
    Show();
    ui().ComboBoxInterface->setCurrentIndex(0);
    Q_EMIT ui().ComboBoxInterface->activated(0);
    QVERIFY(ui().ButtonOk->isEnabled());
    ui().ButtonOk->click();
    QCOMPARE(in->Choice(), 0);
    QVERIFY(in->IsValid(0) && in->IsValid(1));
    QCOMPARE(in->GetValue(1), 1000);

    // Another one: both lose their history, the table is reloaded and both are
    // primed, so the next sample is the growth since "Ok".
    agent.SetOctets(2, 50000, 90000);
    Show();
    ui().ComboBoxInterface->setCurrentIndex(2);
    Q_EMIT ui().ComboBoxInterface->activated(2);
    ui().ButtonOk->click();
    QCOMPARE(in->Choice(), 2);
    QCOMPARE(out->Choice(), 2);
    for (int p = 0; p < in->Count(); ++p) {
        QVERIFY(!in->IsValid(p));
        QVERIFY(!out->IsValid(p));
    }
    QVERIFY(SettingsText().contains("\nInterface=2\n"));
    agent.SetOctets(2, 50777, 90100);
    form->TimerTimer();
    QCOMPARE(in->GetValue(0), 777);
    QCOMPARE(out->GetValue(0), 100);
}

void TestPropertyDialog::choiceOutsideList_data() {
    QTest::addColumn<int>("choice");
    QTest::newRow("past the list") << 5;
    QTest::newRow("negative") << -1;
}

void TestPropertyDialog::choiceOutsideList() {
    QFETCH(int, choice);
    form->ReceiveSource->SetChoice(choice);
    form->SendSource->SetChoice(choice);
    Show();
    QCOMPARE(ui().ComboBoxInterface->currentIndex(), -1);
    ui().CheckBoxVGrid->click();
    ui().ButtonOk->click();
    QCOMPARE(form->ReceiveSource->Choice(), choice);
    QVERIFY(SettingsText().contains("\nInterface=" + QByteArray::number(choice) + "\n"));
}

void TestPropertyDialog::okDisabledAfterEveryShowing() {
    Show();
    QVERIFY(!ui().ButtonOk->isEnabled());
    QTest::mouseClick(ui().SpinEditDelay->Button()->UpperHalf(), Qt::LeftButton);
    QVERIFY(ui().ButtonOk->isEnabled());
    QCOMPARE(ui().SpinEditDelay->text(), QString("2"));

    ui().ButtonCancel->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(form->ReceiveSource->Delay, 1); // nothing applied
    QVERIFY(!QFile::exists(SettingsPath()));
    QCOMPARE(ui().SpinEditDelay->text(), QString("2")); // until the next showing
    DeliverMessages();
    QCOMPARE(Posted101(), 2);

    Show();
    QCOMPARE(ui().SpinEditDelay->text(), QString("1")); // the live value again
    QVERIFY(!ui().ButtonOk->isEnabled());
    ui().CheckBoxGridGamma->click();
    QVERIFY(ui().ButtonOk->isEnabled());
    ui().ButtonOk->click();
    QVERIFY(!dialog->isVisible());

    Show();
    QVERIFY(!ui().ButtonOk->isEnabled());
    ui().CheckBoxGridGamma->click();
    QTest::keyClick(dialog, Qt::Key_Escape); // the cancel button
    QVERIFY(!dialog->isVisible());
    QVERIFY(form->PerformanceGraph->GridGamma() == false);
    DeliverMessages();
    QCOMPARE(Posted101(), 6);

    Show();
    QVERIFY(!ui().ButtonOk->isEnabled());
}

void TestPropertyDialog::showingAgainKeepsEdits() {
    Show();
    QTest::mouseClick(ui().SpinEditHGrid->Button()->UpperHalf(), Qt::LeftButton);
    QCOMPARE(ui().SpinEditHGrid->text(), QString("11"));
    form->MenuPropertyClick(); // already visible: brought forward only
    QCOMPARE(ui().SpinEditHGrid->text(), QString("11"));
    QVERIFY(ui().ButtonOk->isEnabled());
}

void TestPropertyDialog::firstArrowClickSteps_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("more");
    QTest::addColumn<QString>("to");
    QTest::newRow("curve up") << "SpinEditCurve" << true << "0.30";
    QTest::newRow("gamma down") << "SpinEditGamma" << false << "2.45";
    QTest::newRow("hgrid up") << "SpinEditHGrid" << true << "11";
    QTest::newRow("vgrid down") << "SpinEditVGrid" << false << "55\"";
    QTest::newRow("scale up") << "SpinEditScale" << true << "65000";
    QTest::newRow("delay up") << "SpinEditDelay" << true << "2";
}

void TestPropertyDialog::firstArrowClickSteps() {
    // A click that reaches the arrow before the field was ever entered (an
    // inactive window takes the focus only after it) still steps once.
    QFETCH(QString, field);
    QFETCH(bool, more);
    QFETCH(QString, to);
    form->MenuPropertyClick();
    TZSpinEdit* edit = Spin(field);
    QVERIFY(!edit->hasFocus());
    ArrowHalf(edit->Button(), more)->click();
    QCOMPARE(edit->text(), to);
    QVERIFY(ui().ButtonOk->isEnabled());
}

void TestPropertyDialog::arrowsStayGreyedAcrossCancel() {
    Show();
    ui().SpinEditScale->setText("1000000000");
    QTest::mouseClick(ui().SpinEditScale->Button()->UpperHalf(), Qt::LeftButton);
    QCOMPARE(ui().SpinEditScale->Button()->State(), Arrows(true, false));
    ui().ButtonCancel->click();
    Show();
    QCOMPARE(ui().SpinEditScale->text(), QString("64000"));
    QCOMPARE(ui().SpinEditScale->Button()->State(), Arrows(true, false));
    QVERIFY(!ui().SpinEditScale->Button()->UpperHalf()->isEnabled());
    QTest::mouseClick(ui().SpinEditScale->Button()->LowerHalf(), Qt::LeftButton);
    QCOMPARE(ui().SpinEditScale->text(), QString("60000"));
    QCOMPARE(ui().SpinEditScale->Button()->State(), Arrows(true, true));
}

void TestPropertyDialog::closeBoxHides() {
    Show();
    DeliverMessages();
    messages->WParams.clear();
    ui().CheckBoxHGrid->click();
    QVERIFY(dialog->close());
    QVERIFY(!dialog->isVisible());
    QVERIFY(form->PerformanceGraph->HGrid()); // nothing applied
    QVERIFY(!QFile::exists(SettingsPath()));
    DeliverMessages();
    QCOMPARE(Posted101(), 0);
}

void TestPropertyDialog::colourChooser() {
    Show();
    const auto choose = [&](TZPaintBox* box, const QColor& colour, bool confirm) {
        QTimer::singleShot(0, dialog, [&, colour, confirm] {
            QVERIFY(dialog->ColorDialog->isVisible());
            dialog->ColorDialog->setCurrentColor(colour);
            if (confirm)
                dialog->ColorDialog->accept();
            else
                dialog->ColorDialog->reject();
        });
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(50, 10));
    };
    // Offered the swatch's colour; cancelled: nothing changes.
    QTimer::singleShot(0, dialog, [&] {
        QCOMPARE(dialog->ColorDialog->currentColor(), QColor(0, 0, 255));
        dialog->ColorDialog->reject();
    });
    QTest::mouseClick(ui().PaintBoxHGridColor, Qt::LeftButton, {}, QPoint(50, 10));
    choose(ui().PaintBoxReceive, QColor(1, 2, 3), false);
    QCOMPARE(dialog->ReceiveColor(), TColor(0x0000FF));
    QVERIFY(!ui().ButtonOk->isEnabled());

    // Confirmed: stored, the swatch shows it at once, "Ok" enabled.
    choose(ui().PaintBoxReceive, QColor(1, 2, 3), true);
    QCOMPARE(dialog->ReceiveColor(), TColor(0x030201));
    QVERIFY(ui().ButtonOk->isEnabled());
    QCOMPARE(ui().PaintBoxReceive->grab().toImage().pixel(60, 10), qRgb(1, 2, 3));
    QCOMPARE(form->ReceiveSource->Color(), TColor(0x0000FF)); // the graph waits for "Ok"

    // The same colour again still counts as an edit.
    ui().ButtonCancel->click();
    Show();
    QCOMPARE(dialog->ReceiveColor(), TColor(0x0000FF));
    QVERIFY(!ui().ButtonOk->isEnabled());
    choose(ui().PaintBoxVGridColor, QColor(0, 0, 255), true);
    QVERIFY(ui().ButtonOk->isEnabled());
    QCOMPARE(dialog->VGridColor(), TColor(0xFF0000));

    choose(ui().PaintBoxSend, QColor(200, 100, 50), true);
    ui().ButtonOk->click();
    QCOMPARE(form->SendSource->Color(), TColor(0x3264C8));
    QCOMPARE(form->ReceiveSource->Color(), TColor(0x0000FF)); // that choice was cancelled
    QVERIFY(SettingsText().contains("\nReceiveColor=0000FF\nSendColor=3264C8\n"));
}

void TestPropertyDialog::refusedWrite() {
    QVERIFY(WriteSettings("[Property]\nStayOnTop=1\n"));
    QVERIFY(QFile::setPermissions(SettingsPath(), QFile::ReadOwner | QFile::ReadGroup));
    Show();
    ui().CheckBoxHGrid->click();
    DeliverMessages();
    messages->WParams.clear();
    {
        TBoxCatcher catcher;
        ui().ButtonOk->click();
        QCOMPARE(catcher.Boxes.size(), 1);
        QCOMPARE(catcher.Boxes[0].Title, QString("Sorvane"));
        QCOMPARE(catcher.Boxes[0].Text, "Cannot write to " + SettingsPath());
    }
    QVERIFY(dialog->isVisible());
    QVERIFY(ui().ButtonOk->isEnabled());
    QVERIFY(!form->PerformanceGraph->HGrid());       // applied before the write
    QVERIFY(form->PerformanceGraph->NeedsRebuild()); // no Refresh: at the next tick
    QCOMPARE(SettingsText(), QByteArray("[Property]\nStayOnTop=1\n"));
    DeliverMessages();
    QCOMPARE(Posted101(), 0);

    // Writable again: the next "Ok" goes through.
    QVERIFY(QFile::setPermissions(SettingsPath(), QFile::ReadOwner | QFile::WriteOwner));
    ui().ButtonOk->click();
    QVERIFY(!dialog->isVisible());
    QVERIFY(SettingsText().contains("\nHGrid=0\n"));
}

void TestPropertyDialog::remoteAgent_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("state");
    QTest::newRow("its interfaces")
        << int(TZSNMPRemoteError::None) << QStringList{"ge-0/0/0", "lo0"} << QString();
    QTest::newRow("silence") << int(TZSNMPRemoteError::Timeout) << QStringList{}
                             << "No answer from 127.0.0.1:9";
    QTest::newRow("wrong passphrase") << int(TZSNMPRemoteError::Authentication) << QStringList{}
                                      << "127.0.0.1:9 refused the user or passphrase";
}

void TestPropertyDialog::remoteAgent() {
    QFETCH(int, error);
    QFETCH(QStringList, items);
    QFETCH(QString, state);
    // The agent answers when the test lets it: meanwhile the dialog must stay live.
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::atomic<int> asked = 0, answered = 0;
    dialog->SetAgentAsk([&](const TZSNMPRemoteAgent& a) {
        ++asked;
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return release; });
        TZSNMPRemoteDescriptions answer;
        answer.Error = static_cast<TZSNMPRemoteError>(error);
        for (const QString& name : items)
            answer.Names.push_back(a.Host == "127.0.0.1:9" ? name.toStdString() : "wrong");
        ++answered;
        return answer;
    });
    Show();
    QVERIFY(ui().CheckBoxFollowRoute->isEnabled());
    // As the keyboard does it: to the widget with the focus, the box, not its text field.
    ui().ComboBoxAgent->setFocus(Qt::TabFocusReason);
    QWidget* field = QApplication::focusWidget();
    QVERIFY(field);
    ui().ComboBoxAgent->lineEdit()->selectAll();
    QTest::keyClicks(field, "127.0.0.1:9");
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(dialog->isVisible()); // Enter asks; it is no "Ok"
    QTRY_COMPARE(asked.load(), 1);
    QCOMPARE(ui().LabelAgentState->text(), QString("Asking 127.0.0.1:9..."));
    QCOMPARE(ui().ComboBoxInterface->count(), 0);
    QVERIFY(!ui().CheckBoxFollowRoute->isEnabled()); // routes are this machine's
    QVERIFY(ui().ButtonOk->isEnabled());
    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    QTRY_COMPARE(ui().LabelAgentState->text(), state);
    QStringList listed;
    for (int i = 0; i < ui().ComboBoxInterface->count(); ++i)
        listed.append(ui().ComboBoxInterface->itemText(i));
    QCOMPARE(listed, items);

    // Ok takes the agent; the graph now reads through another loader.
    if (!items.isEmpty()) ui().ComboBoxInterface->setCurrentIndex(1);
    QTest::mouseClick(ui().ButtonOk, Qt::LeftButton);
    QCOMPARE(form->CurrentSettings().Agent.Host, std::string("127.0.0.1:9"));
    QVERIFY(form->SharedTable()->Overridden());
    QVERIFY(SettingsText().contains("\nAgent=127.0.0.1:9\n"));
    QCOMPARE(form->CurrentSettings().Interface, items.isEmpty() ? 0 : 1);

    // Back to this machine before a slow answer comes: the answer is dropped.
    {
        const std::lock_guard lock(mutex);
        release = false;
    }
    Show();
    QTRY_COMPARE(asked.load(), 2);
    ui().ComboBoxAgent->setCurrentIndex(0);
    ui().ComboBoxAgent->activated(0);
    QCOMPARE(ui().LabelAgentState->text(), QString());
    QVERIFY(ui().CheckBoxFollowRoute->isEnabled());
    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    QTRY_COMPARE(answered.load(), 2);
    QCoreApplication::processEvents(); // a queued answer would arrive now
    QCOMPARE(ui().ComboBoxInterface->itemText(0), QString("if"));
    QCOMPARE(ui().LabelAgentState->text(), QString());
    QTest::mouseClick(ui().ButtonOk, Qt::LeftButton);
    QVERIFY(!form->SharedTable()->Overridden());
    QVERIFY(SettingsText().contains("\nAgent=\n"));
}

QTEST_MAIN(TestPropertyDialog)
#include "tst_propertydialog.moc"
