#include "simulator/frameextractor.h"
#include "simulator/log.h"
#include "simulator/textcommand.h"

#include "protocol/bridgeio.h"
#include "protocol/turnstile.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;
namespace bridgeio = kalveno::bridgeio;
namespace turnstile = kalveno::turnstile;

namespace {

QByteArray frame(QByteArrayView payload)
{
    return bridgeio::frame(payload);
}

// Items as "data <hex>", "frame <hex>", "broken <hex>", with neighbouring data joined: how the
// stream was cut into chunks may split data anywhere, but never anything else.
QStringList extract(const QList<QByteArray> &chunks, bool quiet)
{
    FrameExtractor extractor;
    QStringList items;
    const auto add = [&items](const FrameExtractor::Item &item) {
        const QString hex = packedHex(item.bytes);
        switch (item.status) {
        case FrameExtractor::Status::Data:
            if (!items.isEmpty() && items.last().startsWith(u"data "_s))
                items.last() += hex;
            else
                items.append(u"data "_s + hex);
            break;
        case FrameExtractor::Status::Frame:
            items.append(u"frame "_s + hex);
            break;
        case FrameExtractor::Status::Broken:
            items.append(u"broken "_s + hex);
            break;
        case FrameExtractor::Status::NeedMore:
            break;
        }
    };
    for (const QByteArray &chunk : chunks) {
        extractor.append(chunk);
        for (auto item = extractor.next(); item.status != FrameExtractor::Status::NeedMore;
             item = extractor.next())
            add(item);
    }
    if (quiet)
        add(extractor.flush());
    return items;
}

QList<QByteArray> bytewise(const QByteArray &bytes)
{
    QList<QByteArray> chunks;
    for (const char c : bytes)
        chunks.append(QByteArray(1, c));
    return chunks;
}

QStringList splitCommands(const QList<QByteArray> &chunks, bool quiet)
{
    CommandSplitter splitter;
    QStringList items;
    const auto add = [&items](const CommandSplitter::Item &item) {
        const QString text = escaped(item.bytes);
        if (item.status == CommandSplitter::Status::Command)
            items.append(u"command "_s + text);
        else if (!items.isEmpty() && items.last().startsWith(u"data "_s))
            items.last() += text;
        else
            items.append(u"data "_s + text);
    };
    for (const QByteArray &chunk : chunks) {
        splitter.append(chunk);
        for (auto item = splitter.next(); item.status != CommandSplitter::Status::NeedMore;
             item = splitter.next())
            add(item);
    }
    if (quiet) {
        const auto rest = splitter.flush();
        for (const auto &item : rest)
            add(item);
    }
    return items;
}

} // namespace

class TestSimulatorFrames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frames_data();
    void frames();
    void heldBytesStayBounded();
    void randomCommandStreams();
    void commandStream_data();
    void commandStream();
    void commandTexts_data();
    void commandTexts();
};

