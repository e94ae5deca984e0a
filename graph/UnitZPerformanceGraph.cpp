#include "UnitZPerformanceGraph.h"

#include <QBackingStore>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QWindow>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

// ---------------------------------------------------------------------------
// TZPerformanceSource

TZPerformanceSource::TZPerformanceSource(QObject* owner)
    : QObject(owner), FRandom(QRandomGenerator::system()->generate()) {}

TZPerformanceSource::~TZPerformanceSource() {
    if (Registered && FGraph) FGraph->RemoveSource(this);
    SetCount(0);
}

void TZPerformanceSource::SetGraph(TZPerformanceGraph* graph) {
    if (FGraph && Registered) FGraph->RemoveSource(this);
    FGraph = graph;
    if (FGraph) FGraph->AddSource(this);
}

void TZPerformanceSource::SetCount(std::int32_t n) {
    if (n <= 0) {
        std::vector<std::int32_t>().swap(FValues);
        std::vector<std::uint8_t>().swap(FValid);
        return;
    }
    // resize keeps the newest slots (the front) and adds empty, invalid ones.
    FValues.resize(static_cast<std::size_t>(n), 0);
    FValid.resize(static_cast<std::size_t>(n), 0);
}

std::int32_t TZPerformanceSource::GetValue(std::int32_t i) const {
    return i >= 0 && i < Count() ? FValues[static_cast<std::size_t>(i)] : 0;
}

void TZPerformanceSource::SetValue(std::int32_t i, std::int32_t v) {
    if (i >= 0 && i < Count()) FValues[static_cast<std::size_t>(i)] = v;
}

bool TZPerformanceSource::IsValid(std::int32_t i) const {
    return i >= 0 && i < Count() && FValid[static_cast<std::size_t>(i)] != 0;
}

void TZPerformanceSource::SetValid(std::int32_t i, bool b) {
    if (i >= 0 && i < Count()) FValid[static_cast<std::size_t>(i)] = b ? 1 : 0;
}

std::int32_t TZPerformanceSource::GetAverage(std::int32_t i) const {
    const std::int32_t count = Count();
    if (i < 0 || i >= count) return 0;
    // Slots past the last one are never valid, so a huge Delay stops there.
    const std::int32_t last = std::min<std::int64_t>(std::int64_t{i} + Delay, count - 1);
    std::int64_t sum = 0;
    std::int32_t number = 0;
    for (std::int32_t j = i + 1; j <= last; ++j) {
        if (FValid[static_cast<std::size_t>(j)]) {
            sum += FValues[static_cast<std::size_t>(j)];
            ++number;
        }
    }
    // C++ division truncates toward zero; the 64-bit sum cannot wrap.
    return number > 0 ? static_cast<std::int32_t>(sum / number) : 0;
}

void TZPerformanceSource::Shift() {
    const std::size_t count = FValues.size();
    if (count >= 2) {
        std::memmove(FValues.data() + 1, FValues.data(), (count - 1) * sizeof(std::int32_t));
        std::memmove(FValid.data() + 1, FValid.data(), count - 1);
    }
    if (count >= 1) {
        FValues[0] = 0;
        FValid[0] = 0;
    }
}

void TZPerformanceSource::Clear() {
    std::fill(FValues.begin(), FValues.end(), 0);
    std::fill(FValid.begin(), FValid.end(), 0);
    HasLast = false;
}

void TZPerformanceSource::Sample() {
    std::uniform_int_distribution<std::int32_t> pick(0, 100);
    AddToGraph(pick(FRandom));
}

void TZPerformanceSource::AddToGraph(std::int32_t value) {
    if (FGraph) FGraph->AddValue(this, value);
}

// ---------------------------------------------------------------------------
// TZPerformanceGraph

TZPerformanceGraph::TZPerformanceGraph(QWidget* owner) : QWidget(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    BuildToneTables(FTables, FGamma);
}

TZPerformanceGraph::~TZPerformanceGraph() {
    FreeImage();
    for (TZPerformanceSource* source : FSources)
        source->Registered = false;
    FSources.clear();
}

void TZPerformanceGraph::SetBounds(int left, int top, int width, int height) {
    if (left == 0 && top == 0 && width == 0 && height == 0) {
        width = 202;
        height = 102;
    }
    setGeometry(left, top, width, height);
    Rebuild();
}

void TZPerformanceGraph::AddSource(TZPerformanceSource* source) {
    if (!source || std::find(FSources.begin(), FSources.end(), source) != FSources.end()) return;
    FSources.push_back(source);
    source->Registered = true;
    if (width() > 2) source->SetCount(width() - 2);
}

