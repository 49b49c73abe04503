#pragma once

#include "app/look.h"
#include "app/mainwindow.h"
#include "platform/locations.h"
#include "support/pty.h"
#include "support/sandbox.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTest>

#include <memory>

namespace kalveno::test {

inline const QByteArray ConfigHeader =
    "FICHIER DE CONFIGURATION POUR MERIXO INC (BRIDGE TCPIP / RS-232)";

inline QByteArray configFor(const QByteArray &port, const QByteArray &address)
{
    return ConfigHeader + "\r\n" + port + "\r\n" + address + "\r\n";
}

// The console as a technician starts it, in a configuration folder of the test's own, with
// serial port 1 on a pseudo-terminal the test holds the other end of.
class Console
{
public:
    // A null config means no configuration file at all.
    explicit Console(const QByteArray &config = configFor(" 1 ", "127.0.0.1"),
                     const QByteArray &ini = {})
    {
        if (!config.isNull())
            m_config.writeConfig(config);
        if (!ini.isEmpty())
            m_config.writeSettings(ini);
        m_config.linkPort(1, line.slavePath());
        window = std::make_unique<MainWindow>(ConsoleSettings::load(locations::settingsFile()));
    }

    const MainWindowUi &ui() const { return window->ui(); }
    const TemporaryConfig &config() const { return m_config; }

private:
    TemporaryConfig m_config;

public:
    Pty line;
    std::unique_ptr<MainWindow> window;
};

// What every console test does first: the look the program itself uses, and the guard that
// the test cannot reach a real network.
inline bool prepareConsoleTest()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    return insidePrivateNetwork();
}

} // namespace kalveno::test
