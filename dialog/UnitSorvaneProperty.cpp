#include "UnitSorvaneProperty.h"

#include "UnitZPerformanceSourceSNMPMIB.h"
#include "ZAgentProbe.h"
#include "ZMnemonicStyle.h"
#include "ZUserMessage.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int kTagReceive = 10;
constexpr int kTagSend = 11;
constexpr int kTagHGrid = 20;
constexpr int kTagVGrid = 21;

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

std::int32_t ToInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp(v, kInt32Min, kInt32Max));
}

TColor ToTColor(const QColor& c) {
    return static_cast<TColor>(c.red()) | (static_cast<TColor>(c.green()) << 8) |
           (static_cast<TColor>(c.blue()) << 16);
}

// List rows of a fixed height, as the layout gives the interface list's items.
class TFixedRowHeight : public QStyledItemDelegate {
public:
    TFixedRowHeight(int height, QObject* parent) : QStyledItemDelegate(parent), FHeight(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), FHeight};
    }

private:
    int FHeight;
};

int TagOf(QObject* sender) {
    const auto* box = qobject_cast<TZPaintBox*>(sender);
    return box ? box->Tag() : 0;
}

} // namespace

TFormSorvaneProperty::TFormSorvaneProperty(QWidget* parent, TSettingsHolder& holder,
                                           const TZSNMPMIBSharedTable& table,
                                           std::optional<QStringList> interfaces)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FHolder(holder), FTable(table) {
    ui.setupUi(this);
    FormCreate(table, interfaces);
}

QStringList TFormSorvaneProperty::LoadInterfaceList(const TZSNMPMIBSharedTable& table) {
    QStringList names;
    for (const std::string& descr : table.LoadInterfaceDescriptions())
        names.append(InterfaceText(descr));
    return names;
}

TFormSorvaneProperty::~TFormSorvaneProperty() {
    // The agent's text loses the focus as the children go, after this part of the dialog.
    ui.ComboBoxAgent->lineEdit()->disconnect(this);
    ui.ComboBoxAgent->disconnect(this);
}

