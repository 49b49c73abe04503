#include "sitecheck.h"

#include "bridgecheck.h"

namespace kalveno::check {

SiteCheck::SiteCheck(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    m_result.bridges.resize(options.bridges.size());
}

void SiteCheck::start()
{
    m_clock.start();
    startNext();
}

void SiteCheck::startNext()
{
    while (m_running < m_options.jobs && m_next < m_options.bridges.size()) {
        const qsizetype index = m_next++;
        auto *check = new BridgeCheck(m_options, m_options.bridges[index], this);
        ++m_running;
        connect(check, &BridgeCheck::finished, this, [this, check, index] {
            m_result.bridges[index] = check->result();
            // The check finishes inside one of its sockets' signals.
            check->deleteLater();
            --m_running;
            Q_EMIT progressed(++m_done, m_result.bridges[index]);
            startNext();
        });
        check->start();
        if (!check->logError().isEmpty())
            Q_EMIT logFailed(check->logError());
    }
    if (m_running == 0 && m_done == m_options.bridges.size()) {
        m_result.microseconds = m_clock.nsecsElapsed() / 1000;
        Q_EMIT finished();
    }
}

} // namespace kalveno::check
