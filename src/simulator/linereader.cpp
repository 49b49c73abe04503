#include "linereader.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kalveno::sim {

LineReader::LineReader(int fd, QObject *parent)
    : QObject(parent)
    , m_fd(fd)
{
    if (::fcntl(fd, F_GETFD) < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &LineReader::onReadable);
}

void LineReader::onReadable()
{
    // The descriptor stays blocking (it may be shared with a terminal); one read after the
    // notifier fired returns what is there without waiting.
    char buffer[4096];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
        return;
    if (n <= 0) {
        m_notifier->setEnabled(false);
        Q_EMIT ended();
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (c == '\n') {
            if (m_discarding) {
                Q_EMIT overlong();
            } else {
                if (m_partial.endsWith('\r'))
                    m_partial.chop(1);
                Q_EMIT line(QString::fromLatin1(m_partial));
            }
            m_partial.clear();
            m_discarding = false;
        } else if (!m_discarding) {
            m_partial.append(c);
            if (m_partial.size() > MaxLine) {
                m_partial.clear();
                m_discarding = true;
            }
        }
    }
}

} // namespace kalveno::sim
