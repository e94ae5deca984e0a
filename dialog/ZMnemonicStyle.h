// The application's style with mnemonic underlines hidden until Alt is held.
//
// Given to the labels, check boxes and buttons that carry a mnemonic, it lets
// them draw exactly as they would without one: Fusion and the other styles on
// Linux underline mnemonics all the time. The window that owns the widgets
// reports Alt through SetRevealed, which repaints every widget using the style.
#pragma once

#include <QList>
#include <QPointer>
#include <QProxyStyle>

class TZMnemonicStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Its base is a fresh instance of the application's style, which stays untouched.
    // Made after the widgets that use it by the same parent, it outlives them.
    explicit TZMnemonicStyle(QObject* parent);

    bool Revealed() const { return FRevealed; }
    void SetRevealed(bool revealed);

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    void polish(QWidget* widget) override;
    void unpolish(QWidget* widget) override;
    using QProxyStyle::polish;
    using QProxyStyle::unpolish;

private:
    bool FRevealed = false;
    QList<QPointer<QWidget>> FWidgets;
};
