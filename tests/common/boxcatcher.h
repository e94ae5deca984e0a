// Message boxes as the user would meet them, caught instead of waiting for a click.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>

namespace testcommon {

// While it lives, records every message box that is shown and closes it with "Ok" once its
// own event loop runs, so that a box opened with exec() returns to the code under test.
class TBoxCatcher : public QObject {
public:
    struct TBox {
        QString Title;
        QString Text;
        QMessageBox::Icon Icon;
        Qt::TextFormat Format;
    };

    TBoxCatcher();
    ~TBoxCatcher() override;
    QList<TBox> Boxes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace testcommon
