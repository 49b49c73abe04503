#include "app/mainwindow.h"
#include "platform/locations.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kalveno-diag"));
    // One look on every platform, and one that honours the colours the window paints.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    kalveno::MainWindow window(kalveno::ConsoleSettings::load(kalveno::locations::settingsFile()));
    QObject::connect(&window, &kalveno::MainWindow::ended, &app, &QCoreApplication::quit);
    window.show();
    return app.exec();
}
