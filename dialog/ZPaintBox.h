// A windowless drawing surface that keeps no picture: its owner paints it on
// demand (OnPaint) and learns of clicks (OnClick). Tag tells boxes that share
// one handler apart.
//
// It takes no focus unless its owner gives it a focus policy. While it has the
// focus, Space and Enter are clicks (auto-repeats are swallowed, so a held
// Enter reaches neither the box again nor a default button), and a dotted frame
// one pixel inside its edge inverts what the owner painted there; every other
// pixel stays as painted.
#pragma once

#include <QWidget>

#include <functional>

class QPainter;

class TZPaintBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TPaintEvent = std::function<void(QObject* Sender, QPainter& Canvas)>;

    explicit TZPaintBox(QWidget* owner = nullptr);

    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    // The sender passed is this box; an unassigned event is skipped.
    TPaintEvent OnPaint;
    // A left press and release over the box, or Space or Enter while it has the focus.
    TNotifyEvent OnClick;

    // The pixels of the focus frame in a box of this size: every other pixel of
    // the rectangle one pixel inside the edge, each once.
    static QPolygon FocusFramePoints(const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Click();

    int FTag = 0;
    bool FPressed = false;
};
