#pragma once

#include "protocol/logline.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <deque>

namespace kalveno {

// One chunk that crossed a link, or one event of a link.
struct TrafficEntry
{
    qint64 sequence = 0;    // from 0, one per entry for the whole run
    qint64 monotonicNs = 0; // since the record began, from a steady clock
    qint64 wallMs = 0;      // the wall clock, milliseconds since the epoch
    QString link;           // "TCP 1024", "UDP", "COM1"
    Direction direction = Direction::Event;
    bool readerLine = false; // the serial line carried the RFID reader's protocol then
    QByteArray bytes;
    QString note; // an event's text, or what the sender says the bytes are
};

// What an entry means: the sender's own words when it gave them (and an event's text), else
// what the bytes say on that link in that direction.
QString meaningOf(const TrafficEntry &entry);
// The entry as a line of the session log, at the given local time.
logline::Line lineOf(const TrafficEntry &entry, const QDateTime &time);

// The one record of the traffic: every chunk that any link receives or sends, with its times,
// link and direction, and the links' events. The links write into it as the bytes pass; the
// terminals, the traffic view and the session log are views of it.
//
// It keeps the newest entries in memory up to a limit, counted as what they cost: each entry's
// place in the record and the allocations of its bytes and its note, with the allocator's own
// bookkeeping. An entry holds exactly its bytes, never a reader's spare room, so that a small
// chunk costs about two hundred bytes rather than the buffer it was read into. While a keeper
// (the session log) takes the entries to disk, an entry leaves memory only once the keeper has
// stored it; when what is not yet stored passes the limit, the record is backlogged and the links
// hold back their reading (which a TCP peer and a pseudo-terminal feel as flow control) until it
// has caught up.
class TrafficRecord final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficRecord)

public:
    static constexpr qint64 DefaultLimit = 16 * 1024 * 1024;

    explicit TrafficRecord(qint64 memoryLimit = DefaultLimit, QObject *parent = nullptr);

    qint64 memoryLimit() const { return m_limit; }
    qint64 memoryUsed() const { return m_used; }

    // Whether the serial line carries the RFID reader's protocol from now on.
    void setReaderLine(bool on) { m_readerLine = on; }

    qint64 sent(const QString &link, const QByteArray &bytes, const QString &note = {});
    qint64 received(const QString &link, const QByteArray &bytes, const QString &note = {});
    qint64 linkEvent(const QString &link, const QString &what);

    // The entries in memory are those from first() up to, not including, end().
    qint64 first() const { return m_entries.empty() ? m_next : m_entries.front().sequence; }
    qint64 end() const { return m_next; }
    const TrafficEntry &at(qint64 sequence) const { return m_entries[sequence - first()]; }

    void setKept(bool kept);
    // Everything before this sequence is safely stored by the keeper.
    void keptUpTo(qint64 sequence);
    bool isBacklogged() const;
    // Lets go of every entry the keeper has stored (every entry, without a keeper): nothing will
    // show them any more.
    void clear();

Q_SIGNALS:
    void appended(const TrafficEntry &entry);
    // Entries before this sequence have left memory.
    void trimmed(qint64 first);
    void backlogCleared();

private:
    qint64 add(Direction direction, const QString &link, const QByteArray &bytes,
               const QString &note);
    void trim(qint64 limit);
    static qint64 footprint(const TrafficEntry &entry);

    std::deque<TrafficEntry> m_entries;
    QElapsedTimer m_clock;
    qint64 m_next = 0;
    qint64 m_limit;
    qint64 m_used = 0;
    bool m_readerLine = false;
    bool m_kept = false;
    qint64 m_keptUpTo = 0;
    qint64 m_unkept = 0; // memory of the entries from m_keptUpTo on
};

} // namespace kalveno
