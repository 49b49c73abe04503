#pragma once

#include <QByteArray>
#include <QString>

namespace kalveno::test {

// A pseudo-terminal in raw mode: the console opens the slave by its path, the test reads and
// writes the master. Only the console holds the slave open.
class Pty
{
public:
    Pty();
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    bool write(const QByteArray &bytes);
    // What arrived by the time `count` bytes are there or `timeoutMs` has passed; the event
    // loop runs meanwhile, so the console can answer.
    QByteArray read(qsizetype count, int timeoutMs = 5000);
    QByteArray readAvailable();
    // The other end goes away.
    void closeMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};

} // namespace kalveno::test
