// The traffic graph control and the data series it draws.
//
// A TZPerformanceSource is one line: a short history of per-tick samples whose
// slot p belongs to image column ImageWidth - 1 - p. A TZPerformanceGraph owns
// a 24-bit bottom-up image; each Advance scrolls it one column, draws the new
// column's grid and lets every attached source hand over one value, which is
// averaged, mapped through the graph curve and joined to the previous point.
// Drawing settings only set a flag; the whole image is redrawn from the
// histories once, at the next tick or on Refresh.
#pragma once

#include "ZGraphRender.h"
#include "ZPerformanceSource.h"

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

// count pixels of a 24-bit row (blue, green, red) as opaque 32-bit colours. Inline: a tick
// converts rows of one or two pixels, where a call would cost more than the work.
inline void BgrRowToRgb32(const std::uint8_t* src, QRgb* dst, int count) {
    int i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four pixels from three 4-byte loads: B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3.
        for (; i + 4 <= count; i += 4, src += 12) {
            std::uint32_t a, b, c;
            std::memcpy(&a, src, 4);
            std::memcpy(&b, src + 4, 4);
            std::memcpy(&c, src + 8, 4);
            dst[i] = a | 0xFF000000u;
            dst[i + 1] = (a >> 24) | (b << 8) | 0xFF000000u;
            dst[i + 2] = (b >> 16) | (c << 16) | 0xFF000000u;
            dst[i + 3] = (c >> 8) | 0xFF000000u;
        }
    }
    for (; i < count; ++i, src += 3)
        dst[i] = 0xFF000000u | (QRgb{src[2]} << 16) | (QRgb{src[1]} << 8) | src[0];
}

// A way to the screen besides the window's backing store: a copy of the image kept by the
// display server, which a tick moves and writes there and then shows. A tick through the
// store costs ten requests to the server and most of the tick's own work; through this, three.
class TZGraphPresenter {
public:
    virtual ~TZGraphPresenter() = default;
    // Readies a copy of a picture of this size for the window; kept tells whether it still
    // holds what the last Show showed. False where no copy can be kept: the store is used.
    virtual bool Prepare(QWindow* window, QSize size, bool& kept) = 0;
    // Moves the copy one column left.
    virtual void ScrollLeft() = 0;
    // Writes the copy's rect from upright opaque rows of rect.width() pixels; at most
    // kPutPixels pixels at a time.
    virtual void Put(const QRect& rect, const QRgb* pixels) = 0;
    // Shows the whole copy in the window with its top left at `at`.
    virtual void Show(const QPoint& at) = 0;

    static constexpr int kPutPixels = 1024;
};

class TZPerformanceGraph : public QWidget {
    Q_OBJECT
public:
    explicit TZPerformanceGraph(QWidget* owner);
    ~TZPerformanceGraph() override;

    // All four 0 gives a 202 x 102 control (a 200 x 100 image). Rebuilds at once
    // when the size changed.
    void SetBounds(int left, int top, int width, int height);

    void AddSource(TZPerformanceSource* source);
    void RemoveSource(TZPerformanceSource* source);
    const std::vector<TZPerformanceSource*>& Sources() const { return FSources; }

    void AddValue(TZPerformanceSource* source, std::int32_t value);
    // One timer tick.
    void Advance();
    // Redraws everything from the histories now and shows it.
    void Refresh();

    double Curve() const { return FGrid.Curve; }
    void SetCurve(double value);
    double Gamma() const { return FGamma; }
    void SetGamma(double value);
    bool GridCurve() const { return FGrid.GridCurve; }
    void SetGridCurve(bool value);
    bool GridGamma() const { return FGrid.GridGamma; }
    void SetGridGamma(bool value);
    bool HGrid() const { return FGrid.HGrid; }
    void SetHGrid(bool value);
    std::int32_t HGridSpace() const { return FGrid.HGridSpace; }
    void SetHGridSpace(std::int32_t value);
    TColor HGridColor() const { return FGrid.HGridColor; }
    void SetHGridColor(TColor value);
    bool VGrid() const { return FGrid.VGrid; }
    void SetVGrid(bool value);
    std::int32_t VGridSpace() const { return FGrid.VGridSpace; }
    void SetVGridSpace(std::int32_t value);
    TColor VGridColor() const { return FGrid.VGridColor; }
    void SetVGridColor(TColor value);

    bool NeedsRebuild() const { return FNeedsRebuild; }
    std::int32_t VGridPhase() const { return FGrid.VGridPhase; }
    bool HasImage() const { return !FPixels.empty(); }
    std::int32_t ImageWidth() const { return FImageWidth; }
    std::int32_t ImageHeight() const { return FImageHeight; }
    std::int32_t Stride() const { return ImageStride(FImageWidth); }
    // The image bytes (blue, green, red; rows bottom-up); null without an image.
    const std::uint8_t* Pixels() const { return FPixels.empty() ? nullptr : FPixels.data(); }
    const TZToneTables& ToneTables() const { return FTables; }
    // Paints the part of the image inside dirty (control coordinates) at (1, 1).
    void PresentTo(QPainter& painter, const QRect& dirty);
    // Where ticks go to the screen besides the backing store; none by default.
    void SetPresenter(std::unique_ptr<TZGraphPresenter> presenter);

    // Mouse events of the control, in its own coordinates; unassigned ones are skipped.
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int, int)> OnMouseDown;
    std::function<void(Qt::MouseButtons, Qt::KeyboardModifiers, int, int)> OnMouseMove;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int, int)> OnMouseUp;
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Rebuild();
    void FreeImage();
    void Present();
    // After a tick: scrolls what is shown and repaints the columns drawn since.
    void PresentScrolled();
    // The image's place in the window when the window may be written without a repaint:
    // shown, not covered, one device pixel a pixel. Empty otherwise.
    QRect DirectArea() const;
    // Move and write the presenter's copy, or the window's backing store itself, with the
    // image shown at `shown` (DirectArea); false where they left it alone.
    bool PresentThroughPresenter(const QRect& shown);
    bool PresentDirect(const QRect& shown);
    // Converts the image's area (image coordinates) into upright 32-bit rows at `to`.
    void ConvertRows(const QRect& area, std::uint8_t* to, std::size_t toStride);
    // Writes the black column with the horizontal lines over image column x.
    void CopyGridColumnTo(std::int32_t x);
    void DrawSegment(const TZPerformanceSource& source, std::int32_t fromColumn,
                     std::int32_t fromValue, std::int32_t toColumn, std::int32_t toValue);
    TZImageView View();

    bool FNeedsRebuild = true;
    TZGridSettings FGrid;
    double FGamma = 2.5;
    TZToneTables FTables; // the tones of FGamma
    std::int32_t FImageWidth = 0;
    std::int32_t FImageHeight = 0;
    std::vector<std::uint8_t> FPixels;
    std::vector<std::uint8_t> FGridColumn; // a one-column image: black, the horizontal lines
    std::int32_t FDrawnFrom = 0;           // leftmost column drawn into since the last present
    std::vector<TZPerformanceSource*> FSources;
    bool FPressed = false;
    std::unique_ptr<TZGraphPresenter> FPresenter;
    bool FPresenterCurrent = false; // the presenter's copy holds the image as last presented
    bool FStoreCurrent = true;      // the backing store holds it (ticks may bypass the store)
    QPointer<QWindow> FWatchedWindow;
};