void TFormSorvaneProperty::FormCreate(const TZSNMPMIBSharedTable& table,
                                      const std::optional<QStringList>& interfaces) {
    // The design font, or a proportional sans serif of the same height where it is absent.
    QFont face = font();
    face.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic"), QStringLiteral("VL PGothic"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    face.setPixelSize(15);
    setFont(face);
    setFixedSize(289, 483);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }

    ColorDialog = new QColorDialog(this);
    ColorDialog->setOption(QColorDialog::DontUseNativeDialog);

    ui.ComboBoxInterface->setItemDelegate(new TFixedRowHeight(15, ui.ComboBoxInterface));
    ui.ComboBoxInterface->addItems(interfaces ? *interfaces : LoadInterfaceList(table));
    ui.ComboBoxInterface->setCurrentIndex(-1);

    // The bitmaps of the three images.
    FBitmapCurve = QImage(ui.ImageCurve->size(), QImage::Format_RGB32);
    FBitmapGammaTone = QImage(ui.ImageGammaTone->size(), QImage::Format_RGB32);
    FBitmapGammaGray = QImage(ui.ImageGammaGray->size(), QImage::Format_RGB32);
    FBitmapCurve.fill(Qt::black);
    FBitmapGammaGray.fill(Qt::black);
    DrawGammaToneImage();

    ui.SpinEditScale->OnChange = [this](QObject*) { SpinEditScaleChange(); };
    ui.SpinEditScale->OnMore = [this](QObject*) { SpinEditScaleMore(); };
    ui.SpinEditScale->OnLess = [this](QObject*) { SpinEditScaleLess(); };
    ui.SpinEditScale->OnManual = [this](QObject* s, bool m, bool l) {
        SpinEditScaleManual(s, m, l);
    };
    ui.SpinEditDelay->OnChange = [this](QObject*) { SpinEditDelayChange(); };
    ui.SpinEditDelay->OnMore = [this](QObject*) { SpinEditDelayMore(); };
    ui.SpinEditDelay->OnLess = [this](QObject*) { SpinEditDelayLess(); };
    ui.SpinEditDelay->OnManual = [this](QObject* s, bool m, bool l) {
        SpinEditDelayManual(s, m, l);
    };
    ui.SpinEditCurve->OnMore = [this](QObject*) { SpinEditCurveMore(); };
    ui.SpinEditCurve->OnLess = [this](QObject*) { SpinEditCurveLess(); };
    ui.SpinEditGamma->OnMore = [this](QObject*) { SpinEditGammaMore(); };
    ui.SpinEditGamma->OnLess = [this](QObject*) { SpinEditGammaLess(); };
    ui.SpinEditHGrid->OnMore = [this](QObject*) { SpinEditHGridMore(); };
    ui.SpinEditHGrid->OnLess = [this](QObject*) { SpinEditHGridLess(); };
    ui.SpinEditVGrid->OnMore = [this](QObject*) { SpinEditVGridMore(); };
    ui.SpinEditVGrid->OnLess = [this](QObject*) { SpinEditVGridLess(); };
    // Nobody types into the read-only fields, but the texts the dialog writes on
    // showing leave an edit's typed flag set until the field is entered; on a
    // window that is not yet active, that happens only after the arrow's click,
    // which would then arrive as a manual entry. An arrow is always a step here.
    for (TZSpinEdit* edit :
         {ui.SpinEditCurve, ui.SpinEditGamma, ui.SpinEditHGrid, ui.SpinEditVGrid}) {
        edit->OnManual = [edit](QObject*, bool bMore, bool bLess) {
            if (bMore == bLess) return;
            if (TZSpinEdit::TNotifyEvent step = bMore ? edit->OnMore : edit->OnLess) step(edit);
        };
    }

    // Picks by the user only, the same item again included.
    connect(ui.ComboBoxInterface, &QComboBox::activated, this,
            &TFormSorvaneProperty::ComboBoxInterfaceChange);
    connect(ui.ComboBoxScale, &QComboBox::activated, this,
            &TFormSorvaneProperty::ComboBoxScaleChange);
    connect(ui.CheckBoxGridCurve, &QCheckBox::clicked, this,
            &TFormSorvaneProperty::CheckBoxGridCurveClick);
    connect(ui.CheckBoxGridGamma, &QCheckBox::clicked, this,
            &TFormSorvaneProperty::CheckBoxGridGammaClick);
    connect(ui.CheckBoxHGrid, &QCheckBox::clicked, this, &TFormSorvaneProperty::CheckBoxHGridClick);
    connect(ui.CheckBoxVGrid, &QCheckBox::clicked, this, &TFormSorvaneProperty::CheckBoxVGridClick);
    for (TZPaintBox* box :
         {ui.PaintBoxReceive, ui.PaintBoxSend, ui.PaintBoxHGridColor, ui.PaintBoxVGridColor}) {
        box->OnClick = [this](QObject* s) { PaintBoxLineClick(s); };
        box->OnPaint = [this](QObject* s, QPainter& canvas) { PaintBoxLinePaint(s, canvas); };
    }
    ui.ComboBoxAgent->addItem(ThisComputerText());
    ui.ComboBoxAgent->lineEdit()->setAccessibleName(ui.ComboBoxAgent->accessibleName());
    ui.ComboBoxAgent->lineEdit()->setAccessibleDescription(
        ui.ComboBoxAgent->accessibleDescription());
    ui.ComboBoxAgent->setCurrentIndex(0);
    connect(ui.ComboBoxAgent, &QComboBox::activated, this,
            &TFormSorvaneProperty::ComboBoxAgentChange);
    connect(ui.ComboBoxAgent->lineEdit(), &QLineEdit::editingFinished, this,
            &TFormSorvaneProperty::ComboBoxAgentChange);
    connect(ui.CheckBoxFollowRoute, &QCheckBox::clicked, this, [this] { SetChanged(true); });
    SetAgentAsk({});
    connect(ui.ButtonOk, &QPushButton::clicked, this, &TFormSorvaneProperty::ButtonOkClick);
    connect(ui.ButtonCancel, &QPushButton::clicked, this, &TFormSorvaneProperty::ButtonCancelClick);

    SetUpKeyboard();

    FChanged = false;
    ui.ButtonOk->setEnabled(false);
}

