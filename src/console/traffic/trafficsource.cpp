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

QString charactersOf(QByteArrayView bytes)
{
    // The usual fonts hold no control pictures (U+2400 on), and a glyph that the font lacks
    // shows as a box and costs a search of the other fonts at every paint: U+2219 instead.
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = b < 0x20 || (b >= 0x7F && b < 0xA0) ? QChar(u'\u2219') : QChar(char16_t(b));
    }
    return text;
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
