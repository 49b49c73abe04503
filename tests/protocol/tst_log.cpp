#include "protocol/logline.h"
#include "protocol/meaning.h"
#include "support/sandbox.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno::logline;
using namespace kalveno::meaning;
using kalveno::Direction;
using kalveno::LinkKind;
using kalveno::test::framed;

Q_DECLARE_METATYPE(kalveno::meaning::Context)

namespace {

const Context TcpSent{LinkKind::Tcp, true};
const Context TcpReceived{LinkKind::Tcp, false};
const Context UdpSent{LinkKind::Udp, true};
const Context UdpReceived{LinkKind::Udp, false};
const Context SerialSent{LinkKind::Serial, true};
const Context SerialReceived{LinkKind::Serial, false};
const Context ReaderSent{LinkKind::Serial, true, true};
const Context ReaderReceived{LinkKind::Serial, false, true};

QByteArray bytes(const char *hexText)
{
    return QByteArray::fromHex(hexText);
}

const char *const Reply = "IR?,1,4,5,3,3,10.0.0.2,10.0.0.3,10.0.0.4*";

const QDateTime Noon(QDate(2026, 12, 7), QTime(14, 3, 9, 512), Qt::OffsetFromUTC, 3600);
const QByteArray Head = "2026-12-07T14:03:09.512+01:00\t"; // the time field of Noon
const QByteArray Event = Head + "sim\tevent\t0\t\t";

// The time field of a local time, worked out apart from the code under test.
QByteArray stamp(const QDateTime &local)
{
    const int minutes = local.offsetFromUtc() / 60;
    return local.toString(u"yyyy-MM-ddTHH:mm:ss.zzz"_s).toLatin1() + (minutes < 0 ? '-' : '+') +
           QTime(0, 0).addSecs(qAbs(minutes) * 60).toString(u"hh:mm"_s).toLatin1();
}

void accept(const char *name, const QByteArray &text, const Line &line)
{
    QTest::newRow(name) << text << true << line.time << line.link << int(line.direction)
                        << line.bytes << line.meaning;
}

void reject(const char *name, const QByteArray &text)
{
    QTest::newRow(name) << text << false << QDateTime() << QString() << 0 << QByteArray()
                        << QString();
}

} // namespace