void TFormSorvaneProperty::SetUpKeyboard() {
    for (TZSpinEdit* edit : {ui.SpinEditScale, ui.SpinEditDelay, ui.SpinEditCurve, ui.SpinEditGamma,
                             ui.SpinEditHGrid, ui.SpinEditVGrid}) {
        edit->KeyStepping = true;
        edit->Button()->NameHalves(edit->accessibleName());
    }
    // Made after every widget of the form, so that it outlives them. The colour
    // chooser is a window of its own and keeps its look.
    FMnemonicStyle = new TZMnemonicStyle(this);
    // Alt goes to the control with the focus, which may keep its release to itself.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        if (w->window() == this && w->focusPolicy() != Qt::NoFocus) w->installEventFilter(this);
    for (QLabel* label : findChildren<QLabel*>())
        if (label->window() == this && label->buddy() && label->text().contains(u'&'))
            label->setStyle(FMnemonicStyle);
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        if (button->window() == this && button->text().contains(u'&'))
            button->setStyle(FMnemonicStyle);
}

void TFormSorvaneProperty::FormShow() {
    FLive = FHolder.CurrentSettings();
    const TSettings& live = FLive;

    // Another machine's list comes when its agent answers; until then the list stays.
    FShownAgent = live.Agent;
    ui.ComboBoxAgent->setEditText(live.Agent.Remote() ? QString::fromStdString(live.Agent.Host)
                                                      : ThisComputerText());
    ui.CheckBoxFollowRoute->setChecked(live.FollowRoute);
    ShowAgent();

    // The holder reads both from the file; without a stored text, the scale in the unit read.
    FScaleUnit = live.ScaleUnit;
    FScaleText = live.ScaleText;
    if (FScaleUnit < 0 || FScaleUnit >= ui.ComboBoxScale->count()) FScaleUnit = kScaleUnitByte;
    ui.ComboBoxScale->setCurrentIndex(FScaleUnit);

    SetScaleText(FScaleText);
    SetDelayText(live.Delay);
    ui.SpinEditCurve->setText(TwoDecimalText(live.Curve));
    ui.SpinEditGamma->setText(TwoDecimalText(live.Gamma));

    FReceiveColor = live.ReceiveColor;
    FSendColor = live.SendColor;
    FHGridColor = live.HGridColor;
    FVGridColor = live.VGridColor;
    for (TZPaintBox* box :
         {ui.PaintBoxReceive, ui.PaintBoxSend, ui.PaintBoxHGridColor, ui.PaintBoxVGridColor})
        box->update();

    ui.CheckBoxGridCurve->setChecked(live.GridCurve);
    ui.CheckBoxGridGamma->setChecked(live.GridGamma);
    ui.CheckBoxHGrid->setChecked(live.HGrid);
    ui.CheckBoxVGrid->setChecked(live.VGrid);
    ui.SpinEditHGrid->setText(QString::number(live.HGridSpace));
    ui.SpinEditVGrid->setText(VGridSpaceToText(live.VGridSpace));

    DrawCurveImage(live.Curve);
    DrawGammaGrayImage(live.Gamma);

    // Whatever the loading above set off.
    SetChanged(false);
}

void TFormSorvaneProperty::ShowInterfaceList(const QStringList& names) {
    // The list as the agent has it now (interfaces come and go), the pick kept by name.
    QComboBox* list = ui.ComboBoxInterface;
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->itemText(i);
    if (names != shown) {
        const QString picked = list->currentIndex() == -1 ? QString() : list->currentText();
        list->clear();
        list->addItems(names);
        list->setCurrentIndex(picked.isNull() ? -1 : int(names.indexOf(picked)));
    }
    // A followed interface wherever its row is now; else a position past the list keeps the
    // selection as it was.
    const bool sameAgent = FShownAgent == FLive.Agent;
    const int named = !sameAgent || FLive.InterfaceName.empty()
                          ? -1
                          : int(names.indexOf(QString::fromStdString(FLive.InterfaceName)));
    if (named >= 0)
        list->setCurrentIndex(named);
    else if (sameAgent && FLive.Interface < list->count())
        list->setCurrentIndex(FLive.Interface < 0 ? -1 : FLive.Interface);
}

QString TFormSorvaneProperty::ThisComputerText() {
    return tr("This computer");
}

