// A windowless drawing surface that keeps no picture: its owner paints it on
// demand (OnPaint) and learns of clicks (OnClick). Tag tells boxes that share
// one handler apart.
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
    // A left press and release over the box.
    TNotifyEvent OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int FTag = 0;
    bool FPressed = false;
};
