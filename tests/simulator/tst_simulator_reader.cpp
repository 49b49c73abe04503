#include "simulator/readermaster.h"

#include "protocol/rfid.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;
namespace rfid = kalveno::rfid;

namespace {

enum class Fault { None, BadCrcOnCard, NoReplyToQuery, NoReplyAtAll, Garbage, TrailingBytes };

// A reader on the other end of the line, answering as the console's reader simulator does:
// the antenna that a select names becomes current, and a card query is answered with the card
// when it lies on that antenna.
class ScriptedReader
{
public:
    Fault fault = Fault::None;
    unsigned cardMask = 0; // bit n-1: the card lies on antenna n

    QByteArray answer(const QByteArray &request)
    {
        const rfid::Request r = rfid::classify(request);
        QByteArray reply;
        if (r.kind == rfid::Request::AntennaSelect) {
            m_antenna = r.antenna;
            reply = rfid::antennaSelectedReply();
        } else if (r.kind == rfid::Request::CardQuery) {
            const bool card = m_antenna > 0 && (cardMask >> (m_antenna - 1)) & 1;
            reply = card ? rfid::cardReply() : rfid::noCardReply();
            if (fault == Fault::NoReplyToQuery)
                return {};
            if (card && fault == Fault::BadCrcOnCard)
                reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 0x01);
        }
        if (fault == Fault::NoReplyAtAll)
            return {};
        if (fault == Fault::Garbage)
            reply.prepend('\xFF');
        if (fault == Fault::TrailingBytes)
            reply.append("zz");
        return reply;
    }

private:
    int m_antenna = 0;
};

struct Run
{
    QList<int> reported;  // antennas, in order
    QStringList meanings; // of every note
    QList<QByteArray> requests;
};

// Plays `rounds` polling rounds; `masks` gives the card's antennas for each round in turn
// (the last one stays). With `bytewise`, every reply arrives one byte at a time.
Run play(ReaderMaster &master, ScriptedReader &reader, const QList<unsigned> &masks, int rounds,
         bool bytewise)
{
    Run run;
    int round = 0;
    reader.cardMask = masks.value(0);
    const auto note = [&run](const ReaderMaster::Step &step) {
        for (const ReaderMaster::Note &n : step.notes)
            run.meanings.append(n.meaning);
        if (step.card) {
            run.reported.append(step.card->antenna);
            if (step.card->id != rfid::SimulatedCard)
                run.meanings.append(u"WRONG CARD"_s);
        }
    };
    ReaderMaster::Step step = master.start();
    note(step);
    for (int guard = 0; guard < 1000 && round < rounds; ++guard) {
        if (step.request.isEmpty()) {
            // Nothing to answer: the pause between rounds, or the wait for a reply, runs out.
            if (master.phase() == ReaderMaster::Phase::Pausing)
                reader.cardMask = masks.value(qMin<qsizetype>(++round, masks.size() - 1));
            step = master.timerExpired();
            note(step);
            continue;
        }
        run.requests.append(step.request);
        const QByteArray reply = reader.answer(step.request);
        if (reply.isEmpty()) {
            step = master.timerExpired();
            note(step);
            continue;
        }
        if (bytewise) {
            for (qsizetype i = 0; i < reply.size(); ++i) {
                const ReaderMaster::Step part = master.received(reply.sliced(i, 1));
                note(part);
                if (part.timerMs != ReaderMaster::KeepTimer || i == reply.size() - 1)
                    step = part;
            }
        } else {
            step = master.received(reply);
            note(step);
        }
    }
    return run;
}

} // namespace

class TestSimulatorReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rounds_data();
    void rounds();
    void requestsAreTheProtocols();
    void timers();
};

void TestSimulatorReader::rounds_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QList<unsigned>>("masks");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<bool>("bytewise");
    QTest::addColumn<QList<int>>("reported");
    QTest::addColumn<QString>("note"); // one of the notes, when not empty

    QTest::newRow("card on antenna 2, reported once")
        << int(Fault::None) << QList<unsigned>{0b0010} << 3 << false << QList<int>{2}
        << u"card E0040150A3C61B7D on antenna 2, still there"_s;
    QTest::newRow("card on every antenna") << int(Fault::None) << QList<unsigned>{0b1111} << 2
                                           << false << QList<int>{1, 2, 3, 4} << QString();
    QTest::newRow("no card") << int(Fault::None) << QList<unsigned>{0} << 2 << false << QList<int>{}
                             << u"no card on antenna 4"_s;
    QTest::newRow("card taken away and put back")
        << int(Fault::None) << QList<unsigned>{0b0100, 0, 0b0100} << 3 << false << QList<int>{3, 3}
        << QString();
    QTest::newRow("replies one byte at a time")
        << int(Fault::None) << QList<unsigned>{0b0010} << 2 << true << QList<int>{2} << QString();
    QTest::newRow("bad CRC on the card reply")
        << int(Fault::BadCrcOnCard) << QList<unsigned>{0b0010} << 2 << false << QList<int>{}
        << u"bad CRC, antenna 2 step failed"_s;
    QTest::newRow("queries go unanswered")
        << int(Fault::NoReplyToQuery) << QList<unsigned>{0b0010} << 2 << false << QList<int>{}
        << u"no reply to card query, antenna 2"_s;
    QTest::newRow("reader silent") << int(Fault::NoReplyAtAll) << QList<unsigned>{0b0010} << 1
                                   << false << QList<int>{} << u"no reply to select, antenna 1"_s;
    QTest::newRow("garbage length byte")
        << int(Fault::Garbage) << QList<unsigned>{0b0010} << 1 << false << QList<int>{}
        << u"not a reply (length byte), discarded"_s;
    QTest::newRow("bytes after the reply")
        << int(Fault::TrailingBytes) << QList<unsigned>{0b0010} << 1 << false << QList<int>{2}
        << u"bytes after the reply, discarded"_s;
}