void TFormSorvaneProperty::SetAgentAsk(
    std::function<TZSNMPRemoteDescriptions(const TZSNMPRemoteAgent&)> ask) {
    delete FAgentProbe;
    FAgentProbe = new TZAgentProbe(this, std::move(ask));
    connect(FAgentProbe, &TZAgentProbe::Answered, this, &TFormSorvaneProperty::AgentAnswered);
}

void TFormSorvaneProperty::ShowAgent() {
    // A route lookup answers for this machine only.
    ui.CheckBoxFollowRoute->setEnabled(!FShownAgent.Remote());
    if (!FShownAgent.Remote()) {
        FAgentProbe->Forget();
        ui.LabelAgentState->clear();
        ShowInterfaceList(LoadInterfaceList(FTable));
        return;
    }
    ui.LabelAgentState->setText(AgentStateText(FShownAgent.Host, std::nullopt));
    FAgentProbe->Ask(FShownAgent);
}

void TFormSorvaneProperty::ComboBoxAgentChange() {
    QString text = ui.ComboBoxAgent->currentText().trimmed();
    if (text == ThisComputerText()) text.clear();
    const std::string host = text.toStdString();
    if (host == FShownAgent.Host) return;
    FShownAgent.Host = host;
    if (FShownAgent.Remote()) ui.ComboBoxInterface->clear(); // another machine's interfaces
    ShowAgent();
    SetChanged(true);
}

void TFormSorvaneProperty::AgentAnswered(const QStringList& names, TZSNMPRemoteError error) {
    if (error != TZSNMPRemoteError::None) {
        ui.ComboBoxInterface->clear(); // "Ok" then keeps the interface in use
        ui.LabelAgentState->setText(AgentStateText(FShownAgent.Host, error));
        return;
    }
    ui.LabelAgentState->clear();
    // Whatever the filling sets off is not the user's edit.
    const bool changed = FChanged;
    ShowInterfaceList(names);
    SetChanged(changed);
}

QString TFormSorvaneProperty::AgentStateText(const std::string& host,
                                             std::optional<TZSNMPRemoteError> error) {
    const QString h = QString::fromStdString(host);
    if (!error) return tr("Asking %1...").arg(h);
    switch (*error) {
    case TZSNMPRemoteError::None:
        return {};
    case TZSNMPRemoteError::ModuleMissing:
        return tr("SNMP support is not installed");
    case TZSNMPRemoteError::BadSettings:
        return tr("The SNMP settings in the file are incomplete");
    case TZSNMPRemoteError::HostUnknown:
        return tr("Unknown host: %1").arg(h);
    case TZSNMPRemoteError::Timeout:
        return tr("No answer from %1").arg(h);
    case TZSNMPRemoteError::Authentication:
        return tr("%1 refused the user or passphrase").arg(h);
    case TZSNMPRemoteError::Refused:
    default:
        return tr("%1 gave no interface table").arg(h);
    }
}

void TFormSorvaneProperty::SetChanged(bool b) {
    if (b == FChanged) return;
    FChanged = b;
    ui.ButtonOk->setEnabled(b);
}

TColor TFormSorvaneProperty::ColorOfTag(int tag) const {
    switch (tag) {
    case kTagReceive:
        return FReceiveColor;
    case kTagSend:
        return FSendColor;
    case kTagHGrid:
        return FHGridColor;
    case kTagVGrid:
        return FVGridColor;
    default:
        return 0xFFFFFF;
    }
}

TColor* TFormSorvaneProperty::ColorFieldOfTag(int tag) {
    switch (tag) {
    case kTagReceive:
        return &FReceiveColor;
    case kTagSend:
        return &FSendColor;
    case kTagHGrid:
        return &FHGridColor;
    case kTagVGrid:
        return &FVGridColor;
    default:
        return nullptr;
    }
}

TZPaintBox* TFormSorvaneProperty::PaintBoxOfTag(int tag) const {
    for (TZPaintBox* box :
         {ui.PaintBoxReceive, ui.PaintBoxSend, ui.PaintBoxHGridColor, ui.PaintBoxVGridColor})
        if (box->Tag() == tag) return box;
    return nullptr;
}

std::int64_t TFormSorvaneProperty::ScaleFallback() const {
    return ScaleFromBits(ScaleToBits(FLive.Scale, kScaleUnitByte), FScaleUnit);
}

