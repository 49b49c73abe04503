#include "protocol/logline.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno::logline;

namespace {

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

class TestLogLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_data()
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
               {QDateTime(QDate(2026, 1, 31), QTime(23, 59, 59, 999), Qt::UTC),
                u"sim"_s,
                Direction::Event,
                {},
                u"client 127.0.0.1:40000 connected"_s});
        accept("received at -03:30", "0001-02-28T00:00:00.000-03:30\tUDP\treceived\t1\t00\t",
               {QDateTime(QDate(1, 2, 28), QTime(0, 0), Qt::OffsetFromUTC, -12600),
                u"UDP"_s,
                Direction::Received,
                QByteArray(1, '\0'),
                {}});
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
               Event + R"(a\\b\tc\rd\ne\x00\x1b\x7f\x85 )" +
                   "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" + R"( \\t \\x41)",
               {Noon,
                u"sim"_s,
                Direction::Event,
                {},
                u"a\\b\tc\rd\ne"_s + QChar(0) +
                    u"\u001b\u007f\u0085 \u00e9\u20ac\U0001F600 \\t \\x41"_s});
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

    void lines()
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

QTEST_APPLESS_MAIN(TestLogLine)
#include "tst_logline.moc"