void TestSimulatorFrames::frames_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<bool>("quiet"); // the stream goes quiet after the chunks
    QTest::addColumn<QStringList>("items");

    const QByteArray status = frame("\xDE");
    QTest::newRow("one frame") << QList<QByteArray>{status} << false << QStringList{u"frame DE"_s};
    QTest::newRow("split into single bytes") << bytewise(frame("\xDC"
                                                               "01"))
                                             << false << QStringList{u"frame DC3031"_s};
    QTest::newRow("split inside the head")
        << QList<QByteArray>{"\xFE\xF8", QByteArray("\x08\x02\xC1\x03", 4)} << false
        << QStringList{u"frame C1"_s};
    QTest::newRow("junk between frames")
        << QList<QByteArray>{"ab" + frame("\xC1") + "xyz" + frame("\xE2") + "!"} << false
        << QStringList{u"data 6162"_s, u"frame C1"_s, u"data 78797A"_s, u"frame E2"_s,
                       u"data 21"_s};
    QTest::newRow("payload holding 02")
        << QList<QByteArray>{frame(QByteArray("\x02\x02\x41\x02", 4))} << false
        << QStringList{u"frame 02024102"_s};
    QTest::newRow("empty payload")
        << QList<QByteArray>{frame({})} << false << QStringList{u"frame -"_s};
    QTest::newRow("end byte missing, next frame follows")
        << QList<QByteArray>{QByteArray("\xFE\xF8\x08\x02\xC1", 5) + status} << false
        << QStringList{u"broken FEF80802C1"_s, u"frame DE"_s};
    QTest::newRow("end byte missing, stream goes quiet")
        << QList<QByteArray>{QByteArray("\xFE\xF8\x08\x02\xC1", 5)} << true
        << QStringList{u"broken FEF80802C1"_s};
    QTest::newRow("partial head at the end waits")
        << QList<QByteArray>{"ab\xFE\xF8"} << false << QStringList{u"data 6162"_s};
    QTest::newRow("partial head at the end, quiet, is data")
        << QList<QByteArray>{"ab\xFE\xF8"} << true << QStringList{u"data 6162FEF8"_s};
    QTest::newRow("almost a head") << QList<QByteArray>{"\xFE\xF8", QByteArray("\x08\x01\x03", 3)}
                                   << false << QStringList{u"data FEF8080103"_s};
    QTest::newRow("reconnect datagram is no frame")
        << QList<QByteArray>{bridgeio::reconnectBroadcast("10.0.0.1")} << true
        << QStringList{u"data "_s + packedHex(bridgeio::reconnectBroadcast("10.0.0.1"))};

    QByteArray overlong = QByteArray("\xFE\xF8\x08\x02", 4) + QByteArray(300, 'A') + '\x03';
    QTest::newRow("payload beyond the limit")
        << QList<QByteArray>{overlong} << false
        << QStringList{u"broken "_s + packedHex(overlong.first(4 + FrameExtractor::MaxPayload)),
                       u"data "_s + packedHex(overlong.sliced(4 + FrameExtractor::MaxPayload))};

    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QTest::newRow("every byte value is data")
        << QList<QByteArray>{all} << false << QStringList{u"data "_s + packedHex(all)};

    QByteArray burst;
    QStringList many;
    for (int i = 0; i < 1000; ++i) {
        burst += frame(i % 2 ? "\xDE" : "\xDF");
        many.append(i % 2 ? u"frame DE"_s : u"frame DF"_s);
    }
    QTest::newRow("burst of a thousand frames") << QList<QByteArray>{burst} << false << many;
    QTest::newRow("burst cut every 7 bytes") << [&burst] {
        QList<QByteArray> chunks;
        for (qsizetype i = 0; i < burst.size(); i += 7)
            chunks.append(burst.mid(i, 7));
        return chunks;
    }() << false << many;
}

void TestSimulatorFrames::frames()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(bool, quiet);
    QFETCH(QStringList, items);
    QCOMPARE(extract(chunks, quiet), items);
}

void TestSimulatorFrames::heldBytesStayBounded()
{
    // Ten megabytes drawn from the frame's own bytes, so that heads, end bytes and broken frames
    // are everywhere: nothing is lost or invented, and little is ever held.
    static constexpr char Alphabet[] = {'\xFE', '\xF8', '\x08', '\x02', '\x03', 'A'};
    QRandomGenerator random(1234);
    FrameExtractor extractor;
    qsizetype in = 0;
    qsizetype out = 0;
    qsizetype frames = 0;
    for (int chunk = 0; chunk < 160; ++chunk) {
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        for (char &c : bytes)
            c = Alphabet[random.bounded(int(sizeof Alphabet))];
        in += bytes.size();
        extractor.append(bytes);
        for (auto item = extractor.next(); item.status != FrameExtractor::Status::NeedMore;
             item = extractor.next()) {
            const bool isFrame = item.status == FrameExtractor::Status::Frame;
            frames += isFrame;
            out += item.bytes.size() + (isFrame ? 5 : 0);
        }
        QVERIFY(extractor.held() <= FrameExtractor::MaxPayload + 4);
    }
    out += extractor.flush().bytes.size();
    QCOMPARE(out, in);
    QVERIFY(frames > 0);
    QCOMPARE(extractor.held(), 0);
}

