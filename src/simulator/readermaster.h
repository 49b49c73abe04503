#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace kalveno::sim {

struct ReaderTiming
{
    int replyTimeoutMs = 500;
    int roundPauseMs = 500;
};

// The turnstile's side of the RFID reader protocol: while polling, it selects antennas 1 to 4 in
// turn, asks after each select whether a card lies on that antenna, checks every reply's length
// and CRC, and pauses between rounds. One request is outstanding at a time; a reply that does not
// come within the reply time-out counts as a failed step and the round goes on. A card is
// reported when it appears on an antenna: it is reported again only after a round in which that
// antenna did not read it.
//
// The machine owns no timer and no line: each call returns a Step that says what to write, how
// long to set the one timer for, and what happened.
class ReaderMaster
{
public:
    using Timing = ReaderTiming;
    enum class Phase { Idle, Selecting, Querying, Pausing };

    struct Note
    {
        enum Kind { Sent, Received, Problem };
        Kind kind;
        QByteArray bytes;
        QString meaning;
    };
    struct Card
    {
        int antenna = 0;
        quint64 id = 0;
    };
    static constexpr int KeepTimer = -2; // leave the timer running as it is
    static constexpr int StopTimer = -1;
    struct Step
    {
        QByteArray request;      // to write on the line; empty for none
        int timerMs = KeepTimer; // else (re)start the timer with this interval, or stop it
        std::optional<Card> card;
        QList<Note> notes;
    };

    // A reply announces its length in its first byte; no reply of the protocol is longer.
    static constexpr qsizetype MaxReply = 32;

    explicit ReaderMaster(Timing timing = {});

    Step start();
    void stop();
    Step received(QByteArrayView bytes);
    Step timerExpired();

    Phase phase() const { return m_phase; }
    int antenna() const { return m_antenna; }

private:
    Step select(int antenna, Step step);
    Step query(Step step);
    Step advance(Step step);
    void judge(QByteArrayView reply, Step &step);

    Timing m_timing;
    Phase m_phase = Phase::Idle;
    int m_antenna = 0;
    QByteArray m_reply;
    std::array<bool, 4> m_present{};
};

} // namespace kalveno::sim
