// Program entry: one running instance per executable file. A second start
// hands over to the running one and ends before any toolkit object exists.
#include "ProfileFile.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"
#include "UnitSorvane.h"
#include "UnitSorvaneProperty.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdlib>

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
    TSorvaneInstance names;
    names.Key = instance::InstanceKey(instance::ExecutablePath());
    names.Directory = instance::RuntimeDirectory();

    instance::TInstanceLock mutex;
    const std::string mutexPath =
        names.Directory.empty()
            ? std::string{}
            : names.Directory + "/" + instance::ObjectName("MutexSorvane_", names.Key);
    if (!mutexPath.empty() &&
        mutex.Acquire(mutexPath) == instance::TInstanceLock::Result::HeldElsewhere) {
        instance::TSharedBlock block;
        if (block.Open(names.Directory + "/" + instance::ObjectName("ShareSorvane_", names.Key))) {
            const std::uint32_t window = block.Read();
            if (instance::PortAlive(names.Directory, window))
                instance::PostRecord(names.Directory, window, {WM_USER, 100, 0});
        }
        return 0;
    }

    // Ending on a signal as on "Exit" takes the message port away with the process.
    instance::TTerminationSignals stop;
    stop.Open();

    PreferX11();
    PreferPlainImages();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sorvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Sorvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (mutex.Held()) { // the only instance: what a killed one left is nobody's
        instance::RemoveDeadPorts(names.Directory);
        RemoveStaleProfileTemporaries(RelationFileName(kSettingsExtension));
    }
    TFormSorvane form(names);
    // The dialog's interface list is taken now, at start. Its window waits for the
    // first "Property...": its line edits load the font database, which with the
    // rest of its widgets is most of the start-up time and some 7 MB of memory.
    form.CreatePropertyDialog = [&form, interfaces = TFormSorvaneProperty::LoadInterfaceList()] {
        return new TFormSorvaneProperty(form, interfaces);
    };
    if (stop.IsOpen()) {
        auto* stopNotifier = new QSocketNotifier(stop.Fd(), QSocketNotifier::Read, &form);
        QObject::connect(stopNotifier, &QSocketNotifier::activated, &form, [&stop, &form] {
            stop.Take();
            form.close();
        });
    }
    app.exec();
    return 0;
}