void TestSimulatorFrames::randomCommandStreams()
{
    // Megabytes made of the commands' own characters: every byte comes out once, in order, and
    // whatever the splitter calls a command parses to a command or a reason for refusing it.
    static constexpr char Alphabet[] = "><><><IPTRMDBOK,*?.ED0123456789x";
    QRandomGenerator random(99);
    CommandSplitter splitter;
    QByteArray in;
    QByteArray out;
    const auto take = [&out](const CommandSplitter::Item &item) {
        out += item.bytes;
        if (item.status == CommandSplitter::Status::Command) {
            const TextCommand command = parseTextCommand(item.bytes);
            QVERIFY(command.kind != TextCommand::Kind::Invalid || !command.problem.isEmpty());
            QVERIFY(!describe(command).isEmpty());
        }
    };
    for (int chunk = 0; chunk < 64; ++chunk) {
        QByteArray bytes(random.bounded(1, 64 * 1024), Qt::Uninitialized);
        for (char &c : bytes)
            c = Alphabet[random.bounded(int(sizeof Alphabet - 1))];
        in += bytes;
        splitter.append(bytes);
        for (auto item = splitter.next(); item.status != CommandSplitter::Status::NeedMore;
             item = splitter.next())
            take(item);
        QVERIFY(splitter.held() <= CommandSplitter::MaxCommand);
        if (chunk % 8 == 7) {
            const auto rest = splitter.flush();
            for (const auto &item : rest)
                take(item);
        }
    }
    const auto rest = splitter.flush();
    for (const auto &item : rest)
        take(item);
    QCOMPARE(out.size(), in.size());
    QVERIFY(out == in);
}

void TestSimulatorFrames::commandStream_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("request split")
        << QList<QByteArray>{"><I", "R?"} << false << QStringList{u"command ><IR?"_s};
    QTest::newRow("passage waits for what follows its digits")
        << QList<QByteArray>{"><IP0512"} << false << QStringList{};
    QTest::newRow("passage ends when the stream goes quiet")
        << QList<QByteArray>{"><IP0512"} << true << QStringList{u"command ><IP0512"_s};
    QTest::newRow("passage split in its digits")
        << QList<QByteArray>{"><IP05", "12><IR?"} << false
        << QStringList{u"command ><IP0512"_s, u"command ><IR?"_s};
    QTest::newRow("two passages, star between")
        << QList<QByteArray>{QByteArray(turnstile::singlePassageWithDelay(u"5"))} << true
        << QStringList{u"command ><IP0500*"_s, u"command ><IP0501"_s};
    QTest::newRow("three commands in one")
        << QList<QByteArray>{turnstile::SinglePassageNoDelay.toByteArray()} << false
        << QStringList{u"command ><IP9900*"_s, u"command ><IP9901"_s, u"command ><T5E"_s};
    QTest::newRow("acknowledged command")
        << QList<QByteArray>{turnstile::RedLedThreeSecondsOk.toByteArray()} << true
        << QStringList{u"command OK><T6T03"_s};
    QTest::newRow("acknowledgement split before the start")
        << QList<QByteArray>{"xO", "K><T5E"} << false
        << QStringList{u"data x"_s, u"command OK><T5E"_s};
    QTest::newRow("data around a command")
        << QList<QByteArray>{"hello><T7E world"} << false
        << QStringList{u"data hello"_s, u"command ><T7E"_s, u"data  world"_s};
    QTest::newRow("a lone > waits, then is data")
        << QList<QByteArray>{"abc>", "x"} << false << QStringList{u"data abc>x"_s};
    QTest::newRow("configuration write with empty fields")
        << QList<QByteArray>{"><IR,1,10.0.0.2,", ",*"} << false
        << QStringList{u"command ><IR,1,10.0.0.2,,*"_s};
    QTest::newRow("direct command carries any bytes")
        << QList<QByteArray>{"><ID05", QByteArray("\x01*><\xFF", 5), "rest"} << false
        << QStringList{u"command ><ID05\\x01*><\\xFF"_s, u"data rest"_s};
    QTest::newRow("unknown family ends at the next start")
        << QList<QByteArray>{"><Zfoo><IR?"} << false
        << QStringList{u"command ><Zfoo"_s, u"command ><IR?"_s};
    QTest::newRow("endless digits are cut")
        << QList<QByteArray>{"><IP" + QByteArray(400, '7')} << false
        << QStringList{u"command ><IP"_s + QString(CommandSplitter::MaxCommand - 4, u'7'),
                       u"data "_s + QString(400 - CommandSplitter::MaxCommand + 4, u'7')};
}

