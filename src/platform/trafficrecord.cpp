#include "trafficrecord.h"

#include "protocol/meaning.h"

#include <QDateTime>

namespace kalveno {

namespace {

// How an array's data is held. QByteArray shows it only to a caller that may change it; nothing
// here does.
template<typename Array>
const typename Array::DataPointer &dataOf(const Array &array)
{
    return const_cast<Array &>(array).data_ptr();
}

// What the allocator hands out for a Qt array's data: the array's header, its capacity and the
// terminating unit, and the allocator's own header, rounded up to its granule of 16 bytes. Data
// that is not allocated (a literal) costs nothing.
template<typename Array>
qint64 allocation(const Array &array)
{
    const qsizetype capacity = dataOf(array).constAllocatedCapacity();
    if (capacity == 0)
        return 0;
    constexpr qint64 Unit = sizeof(typename Array::value_type);
    constexpr qint64 ArrayHeader = 16 + 1;
    constexpr qint64 MallocHeader = 8;
    const qint64 request = ArrayHeader + Unit * (capacity + 1) + MallocHeader;
    return qMax<qint64>(32, (request + 15) & ~qint64(15));
}

// The data in an allocation of its own size: a reader hands over its buffer, which may be far
// larger than what was read. Allocated data of the right size is shared as it is; a literal
// lives as long as the program, but other data that is not allocated may not outlive the call.
template<typename Array>
Array exactly(const Array &array, bool literalsLive)
{
    const auto &d = dataOf(array);
    if (array.isEmpty() || (!d.isMutable() && literalsLive) ||
        (d.isMutable() && d.freeSpaceAtBegin() == 0 && d.constAllocatedCapacity() == array.size()))
        return array;
    return Array(array.constData(), array.size());
}

} // namespace

QString meaningOf(const TrafficEntry &entry)
{
    if (!entry.note.isEmpty() || entry.direction == Direction::Event)
        return entry.note;
    const LinkKind link = linkname::kindOf(entry.link).value_or(LinkKind::Serial);
    return meaning::of({link, entry.direction == Direction::Sent, entry.readerLine}, entry.bytes);
}

TrafficRecord::TrafficRecord(qint64 memoryLimit, QObject *parent)
    : QObject(parent)
    , m_limit(memoryLimit)
{
    m_clock.start();
}

qint64 TrafficRecord::sent(const QString &link, const QByteArray &bytes, const QString &note)
{
    return add(Direction::Sent, link, bytes, note);
}

qint64 TrafficRecord::received(const QString &link, const QByteArray &bytes, const QString &note)
{
    return add(Direction::Received, link, bytes, note);
}

logline::Line lineOf(const TrafficEntry &entry, const QDateTime &time)
{
    return {time, entry.link, entry.direction, entry.bytes, meaningOf(entry)};
}

qint64 TrafficRecord::linkEvent(const QString &link, const QString &what)
{
    return add(Direction::Event, link, {}, what);
}

qint64 TrafficRecord::add(Direction direction, const QString &link, const QByteArray &bytes,
                          const QString &note)
{
    TrafficEntry &entry = m_entries.emplace_back();
    entry.sequence = m_next++;
    entry.monotonicNs = m_clock.nsecsElapsed();
    entry.wallMs = QDateTime::currentMSecsSinceEpoch();
    entry.link = link;
    entry.direction = direction;
    entry.readerLine = m_readerLine;
    entry.bytes = exactly(bytes, false);
    entry.note = exactly(note, true);
    const qint64 size = footprint(entry);
    m_used += size;
    if (m_kept)
        m_unkept += size;
    // The entry itself may go in the trim, when it alone is larger than the limit.
    const qint64 sequence = entry.sequence;
    Q_EMIT appended(entry);
    trim(m_limit);
    return sequence;
}

void TrafficRecord::setKept(bool kept)
{
    // A keeper that gives up must release the links it held back, or they would wait for ever.
    const bool wasBacklogged = isBacklogged();
    m_kept = kept;
    m_keptUpTo = m_next;
    m_unkept = 0;
    trim(m_limit);
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
    trim(m_limit);
    if (wasBacklogged && !isBacklogged())
        Q_EMIT backlogCleared();
}

bool TrafficRecord::isBacklogged() const
{
    return m_kept && m_unkept > m_limit;
}

void TrafficRecord::clear()
{
    trim(0);
    // A deque keeps the blocks it may reuse; a record emptied whole gives them back.
    if (m_entries.empty())
        std::deque<TrafficEntry>().swap(m_entries);
}

void TrafficRecord::trim(qint64 limit)
{
    const qint64 before = first();
    while (m_used > limit && !m_entries.empty() &&
           (!m_kept || m_entries.front().sequence < m_keptUpTo)) {
        m_used -= footprint(m_entries.front());
        m_entries.pop_front();
    }
    if (first() != before)
        Q_EMIT trimmed(first());
}

qint64 TrafficRecord::footprint(const TrafficEntry &entry)
{
    // The deque holds entries in blocks of about 512 bytes: an entry's place is its size and a
    // share of its block's allocation and of the deque's map. The link name is one string shared
    // by every entry of the link, and costs nothing more per entry.
    constexpr qint64 Place = qint64(sizeof(TrafficEntry)) + 16;
    return Place + allocation(entry.bytes) + allocation(entry.note);
}

} // namespace kalveno