void TZPerformanceGraph::RemoveSource(TZPerformanceSource* source) {
    const auto it = std::find(FSources.begin(), FSources.end(), source);
    if (it == FSources.end()) return;
    FSources.erase(it);
    source->Registered = false;
}

TZImageView TZPerformanceGraph::View() {
    return {FPixels.empty() ? nullptr : FPixels.data(), FImageWidth, FImageHeight,
            ImageStride(FImageWidth)};
}

void TZPerformanceGraph::DrawSegment(const TZPerformanceSource& source, std::int32_t fromColumn,
                                     std::int32_t fromValue, std::int32_t toColumn,
                                     std::int32_t toValue) {
    const std::int32_t h = FImageHeight;
    const std::int32_t y1 = h - 1 - MapValue(fromValue, source.Min, source.Max, FGrid.Curve, h);
    const std::int32_t y2 = h - 1 - MapValue(toValue, source.Min, source.Max, FGrid.Curve, h);
    DrawLine(View(), FTables, fromColumn, y1, toColumn, y2, source.Color());
    FDrawnFrom = std::min({FDrawnFrom, fromColumn, toColumn});
}

void TZPerformanceGraph::AddValue(TZPerformanceSource* source, std::int32_t value) {
    source->SetValue(0, value);
    source->SetValid(0, true);
    const std::int32_t b = source->GetAverage(0);
    if (source->HasLast && HasImage())
        DrawSegment(*source, FImageWidth - 1 - source->LastPos, source->LastValue, FImageWidth - 1,
                    b);
    source->LastPos = 0;
    source->LastValue = b;
    source->HasLast = true;
}

void TZPerformanceGraph::Advance() {
    FGrid.VGridPhase = (FGrid.VGridPhase + 1) % FGrid.VGridSpace;
    if (HasImage()) {
        const std::size_t stride = static_cast<std::size_t>(Stride());
        const std::size_t size = stride * static_cast<std::size_t>(FImageHeight);
        std::memmove(FPixels.data(), FPixels.data() + 3, size - 3);
        // The new column starts black with the horizontal lines of the last rebuild. A tick
        // that ends in a rebuild draws nothing here: the rebuild draws every column again.
        if (!FNeedsRebuild) {
            CopyGridColumnTo(FImageWidth - 1);
            DrawVGrid(View(), FTables, FGrid, FImageWidth - 1);
        }
    }
    // Indexed: a Sample that detaches a source must not invalidate the walk.
    for (std::size_t i = 0; i < FSources.size(); ++i) {
        TZPerformanceSource* source = FSources[i];
        source->Shift();
        source->LastPos += 1;
        source->Sample();
    }
    if (FNeedsRebuild) {
        FNeedsRebuild = false;
        FreeImage();
        Rebuild();
        Present();
    } else {
        PresentScrolled();
    }
}

void TZPerformanceGraph::CopyGridColumnTo(std::int32_t x) {
    const std::size_t stride = static_cast<std::size_t>(Stride());
    const std::size_t from = static_cast<std::size_t>(ImageStride(1));
    std::uint8_t* to = FPixels.data() + 3 * static_cast<std::size_t>(x);
    for (std::size_t row = 0; row < static_cast<std::size_t>(FImageHeight); ++row)
        std::memcpy(to + row * stride, FGridColumn.data() + row * from, 3);
}

void TZPerformanceGraph::Refresh() {
    FNeedsRebuild = false;
    FreeImage();
    Rebuild();
    Present();
}

