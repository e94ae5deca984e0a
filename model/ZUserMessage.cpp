#include "ZUserMessage.h"

#include <QCoreApplication>

QEvent::Type TUserMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostUserMessage(QObject* target, TUserMessage message) {
    if (!target) return;
    QCoreApplication::postEvent(
        target, new TUserMessageEvent(WM_USER, static_cast<std::uint32_t>(message), 0));
}
