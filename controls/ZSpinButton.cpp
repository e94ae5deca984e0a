#include "ZSpinButton.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

// The glyphs live in a static library: nothing would pull its resource object
// into the program unless it is referenced.
static void InitControlsResources() {
    Q_INIT_RESOURCE(controls);
}

namespace {

QImage LoadBitmap(const char* path) {
    static const bool registered = (InitControlsResources(), true);
    (void)registered;
    return QImage(QString::fromLatin1(path), "BMP");
}

const QImage& UpGlyph() {
    static const QImage glyph = ZSpinGlyph(ZSpinUpBitmap());
    return glyph;
}

const QImage& DownGlyph() {
    static const QImage glyph = ZSpinGlyph(ZSpinDownBitmap());
    return glyph;
}

} // namespace

TZSpinHalfBounds ZSpinHalfBounds(int width, int height) {
    const int half = height / 2;
    return {QRect(0, 0, width, half), QRect(0, height - half, width, half)};
}

QImage ZSpinGlyph(const QImage& bitmap) {
    if (bitmap.isNull()) return {};
    QImage glyph = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = glyph.pixel(0, glyph.height() - 1);
    for (int y = 0; y < glyph.height(); ++y)
        for (int x = 0; x < glyph.width(); ++x)
            if (glyph.pixel(x, y) == key) glyph.setPixel(x, y, qRgba(0, 0, 0, 0));
    return glyph;
}