void TZPerformanceGraph::Rebuild() {
    FPresenterCurrent = false;
    const std::int32_t w = width() - 2;
    const std::int32_t h = height() - 2;
    if (HasImage()) {
        if (w == FImageWidth && h == FImageHeight) return;
        FreeImage();
    }
    if (w <= 0 || h <= 0) return;
    FImageWidth = w;
    FImageHeight = h;
    FPixels.assign(static_cast<std::size_t>(ImageStride(w)) * static_cast<std::size_t>(h), 0);
    const TZImageView view = View();
    // Every column starts black and takes the same horizontal lines: draw them once, into a
    // column of their own, and copy that, since placing each line costs a power.
    FGridColumn.assign(static_cast<std::size_t>(ImageStride(1)) * static_cast<std::size_t>(h), 0);
    DrawHGrid(TZImageView{FGridColumn.data(), 1, h, ImageStride(1)}, FTables, FGrid, 0);
    // Row by row: a row is one colour across, and most rows are black already.
    const std::size_t stride = static_cast<std::size_t>(Stride());
    for (std::size_t row = 0; row < static_cast<std::size_t>(h); ++row) {
        const std::uint8_t* grid =
            FGridColumn.data() + row * static_cast<std::size_t>(ImageStride(1));
        if ((grid[0] | grid[1] | grid[2]) == 0) continue;
        std::uint8_t* to = FPixels.data() + row * stride;
        for (std::int32_t x = 0; x < w; ++x, to += 3)
            std::memcpy(to, grid, 3);
    }
    for (std::int32_t x = 0; x < w; ++x)
        DrawVGrid(view, FTables, FGrid, x);
    for (TZPerformanceSource* source : FSources) {
        source->SetCount(w);
        source->HasLast = false;
        for (std::int32_t k = 0; k < w; ++k) {
            const std::int32_t p = w - 1 - k;
            if (p >= source->Count() || !source->IsValid(p)) continue;
            const std::int32_t b = source->GetAverage(p);
            if (source->HasLast)
                DrawSegment(*source, w - 1 - source->LastPos, source->LastValue, k, b);
            source->LastPos = p;
            source->LastValue = b;
            source->HasLast = true;
        }
    }
}

void TZPerformanceGraph::FreeImage() {
    if (!HasImage()) return;
    std::vector<std::uint8_t>().swap(FPixels);
}

void TZPerformanceGraph::SetPresenter(std::unique_ptr<TZGraphPresenter> presenter) {
    FPresenter = std::move(presenter);
    FPresenterCurrent = false;
}

void TZPerformanceGraph::Present() {
    FDrawnFrom = FImageWidth;
    FPresenterCurrent = false;
    update(1, 1, std::max(width() - 2, 0), std::max(height() - 2, 0));
}

void TZPerformanceGraph::PresentScrolled() {
    if (!HasImage()) return Present();
    const QRect shown = DirectArea();
    if (PresentThroughPresenter(shown)) {
        FDrawnFrom = FImageWidth;
        return;
    }
    // Ticks that went past the store left it behind: it takes the whole image again.
    if (!FStoreCurrent) return Present();
    if (PresentDirect(shown)) {
        FDrawnFrom = FImageWidth;
        return;
    }
    // The window keeps the picture of the last tick: move it one column left and
    // repaint only the columns drawn since, instead of sending the whole image again.
    const QRect image(1, 1, FImageWidth, FImageHeight);
    scroll(-1, 0, image);
    update(image.adjusted(std::clamp(FDrawnFrom, 0, FImageWidth - 1), 0, 0, 0));
    FDrawnFrom = FImageWidth;
}

namespace {

// Formats whose pixels are the screen copy's bytes: the image's pixels are all opaque.
bool TakesScreenRows(const QPaintDevice* device, const QRect& area) {
    if (!device || device->devType() != QInternal::Image) return false;
    const auto* image = static_cast<const QImage*>(device);
    const QImage::Format format = image->format();
    return (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
            format == QImage::Format_ARGB32_Premultiplied) &&
           image->devicePixelRatio() == 1.0 && image->rect().contains(area);
}

} // namespace

QRect TZPerformanceGraph::DirectArea() const {
    QWidget* top = window();
    const QWindow* handle = top->windowHandle();
    if (!handle || !handle->isExposed() || !isVisible() || !updatesEnabled() ||
        handle->devicePixelRatio() != 1.0)
        return {};
    if (visibleRegion() != QRegion(rect())) return {}; // covered or clipped in part
    return QRect(mapTo(top, QPoint(1, 1)), QSize(FImageWidth, FImageHeight));
}

