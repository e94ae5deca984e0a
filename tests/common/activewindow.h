// A window the tests type and click into as a user would: shown, exposed and active.
#pragma once

#include <QTest>
#include <QWidget>

namespace testcommon {

// Shows the window, raises it to the active one and waits for both; false where the platform
// never reported it exposed or active.
[[nodiscard]] inline bool ShowActive(QWidget* window) {
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) return false;
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

} // namespace testcommon
