#include "ptyline.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

constexpr int ProbeIntervalMs = 100;
constexpr qsizetype ReadChunk = 64 * 1024;

} // namespace

PtyLine::PtyLine(QObject *parent)
    : QObject(parent)
{
    m_probe.setInterval(ProbeIntervalMs);
    connect(&m_probe, &QTimer::timeout, this, &PtyLine::probe);
}

PtyLine::~PtyLine()
{
    m_readNotifier.reset();
    m_writeNotifier.reset();
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyLine::open(QString *error)
{
    int slave = -1;
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&m_master, &slave, name, &raw, nullptr) != 0) {
        *error = u"cannot create a pseudo-terminal: "_s + QString::fromLocal8Bit(strerror(errno));
        m_master = -1;
        return false;
    }
    ::close(slave);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    m_slavePath = QString::fromLocal8Bit(name);

    m_readNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &PtyLine::onReadable);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &PtyLine::onWritable);
    m_probe.start();
    return true;
}

void PtyLine::setPlugged(bool plugged)
{
    m_plugged = plugged;
    if (!plugged)
        m_pending.clear();
}

qsizetype PtyLine::write(QByteArrayView bytes)
{
    if (!m_attached || !m_plugged || bytes.isEmpty())
        return 0;
    const qsizetype taken = qMin(bytes.size(), MaxPending - m_pending.size());
    m_pending.append(bytes.first(taken));
    writePending();
    return taken;
}

void PtyLine::writePending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            m_pending.clear();
            setAttached(false);
        }
        break;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(m_attached && !m_pending.isEmpty());
}

void PtyLine::onWritable()
{
    writePending();
}

void PtyLine::onReadable()
{
    QByteArray bytes(ReadChunk, Qt::Uninitialized);
    const ssize_t n = ::read(m_master, bytes.data(), size_t(bytes.size()));
    if (n > 0) {
        bytes.truncate(n);
        if (m_plugged)
            Q_EMIT received(bytes);
        else
            Q_EMIT discarded(n);
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // EIO: the last program holding the slave has closed it.
    setAttached(false);
}

void PtyLine::probe()
{
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP))
        setAttached(true);
}

void PtyLine::setAttached(bool attached)
{
    if (m_attached == attached)
        return;
    m_attached = attached;
    if (!attached)
        m_pending.clear();
    m_readNotifier->setEnabled(attached);
    m_writeNotifier->setEnabled(attached && !m_pending.isEmpty());
    if (attached)
        m_probe.stop();
    else
        m_probe.start();
    Q_EMIT attachedChanged(attached);
}

} // namespace kalveno::sim