bool TZPerformanceGraph::PresentThroughPresenter(const QRect& shown) {
    if (!FPresenter) return false;
    QWindow* handle = window()->windowHandle();
    bool kept = false;
    if (shown.isEmpty() || !FPresenter->Prepare(handle, shown.size(), kept)) {
        FPresenterCurrent = false;
        return false;
    }
    const int w = FImageWidth;
    const int h = FImageHeight;
    int from = 0;
    if (kept && FPresenterCurrent) {
        from = std::clamp(FDrawnFrom, 0, w - 1);
        if (w > 1) FPresenter->ScrollLeft();
    }
    // In pieces of whole rows where they fit: a tick's new column goes in one.
    std::array<QRgb, TZGraphPresenter::kPutPixels> piece;
    for (int left = from; left < w; left += static_cast<int>(piece.size())) {
        const int columns = std::min(static_cast<int>(piece.size()), w - left);
        const int rows = static_cast<int>(piece.size()) / columns;
        for (int top = 0; top < h; top += rows) {
            const QRect part(left, top, columns, std::min(rows, h - top));
            ConvertRows(part, reinterpret_cast<std::uint8_t*>(piece.data()),
                        sizeof(QRgb) * static_cast<std::size_t>(columns));
            FPresenter->Put(part, piece.data());
        }
    }
    FPresenter->Show(shown.topLeft());
    FPresenterCurrent = true;
    FStoreCurrent = false;
    // The window's own picture is now behind: an exposure would show it, so the store is
    // brought up to date first.
    if (FWatchedWindow != handle) {
        if (FWatchedWindow) FWatchedWindow->removeEventFilter(this);
        FWatchedWindow = handle;
        handle->installEventFilter(this);
    }
    return true;
}

bool TZPerformanceGraph::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && watched == FWatchedWindow && !FStoreCurrent &&
        HasImage() && FWatchedWindow->isExposed())
        repaint(1, 1, FImageWidth, FImageHeight);
    return QWidget::eventFilter(watched, event);
}

bool TZPerformanceGraph::PresentDirect(const QRect& shown) {
    // A tick changes one or two columns, yet a repaint through the widgets costs a posted
    // event, a second wake-up, a painter and a walk of the window's widgets: more than the
    // rest of the tick. The window's backing store is moved and written here instead,
    // wherever it is plainly what the repaint would give; anything else repaints.
    QBackingStore* store = backingStore();
    if (!store || shown.isEmpty()) return false;
    QWindow* handle = window()->windowHandle();
    const QRect image(1, 1, FImageWidth, FImageHeight);
    const int from = std::clamp(FDrawnFrom, 0, FImageWidth - 1);
    const QRect fresh = shown.adjusted(from, 0, 0, 0);

    if (!TakesScreenRows(store->paintDevice(), shown)) return false;

    // The leftmost column leaves the image, not over the frame.
    if (FImageWidth > 1 && !store->scroll(QRegion(shown.adjusted(1, 0, 0, 0)), -1, 0)) return false;
    store->beginPaint(QRegion(fresh));
    // beginPaint may replace the image (a resized store): look again.
    if (!TakesScreenRows(store->paintDevice(), shown)) {
        store->endPaint();
        update(image); // the store moved but could not be written: repaint it all
        return true;
    }
    auto* target = static_cast<QImage*>(store->paintDevice());
    ConvertRows(QRect(from, 0, FImageWidth - from, FImageHeight),
                target->bits() + static_cast<std::size_t>(fresh.top()) * target->bytesPerLine() +
                    4 * static_cast<std::size_t>(fresh.left()),
                static_cast<std::size_t>(target->bytesPerLine()));
    store->endPaint();
    store->flush(QRegion(shown), handle);
    return true;
}

void TZPerformanceGraph::ConvertRows(const QRect& area, std::uint8_t* to, std::size_t toStride) {
    // Bottom-up BGR rows become upright opaque 32-bit ones.
    const std::size_t stride = static_cast<std::size_t>(Stride());
    for (int y = area.top(); y <= area.bottom(); ++y, to += toStride) {
        const std::uint8_t* src = FPixels.data() +
                                  static_cast<std::size_t>(FImageHeight - 1 - y) * stride +
                                  3 * static_cast<std::size_t>(area.left());
        BgrRowToRgb32(src, reinterpret_cast<QRgb*>(to), area.width());
    }
}

void TZPerformanceGraph::PresentTo(QPainter& painter, const QRect& dirty) {
    const QRect area = dirty.translated(-1, -1).intersected(QRect(0, 0, FImageWidth, FImageHeight));
    if (!HasImage() || area.isEmpty()) return;
    // Through a band of a few rows: a whole upright copy would stay resident for the rare
    // full repaint.
    constexpr int kBandRows = 8;
    QImage band(area.width(), std::min(kBandRows, area.height()), QImage::Format_RGB32);
    if (band.isNull()) return;
    for (int top = area.top(); top <= area.bottom(); top += band.height()) {
        const QRect rows(area.left(), top, area.width(),
                         std::min(band.height(), area.bottom() + 1 - top));
        ConvertRows(rows, band.bits(), static_cast<std::size_t>(band.bytesPerLine()));
        painter.drawImage(rows.topLeft() + QPoint(1, 1), band,
                          QRect(0, 0, rows.width(), rows.height()));
    }
}

