#pragma once

#include "protocol/traffic.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace kalveno {

class TrafficRecord;

// A row of a traffic view: a chunk that was sent or received, a link's event, or a line of a
// saved log that cannot be read.
enum class TrafficKind : quint8 { Sent, Received, Event, Broken };

// The kind of the rows that hold entries of this direction.
TrafficKind kindOf(Direction direction);

// Enough of a row to filter it by link and kind, found without decoding its bytes.
struct TrafficBrief
{
    TrafficKind kind = TrafficKind::Broken;
    QString link;
};

struct TrafficRow
{
    TrafficKind kind = TrafficKind::Broken;
    QDateTime time;
    QString link;
    QByteArray bytes;
    QString meaning; // for a broken line, the line as it stands in the file
};

// A row's bytes as its characters column shows them, one character per byte: Latin-1 as it is,
// and every control byte (C0, DEL, C1) as a dot that no byte reads as.
QString charactersOf(QByteArrayView bytes);

// Where a traffic view's rows come from: the console's record, or a saved log. Every row has a
// key, rising from begin() to end(); a view holds keys only, and asks for a row's content when
// it shows or searches that row. The record forgets its oldest rows, so begin() rises.
class TrafficSource
{
public:
    TrafficSource() = default;
    virtual ~TrafficSource() = default;
    TrafficSource(const TrafficSource &) = delete;
    TrafficSource &operator=(const TrafficSource &) = delete;

    virtual qint64 begin() const = 0;
    virtual qint64 end() const = 0;
    virtual qint64 next(qint64 key) const = 0;
    virtual TrafficBrief brief(qint64 key) const = 0;
    // Everything, the meaning included.
    virtual TrafficRow row(qint64 key) const = 0;
    // The row as the session log writes it, without the line end.
    virtual QByteArray logLine(qint64 key) const = 0;
    // Whether the rows keep coming, and the newest matter most.
    virtual bool isLive() const { return false; }
};

// The console's own record: the keys are its sequence numbers, and the bytes stay in it.
class RecordSource final : public TrafficSource
{
public:
    explicit RecordSource(const TrafficRecord &record)
        : m_record(record)
    {}

    qint64 begin() const override;
    qint64 end() const override;
    qint64 next(qint64 key) const override { return key + 1; }
    TrafficBrief brief(qint64 key) const override;
    TrafficRow row(qint64 key) const override;
    QByteArray logLine(qint64 key) const override;
    bool isLive() const override { return true; }

private:
    const TrafficRecord &m_record;
};

} // namespace kalveno
