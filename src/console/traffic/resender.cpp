#include "resender.h"

#include "trafficsource.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace kalveno {

Resender::Resender(const TrafficSource &source, LinkSender &links, QObject *parent)
    : QObject(parent)
    , m_source(source)
    , m_links(links)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Resender::sendDue);
}

bool Resender::start(QList<qint64> keys, bool keepGaps, QString *why)
{
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    keys.removeAll(-1);
    if (keys.isEmpty()) {
        *why = u"no row is selected"_s;
        return false;
    }
    m_keys = std::move(keys);
    m_next = 0;
    m_keepGaps = keepGaps;
    m_lastTime = {};
    m_gapWaited = false;
    m_sent = m_refused = 0;
    m_firstWhy.clear();
    m_timer.start(0);
    return true;
}

void Resender::stop()
{
    if (!isSending())
        return;
    m_timer.stop();
    finish(true);
}

void Resender::refuse(const QString &why)
{
    ++m_refused;
    if (m_firstWhy.isEmpty())
        m_firstWhy = why;
}

void Resender::sendDue()
{
    QElapsedTimer slice;
    slice.start();
    for (; m_next < m_keys.size(); ++m_next) {
        if (slice.elapsed() >= SliceTime) {
            m_timer.start(0);
            Q_EMIT progress(u"sending again: %1 of %2 rows"_s.arg(m_next).arg(m_keys.size()));
            return;
        }
        const qint64 key = m_keys[m_next];
        if (key < m_source.begin() || key >= m_source.end()) {
            refuse(u"the row is no longer held"_s);
            continue;
        }
        // Rows of another kind are left out; only their kind is read.
        if (m_source.brief(key).kind != TrafficKind::Sent)
            continue;
        const TrafficRow row = m_source.row(key);
        if (m_keepGaps && m_lastTime.isValid() && !m_gapWaited) {
            const qint64 gap = m_lastTime.msecsTo(row.time);
            if (gap > 0) {
                m_gapWaited = true;
                m_timer.start(int(qMin<qint64>(gap, std::numeric_limits<int>::max())));
                Q_EMIT progress(u"sending again: %1 of %2 rows, the next in %3 s"_s.arg(m_next)
                                    .arg(m_keys.size())
                                    .arg(double(gap) / 1000, 0, 'f', 1));
                return;
            }
        }
        m_gapWaited = false;
        m_lastTime = row.time;
        QString why;
        const QString note = u"sent again (first sent %1): %2"_s.arg(
            row.time.toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s), row.meaning);
        if (m_links.send(row.link, row.bytes, note, &why))
            ++m_sent;
        else
            refuse(why);
    }
    finish(false);
}

void Resender::finish(bool stopped)
{
    QString summary = u"%1%2 sent again"_s.arg(stopped ? u"stopped: "_s : QString(),
                                               m_sent == 1 ? u"1 row"_s : u"%1 rows"_s.arg(m_sent));
    if (m_refused > 0)
        summary += u", %1 not sent: %2"_s.arg(m_refused).arg(m_firstWhy);
    else if (m_sent == 0 && !stopped)
        summary = u"no sent row among those selected"_s;
    if (stopped && m_next < m_keys.size())
        summary += u", %1 left"_s.arg(m_keys.size() - m_next);
    Q_EMIT finished(summary);
}

} // namespace kalveno