void TZPerformanceGraph::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) return;
    // A tick repaints only columns inside the frame: the frame is drawn when it is dirty.
    if (!QRect(1, 1, w - 2, h - 2).contains(event->rect())) {
        const QColor shadow = palette().color(QPalette::Dark);
        const QColor highlight = palette().color(QPalette::Light);
        // Sunken frame: left and top in shadow, bottom and right in highlight.
        painter.fillRect(0, 0, w, 1, shadow);
        painter.fillRect(0, 0, 1, h, shadow);
        painter.fillRect(0, h - 1, w, 1, highlight);
        painter.fillRect(w - 1, 0, 1, h, highlight);
    }
    if (HasImage()) {
        PresentTo(painter, event->rect());
        const QRect image(1, 1, FImageWidth, FImageHeight);
        if (QRegion(image).subtracted(event->region()).isEmpty()) FStoreCurrent = true;
    } else if (w > 2 && h > 2)
        painter.fillRect(1, 1, w - 2, h - 2, Qt::black);
}

void TZPerformanceGraph::resizeEvent(QResizeEvent*) {
    Rebuild();
}

void TZPerformanceGraph::mousePressEvent(QMouseEvent* event) {
    FPressed = true;
    if (OnMouseDown) {
        const QPoint p = event->position().toPoint();
        OnMouseDown(event->button(), event->modifiers(), p.x(), p.y());
    }
}

void TZPerformanceGraph::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove) {
        const QPoint p = event->position().toPoint();
        OnMouseMove(event->buttons(), event->modifiers(), p.x(), p.y());
    }
}

void TZPerformanceGraph::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (OnMouseUp) OnMouseUp(event->button(), event->modifiers(), p.x(), p.y());
    if (FPressed && rect().contains(p) && OnClick) OnClick();
    FPressed = false;
}

void TZPerformanceGraph::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click comes only as this event: it is a press all the same,
    // or a drag or a menu begun right after a click would be lost.
    mousePressEvent(event);
    if (OnDblClick) OnDblClick();
}

// ---------------------------------------------------------------------------
// Property writes: each schedules a full redraw only when it can change the image.

void TZPerformanceGraph::SetCurve(double value) {
    FGrid.Curve = value;
    FNeedsRebuild = true;
}

void TZPerformanceGraph::SetGamma(double value) {
    // The tables depend on the value alone; building them costs 512 powers.
    if (value != FGamma) BuildToneTables(FTables, value);
    FGamma = value;
    FNeedsRebuild = true;
}

void TZPerformanceGraph::SetGridCurve(bool value) {
    if (value == FGrid.GridCurve) return;
    FGrid.GridCurve = value;
    if (FGrid.HGrid) FNeedsRebuild = true;
}

void TZPerformanceGraph::SetGridGamma(bool value) {
    if (value == FGrid.GridGamma) return;
    FGrid.GridGamma = value;
    if (FGrid.HGrid) FNeedsRebuild = true;
}

void TZPerformanceGraph::SetHGrid(bool value) {
    if (value == FGrid.HGrid) return;
    FGrid.HGrid = value;
    FNeedsRebuild = true;
}

void TZPerformanceGraph::SetHGridSpace(std::int32_t value) {
    if (value == FGrid.HGridSpace) return;
    FGrid.HGridSpace = value;
    if (FGrid.HGrid) FNeedsRebuild = true;
}

void TZPerformanceGraph::SetHGridColor(TColor value) {
    if (value == FGrid.HGridColor) return;
    FGrid.HGridColor = value;
    if (FGrid.HGrid) FNeedsRebuild = true;
}

void TZPerformanceGraph::SetVGrid(bool value) {
    if (value == FGrid.VGrid) return;
    FGrid.VGrid = value;
    FNeedsRebuild = true;
}

void TZPerformanceGraph::SetVGridSpace(std::int32_t value) {
    if (value <= 0) value = 5;
    if (value == FGrid.VGridSpace) return;
    FGrid.VGridSpace = value;
    FGrid.VGridPhase %= value;
    if (FGrid.VGrid) FNeedsRebuild = true;
}

void TZPerformanceGraph::SetVGridColor(TColor value) {
    if (value == FGrid.VGridColor) return;
    FGrid.VGridColor = value;
    if (FGrid.VGrid) FNeedsRebuild = true;
}
