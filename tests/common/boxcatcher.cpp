#include "boxcatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>

namespace testcommon {

TBoxCatcher::TBoxCatcher() {
    QCoreApplication::instance()->installEventFilter(this);
}

TBoxCatcher::~TBoxCatcher() {
    QCoreApplication::instance()->removeEventFilter(this);
}

bool TBoxCatcher::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (box && event->type() == QEvent::Show) {
        Boxes.append({box->windowTitle(), box->text(), box->icon(), box->textFormat()});
        // Queued: closing it while it is being shown would leave exec() waiting.
        QMetaObject::invokeMethod(
            box, [box] { box->done(QMessageBox::Ok); }, Qt::QueuedConnection);
    }
    return false;
}

} // namespace testcommon
