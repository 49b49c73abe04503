#include "pty.h"

#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kalveno::test {

Pty::Pty()
{
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    int slave = -1;
    if (::openpty(&m_master, &slave, name, &raw, nullptr) != 0)
        return;
    m_slavePath = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::close(slave);
}

bool Pty::write(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        pollfd p{m_master, POLLOUT, 0};
        if (n > 0)
            done += n;
        else if ((n < 0 && errno != EAGAIN && errno != EINTR) || ::poll(&p, 1, 3000) <= 0)
            return false;
    }
    return true;
}

QByteArray Pty::read(qsizetype count, int timeoutMs)
{
    QByteArray bytes;
    static_cast<void>(
        QTest::qWaitFor([&] { return (bytes += readAvailable()).size() >= count; }, timeoutMs));
    return bytes;
}

QByteArray Pty::readAvailable()
{
    QByteArray bytes;
    char buffer[65536];
    for (ssize_t n; (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    return bytes;
}

void Pty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

} // namespace kalveno::test