void TFormSorvaneProperty::SetScaleText(std::int64_t v) {
    ui.SpinEditScale->setText(QString::number(v));
}

void TFormSorvaneProperty::SetDelayText(std::int64_t v) {
    ui.SpinEditDelay->setText(QString::number(v));
}

// ---- steps ----

void TFormSorvaneProperty::StepScale(bool more) {
    const std::int64_t v = IntegerText(ui.SpinEditScale->text(), ScaleFallback());
    SetScaleText(StepScaleValue(v, more));
    SetChanged(true);
}

void TFormSorvaneProperty::StepDelay(bool more) {
    const std::int64_t v = IntegerText(ui.SpinEditDelay->text(), kDelayMin);
    SetDelayText(StepDelayValue(v, more));
    SetChanged(true);
}

void TFormSorvaneProperty::StepCurve(bool more) {
    const double v = StepCurveValue(RealText(ui.SpinEditCurve->text(), FLive.Curve), more);
    ui.SpinEditCurve->setText(TwoDecimalText(v));
    SetChanged(true);
    DrawCurveImage(v);
}

void TFormSorvaneProperty::StepGamma(bool more) {
    const double v = StepGammaValue(RealText(ui.SpinEditGamma->text(), FLive.Gamma), more);
    ui.SpinEditGamma->setText(TwoDecimalText(v));
    SetChanged(true);
    DrawGammaGrayImage(v);
}

void TFormSorvaneProperty::StepHGrid(bool more) {
    const std::int64_t v = IntegerText(ui.SpinEditHGrid->text(), FLive.HGridSpace);
    ui.SpinEditHGrid->setText(QString::number(StepHGridValue(v, more)));
    SetChanged(true);
}

void TFormSorvaneProperty::StepVGrid(bool more) {
    const std::int64_t v = TextToVGridSpace(ui.SpinEditVGrid->text());
    ui.SpinEditVGrid->setText(VGridSpaceToText(ToInt32(StepVGridValue(v, more))));
    SetChanged(true);
}

void TFormSorvaneProperty::UpdateScaleButtons() {
    ui.SpinEditScale->Button()->SetState(
        ScaleButtonState(IntegerText(ui.SpinEditScale->text(), ScaleFallback())));
}

void TFormSorvaneProperty::UpdateDelayButtons() {
    ui.SpinEditDelay->Button()->SetState(
        DelayButtonState(IntegerText(ui.SpinEditDelay->text(), kDelayMin)));
}

void TFormSorvaneProperty::UpdateCurveButtons() {
    ui.SpinEditCurve->Button()->SetState(
        CurveButtonState(RealText(ui.SpinEditCurve->text(), FLive.Curve)));
}

void TFormSorvaneProperty::UpdateGammaButtons() {
    ui.SpinEditGamma->Button()->SetState(
        GammaButtonState(RealText(ui.SpinEditGamma->text(), FLive.Gamma)));
}

void TFormSorvaneProperty::UpdateHGridButtons() {
    ui.SpinEditHGrid->Button()->SetState(
        HGridButtonState(IntegerText(ui.SpinEditHGrid->text(), FLive.HGridSpace)));
}

void TFormSorvaneProperty::UpdateVGridButtons() {
    ui.SpinEditVGrid->Button()->SetState(
        VGridButtonState(TextToVGridSpace(ui.SpinEditVGrid->text())));
}

// ---- previews ----

void TFormSorvaneProperty::DrawCurveImage(double curve) {
    ::DrawCurveImage(FBitmapCurve, curve);
    ui.ImageCurve->setPixmap(QPixmap::fromImage(FBitmapCurve));
}

void TFormSorvaneProperty::DrawGammaToneImage() {
    ::DrawGammaToneImage(FBitmapGammaTone);
    ui.ImageGammaTone->setPixmap(QPixmap::fromImage(FBitmapGammaTone));
}

void TFormSorvaneProperty::DrawGammaGrayImage(double gamma) {
    ::DrawGammaGrayImage(FBitmapGammaGray, gamma);
    ui.ImageGammaGray->setPixmap(QPixmap::fromImage(FBitmapGammaGray));
}

