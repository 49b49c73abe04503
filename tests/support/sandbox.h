#pragma once

#include <QTemporaryDir>

namespace kalveno::test {

// False unless the test runs inside a private network namespace (loopback only): the console
// broadcasts, and nothing may reach a real network.
bool insidePrivateNetwork();

// The whole file, or nothing when it cannot be read.
QByteArray readFile(const QString &path);

// A configuration folder of the test's own: $XDG_CONFIG_HOME, and $XDG_STATE_HOME where the
// session logs go, point into a temporary folder for the lifetime of the object, so the console
// reads and writes its files there.
class TemporaryConfig
{
public:
    TemporaryConfig();
    ~TemporaryConfig();

    QString folder() const { return m_dir.path() + QStringLiteral("/kalveno"); }
    QString configFile() const { return folder() + QStringLiteral("/KALVENO.CFG"); }
    bool writeConfig(const QByteArray &content) const { return write(configFile(), content); }
    bool writeSettings(const QByteArray &ini) const
    {
        return write(folder() + QStringLiteral("/kalveno.ini"), ini);
    }
    QByteArray readConfig() const { return readFile(configFile()); }
    // Gives serial port `number` to a device, as the console's com<n> links do.
    bool linkPort(int number, const QString &device) const;
    static bool write(const QString &path, const QByteArray &content);

private:
    QTemporaryDir m_dir;
    QByteArray m_previous = qgetenv("XDG_CONFIG_HOME");
    QByteArray m_previousState = qgetenv("XDG_STATE_HOME");
};

// A bridge I/O frame around a payload, built apart from the code under test.
inline QByteArray framed(const QByteArray &payload)
{
    return QByteArray("\xFE\xF8\x08\x02", 4) + payload + '\x03';
}

// A configuration file as the console writes it: the header, the port number, the address.
inline QByteArray configFor(const QByteArray &port, const QByteArray &address)
{
    return "FICHIER DE CONFIGURATION POUR MERIXO INC (BRIDGE TCPIP / RS-232)\r\n" + port + "\r\n" +
           address + "\r\n";
}

// Runs a command and returns whether it succeeded; for mounts inside the test's namespace.
bool run(const QString &program, const QStringList &arguments);

} // namespace kalveno::test
