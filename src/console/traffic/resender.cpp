#include "resender.h"

#include "trafficsource.h"

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
    m_keys.clear();
    for (const qint64 key : std::as_const(keys)) {
        if (key >= m_source.begin() && key < m_source.end() &&
            m_source.brief(key).kind == TrafficKind::Sent)
            m_keys.append(key);
    }
    if (m_keys.isEmpty()) {
        *why = u"no sent row is selected"_s;
        return false;
    }
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

std::optional<TrafficRow> Resender::row(qsizetype index) const
{
    const qint64 key = m_keys[index];
    if (key < m_source.begin() || key >= m_source.end())
        return std::nullopt;
    TrafficRow row = m_source.row(key);
    return row.kind == TrafficKind::Sent ? std::optional<TrafficRow>(std::move(row)) : std::nullopt;
}

void Resender::sendDue()
{
    QElapsedTimer slice;
    slice.start();
    while (m_next < m_keys.size()) {
        const std::optional<TrafficRow> sent = row(m_next);
        if (!sent) {
            ++m_refused;
            if (m_firstWhy.isEmpty())
                m_firstWhy = u"the row is no longer held"_s;
            ++m_next;
            continue;
        }
        if (m_keepGaps && m_lastTime.isValid() && !m_gapWaited) {
            const qint64 gap = m_lastTime.msecsTo(sent->time);
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
        QString why;
        const QString note = u"sent again (first sent %1): %2"_s.arg(
            sent->time.toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s), sent->meaning);
        if (m_links.send(sent->link, sent->bytes, note, &why)) {
            ++m_sent;
        } else {
            ++m_refused;
            if (m_firstWhy.isEmpty())
                m_firstWhy = why;
        }
        m_lastTime = sent->time;
        ++m_next;
        if (!m_keepGaps && m_next < m_keys.size() && slice.elapsed() >= SliceTime) {
            m_timer.start(0);
            Q_EMIT progress(u"sending again: %1 of %2 rows"_s.arg(m_next).arg(m_keys.size()));
            return;
        }
    }
    finish(false);
}

void Resender::finish(bool stopped)
{
    QString summary = u"%1%2 sent again"_s.arg(stopped ? u"stopped: "_s : QString(),
                                               m_sent == 1 ? u"1 row"_s : u"%1 rows"_s.arg(m_sent));
    if (m_refused > 0)
        summary += u", %1 not sent: %2"_s.arg(m_refused).arg(m_firstWhy);
    if (stopped && m_next < m_keys.size())
        summary += u", %1 left"_s.arg(m_keys.size() - m_next);
    Q_EMIT finished(summary);
}

} // namespace kalveno
