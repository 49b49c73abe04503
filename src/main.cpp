#include "app/mainwindow.h"
#include "app/settings.h"
#include "hugepages.h"
#include "platform/locations.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStyleFactory>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    kalveno::preferHugePages(argv);
    QApplication::setApplicationName(QStringLiteral("kalveno-diag"));
    QApplication::setApplicationVersion(QStringLiteral(KALVENO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Diagnostic and test console for the KALVENO serial-to-network bridge. It takes no "
        "arguments of its own: the bridge's address and the serial port are set in its window, "
        "and kept between runs in its configuration file."));
    parser.addHelpOption();
    parser.addVersionOption();

    // --help and --version are answered by a core application: they need no display, and nothing
    // that the window opens (its sockets, the serial port) exists yet. Any other command line goes
    // to QApplication, which takes out Qt's own options (-platform, -style) before it is read.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (parser.parse(arguments) &&
        (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version")))) {
        QCoreApplication asked(argc, argv);
        parser.process(asked);
    }

    // Qt's own event loop wakes less often at rest than the one built on GLib; only a GTK theme,
    // whose dialogs run on GLib's loop, needs the latter.
    if (!qEnvironmentVariable("QT_QPA_PLATFORMTHEME").contains(u"gtk"_s, Qt::CaseInsensitive) &&
        !qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    parser.process(app);
    // One look on every platform, and one that honours the colours the window paints.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    kalveno::MainWindow window(kalveno::ConsoleSettings::load(kalveno::locations::settingsFile()));
    QObject::connect(&window, &kalveno::MainWindow::ended, &app, &QCoreApplication::quit);
    window.show();
    return app.exec();
}
