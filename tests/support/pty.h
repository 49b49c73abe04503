#pragma once

#include <QByteArray>
#include <QString>

namespace kalveno::test {

// A pseudo-terminal in raw mode: the console opens the slave by its path, the test reads and
// writes the master.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    bool write(const QByteArray &bytes);
    // Reads until `count` bytes have arrived or `timeoutMs` has passed without any byte.
    QByteArray read(qsizetype count, int timeoutMs = 3000);
    // What has arrived so far, without waiting; for use inside QTRY_ loops that keep the event
    // loop running while the console writes.
    QByteArray readAvailable();
    // Everything that arrives until the line has been quiet for `quietMs`.
    QByteArray readUntilQuiet(int quietMs = 300);
    // The other end goes away: the master is closed.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace kalveno::test