QImage ZSpinGlyphDisabled(const QImage& glyph, const QColor& highlight, const QColor& shadow) {
    if (glyph.isNull()) return {};
    const QImage src = glyph.convertToFormat(QImage::Format_ARGB32);
    QImage out(src.width() + 1, src.height() + 1, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    // White parts of the arrow are its own highlight edge and drop out.
    auto dark = [&](int x, int y) {
        const QRgb p = src.pixel(x, y);
        return qAlpha(p) != 0 && qGray(p) < 192;
    };
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            if (dark(x, y)) out.setPixel(x + 1, y + 1, highlight.rgba());
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            if (dark(x, y)) out.setPixel(x, y, shadow.rgba());
    return out;
}

QImage ZSpinUpBitmap() {
    return LoadBitmap(":/controls/ZSPINUP.bmp");
}
QImage ZSpinDownBitmap() {
    return LoadBitmap(":/controls/ZSPINDOWN.bmp");
}

// One half: a small push button that shows its glyph, captures the mouse while
// pressed (Qt's implicit grab) and clicks on release over it.
class TZSpinButtonHalf : public QAbstractButton {
public:
    TZSpinButtonHalf(TZSpinButton* owner, int tag, const QImage& glyph)
        : QAbstractButton(owner), Tag(tag), FOwner(owner), FGlyph(glyph) {
        setFocusPolicy(Qt::NoFocus);
    }

    const int Tag;

protected:
    bool event(QEvent* event) override {
        // A disabled button swallows its mouse events, but the release must
        // still end a repetition that began before the half was disabled.
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            FOwner->HalfReleased();
        return QAbstractButton::event(event);
    }

    void mousePressEvent(QMouseEvent* event) override {
        QAbstractButton::mousePressEvent(event);
        if (event->button() == Qt::LeftButton) FOwner->HalfPressed(this);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QPalette& pal = palette();
        const QRect r = rect();
        p.fillRect(r, pal.color(QPalette::Button));
        if (r.width() < 2 || r.height() < 2) return;
        const int x0 = r.left(), y0 = r.top(), x1 = r.right(), y1 = r.bottom();
        const bool down = isDown();
        if (down) {
            p.setPen(pal.color(QPalette::Dark));
            p.drawLine(x0, y0, x1, y0);
            p.drawLine(x0, y0, x0, y1);
        } else {
            p.setPen(pal.color(QPalette::Light));
            p.drawLine(x0, y0, x1 - 1, y0);
            p.drawLine(x0, y0, x0, y1 - 1);
            p.setPen(pal.color(QPalette::Shadow));
            p.drawLine(x0, y1, x1, y1);
            p.drawLine(x1, y0, x1, y1);
            if (r.width() > 3 && r.height() > 3) {
                p.setPen(pal.color(QPalette::Dark));
                p.drawLine(x0 + 1, y1 - 1, x1 - 1, y1 - 1);
                p.drawLine(x1 - 1, y0 + 1, x1 - 1, y1 - 1);
            }
        }
        if (FGlyph.isNull()) return;
        const int shift = down ? 1 : 0;
        const QPoint at((r.width() - FGlyph.width()) / 2 + shift,
                        (r.height() - FGlyph.height()) / 2 + shift);
        if (isEnabled())
            p.drawImage(at, FGlyph);
        else
            p.drawImage(at, ZSpinGlyphDisabled(FGlyph, pal.color(QPalette::Light),
                                               pal.color(QPalette::Dark)));
    }

private:
    TZSpinButton* FOwner;
    QImage FGlyph;
};

TZSpinButton::TZSpinButton(QWidget* owner) : QWidget(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    // Inside an edit the I-beam would otherwise be inherited.
    setCursor(Qt::ArrowCursor);
    FUpper = new TZSpinButtonHalf(this, 0, UpGlyph());
    FLower = new TZSpinButtonHalf(this, 1, DownGlyph());
    for (TZSpinButtonHalf* half : {FUpper, FLower})
        connect(half, &QAbstractButton::clicked, this, [this, half] { HalfClicked(half); });
    NameHalves({});
    FRepeatTimer = new QTimer(this);
    FRepeatTimer->setTimerType(Qt::PreciseTimer);
    connect(FRepeatTimer, &QTimer::timeout, this, &TZSpinButton::RepeatStep);
    resize(17, 25);
    Layout();
}

TZSpinButton::~TZSpinButton() = default;

void TZSpinButton::SetState(TZSpinButtonState value) {
    if (FState.testFlag(zsbsMore) != value.testFlag(zsbsMore))
        FUpper->setEnabled(value.testFlag(zsbsMore));
    if (FState.testFlag(zsbsLess) != value.testFlag(zsbsLess))
        FLower->setEnabled(value.testFlag(zsbsLess));
    FState = value;
}

QAbstractButton* TZSpinButton::UpperHalf() const {
    return FUpper;
}
QAbstractButton* TZSpinButton::LowerHalf() const {
    return FLower;
}

void TZSpinButton::NameHalves(const QString& field) {
    const QString more = QStringLiteral("Increase");
    const QString less = QStringLiteral("Decrease");
    FUpper->setAccessibleName(field.isEmpty() ? more : more + u' ' + field);
    FLower->setAccessibleName(field.isEmpty() ? less : less + u' ' + field);
}

void TZSpinButton::Layout() {
    const TZSpinHalfBounds b = ZSpinHalfBounds(width(), height());
    FUpper->setGeometry(b.Upper);
    FLower->setGeometry(b.Lower);
}

void TZSpinButton::StartRepeat(std::int32_t interval) {
    if (interval > 0)
        FRepeatTimer->start(interval);
    else
        FRepeatTimer->stop();
}

void TZSpinButton::HalfPressed(TZSpinButtonHalf* half) {
    FHeld = half;
    StartRepeat(RepeatFirst);
    QWidget* target = FocusControl;
    if (target && (target->focusPolicy() & Qt::TabFocus) && target->isEnabled() &&
        target->isVisible() && !target->hasFocus())
        target->setFocus(Qt::MouseFocusReason);
}

void TZSpinButton::HalfReleased() {
    FRepeatTimer->stop();
}

void TZSpinButton::RepeatStep() {
    StartRepeat(RepeatInterval);
    if (FHeld) HalfClicked(FHeld);
}

void TZSpinButton::HalfClicked(TZSpinButtonHalf* half) {
    // A copy, so that a handler may reassign the event while it runs.
    TNotifyEvent handler = half->Tag == 0 ? OnMore : OnLess;
    if (handler) handler(this);
}

void TZSpinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
}

void TZSpinButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
}

void TZSpinButton::focusInEvent(QFocusEvent*) {
    update();
}
void TZSpinButton::focusOutEvent(QFocusEvent*) {
    update();
}

void TZSpinButton::hideEvent(QHideEvent* event) {
    // A hidden control gets no release: its repetition would never end.
    FRepeatTimer->stop();
    QWidget::hideEvent(event);
}

// Presses that no half takes (the middle row, a disabled half, other buttons)
// end here rather than reaching the parent, which may be an edit.
void TZSpinButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
}
void TZSpinButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}
void TZSpinButton::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