void TestSimulatorFrames::commandStream()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(bool, quiet);
    QFETCH(QStringList, items);
    QCOMPARE(splitCommands(chunks, quiet), items);
}

void TestSimulatorFrames::commandTexts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("meaning");

    const auto row = [](const char *name, QByteArrayView text, const QString &meaning) {
        QTest::newRow(name) << text.toByteArray() << meaning;
    };
    row("green LED on", turnstile::GreenLedOn, u"green LED on"_s);
    row("red LED two seconds", turnstile::RedLedTwoSeconds, u"red LED on for 2000 ms"_s);
    row("auto answer", turnstile::autoAnswer(u"5"), u"green LED on for 5000 ms"_s);
    row("acknowledged", turnstile::RedLedThreeSecondsOk,
        u"acknowledgement, red LED on for 3000 ms"_s);
    row("output pulse", bridgeio::outputPulse(3), u"output 3 on for 300 ms"_s);
    row("unknown action", "><T5X", u"refused: action must be E, D or T<seconds>"_s);
    row("duration with two points", "><T5T1.2.3",
        u"refused: duration must be 0.001 to 3600 seconds"_s);
    row("passage", turnstile::passage(u"5", u"12"), u"passage for 12 person(s) within 5 s"_s);
    row("three-digit seconds", turnstile::validationTimeout(u"150", u"3"),
        u"validation time-out 150 s, 3 card(s) before offline"_s);
    row("passage short", "><IP051", u"refused: expected two numbers of two or more digits"_s);
    row("mode", turnstile::mode(turnstile::modes().at(4)), u"mode 4"_s);
    row("mode 6", "><IM6", u"refused: mode must be one digit 0 to 5"_s);
    row("direct", turnstile::directCommand(), u"direct command, 74 data bytes"_s);
    row("read", turnstile::ReadConfigRequest, u"configuration read"_s);
    row("write", turnstile::writeConfig(u"1- Polling ON", {u"10.0.0.2"_s, u" 10.0.0.3 "_s, {}}),
        u"configuration write: polling 1, remote antennas \"10.0.0.2\" \"10.0.0.3\" \"\""_s);
    row("write with the console's initial polling text",
        turnstile::writeConfig(u"Polling setup", {}), u"refused: polling must be 0, 1 or 2"_s);
    row("write without star", "><IR,1,10.0.0.2,,",
        u"refused: configuration must be ><IR,<polling>,<ip2>,<ip3>,<ip4>*"_s);
    row("write with a comma in an address", "><IR,1,10.0.0.2,a,b,c*",
        u"refused: configuration must be ><IR,<polling>,<ip2>,<ip3>,<ip4>*"_s);
    row("write with a bad address", "><IR,1,10.0.0.256,,*",
        u"refused: remote antenna 2 address is not an IPv4 address"_s);
    row("batch on", bridgeio::BatchOn, u"batch on: outputs 1-4 on for 4000 ms"_s);
    row("batch off", bridgeio::BatchOff, u"batch off: outputs 1-4 off"_s);
}

void TestSimulatorFrames::commandTexts()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, meaning);
    QCOMPARE(describe(parseTextCommand(text)), meaning);
}

QTEST_APPLESS_MAIN(TestSimulatorFrames)
#include "tst_simulator_frames.moc"