void TFormSorvaneProperty::PaintBoxLinePaint(QObject* sender, QPainter& canvas) {
    const auto* box = qobject_cast<QWidget*>(sender);
    if (!box) return;
    ::PaintBoxLinePaint(canvas, box->width(), box->height(), ColorOfTag(TagOf(sender)));
}

// ---- event handlers ----

void TFormSorvaneProperty::SpinEditScaleChange() {
    SetChanged(true);
}

void TFormSorvaneProperty::SpinEditScaleMore() {
    StepScale(true);
    UpdateScaleButtons();
}

void TFormSorvaneProperty::SpinEditScaleLess() {
    StepScale(false);
    UpdateScaleButtons();
}

void TFormSorvaneProperty::NormaliseScale() {
    const std::int64_t v = IntegerText(ui.SpinEditScale->text(), ScaleFallback());
    SetScaleText(std::clamp(v, kScaleMin, kScaleMax));
    SetChanged(true);
    UpdateScaleButtons();
}

void TFormSorvaneProperty::SpinEditScaleManual(QObject*, bool bMore, bool bLess) {
    if (bMore && !bLess)
        SpinEditScaleMore();
    else if (bLess && !bMore)
        SpinEditScaleLess();
    else
        NormaliseScale();
}

void TFormSorvaneProperty::SpinEditDelayChange() {
    SetChanged(true);
}

void TFormSorvaneProperty::SpinEditDelayMore() {
    StepDelay(true);
    UpdateDelayButtons();
}

void TFormSorvaneProperty::SpinEditDelayLess() {
    StepDelay(false);
    UpdateDelayButtons();
}

void TFormSorvaneProperty::NormaliseDelay() {
    const std::int64_t v = IntegerText(ui.SpinEditDelay->text(), kDelayMin);
    SetDelayText(std::clamp(v, kDelayMin, kDelayMax));
    SetChanged(true);
    UpdateDelayButtons();
}

void TFormSorvaneProperty::SpinEditDelayManual(QObject*, bool bMore, bool bLess) {
    if (bMore && !bLess)
        SpinEditDelayMore();
    else if (bLess && !bMore)
        SpinEditDelayLess();
    else
        NormaliseDelay();
}

void TFormSorvaneProperty::SpinEditCurveMore() {
    StepCurve(true);
    UpdateCurveButtons();
}

void TFormSorvaneProperty::SpinEditCurveLess() {
    StepCurve(false);
    UpdateCurveButtons();
}

void TFormSorvaneProperty::SpinEditGammaMore() {
    StepGamma(true);
    UpdateGammaButtons();
}

void TFormSorvaneProperty::SpinEditGammaLess() {
    StepGamma(false);
    UpdateGammaButtons();
}

void TFormSorvaneProperty::SpinEditHGridMore() {
    StepHGrid(true);
    UpdateHGridButtons();
}

void TFormSorvaneProperty::SpinEditHGridLess() {
    StepHGrid(false);
    UpdateHGridButtons();
}

void TFormSorvaneProperty::SpinEditVGridMore() {
    StepVGrid(true);
    UpdateVGridButtons();
}

void TFormSorvaneProperty::SpinEditVGridLess() {
    StepVGrid(false);
    UpdateVGridButtons();
}

void TFormSorvaneProperty::ComboBoxInterfaceChange() {
    SetChanged(true);
}

void TFormSorvaneProperty::ComboBoxScaleChange() {
    const std::int32_t u = ui.ComboBoxScale->currentIndex();
    if (u == FScaleUnit) return;
    const std::int64_t v = IntegerText(ui.SpinEditScale->text(), ScaleFallback());
    const std::int64_t b = ScaleToBits(v, FScaleUnit);
    FScaleUnit = u;
    SetScaleText(ScaleFromBits(b, u));
    SetChanged(true);
}

void TFormSorvaneProperty::CheckBoxGridCurveClick() {
    SetChanged(true);
}

void TFormSorvaneProperty::CheckBoxGridGammaClick() {
    SetChanged(true);
}

void TFormSorvaneProperty::CheckBoxHGridClick() {
    SetChanged(true);
}

void TFormSorvaneProperty::CheckBoxVGridClick() {
    SetChanged(true);
}

