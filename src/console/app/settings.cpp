#include "settings.h"

#include "platform/readsettingsfile.h"

#include <QSettings>

using namespace Qt::StringLiterals;

namespace kalveno {

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
    // A key that is there must hold a whole number in its range; anything else is reported
    // and the default kept.
    const auto number = [&](const QString &key, qint64 min, qint64 max, qint64 fallback) {
        if (!ini.contains(key))
            return fallback;
        bool ok = false;
        const qint64 value = ini.value(key).toLongLong(&ok);
        if (ok && value >= min && value <= max)
            return value;
        s.problems << u"%1=%2 is not a number from %3 to %4; %5 used"_s.arg(
            key, ini.value(key).toString(), QString::number(min), QString::number(max),
            QString::number(fallback));
        return fallback;
    };
    s.udpRemotePort = quint16(number(u"udp/remote_port"_s, 0, 65535, s.udpRemotePort));
    s.udpLocalPort = quint16(number(u"udp/local_port"_s, 0, 65535, s.udpLocalPort));
    s.tcpConnectTimeoutMs =
        int(number(u"tcp/connect_timeout_ms"_s, 1, 24 * 3600 * 1000, s.tcpConnectTimeoutMs));
    constexpr qint64 Huge = 1024 * 1024; // a terabyte, in MiB
    s.recordLimit = MiB * number(u"traffic/memory_mib"_s, 1, Huge, s.recordLimit / MiB);
    s.serialTerminalLimit =
        MiB * number(u"serial/terminal_mib"_s, 1, Huge, s.serialTerminalLimit / MiB);
    s.logFileLimit = MiB * number(u"log/file_mib"_s, 1, Huge, s.logFileLimit / MiB);
    s.logTotalLimit = MiB * number(u"log/total_mib"_s, 1, Huge, s.logTotalLimit / MiB);
    return s;
}

} // namespace kalveno
