// Program entry: one running instance per executable file. A second start
// hands over to the running one and ends before any toolkit object exists.
#include "SingleInstance.h"
#include "UnitSorvane.h"
#include "UnitSorvaneProperty.h"
#include "ZDesktop.h"

#include <QApplication>
#include <QColorDialog>

namespace {

// Place windows at absolute positions and keep them on top, which Wayland does
// not allow: prefer X11 (XWayland) when the user chose nothing and it is there.
void PreferX11() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

// A shared-memory flush makes the next paint of the same area wait for the X
// server's reply: a round trip and two thread wake-ups every tick. The window's
// ~100 KB go over the connection instead.
void PreferPlainImages() {
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
}

} // namespace

int main(int argc, char** argv) {
    const instance::TInstanceNames names = instance::TInstanceNames::OfThisExecutable();
    instance::TInstanceLock lock;
    if (instance::HandOverToRunningInstance(names, lock, UserMessageRecord(TUserMessage::Restore)))
        return 0;

    PreferX11();
    PreferPlainImages();
    QApplication app(argc, argv);
    // No display name: the toolkit would append it to every caption ("Property — Sorvane").
    QApplication::setApplicationName(QStringLiteral("Sorvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    TFormSorvane form(names);
    // The dialog's interface list is taken now, at start. Its window waits for the
    // first "Property...": its line edits load the font database, which with the
    // rest of its widgets is most of the start-up time and some 7 MB of memory.
    // Like the main window, the dialog and its colour chooser have no taskbar entry of their own.
    form.CreatePropertyDialog = [&form, interfaces = TFormSorvaneProperty::LoadInterfaceList(
                                            *form.SharedTable())]() -> QWidget* {
        auto* dialog = new TFormSorvaneProperty(&form, form, *form.SharedTable(), interfaces);
        KeepOffTaskbar(*dialog);
        KeepOffTaskbar(*dialog->ColorDialog);
        return dialog;
    };
    app.exec();
    return 0;
}
