#include "trafficsource.h"

#include "platform/trafficrecord.h"
#include "protocol/logline.h"

namespace kalveno {

TrafficKind kindOf(Direction direction)
{
    switch (direction) {
    case Direction::Sent:
        return TrafficKind::Sent;
    case Direction::Received:
        return TrafficKind::Received;
    case Direction::Event:
        break;
    }
    return TrafficKind::Event;
}

qint64 RecordSource::begin() const
{
    return m_record.first();
}

qint64 RecordSource::end() const
{
    return m_record.end();
}

TrafficBrief RecordSource::brief(qint64 key) const
{
    const TrafficEntry &entry = m_record.at(key);
    return {kindOf(entry.direction), entry.link};
}

TrafficRow RecordSource::row(qint64 key) const
{
    const TrafficEntry &entry = m_record.at(key);
    return {kindOf(entry.direction), QDateTime::fromMSecsSinceEpoch(entry.wallMs), entry.link,
            entry.bytes, meaningOf(entry)};
}

QByteArray RecordSource::logLine(qint64 key) const
{
    const TrafficEntry &entry = m_record.at(key);
    return logline::format(lineOf(entry, QDateTime::fromMSecsSinceEpoch(entry.wallMs)));
}

} // namespace kalveno
