#include "protocol/bridgeio.h"
#include "protocol/rfid.h"
#include "protocol/textcommand.h"
#include "protocol/turnstile.h"
#include "simulator/commandsplitter.h"
#include "simulator/frameextractor.h"
#include "simulator/readermaster.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;
namespace bridgeio = kalveno::bridgeio;
namespace rfid = kalveno::rfid;
namespace textcommand = kalveno::textcommand;
namespace turnstile = kalveno::turnstile;

namespace {

using Chunks = QList<QByteArray>;

template<class Splitter>
QList<typename Splitter::Item> drain(Splitter &splitter)
{
    QList<typename Splitter::Item> items;
    for (auto item = splitter.next(); item.status != Splitter::Status::NeedMore;
         item = splitter.next())
        items.append(item);
    return items;
}

// A stream cut as the first TCP port's is: frames first, then text commands in what is left.
// Items read "frame <payload hex>", "broken <hex>", "command <text>" and "data <text>", with
// neighbouring data joined, as how the stream was cut may split data anywhere. What each command
// means is the grammar's (tst_command).
QStringList split(const Chunks &chunks, bool quiet)
{
    FrameExtractor frames;
    CommandSplitter commands;
    QStringList items;
    const auto take = [&](const QList<CommandSplitter::Item> &taken) {
        for (const CommandSplitter::Item &item : taken) {
            const QString text = QString::fromLatin1(item.bytes);
            if (item.status == CommandSplitter::Status::Command)
                items.append(u"command "_s + text);
            else if (!items.isEmpty() && items.last().startsWith(u"data "_s))
                items.last() += text;
            else
                items.append(u"data "_s + text);
        }
    };
    for (qsizetype i = 0; i <= chunks.size(); ++i) {
        QList<FrameExtractor::Item> found;
        if (i < chunks.size()) {
            frames.append(chunks[i]);
            found = drain(frames);
        } else if (quiet) {
            found = {frames.flush()};
        }
        for (const FrameExtractor::Item &item : found) {
            if (item.status == FrameExtractor::Status::Data) {
                commands.append(item.bytes);
                take(drain(commands));
            } else if (item.status != FrameExtractor::Status::NeedMore) {
                const bool whole = item.status == FrameExtractor::Status::Frame;
                items.append((whole ? u"frame "_s : u"broken "_s) +
                             QString::fromLatin1(item.bytes.toHex()));
            }
        }
    }
    if (quiet)
        take(commands.flush());
    return items;
}

void row(const char *name, const Chunks &chunks, bool quiet, const QStringList &items)
{
    QTest::newRow(name) << chunks << quiet << items;
}

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

// The simulator's logic without sockets: frames and text commands split from byte streams, and
// the reader master's polling against a scripted reader.
class TestSimulatorLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void streams_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<bool>("quiet"); // the stream goes quiet after the chunks
        QTest::addColumn<QStringList>("items");

        const QByteArray status = bridgeio::frame("\xDE");
        const QByteArray headless("\xFE\xF8\x08\x02\xC1", 5);
        Chunks bytewise;
        for (const char c : bridgeio::frame("\xDC"
                                            "01"))
            bytewise.append(QByteArray(1, c));
        row("frame in single bytes", bytewise, false, {u"frame dc3031"_s});
        row("data around frames", {"ab" + bridgeio::frame("\xC1") + "xyz" + status}, false,
            {u"data ab"_s, u"frame c1"_s, u"data xyz"_s, u"frame de"_s});
        row("payload holding 02, empty payload",
            {bridgeio::frame("\x02\x02") + bridgeio::frame({})}, false,
            {u"frame 0202"_s, u"frame "_s});
        row("end byte missing, next frame follows", {headless + status}, false,
            {u"broken fef80802c1"_s, u"frame de"_s});
        row("end byte missing, quiet", {headless}, true, {u"broken fef80802c1"_s});
        row("partial head waits", {"ab\xFE\xF8"}, false, {u"data ab"_s});
        row("partial head, quiet, is data", {"ab\xFE\xF8"}, true, {u"data ab\u00fe\u00f8"_s});
        row("almost a head", {"\xFE\xF8", QByteArray("\x08\x01\x03", 3)}, false,
            {u"data \u00fe\u00f8\u0008\u0001\u0003"_s});
        row("payload at the limit", {bridgeio::frame(QByteArray(FrameExtractor::MaxPayload, 'A'))},
            false, {u"frame "_s + u"41"_s.repeated(FrameExtractor::MaxPayload)});
        const QByteArray overlong =
            QByteArray("\xFE\xF8\x08\x02", 4) + QByteArray(300, 'A') + '\x03';
        const qsizetype cut = 4 + FrameExtractor::MaxPayload;
        row("payload beyond the limit", {overlong}, false,
            {u"broken "_s + QString::fromLatin1(overlong.first(cut).toHex()),
             u"data "_s + QString::fromLatin1(overlong.sliced(cut))});

