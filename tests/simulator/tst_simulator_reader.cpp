#include "simulator/readermaster.h"

#include "protocol/rfid.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;
namespace rfid = kalveno::rfid;

namespace {

enum Fault { None, BadCrcOnCard, NoReplyToQuery, Silent, Garbage, TrailingBytes };
constexpr ReaderMaster::Timing Timing{150, 700};

struct Run
{
    QList<int> reported; // antennas
    QStringList notes;
    int requests = 0;
};

// Plays polling rounds against a reader that answers as the console's reader simulator does;
// `masks` gives the card's antennas (bit n-1 for antenna n) round by round, the last one staying.
// Every request must be one the console's reader recognises, asked in turn, with its time-out.
Run play(Fault fault, const QList<unsigned> &masks, int rounds, bool bytewise)
{
    ReaderMaster master(Timing);
    Run run;
    int round = 0;
    int antenna = 0;  // the reader's current antenna
    int selected = 0; // the antenna of the latest select
    auto previous = rfid::Request::Other;
    const auto note = [&run](const ReaderMaster::Step &step) {
        for (const ReaderMaster::Note &n : step.notes)
            run.notes.append(n.meaning);
        if (step.card)
            run.reported.append(step.card->id == rfid::SimulatedCard ? step.card->antenna : -1);
    };
    ReaderMaster::Step step = master.start();
    for (int guard = 0; guard < 1000 && round < rounds; ++guard) {
        note(step);
        const rfid::Request r = rfid::classify(step.request);
        const bool inTurn =
            r.kind == rfid::Request::AntennaSelect
                ? r.antenna == selected % 4 + 1
                : r.kind == rfid::Request::CardQuery && previous == rfid::Request::AntennaSelect;
        if (!step.request.isEmpty() &&
            (!rfid::hasValidCrc(step.request) || !inTurn ||
             rfid::announcedLength(step.request) != step.request.size() ||
             step.timerMs != Timing.replyTimeoutMs))
            run.notes.append(u"BAD REQUEST"_s);
        if (!step.request.isEmpty())
            previous = r.kind;
        if (r.kind == rfid::Request::AntennaSelect)
            selected = r.antenna;
        run.requests += !step.request.isEmpty();
        const unsigned mask = masks.value(qMin(round, int(masks.size()) - 1));
        const bool card = antenna > 0 && (mask >> (antenna - 1)) & 1;
        QByteArray reply;
        if (r.kind == rfid::Request::AntennaSelect && fault != Silent) {
            antenna = r.antenna;
            reply = rfid::antennaSelectedReply();
        } else if (r.kind == rfid::Request::CardQuery && fault != Silent &&
                   fault != NoReplyToQuery) {
            reply = card ? rfid::cardReply() : rfid::noCardReply();
            if (card && fault == BadCrcOnCard)
                reply.back() = char(reply.back() ^ 0x01);
        }
        if (reply.isEmpty()) {
            if (master.phase() == ReaderMaster::Phase::Pausing) {
                // Bytes during the pause between rounds change nothing, nor the pause.
                ++round;
                const ReaderMaster::Step stray = master.received(rfid::noCardReply());
                if (stray.timerMs != ReaderMaster::KeepTimer || step.timerMs != Timing.roundPauseMs)
                    run.notes.append(u"BAD PAUSE"_s);
            }
            step = master.timerExpired(); // the pause, or the wait for a reply, runs out
            continue;
        }
        reply = fault == Garbage ? '\xFF' + reply : fault == TrailingBytes ? reply + "zz" : reply;
        const qsizetype piece = bytewise ? 1 : reply.size();
        for (qsizetype i = 0; i < reply.size(); i += piece) {
            step = master.received(reply.sliced(i, piece));
            // The rest of a reply may still come: the time-out runs on from the request.
            if (i + piece < reply.size() && step.timerMs != ReaderMaster::KeepTimer)
                run.notes.append(u"BAD TIMER"_s);
        }
    }
    return run;
}

} // namespace

class TestSimulatorReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rounds_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QList<unsigned>>("masks");
        QTest::addColumn<int>("rounds");
        QTest::addColumn<bool>("bytewise");
        QTest::addColumn<QList<int>>("reported");
        QTest::addColumn<QString>("note"); // one of the notes, when not empty
        const auto row = [](const char *name, Fault fault, QList<unsigned> masks, int rounds,
                            QList<int> reported, const QString &note, bool bytewise = false) {
            QTest::newRow(name) << int(fault) << masks << rounds << bytewise << reported << note;
        };
        row("card on antenna 2, reported once", None, {0b0010}, 3, {2},
            u"card E0040150A3C61B7D on antenna 2, still there"_s);
        row("card on every antenna", None, {0b1111}, 2, {1, 2, 3, 4}, {});
        row("no card", None, {0}, 2, {}, u"no card on antenna 4"_s);
        row("card taken away and put back", None, {0b0100, 0, 0b0100}, 3, {3, 3}, {});
        row("replies one byte at a time", None, {0b0010}, 2, {2}, {}, true);
        row("bad CRC on the card reply", BadCrcOnCard, {0b0010}, 2, {},
            u"bad CRC, antenna 2 step failed"_s);
        row("queries go unanswered", NoReplyToQuery, {0b0010}, 2, {},
            u"no reply to card query, antenna 2"_s);
        row("reader silent", Silent, {0b0010}, 1, {}, u"no reply to select, antenna 1"_s);
        row("garbage length byte", Garbage, {0b0010}, 1, {},
            u"not a reply (length byte), discarded"_s);
        row("bytes after the reply", TrailingBytes, {0b0010}, 1, {2},
            u"bytes after the reply, discarded"_s);
    }

    void rounds()
    {
        QFETCH(int, fault);
        QFETCH(QList<unsigned>, masks);
        QFETCH(int, rounds);
        QFETCH(bool, bytewise);
        QFETCH(QList<int>, reported);
        QFETCH(QString, note);
        const Run run = play(Fault(fault), masks, rounds, bytewise);
        QCOMPARE(run.reported, reported);
        QVERIFY2(run.notes.contains(note) || note.isEmpty(), qPrintable(run.notes.join(u" | ")));
        for (const QString &bad : {u"BAD REQUEST"_s, u"BAD PAUSE"_s, u"BAD TIMER"_s})
            QVERIFY2(!run.notes.contains(bad), qPrintable(bad));
        // Each antenna has its select, and its query unless the select went unanswered.
        QCOMPARE(run.requests, rounds * (fault == Silent || fault == Garbage ? 4 : 8));
    }
};

QTEST_APPLESS_MAIN(TestSimulatorReader)
#include "tst_simulator_reader.moc"
