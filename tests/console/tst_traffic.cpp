#include "platform/tcpcontrol.h"
#include "platform/trafficrecord.h"
#include "protocol/bridgeio.h"
#include "protocol/logline.h"
#include "support/sandbox.h"
#include "traffic/logfile.h"
#include "traffic/trafficcounters.h"
#include "traffic/trafficmodel.h"
#include "traffic/trafficwindow.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>

#include <malloc.h>
#include <numeric>

// There only when AddressSanitizer runs: its allocator is its own, which mallinfo2 does not see.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

using namespace Qt::StringLiterals;
using namespace kalveno;

namespace {

const QByteArray OutputOn = bridgeio::frame(bridgeio::outputSwitch(1, true));

// A model over a record, told of every change as the traffic view tells it.
struct Live
{
    explicit Live(qint64 limit = TrafficRecord::DefaultLimit)
        : record(limit)
    {
        QObject::connect(&record, &TrafficRecord::appended, &model, &TrafficModel::sourceChanged);
        QObject::connect(&record, &TrafficRecord::trimmed, &model, &TrafficModel::sourceChanged);
        model.setActive(true);
    }
    QByteArray lines(const QList<qint64> &keys) const
    {
        QByteArray text;
        for (const qint64 key : keys)
            text += source.logLine(key) + '\n';
        return text;
    }
    TrafficRecord record;
    RecordSource source{record};
    TrafficModel model{source};
};

QByteArray allLines(const TrafficModel &model)
{
    QList<int> rows(model.rowCount());
    std::iota(rows.begin(), rows.end(), 0);
    return model.logLines(rows);
}

TrafficFilter filter(const QString &text, const QString &link = {}, bool sent = true,
                     bool received = true, bool events = true)
{
    return {link, sent, received, events, text};
}

qint64 heapInUse()
{
    const auto asan = __sanitizer_get_current_allocated_bytes;
    return qint64(asan ? asan() : mallinfo2().uordblks);
}

} // namespace