        row("refused commands end at a line end or the next command",
            {"><T5X-9\r\nOK><T6E><IP05x><IR?"}, false,
            {u"command ><T5X-9"_s, u"data \r\n"_s, u"command OK><T6E"_s, u"command ><IP05x"_s,
             u"command ><IR?"_s});
        row("write without star ends at quiet", {"><IR,1,10.0.0.2,,"}, true,
            {u"command ><IR,1,10.0.0.2,,"_s});
        row("command split", {"><I", "R?"}, false, {u"command ><IR?"_s});
        row("passage waits for what follows its digits", {"><IP0512"}, false, {});
        row("passage split in its digits", {"><IP05", "12><IM2"}, false,
            {u"command ><IP0512"_s, u"command ><IM2"_s});
        row("three commands, stars between", {turnstile::SinglePassageNoDelay.toByteArray()}, false,
            {u"command ><IP9900*"_s, u"command ><IP9901"_s, u"command ><T5E"_s});
        row("acknowledgement split before the start", {"xO", "K><T6T03 rest"}, false,
            {u"data x"_s, u"command OK><T6T03"_s, u"data  rest"_s});
        row("OK> at the end waits", {"xOK>", "<T5E"}, false, {u"data x"_s, u"command OK><T5E"_s});
        row("a lone > waits, then is data", {"abc>", "x"}, false, {u"data abc>x"_s});
        row("direct command waits for its data", {"><ID03", QByteArray("\x01*\xFF", 3), "rest"},
            false, {u"command ><ID03\u0001*\u00ff"_s, u"data rest"_s});
        row("endless digits are cut", {"><IP" + QByteArray(400, '7')}, false,
            {u"command ><IP"_s + QString(textcommand::MaxLength - 4, u'7'),
             u"data "_s + QString(404 - textcommand::MaxLength, u'7')});
    }

    void streams()
    {
        QFETCH(Chunks, chunks);
        QFETCH(bool, quiet);
        QFETCH(QStringList, items);
        QCOMPARE(split(chunks, quiet), items);
    }

    void randomStreamsKeepEveryByte_data()
    {
        QTest::addColumn<QByteArray>("alphabet");
        QTest::newRow("frame bytes") << QByteArray("\xFE\xF8\x08\x02\x03"
                                                   "A");
        QTest::newRow("command characters") << QByteArray("><><><IPTRMDBOK,*?.ED0123456789x\r-");
    }

    void randomStreamsKeepEveryByte()
    {
        // Megabytes made of the frames' or the commands' own characters, cut anywhere and going
        // quiet now and then: every byte comes out once, in order, and little is ever held.
        QFETCH(QByteArray, alphabet);
        QRandomGenerator random(1234);
        FrameExtractor frames;
        CommandSplitter commands;
        QByteArray in;
        QByteArray fromFrames;
        QByteArray fromCommands;
        const auto takeFrame = [&fromFrames](const FrameExtractor::Item &item) {
            const bool frame = item.status == FrameExtractor::Status::Frame;
            fromFrames += frame ? bridgeio::frame(item.bytes) : item.bytes;
        };
        const auto takeCommand = [&fromCommands](const CommandSplitter::Item &item) {
            fromCommands += item.bytes;
        };
        for (int chunk = 0; chunk < 64; ++chunk) {
            QByteArray bytes(random.bounded(1, 64 * 1024), Qt::Uninitialized);
            for (char &c : bytes)
                c = alphabet[random.bounded(int(alphabet.size()))];
            in += bytes;
            frames.append(bytes);
            for (const FrameExtractor::Item &item : drain(frames))
                takeFrame(item);
            commands.append(bytes);
            for (const CommandSplitter::Item &item : drain(commands))
                takeCommand(item);
            QVERIFY(frames.held() <= FrameExtractor::MaxPayload + 4);
            QVERIFY(commands.held() <= textcommand::MaxLength);
            if (chunk % 8 == 7) {
                takeFrame(frames.flush());
                const auto rest = commands.flush();
                for (const auto &item : rest)
                    takeCommand(item);
            }
        }
        QVERIFY(fromFrames == in);
        QVERIFY(fromCommands == in);
    }

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

QTEST_APPLESS_MAIN(TestSimulatorLogic)
#include "tst_simulator_logic.moc"
