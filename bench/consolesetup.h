// What the benchmarks that start the real console share: a configuration folder of their own
// with serial port 1 on a pseudo-terminal, whose other end the benchmark writes into, and the
// TCP link to 127.0.0.1.
#pragma once

#include "platform/locations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kalveno::bench {

struct ConsoleSetup
{
    // The session logs go to state, or to the configuration folder when none is given.
    explicit ConsoleSetup(const QString &state = {})
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        qputenv("XDG_STATE_HOME", (state.isEmpty() ? config.path() : state).toLocal8Bit());
        QDir().mkpath(locations::folder());
        int slave = -1;
        char name[256] = {};
        termios raw{};
        cfmakeraw(&raw);
        openpty(&master, &slave, name, &raw, nullptr);
        close(slave);
        QFile::link(QString::fromLocal8Bit(name), locations::folder() + QStringLiteral("/com1"));
        QFile cfg(locations::configFile());
        cfg.open(QIODevice::WriteOnly);
        cfg.write("FICHIER DE CONFIGURATION POUR MERIXO INC (BRIDGE TCPIP / RS-232)\r\n 1 \r\n"
                  "127.0.0.1\r\n");
    }
    ~ConsoleSetup() { close(master); }
    ConsoleSetup(const ConsoleSetup &) = delete;
    ConsoleSetup &operator=(const ConsoleSetup &) = delete;

    QTemporaryDir config;
    int master = -1;
};

} // namespace kalveno::bench
