#include "trafficrecord.h"

#include "protocol/meaning.h"

#include <QDateTime>

namespace kalveno {

QString meaningOf(const TrafficEntry &entry)
{
    if (!entry.note.isEmpty() || entry.direction == TrafficEntry::Direction::Event)
        return entry.note;
    const meaning::Link link = entry.link.startsWith(u"TCP")   ? meaning::Link::Tcp
                               : entry.link.startsWith(u"UDP") ? meaning::Link::Udp
                                                               : meaning::Link::Serial;
    return meaning::of({link, entry.direction == TrafficEntry::Direction::Sent, entry.readerLine},
                       entry.bytes);
}

TrafficRecord::TrafficRecord(qint64 memoryLimit, QObject *parent)
    : QObject(parent)
    , m_limit(memoryLimit)
{
    m_clock.start();
}

qint64 TrafficRecord::sent(const QString &link, const QByteArray &bytes, const QString &note)
{
    return add(TrafficEntry::Direction::Sent, link, bytes, note);
}

qint64 TrafficRecord::received(const QString &link, const QByteArray &bytes, const QString &note)
{
    return add(TrafficEntry::Direction::Received, link, bytes, note);
}

logline::Line lineOf(const TrafficEntry &entry, const QDateTime &time)
{
    const logline::Direction direction =
        entry.direction == TrafficEntry::Direction::Sent       ? logline::Direction::Sent
        : entry.direction == TrafficEntry::Direction::Received ? logline::Direction::Received
                                                               : logline::Direction::Event;
    return {time, entry.link, direction, entry.bytes, meaningOf(entry)};
}

qint64 TrafficRecord::linkEvent(const QString &link, const QString &what)
{
    return add(TrafficEntry::Direction::Event, link, {}, what);
}

qint64 TrafficRecord::add(TrafficEntry::Direction direction, const QString &link,
                          const QByteArray &bytes, const QString &note)
{
    TrafficEntry &entry = m_entries.emplace_back();
    entry.sequence = m_next++;
    entry.monotonicNs = m_clock.nsecsElapsed();
    entry.wallMs = QDateTime::currentMSecsSinceEpoch();
    entry.link = link;
    entry.direction = direction;
    entry.readerLine = m_readerLine;
    entry.bytes = bytes;
    entry.note = note;
    const qint64 size = footprint(entry);
    m_used += size;
    if (m_kept)
        m_unkept += size;
    Q_EMIT appended(entry);
    trim();
    return entry.sequence;
}

void TrafficRecord::setKept(bool kept)
{
    // A keeper that gives up must release the links it held back, or they would wait for ever.
    const bool wasBacklogged = isBacklogged();
    m_kept = kept;
    m_keptUpTo = m_next;
    m_unkept = 0;
    trim();
    if (wasBacklogged)
        Q_EMIT backlogCleared();
}

void TrafficRecord::keptUpTo(qint64 sequence)
{
    if (!m_kept || sequence <= m_keptUpTo)
        return;
    const bool wasBacklogged = isBacklogged();
    for (qint64 s = qMax(m_keptUpTo, first()); s < qMin(sequence, m_next); ++s)
        m_unkept -= footprint(at(s));
    m_keptUpTo = qMin(sequence, m_next);
    trim();
    if (wasBacklogged && !isBacklogged())
        Q_EMIT backlogCleared();
}

bool TrafficRecord::isBacklogged() const
{
    return m_kept && m_unkept > m_limit;
}

void TrafficRecord::trim()
{
    const qint64 before = first();
    while (m_used > m_limit && !m_entries.empty() &&
           (!m_kept || m_entries.front().sequence < m_keptUpTo)) {
        m_used -= footprint(m_entries.front());
        m_entries.pop_front();
    }
    if (first() != before)
        Q_EMIT trimmed(first());
}

qint64 TrafficRecord::footprint(const TrafficEntry &entry)
{
    // The bytes and the note, the entry itself and what the allocator keeps beside each buffer.
    constexpr qint64 Overhead = 64;
    return qint64(sizeof(TrafficEntry)) + entry.bytes.size() + entry.note.size() * 2 +
           (entry.bytes.isEmpty() ? 0 : Overhead) + (entry.note.isEmpty() ? 0 : Overhead);
}

} // namespace kalveno
