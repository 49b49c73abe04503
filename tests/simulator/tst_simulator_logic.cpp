#include "protocol/bridgeio.h"
#include "protocol/rfid.h"
#include "protocol/turnstile.h"
#include "simulator/frameextractor.h"
#include "simulator/readermaster.h"
#include "simulator/textcommand.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;
namespace bridgeio = kalveno::bridgeio;
namespace rfid = kalveno::rfid;
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
// Items read "frame <payload hex>", "broken <hex>", "<command> = <meaning>" and "data <text>",
// with neighbouring data joined, as how the stream was cut may split data anywhere.
QStringList split(const Chunks &chunks, bool quiet)
{
    FrameExtractor frames;
    CommandSplitter commands;
    QStringList items;
    const auto take = [&](const QList<CommandSplitter::Item> &taken) {
        for (const CommandSplitter::Item &item : taken) {
            const QString text = QString::fromLatin1(item.bytes);
            if (item.status == CommandSplitter::Status::Command)
                items.append(text + u" = "_s + describe(parseTextCommand(item.bytes)));
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

// One command alone, as the console writes it.
void one(const char *name, QByteArrayView text, const QString &meaning)
{
    row(name, {text.toByteArray()}, true, {QString::fromLatin1(text) + u" = "_s + meaning});
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

        one("auto answer", turnstile::autoAnswer(u"5"), u"green LED on for 5000 ms"_s);
        one("output pulse", bridgeio::outputPulse(3), u"output 3 on for 300 ms"_s);
        one("passage", turnstile::passage(u"5", u"12"), u"passage for 12 person(s) within 5 s"_s);
        one("three-digit seconds", turnstile::validationTimeout(u"150", u"3"),
            u"validation time-out 150 s, 3 card(s) before offline"_s);
        one("mode", turnstile::mode(turnstile::modes().at(4)), u"mode 4"_s);
        one("direct", turnstile::directCommand(), u"direct command, 74 data bytes"_s);
        one("write", turnstile::writeConfig(u"1- Polling ON", {u"10.0.0.2"_s, u" 10.0.0.3 "_s, {}}),
            u"configuration write: polling 1, remote antennas \"10.0.0.2\" \"10.0.0.3\" \"\""_s);
        one("write with the console's first polling text",
            turnstile::writeConfig(u"Polling setup", {}), u"refused: polling must be 0, 1 or 2"_s);
        one("write with a bad address", "><IR,1,10.0.0.256,,*",
            u"refused: remote antenna 2 address is not an IPv4 address"_s);
        one("batch on", bridgeio::BatchOn, u"batch on: outputs 1-4 on for 4000 ms"_s);
        one("duration with two points", "><T5T1.2.3",
            u"refused: duration must be 0.001 to 3600 seconds"_s);
        one("mode 6", "><IM6", u"refused: mode must be one digit 0 to 5"_s);
        // A refused command is taken whole: no tail of it is data for the serial line.
        one("refused passage", "><IP-0501",
            u"refused: expected two numbers of two or more digits"_s);
        row("refused commands end at a line end or the next command",
            {"><T5X-9\r\nOK><T6E><IP05x><IR?"}, false,
            {u"><T5X-9 = refused: action must be E, D or T<seconds>"_s, u"data \r\n"_s,
             u"OK><T6E = acknowledgement, red LED on"_s,
             u"><IP05x = refused: expected two numbers of two or more digits"_s,
             u"><IR? = configuration read"_s});
        row("write without star ends at quiet", {"><IR,1,10.0.0.2,,"}, true,
            {u"><IR,1,10.0.0.2,, = refused: configuration must be ><IR,<polling>,<ip2>,<ip3>,<ip4>*"_s});
        row("command split", {"><I", "R?"}, false, {u"><IR? = configuration read"_s});
        row("passage waits for what follows its digits", {"><IP0512"}, false, {});
        row("passage split in its digits", {"><IP05", "12><IM2"}, false,
            {u"><IP0512 = passage for 12 person(s) within 5 s"_s, u"><IM2 = mode 2"_s});
        row("three commands, stars between", {turnstile::SinglePassageNoDelay.toByteArray()}, false,
            {u"><IP9900* = passage for 0 person(s) within 99 s"_s,
             u"><IP9901 = passage for 1 person(s) within 99 s"_s, u"><T5E = green LED on"_s});
        row("acknowledgement split before the start", {"xO", "K><T6T03 rest"}, false,
            {u"data x"_s, u"OK><T6T03 = acknowledgement, red LED on for 3000 ms"_s,
             u"data  rest"_s});
        row("OK> at the end waits", {"xOK>", "<T5E"}, false,
            {u"data x"_s, u"OK><T5E = acknowledgement, green LED on"_s});
        row("a lone > waits, then is data", {"abc>", "x"}, false, {u"data abc>x"_s});
        row("direct command carries any bytes", {"><ID03", QByteArray("\x01*\xFF", 3), "rest"},
            false, {u"><ID03\u0001*\u00ff = direct command, 3 data bytes"_s, u"data rest"_s});
        row("unknown family ends at the next start", {"><Zfoo><IM2"}, true,
            {u"><Zfoo = refused: unknown command family"_s, u"><IM2 = mode 2"_s});
        row("endless digits are cut", {"><IP" + QByteArray(400, '7')}, false,
            {u"><IP"_s + QString(CommandSplitter::MaxCommand - 4, u'7') +
                 u" = refused: expected two numbers of two or more digits"_s,
             u"data "_s + QString(404 - CommandSplitter::MaxCommand, u'7')});
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
            QVERIFY(commands.held() <= CommandSplitter::MaxCommand);
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
