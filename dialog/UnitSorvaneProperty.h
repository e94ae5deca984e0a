// The property dialog: every setting of the graph, edited on copies.
//
// One modeless instance, made hidden at the first "Property..." and kept until
// the program ends; the interface list is loaded anew at each showing. Each showing
// reloads the controls from the holder's record; nothing reaches the live objects until "Ok",
// which hands the holder the whole record (applied, saved and redrawn there) and hides the
// dialog. "Cancel", Esc and the close box only hide it. "Ok" is enabled exactly while
// something was edited since the dialog was shown.
//
// The dialog owns every rule of its spin edits (ZPropertyRules.h): after each
// step it greys the arrow that cannot move the value further.
//
// Everything can be done with the keyboard: the spin fields step by keys as
// their arrows do (TZSpinEdit::KeyStepping), the colour swatches come last in
// the tab order and open the chooser on Space or Enter, and every label, check
// box and button has an Alt mnemonic whose underline shows only while Alt is held.
//
// The agent row, last in the tab order, takes "This computer" or a host; another machine's
// list is asked for without holding up the dialog, and why none came shows under the row.
#pragma once

#include "ZPropertyRules.h"
#include "ZSNMPRemote.h"
#include "ZSettings.h"
#include "ui_UnitSorvaneProperty.h"

#include <QDialog>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QColorDialog;
class QPainter;
class TZAgentProbe;
class TZMnemonicStyle;
class TZSNMPMIBSharedTable;

class TFormSorvaneProperty : public QDialog {
    Q_OBJECT
public:
    // parent: the main window, which owns the dialog and receives its messages.
    // holder: the live settings. interfaces: the list to offer, as LoadInterfaceList
    // gave it; without one the dialog loads it now from table.
    TFormSorvaneProperty(QWidget* parent, TSettingsHolder& holder,
                         const TZSNMPMIBSharedTable& table,
                         std::optional<QStringList> interfaces = std::nullopt);
    // The interface descriptions in the agent's order, from a load of their own.
    static QStringList LoadInterfaceList(const TZSNMPMIBSharedTable& table);
    ~TFormSorvaneProperty() override;

    const Ui::FormSorvaneProperty& Form() const { return ui; }
    // The standard colour chooser, run by a click on a colour swatch.
    QColorDialog* ColorDialog = nullptr;

    bool Changed() const { return FChanged; }
    void SetChanged(bool b);
    std::int32_t ScaleUnit() const { return FScaleUnit; }
    std::int64_t LoadedScaleText() const { return FScaleText; }
    TColor ReceiveColor() const { return FReceiveColor; }
    TColor SendColor() const { return FSendColor; }
    TColor HGridColor() const { return FHGridColor; }
    TColor VGridColor() const { return FVGridColor; }
    // The colour a swatch shows: 10 receive, 11 send, 20 and 21 the grids, white otherwise.
    TColor ColorOfTag(int tag) const;

    const QImage& CurveBitmap() const { return FBitmapCurve; }
    const QImage& GammaToneBitmap() const { return FBitmapGammaTone; }
    const QImage& GammaGrayBitmap() const { return FBitmapGammaGray; }

    // One step up (more) or down of each value; the Update operations set the
    // arrows from the text just written.
    void StepScale(bool more);
    void StepDelay(bool more);
    void StepCurve(bool more);
    void StepGamma(bool more);
    void StepHGrid(bool more);
    void StepVGrid(bool more);
    void UpdateScaleButtons();
    void UpdateDelayButtons();
    void UpdateCurveButtons();
    void UpdateGammaButtons();
    void UpdateHGridButtons();
    void UpdateVGridButtons();

    void DrawCurveImage(double curve);
    void DrawGammaToneImage();
    void DrawGammaGrayImage(double gamma);

    // Event handlers.
    void SpinEditScaleChange();
    void SpinEditScaleMore();
    void SpinEditScaleLess();
    void SpinEditScaleManual(QObject* sender, bool bMore, bool bLess);
    void SpinEditDelayChange();
    void SpinEditDelayMore();
    void SpinEditDelayLess();
    void SpinEditDelayManual(QObject* sender, bool bMore, bool bLess);
    void SpinEditCurveMore();
    void SpinEditCurveLess();
    void SpinEditGammaMore();
    void SpinEditGammaLess();
    void SpinEditHGridMore();
    void SpinEditHGridLess();
    void SpinEditVGridMore();
    void SpinEditVGridLess();
    void ComboBoxInterfaceChange();
    void ComboBoxScaleChange();
    void CheckBoxGridCurveClick();
    void CheckBoxGridGammaClick();
    void CheckBoxHGridClick();
    void CheckBoxVGridClick();
    void PaintBoxLineClick(QObject* sender);
    void PaintBoxLinePaint(QObject* sender, QPainter& canvas);
    void ButtonOkClick();
    void ButtonCancelClick();
    void ComboBoxAgentChange();

    // How another machine's interfaces are asked for (on a thread of the dialog's); empty: over
    // SNMP within TZAgentProbe::kProbeDeadline.
    void SetAgentAsk(std::function<TZSNMPRemoteDescriptions(const TZSNMPRemoteAgent&)> ask);
    // The item that stands for this machine in the agent list.
    static QString ThisComputerText();
    // The state line under the agent: asking (no error yet), or why there is no list.
    static QString AgentStateText(const std::string& host, std::optional<TZSNMPRemoteError> error);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public Q_SLOTS:
    // Esc: the cancel button.
    void reject() override;

private:
    void FormCreate(const TZSNMPMIBSharedTable& table,
                    const std::optional<QStringList>& interfaces);
    void SetUpKeyboard();
    void RevealMnemonics(bool revealed);
    void FormShow();
    TColor* ColorFieldOfTag(int tag);
    TZPaintBox* PaintBoxOfTag(int tag) const;
    // The scale when its text is no number: the receive source's, in the unit shown.
    std::int64_t ScaleFallback() const;
    void SetScaleText(std::int64_t v);
    void SetDelayText(std::int64_t v);
    void ShowInterfaceList(const QStringList& names);
    void ShowAgent();
    void AgentAnswered(const QStringList& names, TZSNMPRemoteError error);
    void NormaliseScale();
    void NormaliseDelay();

    Ui::FormSorvaneProperty ui;
    TSettingsHolder& FHolder;
    const TZSNMPMIBSharedTable& FTable;
    // The holder's record as of the last showing or "Ok": the fallbacks of the fields.
    TSettings FLive;

    bool FChanged = false;
    std::int64_t FScaleText = 0;
    std::int32_t FScaleUnit = kScaleUnitBit;
    TColor FReceiveColor = TSettings().ReceiveColor;
    TColor FSendColor = TSettings().SendColor;
    TColor FHGridColor = TSettings().HGridColor;
    TColor FVGridColor = TSettings().VGridColor;

    QImage FBitmapCurve;
    QImage FBitmapGammaTone;
    QImage FBitmapGammaGray;

    TZMnemonicStyle* FMnemonicStyle = nullptr;
    // The agent the list is of: the holder's, or the one typed since the showing.
    TZSNMPRemoteAgent FShownAgent;
    TZAgentProbe* FAgentProbe = nullptr;
};