// What the logs say: the meaning of a chunk on a link, and the session log's line.
class TestLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void meaning_data()
    {
        QTest::addColumn<Context>("context");
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QString>("meaning");
        const auto row = [](const char *name, Context context, const QByteArray &chunk,
                            const QString &meaning) {
            QTest::newRow(name) << context << chunk << meaning;
        };

        row("empty", TcpReceived, {}, u"no bytes"_s);
        row("output off then on for 2 s, in one write", TcpSent,
            framed("\xC4") + framed("\xDC"
                                    "01"),
            u"TTL 1 OUT off; TTL 1 OUT on for 2 s"_s);
        row("output 2 on by UDP", UdpSent, framed("\xC0"), u"TTL 2 OUT on"_s);
        row("status request shares its byte with output 3's lead", SerialSent,
            framed("\xDE") + framed("\xDE"
                                    "02"),
            u"status request input 1; TTL 3 OUT on for 2 s"_s);
        row("pulse", SerialSent, framed("><T3T.3"), u"TTL 3 pulse .3"_s);
        row("batch off", TcpSent, framed("><B,0,00,00,00,00"), u"batch off"_s);
        row("unknown payload", TcpSent, framed("\xDD\xEE"), u"frame with unknown command dd ee"_s);
        row("long unknown payload is cut", TcpSent, framed(QByteArray(20, 'A')),
            u"frame with unknown command 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 ... "
            "(20 bytes)"_s);
        row("empty payload", TcpSent, framed({}), u"frame without a command"_s);
        row("a payload runs to the first end byte", TcpSent,
            "\xFE\xF8\x08\x02\xC1" + framed("\xC4"),
            u"frame with unknown command c1 fe f8 08 02 c4"_s);
        row("cut frame", UdpSent, "\xFE\xF8\x08\x02\xC1", u"frame without its end byte"_s);
        row("frame inside text", SerialReceived, "ab" + framed("\xE2") + "cdefg",
            u"text, 2 bytes; TTL 3 OUT on; text, 5 bytes"_s);
        row("reconnect broadcast", UdpSent,
            "\xFE\xFF\x06"
            "127.0.0.1",
            u"reconnect broadcast for 127.0.0.1"_s);
        row("reconnect broadcast, empty address", UdpSent, "\xFE\xFF\x06",
            u"reconnect broadcast without an address"_s);
        row("reconnect head on TCP is no broadcast", TcpSent, "\xFE\xFF\x06",
            u"3 unrecognised bytes"_s);
        row("a bridge's answers by UDP", UdpReceived, "\xF3\xF4", u"input 1 off; input 2 on"_s);
        row("another console's broadcast", UdpReceived,
            "\xFE\xFF\x06"
            "10.0.0.9",
            u"reconnect broadcast for 10.0.0.9"_s);

        // The commands' own meanings are the grammar's (tst_command); here, how a chunk holds them.
        row("a frame ends a command", TcpSent, "><T5T00" + framed("><T3T.3"),
            u"green LED on for 0 s; TTL 3 pulse .3"_s);
        row("one person without delay", TcpSent, "><IP9900*><IP9901><T5E",
            u"passage: 0 persons, 99 s; passage: 1 person, 99 s; green LED on"_s);
        row("unknown command between text", TcpSent, "key><Q1*><T7E\r\n",
            u"text, 3 bytes; unknown command \"><Q1\"; drop the arm; text, 2 bytes"_s);
        row("turnstile command on serial is text", SerialSent, "><T7E", u"text, 5 bytes"_s);
        row("send test pattern", TcpSent, QByteArray("0123456789").repeated(100),
            u"send test pattern"_s);
        row("pattern piece", TcpReceived,
            QByteArray("0123456789").repeated(101).mid(7, 1000).insert(5, '\xF2'),
            u"part of the send test pattern, 1000 bytes; input 1 on"_s);

        row("status bytes between text", TcpReceived,
            "\xF5"
            "AB\xF2"
            "CD",
            u"input 2 off; text, 4 bytes; input 1 on"_s);
        row("short text inside binary", SerialReceived, "\x7Fhell\x01ok\x02",
            u"1 unrecognised byte; text, 4 bytes; 4 unrecognised bytes"_s);
        row("typed key", SerialSent, "\r", u"text, 1 byte"_s);
        row("configuration reply", TcpReceived, Reply,
            u"configuration reply: polling on, mode 4 - Free tst, time to pass 5 s, validation "
            "time-out 3 s, 3 cards before offline, remote antenna 2 at 10.0.0.2, remote antenna 3 "
            "at 10.0.0.3, remote antenna 4 at 10.0.0.4"_s);
        row("reply read with its status bytes in", TcpReceived, "IR?,2\xF4,9,x,,1,10.0.0.2\xF3,,*",
            u"configuration reply: reader rfidea, mode \"9\", not in the list, time to "
            "pass \"x\", validation time-out empty, 1 card before offline, remote antenna 2 at "
            "10.0.0.2\\xf3, remote antenna 3 without an address, remote antenna 4 without an "
            "address; input 2 on; input 1 off"_s);
        row("reply of 10 characters", TcpReceived, "IR?,1,4,5,", u"text, 10 bytes"_s);
        row("reply of 10 characters and a status byte", TcpReceived, "IR?,1,4\xF2,5,",
            u"text, 10 bytes; input 1 on"_s);
        row("reply on serial is text", SerialReceived, Reply, u"text, 41 bytes"_s);

        row("select antenna", ReaderReceived, bytes("0600010002ffff"),
            u"reader: select antenna 2"_s);
        row("select without a single antenna, then a status byte", ReaderReceived,
            bytes("0600010003ffff") + "\xF3",
            u"reader: select antenna, mask 03 names no single antenna; input 1 off"_s);
        row("card query cut short", ReaderReceived, bytes("050001"),
            u"reader: card query, cut short"_s);
        row("select cut before its mask", ReaderReceived, bytes("060001"),
            u"reader: antenna select cut short before its mask"_s);
        row("reader request without the simulator", SerialReceived, bytes("0600010002ffff"),
            u"7 unrecognised bytes"_s);
        row("antenna selected", ReaderSent, bytes("040000525a"),
            u"reader: antenna selected, checksum right"_s);
        row("no card, bad checksum", ReaderSent, bytes("04000e2cb4"),
            u"reader: no card, checksum wrong"_s);
        row("card", ReaderSent, bytes("0d0000007d1bc6a3500104e02403"),
            u"reader: card E0040150A3C61B7D, checksum right"_s);
        row("reply cut short", ReaderSent, bytes("0d000000"), u"reader: reply cut short"_s);

        row("bounded", TcpSent, framed("\xC1").repeated(21),
            u"TTL 1 OUT on; "_s.repeated(19) + u"TTL 1 OUT on; and 1 more"_s);
    }

    void meaning()
    {
        QFETCH(Context, context);
        QFETCH(QByteArray, chunk);
        QFETCH(QString, meaning);
        QCOMPARE(kalveno::meaning::of(context, chunk), meaning);
    }

    void linkNames()
    {
        // What a log's link name says: the kind of link (t, u, s; - for a program's own lines)
        // and a TCP link's port.
        QStringList said;
        for (const char *name : {"TCP 1024", "TCP 65535", "TCP 65536", "TCP 10x", "TCP ", "UDP",
                                 "COM0", "COM12", "COMx", "serial", "sim", "log"}) {
            const auto kind = kalveno::linkname::kindOf(QString::fromLatin1(name));
            const auto port = kalveno::linkname::tcpPort(QString::fromLatin1(name));
            said << (kind ? u"tus"_s.mid(int(*kind), 1) : u"-"_s) +
                        (port ? QString::number(*port) : QString());
        }
        QCOMPARE(said.join(u' '), u"t1024 t65535 - - - u s s - s - -"_s);
    }

    void logLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("meaning");

        const QByteArray frame("\xFE\xF8\x08\x02\xC1\x03", 6);
        accept("sent chunk", Head + "TCP 1024\tsent\t6\tfe f8 08 02 c1 03\tframe: output 1 on",
               {Noon, u"TCP 1024"_s, Direction::Sent, frame, u"frame: output 1 on"_s});
        accept("event at UTC",
               "2026-01-31T23:59:59.999+00:00\tsim\tevent\t0\t\tclient 127.0.0.1:40000 connected",
               {QDateTime(QDate(2026, 1, 31), QTime(23, 59, 59, 999), Qt::UTC), u"sim"_s,
                Direction::Event, QByteArray(), u"client 127.0.0.1:40000 connected"_s});
        accept("received at -03:30", "0001-02-28T00:00:00.000-03:30\tUDP\treceived\t1\t00\t",
               {QDateTime(QDate(1, 2, 28), QTime(0, 0), Qt::OffsetFromUTC, -12600), u"UDP"_s,
                Direction::Received, QByteArray(1, '\0'), QString()});
        const QDateTime local(QDate(2026, 7, 1), QTime(9, 0, 0, 5));
        accept("local time", stamp(local) + "\tCOM1\tsent\t1\t41\tA",
               {local, u"COM1"_s, Direction::Sent, "A", u"A"_s});
        const QDateTime current = now();
        accept("the current time", stamp(current.toLocalTime()) + "\tsim\tevent\t0\t\t",
               {current, u"sim"_s, Direction::Event, {}, {}});
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        accept("every byte value",
               Head + "serial\treceived\t256\t" + all.toHex(' ') + "\tall of them, NUL to FF",
               {Noon, u"serial"_s, Direction::Received, all, u"all of them, NUL to FF"_s});
        accept("every escape",
               Event + R"(a\\b\tc\rd\ne\x00\x1b\x7f\x80\x85 )" +
                   "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x99\x81" + R"( \\t \\x41)",
               {Noon, u"sim"_s, Direction::Event, QByteArray(),
                u"a\\b\tc\rd\ne"_s + QChar(0) +
                    u"\u001b\u007f\u0080\u0085 \u00e9\u20ac\U0001F641 \\t \\x41"_s});
        accept("line end LF", Event + "input 1 on\n",
               {Noon, u"sim"_s, Direction::Event, {}, u"input 1 on"_s});
        accept("line end CR LF", Event + "input 1 on\r\n",
               {Noon, u"sim"_s, Direction::Event, {}, u"input 1 on"_s});
        accept("spaces and a non-ASCII link kept", Head + "Ligne s\xC3\xA9rie\tsent\t0\t\t  two  ",
               {Noon, u"Ligne s\u00e9rie"_s, Direction::Sent, {}, u"  two  "_s});

        reject("empty line", "");
        reject("five fields", Head + "sim\tevent\t0\t");
        reject("seven fields", Event + "a\tb");
        reject("two lines", Event + "a\n" + Event + "b\n");
        reject("CR inside", Event + "a\rb");
        reject("raw control character", Event + "a\x01");
        reject("no offset", "2026-12-07T14:03:09.512\tsim\tevent\t0\t\tx");
        reject("Z for UTC", "2026-12-07T14:03:09.512Z\tsim\tevent\t0\t\tx");
        reject("-00:00", "2026-12-07T14:03:09.512-00:00\tsim\tevent\t0\t\tx");
        reject("no milliseconds", "2026-12-07T14:03:09+01:00\tsim\tevent\t0\t\tx");
        reject("month 13", "2026-13-07T14:03:09.512+01:00\tsim\tevent\t0\t\tx");
        reject("30 February", "2026-02-30T14:03:09.512+01:00\tsim\tevent\t0\t\tx");
        reject("offset of 60 minutes", "2026-12-07T14:03:09.512+01:60\tsim\tevent\t0\t\tx");
        reject("hour 24", "2026-12-07T24:00:00.000+01:00\tsim\tevent\t0\t\tx");
        reject("year 0", "0000-12-07T14:03:09.512+01:00\tsim\tevent\t0\t\tx");
        reject("space for T", "2026-12-07 14:03:09.512+01:00\tsim\tevent\t0\t\tx");
        reject("unknown direction", Head + "sim\trx\t0\t\tx");
        reject("upper-case direction", Head + "sim\tEVENT\t0\t\tx");
        reject("upper-case hex", Head + "UDP\tsent\t2\tFE F8\tx");
        reject("hex without spaces", Head + "UDP\tsent\t2\tfef8\tx");
        reject("two spaces", Head + "UDP\tsent\t2\tfe  f8\tx");
        reject("trailing space", Head + "UDP\tsent\t2\tfe f8 \tx");
        reject("not hex", Head + "UDP\tsent\t2\tfe zz\tx");
        reject("count too high", Head + "UDP\tsent\t3\tfe f8\tx");
        reject("count too low", Head + "UDP\tsent\t1\tfe f8\tx");
        reject("count for no bytes", Head + "UDP\tsent\t1\t\tx");
        reject("count with a leading zero", Head + "UDP\tsent\t02\tfe f8\tx");
        reject("signed count", Head + "UDP\tsent\t+2\tfe f8\tx");
        reject("no count", Head + "UDP\tsent\t\t\tx");
        reject("unknown escape", Event + R"(a\qb)");
        reject("lone backslash at the end", Event + "a\\");
        reject("short hex escape", Event + R"(a\x4)");
        reject("upper-case hex escape", Event + R"(a\x1B)");
    }

    void logLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, accepted);
        QFETCH(QDateTime, time);
        QFETCH(QString, link);
        QFETCH(int, direction);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, meaning);

        const std::optional<Line> parsed = parse(text);
        QCOMPARE(parsed.has_value(), accepted);
        if (!parsed)
            return;
        QCOMPARE(parsed->time, time);
        QCOMPARE(parsed->time.offsetFromUtc(), time.offsetFromUtc());
        QCOMPARE(parsed->link, link);
        QCOMPARE(int(parsed->direction), direction);
        QCOMPARE(parsed->bytes, bytes);
        QCOMPARE(parsed->meaning, meaning);
        QByteArray written = text;
        written.chop(text.endsWith("\r\n") ? 2 : text.endsWith('\n') ? 1 : 0);
        QCOMPARE(format({time, link, Direction(direction), bytes, meaning}), written);
        QCOMPARE(format(*parsed), written);
    }
};

QTEST_APPLESS_MAIN(TestLog)
#include "tst_log.moc"
