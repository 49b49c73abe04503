#pragma once

#include <QString>
#include <QStringList>

namespace kalveno {

// Settings that the configuration file does not hold, read from kalveno.ini at start-up; a
// missing file or key keeps the default. A file that is there but cannot be read (a FIFO, a
// device, no permission, too large: see readSettingsFile) keeps every default too, and
// readProblem says why; a value that is not a sane number keeps its default, and problems
// names it. The window reports both.
struct ConsoleSettings
{
    static constexpr qint64 MiB = 1024 * 1024;

    quint16 udpRemotePort = 1024;
    quint16 udpLocalPort = 0;
    int tcpConnectTimeoutMs = 5000;
    // How much of the traffic record stays in memory.
    qint64 recordLimit = 16 * MiB;
    // How much text the serial terminal keeps; the oldest whole lines go first.
    qint64 serialTerminalLimit = 16 * MiB;
    // The session log starts a new file at this size, and removes its oldest files to stay
    // under the total.
    qint64 logFileLimit = 64 * MiB;
    qint64 logTotalLimit = 1024 * MiB;

    QString readProblem;
    QStringList problems;

    // Far more than the few keys the file holds.
    static constexpr qint64 ReadLimit = 1024 * 1024;

    static ConsoleSettings load(const QString &path);
};

} // namespace kalveno
