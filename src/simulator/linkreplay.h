#pragma once

#include "replayscript.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <utility>

namespace kalveno::sim {

// One link of the bridge replayed from its script, without a socket or a timer: the owner hands
// it what the console sends and what the link's peer is like, and asks it what to do and when.
//
// What the console sends is matched in order against the bytes the log says it sent, whatever
// the chunking on either side. Bytes that the log does not have next are a divergence: the
// replay looks for the earliest place from which the bytes that came meet the start of the entry
// it expected or of one of the next LookAhead entries the console sent (never past a connection
// event). The bytes before that place are dropped and the entries jumped over are skipped, with
// the bridge's chunks between them; found nowhere, everything that came is dropped and the
// replay waits for the entry it expected.
//
// A chunk of the bridge's goes once everything the console sent before it on the link has come
// and a peer is there to take it, and no sooner than its recorded distance from the step before
// it (divided by the speed; a speed of 0 sends at once). For an answer that distance is the
// bridge's own delay; for a chunk that came unasked it is its place in time. A connection that
// the bridge closed is closed at its place in the same way; the console's connections and
// closes are awaited.
class LinkReplay
{
public:
    static constexpr int LookAhead = 8;
    // How far into what came a divergence looks for the place where it meets the log again.
    static constexpr qsizetype MaxScan = 4096;

    struct Peer
    {
        bool present = false;  // a client, a program holding the line, a known UDP sender
        qint64 generation = 0; // TCP: the clients that have come so far
    };
    // Bytes from the console that the log does not have next, and what the replay did.
    struct Divergence
    {
        qsizetype expected = -1; // the step expected, or -1 past the log's last one
        QByteArray came;         // from the expected entry's start
        qsizetype dropped = 0;   // the bytes dropped before where they meet the log again
        qsizetype resumed = -1;  // the step it goes on at, or -1: waiting for the one expected
        qsizetype skipped = 0;   // the entries jumped over
    };
    struct Action
    {
        enum class Kind { None, Send, Drop };
        Kind kind = Kind::None;
        QByteArray bytes;
        QString where; // the step's file and line
    };

    // `reconnects`: the link's Connect steps each await a new client (TCP); otherwise any peer
    // present will do (the serial line).
    LinkReplay(LinkScript script, QStringList files, double speed, bool reconnects);

    const LinkScript &script() const { return m_script; }

    // Bytes the console sent, at `now` (ms on the replay's clock).
    QList<Divergence> take(QByteArrayView bytes, qint64 now);
    // "divergence on TCP 1024 at s.log:12: expected ..., came ...; what was done"
    QString describe(const Divergence &divergence) const;
    // The next thing to do now, with the peer as it is; when nothing is due, `waitMs` is the time
    // until a step falls due, or -1 when the link waits for the console or has finished.
    Action next(qint64 now, const Peer &peer, qint64 *waitMs);

    qint64 replayed() const { return m_replayed; }
    qint64 waiting() const { return m_waiting; }
    bool finished() const { return m_waiting == 0; }

private:
    void settle(qsizetype index, ReplayStep::State state, qint64 now);
    void findExpect(qint64 now);
    // Where the bytes that came meet the log again: their offset and the step, or (-1, -1).
    std::pair<qsizetype, qsizetype> resync(QByteArrayView seen, qsizetype from) const;
    bool agrees(QByteArrayView seen, qsizetype step) const;
    QString where(qsizetype step) const;
    qint64 scaled(qint64 ms) const;

    LinkScript m_script;
    QStringList m_files;
    double m_speed;
    bool m_reconnects;
    qsizetype m_next = 0;   // the next step to perform, in order
    qsizetype m_expect = 0; // the entry being matched
    qsizetype m_offset = 0; // its bytes matched so far
    qint64 m_lastDone = 0;  // when the step before m_next was done
    qint64 m_connectedGeneration = 0;
    qint64 m_replayed = 0;
    qint64 m_waiting = 0;
};

} // namespace kalveno::sim
