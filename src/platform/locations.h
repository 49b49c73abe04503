#pragma once

#include <QString>

namespace kalveno {

// Where the console keeps its files. On Windows the configuration file is C:\KALVENO.CFG as it
// always was; elsewhere it and the other files live in the folder "kalveno" of the user's
// configuration directory ($XDG_CONFIG_HOME, by default ~/.config).
namespace locations {

QString folder();
QString configFile();
QString settingsFile();

// The device behind serial port number n (1 = the first port): COMn on Windows; elsewhere the
// target of the symbolic link "com<n>" in the folder when there is one, else /dev/ttyS<n-1>.
QString serialDevice(int portNumber);

} // namespace locations

// Settings that the configuration file does not hold, read from settingsFile() at start-up;
// a missing file or key keeps the default. A file that is there but cannot be read (a FIFO, a
// device, no permission, too large: see readSettingsFile) keeps every default too, and
// readProblem says why, for the window to report.
struct ConsoleSettings
{
    quint16 udpRemotePort = 1024;
    quint16 udpLocalPort = 0;
    int tcpConnectTimeoutMs = 5000;
    QString readProblem;

    // Far more than the few keys the file holds.
    static constexpr qint64 ReadLimit = 1024 * 1024;

    static ConsoleSettings load(const QString &path);
};

} // namespace kalveno
