// A two-arrow spin button: the upper half means more, the lower half less.
//
// A click on an enabled half fires OnMore or OnLess once, on release over it.
// Holding the left button on a half fires it again RepeatFirst ms after the
// press and then every RepeatInterval ms until the button is released; the
// held half keeps firing even if it was disabled meanwhile (a caller greys the
// arrow at the end of its range from inside the handler). A left press also
// moves the focus to FocusControl when that control takes focus by Tab.
#pragma once

#include <QFlags>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>

class QAbstractButton;
class QTimer;
class TZSpinButtonHalf;

enum TZSpinButtonStateItem { zsbsMore = 0x1, zsbsLess = 0x2 };
Q_DECLARE_FLAGS(TZSpinButtonState, TZSpinButtonStateItem)
Q_DECLARE_OPERATORS_FOR_FLAGS(TZSpinButtonState)

struct TZSpinHalfBounds {
    QRect Upper;
    QRect Lower;
};

// Both halves are Height div 2 rows tall; an odd height leaves the middle row
// to the control's own surface.
TZSpinHalfBounds ZSpinHalfBounds(int width, int height);

// The arrow bitmaps as drawn: ARGB32 with the colour of the bottom-left pixel
// (the silver background) made transparent. A null image stays null.
QImage ZSpinGlyph(const QImage& bitmap);
// The greyed look of a glyph: every dark pixel becomes shadow with a highlight
// one pixel down and right, so the image is one pixel wider and taller.
QImage ZSpinGlyphDisabled(const QImage& glyph, const QColor& highlight, const QColor& shadow);
// The bitmaps as stored in the program's resources (16 colours, 8 x 6).
QImage ZSpinUpBitmap();
QImage ZSpinDownBitmap();

class TZSpinButton : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TZSpinButton(QWidget* owner = nullptr);
    ~TZSpinButton() override;

    // Enables exactly the halves in the set; a half whose membership does not
    // change is left alone.
    TZSpinButtonState State() const { return FState; }
    void SetState(TZSpinButtonState value);

    // Milliseconds. A value of 0 or less stops the repetition at that stage.
    std::int32_t RepeatFirst = 500;
    std::int32_t RepeatInterval = 150;
    // Not owned; cleared when that control is destroyed.
    QPointer<QWidget> FocusControl;
    // The sender passed is this spin button; an unassigned event is skipped.
    TNotifyEvent OnMore;
    TNotifyEvent OnLess;

    QAbstractButton* UpperHalf() const;
    QAbstractButton* LowerHalf() const;
    // Names the halves after the field they step; an empty field leaves the bare names.
    void NameHalves(const QString& field);

    QSize sizeHint() const override { return {17, 25}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    friend class TZSpinButtonHalf;

    void HalfPressed(TZSpinButtonHalf* half);
    void HalfReleased();
    void HalfClicked(TZSpinButtonHalf* half);
    void RepeatStep();
    void StartRepeat(std::int32_t interval);
    void Layout();

    TZSpinButtonState FState = {zsbsMore, zsbsLess};
    TZSpinButtonHalf* FUpper = nullptr;
    TZSpinButtonHalf* FLower = nullptr;
    QTimer* FRepeatTimer = nullptr;
    TZSpinButtonHalf* FHeld = nullptr;
};