void TFormSorvaneProperty::PaintBoxLineClick(QObject* sender) {
    const int tag = TagOf(sender);
    ColorDialog->setCurrentColor(QColor(ToQRgb(ColorOfTag(tag))));
    const int result = ColorDialog->exec();
    // A window manager hands the focus back from the chooser; without one, nobody would.
    activateWindow();
    if (result != QDialog::Accepted) return;
    if (TColor* field = ColorFieldOfTag(tag)) {
        *field = ToTColor(ColorDialog->selectedColor());
        if (TZPaintBox* box = PaintBoxOfTag(tag)) box->update();
    }
    SetChanged(true);
}

void TFormSorvaneProperty::ButtonOkClick() {
    // Ok takes the texts as they stand: a typed value not yet normalised is not clamped
    // (only the scale is held at 1 and above, so that Max never equals Min).
    TSettings s = FHolder.CurrentSettings();
    const TSettings live = s;
    // No pick keeps the interface in use, and with it its history.
    if (const int i = ui.ComboBoxInterface->currentIndex(); i != -1) {
        s.Interface = i;
        s.InterfaceName = ui.ComboBoxInterface->itemText(i).toStdString();
    }
    s.Agent.Host = FShownAgent.Host;
    s.FollowRoute = ui.CheckBoxFollowRoute->isChecked();
    const TZScaleApplied scale =
        ApplyScale(IntegerText(ui.SpinEditScale->text(), ScaleFallback()), FScaleUnit);
    s.Scale = scale.Max;
    s.ScaleText = scale.ScaleText;
    s.ScaleUnit = scale.ScaleUnit;
    s.Delay = ToInt32(IntegerText(ui.SpinEditDelay->text(), kDelayMin));
    s.Curve = RealText(ui.SpinEditCurve->text(), live.Curve);
    s.Gamma = RealText(ui.SpinEditGamma->text(), live.Gamma);
    s.ReceiveColor = FReceiveColor;
    s.SendColor = FSendColor;
    s.GridCurve = ui.CheckBoxGridCurve->isChecked();
    s.GridGamma = ui.CheckBoxGridGamma->isChecked();
    s.HGrid = ui.CheckBoxHGrid->isChecked();
    s.HGridSpace = ToInt32(IntegerText(ui.SpinEditHGrid->text(), live.HGridSpace));
    s.HGridColor = FHGridColor;
    s.VGrid = ui.CheckBoxVGrid->isChecked();
    s.VGridSpace = TextToVGridSpace(ui.SpinEditVGrid->text());
    s.VGridColor = FVGridColor;

    const bool saved = FHolder.ApplySettings(s);
    FLive = FHolder.CurrentSettings();
    // A refused write has been shown; the dialog stays open to try again.
    if (!saved) return;
    hide();
    PostUserMessage(parent(), TUserMessage::HideTaskbarButton);
}

void TFormSorvaneProperty::ButtonCancelClick() {
    hide();
    PostUserMessage(parent(), TUserMessage::HideTaskbarButton);
}

void TFormSorvaneProperty::reject() {
    ButtonCancelClick();
}

void TFormSorvaneProperty::showEvent(QShowEvent* event) {
    // The window system showing it again (after being minimised) is no new showing.
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFormSorvaneProperty::RevealMnemonics(bool revealed) {
    if (FMnemonicStyle) FMnemonicStyle->SetRevealed(revealed);
}

void TFormSorvaneProperty::hideEvent(QHideEvent* event) {
    RevealMnemonics(false);
    QDialog::hideEvent(event);
}

bool TFormSorvaneProperty::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Alt)
        RevealMnemonics(type == QEvent::KeyPress);
    // Enter in the agent's field asks that agent; it does not close the dialog with "Ok".
    // The box has the focus and hands its keys to its text field itself.
    if (type == QEvent::KeyPress &&
        (watched == ui.ComboBoxAgent || watched == ui.ComboBoxAgent->lineEdit())) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ComboBoxAgentChange();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormSorvaneProperty::changeEvent(QEvent* event) {
    // Alt+Tab to another window: its release comes to that window.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) RevealMnemonics(false);
    QDialog::changeEvent(event);
}

void TFormSorvaneProperty::closeEvent(QCloseEvent* event) {
    // The close box hides without applying and without the cancel button's message.
    event->accept();
}
