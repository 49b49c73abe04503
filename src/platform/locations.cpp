#include "locations.h"

#include "readsettingsfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace locations {

QString folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/kalveno"_s;
}

QString configFile()
{
#ifdef Q_OS_WIN
    return u"C:/KALVENO.CFG"_s;
#else
    return folder() + u"/KALVENO.CFG"_s;
#endif
}

QString settingsFile()
{
    return folder() + u"/kalveno.ini"_s;
}

QString serialDevice(int portNumber)
{
#ifdef Q_OS_WIN
    return u"COM%1"_s.arg(portNumber);
#else
    const QFileInfo link(folder() + u"/com%1"_s.arg(portNumber));
    if (link.isSymLink())
        return link.symLinkTarget();
    return u"/dev/ttyS%1"_s.arg(portNumber - 1);
#endif
}

} // namespace locations

ConsoleSettings ConsoleSettings::load(const QString &path)
{
    ConsoleSettings s;
    // QSettings opens whatever is at the path and would wait for ever on a FIFO: it is given
    // only a file that has just been found to be a regular one of a sane size.
    const SettingsFileRead file = readSettingsFile(path, ReadLimit);
    if (file.status != SettingsFileRead::Read) {
        s.readProblem = file.why;
        return s;
    }
    const QSettings ini(path, QSettings::IniFormat);
    const auto port = [&ini](const QString &key, quint16 fallback) -> quint16 {
        bool ok = false;
        const int value = ini.value(key).toInt(&ok);
        return ok && value >= 0 && value <= 65535 ? quint16(value) : fallback;
    };
    s.udpRemotePort = port(u"udp/remote_port"_s, s.udpRemotePort);
    s.udpLocalPort = port(u"udp/local_port"_s, s.udpLocalPort);
    bool ok = false;
    const int timeout = ini.value(u"tcp/connect_timeout_ms"_s).toInt(&ok);
    if (ok && timeout > 0)
        s.tcpConnectTimeoutMs = timeout;
    return s;
}

} // namespace kalveno