void TestSimulatorReader::rounds()
{
    QFETCH(int, fault);
    QFETCH(QList<unsigned>, masks);
    QFETCH(int, rounds);
    QFETCH(bool, bytewise);
    QFETCH(QList<int>, reported);
    QFETCH(QString, note);

    ReaderMaster master;
    ScriptedReader reader;
    reader.fault = Fault(fault);
    const Run run = play(master, reader, masks, rounds, bytewise);
    QCOMPARE(run.reported, reported);
    QVERIFY(!run.meanings.contains(u"WRONG CARD"_s));
    if (!note.isEmpty())
        QVERIFY2(run.meanings.contains(note), qPrintable(run.meanings.join(u" | ")));
}

void TestSimulatorReader::requestsAreTheProtocols()
{
    // One round asks antennas 1 to 4 in order, each select followed by one card query, in the
    // frames that the console's reader recognises.
    ReaderMaster master;
    ScriptedReader reader;
    const Run run = play(master, reader, {0}, 1, false);
    QCOMPARE(run.requests.size(), 8);
    for (int antenna = 1; antenna <= 4; ++antenna) {
        const QByteArray select = run.requests.at(2 * (antenna - 1));
        const QByteArray query = run.requests.at(2 * (antenna - 1) + 1);
        QCOMPARE(select.size(), 7);
        QCOMPARE(rfid::announcedLength(select), 7);
        QCOMPARE(rfid::classify(select).kind, rfid::Request::AntennaSelect);
        QCOMPARE(rfid::classify(select).antenna, antenna);
        QCOMPARE(query.size(), 6);
        QCOMPARE(rfid::announcedLength(query), 6);
        QCOMPARE(rfid::classify(query).kind, rfid::Request::CardQuery);
        QVERIFY(rfid::hasValidCrc(select));
        QVERIFY(rfid::hasValidCrc(query));
    }
}

void TestSimulatorReader::timers()
{
    ReaderMaster master({200, 700});
    ReaderMaster::Step step = master.start();
    QCOMPARE(step.timerMs, 200);
    QCOMPARE(master.phase(), ReaderMaster::Phase::Selecting);
    // Half a reply leaves the time-out running from the request.
    step = master.received(rfid::antennaSelectedReply().first(2));
    QCOMPARE(step.timerMs, ReaderMaster::KeepTimer);
    QVERIFY(step.request.isEmpty());
    step = master.received(rfid::antennaSelectedReply().sliced(2));
    QCOMPARE(step.timerMs, 200);
    QCOMPARE(master.phase(), ReaderMaster::Phase::Querying);
    // A query or a select that goes unanswered moves on to the next antenna's select.
    for (int antenna = 2; antenna <= 4; ++antenna) {
        step = master.timerExpired();
        QCOMPARE(master.phase(), ReaderMaster::Phase::Selecting);
        QCOMPARE(master.antenna(), antenna);
        QCOMPARE(step.timerMs, 200);
    }
    step = master.timerExpired();
    QCOMPARE(master.phase(), ReaderMaster::Phase::Pausing);
    QCOMPARE(step.timerMs, 700);
    QVERIFY(step.request.isEmpty());
    // Bytes during the pause change nothing, nor the pause.
    step = master.received(rfid::noCardReply());
    QCOMPARE(step.timerMs, ReaderMaster::KeepTimer);
    QCOMPARE(master.phase(), ReaderMaster::Phase::Pausing);
    step = master.timerExpired();
    QCOMPARE(master.phase(), ReaderMaster::Phase::Selecting);
    QCOMPARE(master.antenna(), 1);
}

QTEST_APPLESS_MAIN(TestSimulatorReader)
#include "tst_simulator_reader.moc"
