// Program entry: one running instance per executable file. A second start
// hands over to the running one and ends before any toolkit object exists.
// The command line is read before that, and before any window.
#include "ProfileFile.h"
#include "SessionBus.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"
#include "UnitSorvane.h"
#include "UnitSorvaneProperty.h"
#include "UnitZPerformanceSourceSNMPMIB.h"
#include "ZDesktop.h"
#include "ZRelationFile.h"
#include "ZSettingsPlace.h"
#include "ZTranslation.h"
#include "ZUserMessage.h"

#include <QApplication>
#include <QColorDialog>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QSocketNotifier>

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

namespace {

constexpr int kExitUsage = 2;

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// The exit code when the command line asks for something other than a start: help, the
// version, or an error in it. Nothing to start the program.
std::optional<int> HandleCommandLine(int argc, char** argv) {
    if (argc <= 1) return std::nullopt; // a plain start: nothing to parse
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QString program = arguments.isEmpty() || arguments.first().isEmpty()
                                ? QStringLiteral("sorvane")
                                : QFileInfo(arguments.first()).fileName();
    QCommandLineParser parser;
    // "-session ID" as a session manager restarts any program of the toolkit.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Shows the traffic of one network interface as a "
                                            "scrolling graph."));
    const QCommandLineOption help(QStringList{"h", "help"},
                                  QCoreApplication::translate("main", "Show this help and exit."));
    const QCommandLineOption version(
        QStringList{"v", "version"},
        QCoreApplication::translate("main", "Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    // The toolkit's own options, which it takes from the command line itself.
    for (const char* name : {"platform", "display", "session"}) {
        QCommandLineOption toolkit(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        toolkit.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(toolkit);
    }
    auto usageError = [&program](const QString& error) {
        Print(stderr,
              program + ": " + error + "\n" +
                  QCoreApplication::translate("main", "Try '%1 --help' for more information.")
                      .arg(program) +
                  "\n");
        return kExitUsage;
    };
    if (!parser.parse(arguments)) return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QCoreApplication::translate("main", "Unexpected argument '%1'.")
                              .arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        const std::string settings = SettingsPlace(instance::ExecutablePath()).FileName;
        // Without an application object the usage line has no program name of its own.
        QString text = parser.helpText();
        text.replace(QLatin1String("<executable_name>"), program);
        Print(stdout, text + "\n" +
                          QCoreApplication::translate("main", "Settings file: %1")
                              .arg(QFile::decodeName(QByteArray::fromStdString(settings))) +
                          "\n");
        return 0;
    }
    if (parser.isSet(version)) {
        Print(stdout, QStringLiteral("Sorvane " SORVANE_VERSION "\n"));
        return 0;
    }
    return std::nullopt;
}

// Place windows at absolute positions and keep them on top, which Wayland does
// not allow: prefer X11 (XWayland) when the user chose nothing and it is there.
void PreferX11() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

// The toolkit's own poll loop costs less per wake-up than the GLib one, and nothing here needs
// GLib sources. A GTK platform theme does, so the GLib loop stays for it.
void PreferPlainEventLoop() {
    if (qEnvironmentVariableIsSet("QT_NO_GLIB")) return;
    if (qEnvironmentVariable("QT_QPA_PLATFORMTHEME")
            .contains(QLatin1String("gtk"), Qt::CaseInsensitive))
        return;
    qputenv("QT_NO_GLIB", "1");
}

// Without a session bus to reach, the accessibility bridge's first question (while the window
// shows) would make the D-Bus library fork a launcher that is not there.
void SkipMissingBusLauncher() {
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray path = qgetenv("PATH");
    if (instance::SessionBusUnreachable(address.constData(), runtime.constData(),
                                        instance::OnSearchPath(path.constData(), "dbus-launch")))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

// Ending, the toolkit frees the font configuration, and first loads the whole of it when no
// text was ever drawn: some 10 ms of parsing and reading files at every exit. It frees an
// empty one instead; no window is left then to draw with the one this replaces.
void EmptyFontConfiguration() {
    if (FcConfig* empty = FcConfigCreate()) {
        FcConfigSetCurrent(empty); // a reference of its own while current
        FcConfigDestroy(empty);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> exitCode = HandleCommandLine(argc, argv)) return *exitCode;
    const instance::TInstanceNames names = instance::TInstanceNames::OfThisExecutable();
    instance::TInstanceLock lock;
    if (instance::HandOverToRunningInstance(names, lock, UserMessageRecord(TUserMessage::Restore)))
        return 0;

    // Ending on a signal as on "Exit" takes the message port away with the process.
    instance::TTerminationSignals stop;
    stop.Open();

    // The agent's libraries load while the toolkit starts, on a thread that holds the signals
    // as this one now does.
    auto table = std::make_shared<TZSNMPMIBSharedTable>(LocalLoaderMadeAhead());

    PreferX11();
    PreferPlainEventLoop();
    SkipMissingBusLauncher();
    QApplication app(argc, argv);
    // Last before the toolkit ends: after every window has gone.
    const auto fonts = qScopeGuard(EmptyFontConfiguration);
    // No display name: the toolkit would append it to every caption ("Property — Sorvane").
    QApplication::setApplicationName(QStringLiteral("Sorvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    // The only instance: what a killed one left is nobody's.
    if (lock.Held()) instance::RemoveDeadPorts(names.Directory);
    InstallProgramTranslation(app, QLocale::system().uiLanguages());
    TFormSorvane form(names, std::move(table));
    // The window's showing is the first message it posted: taken now, the window maps while
    // the loop starts up (the accessibility bridge among it) rather than after.
    QCoreApplication::sendPostedEvents(&form, TUserMessageEvent::EventType());
    // Before any write, but after the window shows: nothing reads these files.
    if (lock.Held()) RemoveStaleProfileTemporaries(SettingsFile().FileName());
    if (stop.IsOpen()) {
        auto* stopNotifier = new QSocketNotifier(stop.Fd(), QSocketNotifier::Read, &form);
        QObject::connect(stopNotifier, &QSocketNotifier::activated, &form, [&stop, &form] {
            stop.Take();
            form.close();
        });
    }
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