class TestTraffic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(test::insidePrivateNetwork()); }

    void filters_data()
    {
        QTest::addColumn<TrafficFilter>("filter");
        QTest::addColumn<QList<qint64>>("shown");
        QTest::newRow("everything") << TrafficFilter() << QList<qint64>{0, 1, 2, 3, 4};
        QTest::newRow("one link") << filter({}, u"COM1"_s) << QList<qint64>{2, 3};
        QTest::newRow("received only") << filter({}, {}, false, true, false) << QList<qint64>{1, 2};
        QTest::newRow("no events")
            << filter({}, {}, true, true, false) << QList<qint64>{0, 1, 2, 4};
        QTest::newRow("hex pairs, blanks ignored") << filter(u"F808 02"_s) << QList<qint64>{0, 4};
        QTest::newRow("a status byte by hex") << filter(u"f2"_s) << QList<qint64>{1};
        QTest::newRow("characters, any case") << filter(u"hELLo"_s) << QList<qint64>{2};
        QTest::newRow("meaning") << filter(u"ttl 1 out on"_s) << QList<qint64>{0};
        QTest::newRow("event text") << filter(u"PTS/3"_s) << QList<qint64>{3};
        QTest::newRow("search within a link") << filter(u"o"_s, u"COM1"_s) << QList<qint64>{2, 3};
        QTest::newRow("odd hex is text") << filter(u"f80"_s) << QList<qint64>{};
    }

    void filters()
    {
        QFETCH(TrafficFilter, filter);
        QFETCH(QList<qint64>, shown);
        Live live;
        live.model.setFilter(filter);
        live.record.sent(u"TCP 1024"_s, OutputOn);
        live.record.received(u"TCP 1024"_s, "OK\r\n\xF2");
        live.record.received(u"COM1"_s, "Hello");
        live.record.linkEvent(u"COM1"_s, u"opened /dev/pts/3"_s);
        live.record.sent(u"UDP"_s, bridgeio::frame(bridgeio::inputStatusRequest(2)));
        QTRY_VERIFY(live.model.isCurrent());
        QCOMPARE(allLines(live.model), live.lines(shown));
        QCOMPARE(live.model.links(), QStringList({u"TCP 1024"_s, u"COM1"_s, u"UDP"_s}));
    }

    void pauseTrimAndClear()
    {
        Live live(8 * 1024);
        const auto add = [&live](int n) {
            for (int i = 0; i < n; ++i)
                live.record.received(u"COM1"_s, QByteArray(1024, 'x'));
        };
        add(3);
        QTRY_COMPARE(live.model.rowCount(), 3);
        live.model.setPaused(true);
        const qint64 pausedAt = live.record.end();
        add(12); // the record forgets the three shown, and more
        QVERIFY(QSignalSpy(&live.model, &TrafficModel::updated).wait());
        QCOMPARE(live.model.rowCount(), int(qMax<qint64>(0, pausedAt - live.record.first())));
        live.model.setPaused(false);
        QTRY_COMPARE(live.model.rowCount(), int(live.record.end() - live.record.first()));
        QCOMPARE(live.model.logLines({0}), live.lines({live.record.first()}));
        live.model.clear();
        QCOMPARE(live.model.rowCount(), 0);
        live.record.linkEvent(u"COM1"_s, u"after"_s);
        QTRY_COMPARE(allLines(live.model), live.lines({live.record.end() - 1}));
    }

    void csv()
    {
        Live live;
        live.record.linkEvent(u"COM1"_s, u"opened"_s);
        live.record.sent(u"COM1"_s, "OK", u"say \"hi\", twice"_s);
        live.record.sent(u"COM1"_s, "a", u"one\r\ntwo"_s);
        live.record.sent(u"COM1"_s, QByteArray("\r\n\0\x7F\x85\xE9,", 7), u"x"_s);
        QTRY_COMPARE(live.model.rowCount(), 4);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(live.model.writeCsv(out));
        QString csv = QString::fromUtf8(out.data());
        const QString time = csv.section(u'\n', 1, 1).section(u',', 0, 0);
        QCOMPARE(QDateTime::fromString(time, Qt::ISODateWithMs),
                 QDateTime::fromMSecsSinceEpoch(live.record.at(0).wallMs));
        QCOMPARE(time.size(), 29); // with its UTC offset, as the log writes it
        csv.replace(QRegularExpression(u"^[^,\n]{29},"_s, QRegularExpression::MultilineOption),
                    u"T,"_s);
        QCOMPARE(
            csv,
            u"time,link,direction,count,hex,text,meaning\r\n"
            "T,COM1,event,0,,,opened\r\n"
            "T,COM1,sent,2,4f 4b,OK,\"say \"\"hi\"\", twice\"\r\n"
            "T,COM1,sent,1,61,a,\"one\r\ntwo\"\r\n"
            "T,COM1,sent,7,0d 0a 00 7f 85 e9 2c,\"\u2219\u2219\u2219\u2219\u2219\u00E9,\",x\r\n"_s);
    }

    void savedLog()
    {
        const QDateTime noon(QDate(2026, 12, 7), QTime(14, 3, 9, 512), Qt::OffsetFromUTC, 3600);
        const auto line = [&noon](const char *link, logline::Direction d, const QByteArray &bytes) {
            return logline::format({noon, QString::fromLatin1(link), d, bytes, u"it"_s});
        };
        const QByteArray sent = line("TCP 1024", logline::Direction::Sent, "\xFE\x03");
        const QByteArray event = line("COM1", logline::Direction::Event, {});
        // Longer than the file is read at a time.
        const QByteArray longer =
            line("COM1", logline::Direction::Received, QByteArray(99999, 'x'));
        const QByteArray wrongCount =
            line("COM1", logline::Direction::Received, "ab").replace("\t2\t", "\t3\t");
        const QByteArrayList lines{sent, longer, "not a log line", event + "\r", {}, wrongCount};
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(lines.join('\n')); // the last without a line end
        file.close();
        QString error;
        const std::unique_ptr<LogFile> log = LogFile::open(file.fileName(), &error);
        QVERIFY2(log, qPrintable(error));
        TrafficModel model(*log);
        model.setActive(true);
        QTRY_VERIFY(model.isCurrent());
        QStringList shown; // each row's direction and meaning
        for (int row = 0; row < model.rowCount(); ++row)
            shown << model.index(row, TrafficModel::Direction).data().toString() + u' ' +
                         model.index(row, TrafficModel::Meaning).data().toString();
        QCOMPARE(shown, QStringList({u"\u2192 sent it"_s, u"\u2190 received it"_s,
                                     u"\u26A0 broken not a log line"_s, u"\u2022 event it"_s,
                                     u"\u26A0 broken "_s,
                                     u"\u26A0 broken "_s + QString::fromUtf8(wrongCount)}));
        QCOMPARE(model.index(0, TrafficModel::Hex).data().toString(), u"fe 03"_s);
        QCOMPARE(allLines(model), lines.join('\n').replace('\r', "") + '\n');
        // Filters keep the lines they cannot read; a search finds them by their text.
        model.setFilter(filter({}, {}, false, true, false));
        QTRY_VERIFY(model.isCurrent());
        QCOMPARE(model.rowCount(), 4);
        model.setFilter(filter(u"LOG LINE"_s, {}, false, true, false));
        QTRY_COMPARE(allLines(model), QByteArray("not a log line\n"));
    }

    void counters_data()
    {
        // Each entry: s (sent), r (received) or e (event), then its bytes or text.
        QTest::addColumn<QByteArrayList>("entries");
        // Frames, status bytes, errors, reconnects, bytes sent, bytes received.
        QTest::addColumn<QList<qint64>>("expected");
        QTest::newRow("a frame sent")
            << QByteArrayList{"s" + OutputOn, "s" + OutputOn} << QList<qint64>{2, 0, 0, 0, 12, 0};
        QTest::newRow("frames and status received")
            << QByteArrayList{"s\xF2", "r" + OutputOn + OutputOn + "\xF3x\xF4\xF5\xF6"}
            << QList<qint64>{2, 3, 0, 0, 1, 17};
        QTest::newRow("TCP drops and comes back")
            << QByteArrayList{"econnected to a", "eclosed by the peer", "econnected to a",
                              "eerror: refused", "econnected to a"}
            << QList<qint64>{0, 0, 1, 2, 0, 0};
        QTest::newRow("serial port lost")
            << QByteArrayList{"ecannot open x: no", "eopened x", "elost: gone", "ereopened x"}
            << QList<qint64>{0, 0, 2, 1, 0, 0};
    }

    void counters()
    {
        QFETCH(QByteArrayList, entries);
        QFETCH(QList<qint64>, expected);
        TrafficRecord record;
        TrafficCounters counters;
        connect(&record, &TrafficRecord::appended, &counters, &TrafficCounters::count);
        for (const QByteArray &entry : entries) {
            const QByteArray what = entry.sliced(1);
            entry[0] == 's'   ? record.sent(u"L"_s, what)
            : entry[0] == 'r' ? record.received(u"L"_s, what)
                              : record.linkEvent(u"L"_s, QString::fromLatin1(what));
        }
        counters.sample(500);
        const TrafficCounters::Tally t = counters.tallies().value(0);
        QCOMPARE(QList<qint64>({t.frames, t.statusBytes, t.errors, t.reconnects, t.sentBytes,
                                t.receivedBytes}),
                 expected);
        QCOMPARE(QList<qint64>({t.sentRate, t.receivedRate}),
                 QList<qint64>({2 * t.sentBytes, 2 * t.receivedBytes}));
        counters.sample(500);
        QCOMPARE(counters.tallies().value(0).receivedRate, 0); // a link gone quiet
    }

    // A peer floods the link with sixteen times the record's size while the view is shown: the rows
    // follow the record, and the view keeps none of the bytes the record has let go.
    void floodThroughTcp()
    {
        constexpr qint64 Limit = 1024 * 1024;
        constexpr qint64 Total = 16 * Limit;
        TrafficRecord record(Limit);
        TcpControl tcp;
        tcp.setRecord(&record);
        connect(&tcp, &TcpControl::dataArrival, &tcp, [&tcp] { tcp.getData(); });
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        TrafficWindow window(record);
        window.show();
        TrafficModel &model = window.model();
        QVERIFY(tcp.connectTo(u"127.0.0.1"_s, server.serverPort()));
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket *peer = server.nextPendingConnection();
        QTRY_COMPARE(tcp.state(), int(TcpControl::Connected));

        // The peer sends a MiB each time the view has taken in a batch, so that the view shows many
        // batches; the heap is read when the peer has nothing left to send and the record is full.
        qint64 written = 0, steady = -1, peak = 0;
        const auto send = [&] {
            for (int i = 0; i < 16 && written < Total; ++i)
                written += peer->write(QByteArray(64 * 1024, '\x55'));
        };
        connect(&model, &TrafficModel::updated, peer, [&] {
            QVERIFY(model.rowCount() <= record.end() - record.first());
            if (peer->bytesToWrite() == 0 && written >= Total / 4) {
                steady = steady < 0 ? heapInUse() : steady;
                peak = qMax(peak, heapInUse());
            }
            send();
        });
        send();
        const QList<TrafficCounters::Tally> &tallies = window.counters()->tallies();
        QTRY_COMPARE_WITH_TIMEOUT(tallies.isEmpty() ? 0 : tallies.last().receivedBytes, Total,
                                  60000);
        QTRY_VERIFY(model.isCurrent());
        QCOMPARE(model.rowCount(), int(record.end() - record.first()));
        QVERIFY(steady > 0);
        QVERIFY2(peak - steady < Limit, qPrintable(u"%1 bytes more"_s.arg(peak - steady)));
    }
};

QTEST_MAIN(TestTraffic)
#include "tst_traffic.moc"
