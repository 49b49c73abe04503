#include "app/mainwindow.h"
#include "app/settings.h"
#include "platform/locations.h"
#include "platform/serialcontrol.h"
#include "platform/sessionlog.h"
#include "platform/tcpcontrol.h"
#include "platform/trafficrecord.h"
#include "protocol/bridgeio.h"
#include "protocol/logline.h"
#include "protocol/rfid.h"
#include "support/console.h"
#include "traffic/logfile.h"
#include "traffic/trafficcounters.h"
#include "traffic/trafficexport.h"
#include "traffic/trafficmodel.h"
#include "traffic/trafficviews.h"
#include "traffic/trafficwindow.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <malloc.h>
#include <numeric>
#include <sys/stat.h>
#include <thread>

// There only when AddressSanitizer runs: its allocator is its own, which mallinfo2 does not see.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

using namespace Qt::StringLiterals;
using namespace kalveno;

namespace {

constexpr qint64 KiB = 1024;

QFileInfoList files(const QString &folder)
{
    return QDir(folder).entryInfoList({u"*.log"_s}, QDir::Files | QDir::NoSymLinks, QDir::Name);
}

// The text written to a temporary file and opened as a saved log; null where either fails.
std::unique_ptr<LogFile> openSaved(QTemporaryFile &file, const QByteArray &text)
{
    if (!file.open() || file.write(text) != text.size())
        return nullptr;
    file.close();
    QString error;
    return LogFile::open(file.fileName(), &error);
}

// The lines of the folder's session files in name order, read apart from the code under test; a
// line that does not parse comes back with the link "unparsed".
QList<logline::Line> readLog(const QString &folder)
{
    QList<logline::Line> lines;
    for (const QFileInfo &info : files(folder)) {
        QFile file(info.absoluteFilePath());
        file.open(QIODevice::ReadOnly);
        for (const QByteArray &text : file.readAll().split('\n'))
            if (!text.isEmpty())
                lines << logline::parse(text).value_or(
                    logline::Line{{}, u"unparsed"_s, {}, {}, {}});
    }
    return lines;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

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

QByteArray allLines(const TrafficSource &source, const TrafficModel &model)
{
    QList<int> rows(model.rowCount());
    std::iota(rows.begin(), rows.end(), 0);
    return trafficexport::logLines(source, model.keysOf(rows));
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

// The views of the traffic record: the traffic view's model over the record and over a saved
// log, its export and counters, and the session log on disk.
class TestRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A zone half an hour off whole hours, so that a time written in UTC, or offset in whole
    // hours only, shows.
    void initTestCase()
    {
        qputenv("TZ", "America/St_Johns");
        QVERIFY(test::insidePrivateNetwork());
    }

    void linesReadBack()
    {
        QTemporaryDir dir;
        TrafficRecord record;
        SessionLog log(record, dir.path(), 1024 * KiB, 4096 * KiB);
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        record.received(u"TCP 1024"_s, all);
        record.sent(u"COM1"_s, "\xfe\xf8\x03",
                    u"tab\t cr\r lf\n \\x41 nul%1 del\x7f c1\u0085 \u00e9 \u2713 \U0001D11E"_s.arg(
                        QChar(0)));
        record.sent(u"UDP"_s, {});
        record.linkEvent(u"TCP 1025"_s, u"closed by the peer"_s);
        record.setReaderLine(true);
        record.received(u"COM1"_s, rfid::cardQueryRequest());
        log.close();

        // Each line read back, and written again, is the line of its entry at its local time.
        const QList<logline::Line> lines = readLog(dir.path());
        QCOMPARE(lines.size(), record.end());
        for (const logline::Line &line : lines) {
            const TrafficEntry &e = record.at(&line - lines.data());
            QCOMPARE(logline::format(line),
                     logline::format({QDateTime::fromMSecsSinceEpoch(e.wallMs), e.link, e.direction,
                                      e.bytes, meaningOf(e)}));
        }
    }

    void rotationAndCap_data()
    {
        QTest::addColumn<qint64>("fileLimit");
        QTest::addColumn<qint64>("totalLimit");
        QTest::addColumn<int>("earlier"); // files of 20 KiB from an earlier session
        QTest::addColumn<bool>("allKept");
        // 200 entries make about 66 KB of lines.
        QTest::newRow("rotates, keeps all") << 4 * KiB << 1024 * KiB << 1 << true;
        QTest::newRow("earlier session goes first") << 8 * KiB << 80 * KiB << 2 << true;
        QTest::newRow("its own oldest go") << 8 * KiB << 32 * KiB << 1 << false;
        QTest::newRow("total below one file") << 64 * KiB << 16 * KiB << 0 << false;
    }

    void rotationAndCap()
    {
        QFETCH(qint64, fileLimit);
        QFETCH(qint64, totalLimit);
        QFETCH(int, earlier);
        QFETCH(bool, allKept);
        QTemporaryDir dir;
        for (int i = 0; i < earlier; ++i) {
            QFile file(dir.filePath(u"2000-01-01_00-00-0%1.log"_s.arg(i)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(20 * KiB, '\n')) > 0);
        }
        TrafficRecord record;
        SessionLog log(record, dir.path(), fileLimit, totalLimit);
        for (int i = 0; i < 200; ++i)
            record.received(u"COM1"_s, QByteArray::number(i).rightJustified(100, '.'));
        log.close();

        const QFileInfoList written = files(dir.path());
        qint64 total = 0, largest = 0;
        for (const QFileInfo &file : written) {
            total += file.size();
            largest = qMax(largest, file.fileName().startsWith(u"2000") ? 0 : file.size());
        }
        QCOMPARE_LE(largest, qMin(fileLimit, totalLimit));
        QCOMPARE_LE(total, totalLimit);
        const QList<logline::Line> lines = readLog(dir.path());
        QCOMPARE(lines.size() == 200, allKept);
        if (allKept && fileLimit < 8 * KiB) { // parts count on in decimal: the tenth is _000010
            QVERIFY(written.size() > 11);
            const QString session = written[1].fileName().chopped(4);
            QCOMPARE(written[10].fileName(), session + u"_000010.log"_s);
        }
        if (!allKept) // nothing earlier is left while its own lines go, and no more goes than needs
            QVERIFY(!written[0].fileName().startsWith(u"2000"_s) &&
                    total >= totalLimit - 2 * qMin(fileLimit, totalLimit));
        // In name order the files hold the newest entries, in order, up to the last.
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(lines[i].bytes, record.at(200 - lines.size() + i).bytes);
    }

    void capSparesWhatIsNotItsOwn_data()
    {
        // Planted before the log starts: name=KiB for a file, name>target for a link into another
        // folder, "live" for a second console writing there.
        QTest::addColumn<QStringList>("planted");
        QTest::addColumn<qint64>("totalLimit");
        QTest::addColumn<QStringList>("gone");
        QTest::newRow("other programs' .log files")
            << QStringList{u"notes.log=40"_s, u"app.log=40"_s, u"2000-01-01_00-00-00.txt=40"_s}
            << 40 * KiB << QStringList{};
        QTest::newRow("links, whatever their names")
            << QStringList{u"2000-01-01_00-00-00.log>data"_s, u"other.log>data"_s,
                           u"2000-01-01T00-00-01Z.log>nowhere"_s}
            << 20 * KiB << QStringList{};
        QTest::newRow("earlier versions' names go before those in UTC")
            << QStringList{u"2099-01-01_00-00-00.log=20"_s, u"2000-01-01T00-00-00Z.log=20"_s}
            << 40 * KiB << QStringList{u"2099-01-01_00-00-00.log"_s};
        QTest::newRow("a second console's live file")
            << QStringList{u"2000-01-01_00-00-00_000002.log=20"_s, u"live"_s} << 8 * KiB
            << QStringList{u"2000-01-01_00-00-00_000002.log"_s};
    }

    void capSparesWhatIsNotItsOwn()
    {
        QFETCH(QStringList, planted);
        QFETCH(qint64, totalLimit);
        QFETCH(QStringList, gone);
        QTemporaryDir dir, elsewhere;
        const QString data = elsewhere.filePath(u"data"_s);
        QVERIFY(test::TemporaryConfig::write(data, QByteArray(20 * KiB, '\n')));
        TrafficRecord otherRecord;
        std::unique_ptr<SessionLog> other;
        for (const QString &entry : planted) {
            if (entry == u"live") { // once its line is on disk
                other = std::make_unique<SessionLog>(otherRecord, dir.path(), 8 * KiB, 8 * KiB);
                otherRecord.received(u"COM1"_s, "written");
                QTRY_COMPARE(readLog(dir.path()).size(), 1);
            } else if (const qsizetype link = entry.indexOf(u'>'); link > 0) {
                QVERIFY(QFile::link(elsewhere.filePath(entry.mid(link + 1)),
                                    dir.filePath(entry.left(link))));
            } else {
                const QStringList file = entry.split(u'=');
                QVERIFY(test::TemporaryConfig::write(dir.filePath(file[0]),
                                                     QByteArray(file[1].toInt() * KiB, '\n')));
            }
        }
        const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::System);
        TrafficRecord record;
        SessionLog log(record, dir.path(), 8 * KiB, totalLimit);
        for (int i = 0; i < 10; ++i)
            record.received(u"COM1"_s, QByteArray::number(i).rightJustified(100, '.'));
        log.close();

        for (const QString &name : before)
            QVERIFY2(QFileInfo(dir.filePath(name)).isSymLink() ||
                         QFile::exists(dir.filePath(name)) || gone.contains(name),
                     qPrintable(name));
        for (const QString &name : gone)
            QVERIFY2(!QFileInfo::exists(dir.filePath(name)), qPrintable(name));
        QCOMPARE(test::readFile(data), QByteArray(20 * KiB, '\n'));
        QCOMPARE(readLog(dir.path()).size(), other ? 11 : 10);
    }

    // Links and a folder at the names the log would take: it moves on to free names, writes
    // nothing anywhere else, and names its files by UTC, which the test's zone is not.
    void plantedNames()
    {
        QTemporaryDir dir, elsewhere;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QString outside = elsewhere.filePath(u"outside"_s);
        QVERIFY(test::TemporaryConfig::write(outside, "outside"));
        for (int s = 0; s < 8; ++s) {
            const QString session =
                dir.filePath(now.addSecs(s).toString(u"yyyy-MM-dd'T'HH-mm-ss'Z'"_s));
            if (s < 3)
                QVERIFY(QFile::link(elsewhere.filePath(u"first"_s), session + u".log"_s));
            QVERIFY(QFile::link(outside, session + u"_000002.log"_s));
            QVERIFY(QDir().mkdir(session + u"_000003.log"_s));
        }
        TrafficRecord record;
        SessionLog log(record, dir.path(), KiB, 1024 * KiB);
        for (int i = 0; i < 20; ++i)
            record.received(u"COM1"_s, QByteArray::number(i).rightJustified(100, '.'));
        log.close();

        QVERIFY(!QFile::exists(elsewhere.filePath(u"first"_s)));
        QCOMPARE(test::readFile(outside), QByteArray("outside"));
        const QList<logline::Line> lines = readLog(dir.path());
        QVERIFY(lines.size() == 20 && lines[19].bytes == QByteArray("19").rightJustified(100, '.'));
        const QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::NoSymLinks);
        QCOMPARE(names.value(1).section(u'_', 1), u"000004.log"_s);
        QDateTime named = QDateTime::fromString(names[0].left(20), u"yyyy-MM-dd'T'HH-mm-ss'Z'"_s);
        named.setTimeSpec(Qt::UTC);
        QVERIFY2(named.toSecsSinceEpoch() - now.toSecsSinceEpoch() >= 3, qPrintable(names[0]));
    }

    void unwritable_data()
    {
        QTest::addColumn<bool>("full");
        QTest::newRow("full disk") << true;
        QTest::newRow("read-only folder") << false;
    }

    // The folder is a small tmpfs, in the test's mount namespace, that a file fills or that is
    // read-only.
    void unwritable()
    {
        QFETCH(bool, full);
        const QString why = full ? u"No space left on device"_s : u"Read-only file system"_s;
        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString options = full ? u"size=64k"_s : u"size=64k,ro"_s;
        QVERIFY(test::run(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, options, u"tmpfs"_s, folder}));
        QFile filler(folder + u"/filler"_s);
        if (full) {
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(4096, 'x')) == 4096) {
            }
        }

        constexpr qint64 Limit = 256 * KiB;
        TrafficRecord record(Limit);
        SessionLog log(record, folder + u"/sessions"_s, 1024 * KiB, 4096 * KiB);
        QSignalSpy failed(&log, &SessionLog::failed);
        QSignalSpy resumed(&log, &SessionLog::resumed);
        QSignalSpy cleared(&record, &TrafficRecord::backlogCleared);
        for (int i = 0; i < 100; ++i)
            record.received(u"COM1"_s, randomBytes(16 * KiB, i));
        QVERIFY(record.isBacklogged());
        QTRY_COMPARE(failed.count(), 1);
        const QString message = failed[0][0].toString();
        QVERIFY2(message.contains(folder) && message.contains(why), qPrintable(message));
        QCOMPARE(cleared.count(), 1); // the links held back go on
        for (int i = 0; i < 100; ++i)
            record.received(u"COM1"_s, randomBytes(16 * KiB, i));
        QCOMPARE_LE(record.memoryUsed(), Limit);
        QVERIFY(!record.isBacklogged());

        if (full)
            filler.remove();
        else
            QVERIFY(test::run(u"mount"_s, {u"-o"_s, u"remount,rw"_s, folder}));
        QTRY_COMPARE_WITH_TIMEOUT(resumed.count(), 1, 4 * SessionLog::RetryMs);
        QCOMPARE(failed.count(), 1); // reported once, not at every attempt
        record.sent(u"COM1"_s, "after");
        log.close();
        const QList<logline::Line> lines = readLog(folder + u"/sessions"_s);
        QVERIFY(test::run(u"umount"_s, {folder}));

        // The log's first line says how many entries are missing, and they are.
        const QRegularExpressionMatch note =
            QRegularExpression(u"^(\\d+) entries could not be written: "_s + why)
                .match(lines.value(0).meaning);
        QVERIFY(note.hasMatch() && lines[0].link == SessionLog::LinkName);
        QCOMPARE(note.captured(1).toLongLong() + lines.size() - 1, record.end());
        QCOMPARE(lines.last().bytes, QByteArray("after"));
    }

    // A TCP peer and a pseudo-terminal flood the console, whose record holds little: the links
    // are held back while the log catches up, and the log and the terminals have every byte in
    // order, once.
    void floodIsLoggedWhole()
    {
        test::TemporaryConfig config;
        test::Pty line;
        QVERIFY(config.writeConfig(test::configFor(" 1 ", "127.0.0.1")));
        QVERIFY(config.linkPort(1, line.slavePath()));
        QTcpServer bridge;
        QVERIFY(bridge.listen(QHostAddress::LocalHost, 1024));
        ConsoleSettings settings;
        settings.recordLimit = 16 * KiB;
        MainWindow window(settings);
        QTRY_VERIFY(bridge.hasPendingConnections());
        auto *tcpBox = control<TerminalBox>(window.designArea(), "TXT_TCP_WIN");
        test::Transcript shown[2] = {
            test::Transcript(tcpBox),
            test::Transcript(control<TerminalBox>(window.designArea(), "TXT_232_WIN"))};

        QByteArray in[2]; // TCP, serial
        qint64 peak = 0;
        connect(&window.record(), &TrafficRecord::appended, &window, [&](const TrafficEntry &e) {
            if (e.direction == Direction::Received && e.link != u"UDP")
                in[e.link == u"COM1"] += e.bytes;
            peak = qMax(peak, window.record().memoryUsed());
        });
        QSignalSpy cleared(&window.record(), &TrafficRecord::backlogCleared);
        const QByteArray sent[2] = {randomBytes(2048 * KiB, 1), randomBytes(2048 * KiB, 2)};
        bridge.nextPendingConnection()->write(sent[0]);
        std::thread writer([&] { line.write(sent[1]); });
        QTRY_COMPARE_WITH_TIMEOUT(in[0].size() + in[1].size(), 4096 * KiB, 120000);
        writer.join();
        QVERIFY(cleared.count() > 0);
        // Within its limit, but for the one chunk read while it was not yet backlogged.
        QCOMPARE_LE(peak, settings.recordLimit + TcpControl::ReadChunk + 4 * KiB);
        // The terminals show all but the input status bytes; the TCP one empties itself as it
        // goes, and stays under its cap plus one chunk.
        const auto withoutStatus = [](QByteArray bytes) {
            return bytes.removeIf([](char c) { return uchar(c) >= 0xF2 && uchar(c) <= 0xF5; });
        };
        QTRY_VERIFY(shown[0].text == withoutStatus(sent[0]) &&
                    shown[1].text == withoutStatus(sent[1]));
        QVERIFY(tcpBox->length() <= TcpDispatcher::TerminalCap + TcpControl::ReadChunk);
        QVERIFY(window.tcpLink().isUp() && window.serialLink().isUp());
        window.close();

        QByteArray logged[2];
        for (const logline::Line &l : readLog(locations::sessionsFolder())) {
            if (l.direction == Direction::Received && l.link != u"UDP")
                logged[l.link == u"COM1"] += l.bytes;
        }
        QVERIFY(logged[0] == sent[0]);
        QVERIFY(logged[1] == sent[1]);
    }

    // While the log is behind, the console leaves what arrives in the socket; a peer that closes
    // meanwhile loses none of it: it reaches the record and the terminal before the socket goes.
    void closingSocketLosesNothing()
    {
        ConsoleSettings settings;
        settings.recordLimit = 16 * KiB;
        test::Rig rig(settings);
        TrafficRecord &record = rig.record;
        record.setKept(true); // a log that stores nothing: the record stays behind
        QVERIFY(rig.connect());
        const test::Transcript shown(rig.find<TerminalBox>("TXT_TCP_WIN"));
        const QByteArray first(32 * KiB, 'a'), last(40 * KiB, 'b');
        rig.bridge.socket->write(first);
        QTRY_VERIFY(record.isBacklogged());
        rig.bridge.socket->write(last);
        rig.bridge.socket->disconnectFromHost();
        QTRY_COMPARE(rig.tcp.state(), int(TcpControl::Closing));
        rig.supervisor.TIM_CONNECT_TCP_Timer(); // the tick that drops the socket
        QByteArray recorded;
        for (qint64 s = record.first(); s < record.end(); ++s)
            recorded += record.at(s).direction == Direction::Received ? record.at(s).bytes : "";
        QCOMPARE(recorded, first + last);
        QCOMPARE(shown.text, first + last);
    }

    void filters_data()
    {
        QTest::addColumn<TrafficFilter>("filter");
        QTest::addColumn<QList<qint64>>("shown");
        QTest::newRow("everything") << TrafficFilter() << QList<qint64>{0, 1, 2, 3, 4, 5};
        QTest::newRow("one link") << filter({}, u"COM1"_s) << QList<qint64>{2, 3, 5};
        QTest::newRow("received only")
            << filter({}, {}, false, true, false) << QList<qint64>{1, 2, 5};
        QTest::newRow("no events")
            << filter({}, {}, true, true, false) << QList<qint64>{0, 1, 2, 4, 5};
        QTest::newRow("hex pairs, blanks ignored") << filter(u"F808 02"_s) << QList<qint64>{0, 4};
        QTest::newRow("a status byte by hex") << filter(u"f2"_s) << QList<qint64>{1};
        QTest::newRow("characters, any case") << filter(u"hELLo"_s) << QList<qint64>{2};
        QTest::newRow("meaning") << filter(u"ttl 1 out on"_s) << QList<qint64>{0};
        QTest::newRow("event text") << filter(u"PTS/3"_s) << QList<qint64>{3};
        QTest::newRow("search within a link") << filter(u"o"_s, u"COM1"_s) << QList<qint64>{2, 3};
        QTest::newRow("odd hex is text") << filter(u"f80"_s) << QList<qint64>{};
        QTest::newRow("a broken line by its text") << filter(u"\u00e9t"_s) << QList<qint64>{5};
    }

    // A broken line cannot say its link or direction: only a search hides it.
    void filters()
    {
        QFETCH(TrafficFilter, filter);
        QFETCH(QList<qint64>, shown);
        using K = TrafficKind;
        const TrafficRow rows[] = {
            {K::Sent, {}, u"TCP 1024"_s, OutputOn, u"frame: TTL 1 OUT on"_s},
            {K::Received, {}, u"TCP 1024"_s, "OK\r\n\xF2", u"input 1 on"_s},
            {K::Received, {}, u"COM1"_s, "Hello", {}},
            {K::Event, {}, u"COM1"_s, {}, u"opened /dev/pts/3"_s},
            {K::Sent, {}, u"UDP"_s, bridgeio::frame(bridgeio::inputStatusRequest(2)), u"status"_s},
            {K::Broken, {}, {}, {}, u"\u00e9t\u00e9"_s}};
        const TrafficMatcher matcher(filter);
        QList<qint64> passed;
        for (qint64 i = 0; i < qint64(std::size(rows)); ++i) {
            if (matcher.admits({rows[i].kind, rows[i].link}) && matcher.finds(rows[i]))
                passed << i;
        }
        QCOMPARE(passed, shown);
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
        // The rows' keys each once, in order, and only those the record still holds.
        const qint64 first = live.record.first();
        QCOMPARE(live.model.keysOf({1, 0, 0, -1, 99}), QList<qint64>({first, first + 1}));
        live.model.clear();
        QCOMPARE(live.model.rowCount(), 0);
        live.record.linkEvent(u"COM1"_s, u"after"_s);
        QTRY_COMPARE(allLines(live.source, live.model), live.lines({live.record.end() - 1}));
    }

    void csv_data()
    {
        QTest::addColumn<int>("kind"); // TrafficKind
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("meaning");
        QTest::addColumn<QString>("record"); // after the time
        const auto row = [](const char *name, TrafficKind kind, const QByteArray &bytes,
                            const QString &meaning, const QString &record) {
            QTest::newRow(name) << int(kind) << bytes << meaning << record;
        };
        using K = TrafficKind;
        row("an event", K::Event, {}, u"opened"_s, u"COM1,event,0,,,opened"_s);
        row("quotes and a comma", K::Sent, "OK", u"say \"hi\", twice"_s,
            u"COM1,sent,2,4f 4b,OK,\"say \"\"hi\"\", twice\""_s);
        row("a line end", K::Received, "a", u"one\r\ntwo"_s,
            u"COM1,received,1,61,a,\"one\r\ntwo\""_s);
        row("control bytes", K::Sent, QByteArray("\r\n\0\x7F\x85\xE9, \xA0", 9), u"x"_s,
            u"COM1,sent,9,0d 0a 00 7f 85 e9 2c 20 a0,"
            "\"\u2219\u2219\u2219\u2219\u2219\u00E9, \u00A0\",x"_s);
        // What a spreadsheet would run as a formula is text there.
        row("formulas", K::Sent, "=1+1", u"@SUM(1+1)"_s,
            u"COM1,sent,4,3d 31 2b 31,'=1+1,'@SUM(1+1)"_s);
        row("signs", K::Sent, "-2", u"+cmd|' /C calc'!A0"_s,
            u"COM1,sent,2,2d 32,'-2,'+cmd|' /C calc'!A0"_s);
        row("a tab first", K::Event, {}, u"\t=HYPERLINK(\"x\")"_s,
            u"COM1,event,0,,,\"'\t=HYPERLINK(\"\"x\"\")\""_s);
        row("a broken line", K::Broken, {}, u"not, a line"_s, u"COM1,broken,,,,\"not, a line\""_s);
    }

    // A record per row, the time with its UTC offset as the log writes it.
    void csv()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, meaning);
        QFETCH(QString, record);
        const QDateTime time(QDate(2026, 12, 7), QTime(4, 3, 9, 12), Qt::OffsetFromUTC, -12600);
        const TrafficRow row{TrafficKind(kind), time, u"COM1"_s, bytes, meaning};
        const QString written =
            row.kind == TrafficKind::Broken ? QString() : u"2026-12-07T04:03:09.012-03:30"_s;
        QCOMPARE(QString::fromUtf8(trafficexport::csvRecord(row)),
                 written + u',' + record + u"\r\n"_s);
    }

    // The file begins with a byte-order mark and a header, and takes rows larger than the
    // writer holds before it writes whole; the view shows the start of their bytes.
    void csvFile()
    {
        Live live;
        live.record.sent(u"COM1"_s, "OK", u"small"_s);
        live.record.sent(u"COM1"_s, QByteArray(512 * 1024, 'z'), u"big"_s);
        QTRY_COMPARE(live.model.rowCount(), 2);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(trafficexport::writeCsv(out, live.source, live.model.keys()));
        QCOMPARE(out.data(), "\xEF\xBB\xBFtime,link,direction,count,hex,text,meaning\r\n" +
                                 trafficexport::csvRecord(live.source.row(0)) +
                                 trafficexport::csvRecord(live.source.row(1)));
        QCOMPARE(live.model.index(1, TrafficModel::Hex).data().toString(),
                 u"7a "_s.repeated(31) + u"7a\u2026"_s);
        QCOMPARE(live.model.index(1, TrafficModel::Characters).data().toString(),
                 QString(64, u'z') + u'\u2026');
        // Each entry has its time on a steady clock too, from the record's start.
        QVERIFY(live.record.at(0).monotonicNs >= 0);
        QVERIFY(live.record.at(1).monotonicNs - live.record.at(0).monotonicNs < 60'000'000'000);
    }

    // File > Open log... and File > Export... begin where the session logs are; without links,
    // Send again stays off.
    void dialogsStartAtTheSessions()
    {
        const test::TemporaryConfig config;
        QVERIFY(QDir().mkpath(locations::sessionsFolder()));
        TrafficRecord record;
        TrafficViews views(record, nullptr, nullptr);
        views.showLive();
        QList<QAction *> actions;
        for (QWidget *window : QApplication::topLevelWidgets())
            actions += window->findChildren<QAction *>();
        QSet<QString> shown; // each dialog's folder
        for (QAction *action : std::as_const(actions)) {
            QVERIFY(!action->text().remove(u'&').startsWith(u"Send again") || !action->isEnabled());
            if (action->text() != u"&Open log..." && action->text() != u"&Export...")
                continue;
            QTimer::singleShot(0, &record, [&shown, action] {
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                shown << action->text() + u' ' + dialog->directory().absolutePath();
                dialog->reject();
            });
            action->trigger();
        }
        const QString sessions = QDir(locations::sessionsFolder()).absolutePath();
        QCOMPARE(shown,
                 QSet<QString>({u"&Open log... "_s + sessions, u"&Export... "_s + sessions}));
    }

    void savedLog()
    {
        const QDateTime noon(QDate(2026, 12, 7), QTime(14, 3, 9, 512), Qt::OffsetFromUTC, 3600);
        const auto line = [&noon](const char *link, Direction d, const QByteArray &bytes) {
            return logline::format({noon, QString::fromLatin1(link), d, bytes, u"it"_s});
        };
        const QByteArray sent = line("TCP 1024", Direction::Sent, "\xFE\x03");
        const QByteArray event = line("COM1", Direction::Event, {});
        // Longer than the file is read at a time.
        const QByteArray longer = line("COM1", Direction::Received, QByteArray(99999, 'x'));
        const QByteArray wrongCount =
            line("COM1", Direction::Received, "ab").replace("\t2\t", "\t3\t");
        const QByteArrayList lines{sent, longer, "not a log line", event + "\r", {}, wrongCount};
        QTemporaryFile file;
        const std::unique_ptr<LogFile> log =
            openSaved(file, lines.join('\n')); // the last without a line end
        QVERIFY(log);
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
        QCOMPARE(allLines(*log, model), lines.join('\n').replace('\r', "") + '\n');
        QCOMPARE(model.links(), QStringList({u"TCP 1024"_s, u"COM1"_s}));
        // Filters keep the lines they cannot read; a search finds them by their text.
        model.setFilter(filter({}, {}, false, true, false));
        QTRY_VERIFY(model.isCurrent());
        QCOMPARE(model.rowCount(), 4);
        model.setFilter(filter(u"LOG LINE"_s, {}, false, true, false));
        QTRY_COMPARE(allLines(*log, model), QByteArray("not a log line\n"));
    }

    // A line no log has (a foreign file, a damaged one) costs at most a row's worth to read: it
    // comes in broken rows, the last with its length, and the lines after it read as ever.
    void lineTooLong()
    {
        constexpr qint64 Length = 2 * LogFile::MaxLine + 5;
        const QByteArray after = logline::format(
            {QDateTime::currentDateTime(), u"COM1"_s, Direction::Sent, "a", u"it"_s});
        QTemporaryFile file;
        const std::unique_ptr<LogFile> log =
            openSaved(file, QByteArray(Length, 'x') + '\n' + after);
        QVERIFY(log);
        TrafficModel model(*log);
        model.setActive(true);
        QTRY_VERIFY(model.isCurrent());
        QCOMPARE(model.rowCount(), 4);
        const auto meaning = [&model](int row) {
            return model.index(row, TrafficModel::Meaning).data(Qt::ToolTipRole).toString();
        };
        QVERIFY(!meaning(0).contains(QLocale().toString(Length)));
        QVERIFY(meaning(2).contains(QLocale().toString(Length)));
        QCOMPARE(model.index(2, TrafficModel::Direction).data().toString(), u"\u26A0 broken"_s);
        QCOMPARE(meaning(3), u"it"_s);
    }

    // Opening a named pipe would wait for a writer for ever.
    void namedPipeIsRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"x.log"_s);
        QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QString error;
        QVERIFY(!LogFile::open(path, &error));
        QCOMPARE(error, u"not a regular file"_s);
    }

    // A view holds a bounded number of rows: a saved log is read no further, the live view lets
    // its oldest rows go.
    void rowLimit()
    {
        Live live;
        for (int i = 0; i < 10; ++i)
            live.record.linkEvent(u"COM1"_s, QString::number(i));
        QTemporaryFile file;
        const std::unique_ptr<LogFile> log =
            openSaved(file, live.lines({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
        QVERIFY(log);
        for (const TrafficSource *source : {static_cast<TrafficSource *>(log.get()),
                                            static_cast<TrafficSource *>(&live.source)}) {
            TrafficModel model(*source);
            model.setRowLimit(4);
            model.setActive(true);
            QTRY_VERIFY(model.isFull() || model.isCurrent());
            QCOMPARE(model.rowCount(), 4);
            QCOMPARE(model.index(0, TrafficModel::Meaning).data().toString(),
                     source == log.get() ? u"0"_s : u"6"_s);
            // A search shows later rows of a full view.
            model.setFilter(filter(u"9"_s));
            QTRY_COMPARE(model.rowCount(), 1);
            QVERIFY(!model.isFull());
        }
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
        // Clear lets the record go too: nothing shows its entries any more.
        for (QAction *action : window.findChildren<QAction *>()) {
            if (action->text() == u"Clear")
                action->trigger();
        }
        QCOMPARE(record.memoryUsed(), 0);
        QCOMPARE_LT(heapInUse(), steady - Limit / 2);
    }

    void bound_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<int>("size");    // of a chunk
        QTest::addColumn<int>("perRead"); // chunks written at once
        QTest::addColumn<int>("chunks");
        QTest::newRow("TCP, 20 bytes a read") << false << 20 << 1 << 3000;
        QTest::newRow("TCP, a byte a read") << false << 1 << 1 << 3000;
        QTest::newRow("TCP, bursts of 64 KiB") << false << 1024 << 64 << 640;
        QTest::newRow("serial, 20 bytes a read") << true << 20 << 1 << 2000;
    }

    // Chunks at a line's pace, each taken in a read of its own, or in bursts: the heap grows by
    // the record's bound and a fixed overhead (the sockets' buffers), not by the reads' buffers.
    void bound()
    {
        QFETCH(bool, serial);
        QFETCH(int, size);
        QFETCH(int, perRead);
        QFETCH(int, chunks);
        constexpr qint64 Limit = 256 * KiB;
        TrafficRecord record(Limit);
        test::Pty line;
        TcpControl tcp;
        SerialControl port([&line](int) { return line.slavePath(); });
        tcp.setRecord(&record);
        port.setRecord(&record);
        QByteArray read;
        connect(&tcp, &TcpControl::dataArrival, &tcp, [&] { read = tcp.getData(); });
        connect(&port, &SerialControl::dataWaiting, &port, [&] { port.input(&read); });
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost) &&
                tcp.connectTo(u"127.0.0.1"_s, server.serverPort()) &&
                server.waitForNewConnection(5000));
        const std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
        QVERIFY(port.setCommPort(1) && port.setSettings(u"9600,N,8,1") && port.setPortOpen(true));
        QTRY_COMPARE(tcp.state(), int(TcpControl::Connected));

        // One wait for every chunk: the test itself allocates nothing per chunk.
        qint64 arrived = 0, expected = 0;
        QEventLoop wait;
        QTimer timeOut;
        connect(&timeOut, &QTimer::timeout, &wait, &QEventLoop::quit);
        connect(&record, &TrafficRecord::appended, &wait, [&](const TrafficEntry &e) {
            if ((arrived += e.bytes.size()) >= expected)
                wait.quit();
        });
        const QByteArray bytes(qsizetype(size) * perRead, 'c');
        const qint64 before = heapInUse();
        for (expected = bytes.size(); expected <= qint64(chunks) * size; expected += bytes.size()) {
            QVERIFY(serial ? line.write(bytes) : peer->write(bytes) == bytes.size());
            timeOut.start(5000);
            wait.exec();
            QCOMPARE(arrived, expected);
        }
        QCOMPARE_LE(record.memoryUsed(), Limit);
        QCOMPARE_LE(heapInUse() - before, Limit + 128 * KiB);
    }

    // An entry larger than the whole bound leaves at once, and keeps its number.
    void entryBeyondTheBound()
    {
        TrafficRecord record(KiB);
        for (qint64 i = 0; i < 9; ++i)
            QCOMPARE(record.received(u"COM1"_s, QByteArray(2 * KiB, 'x')), i);
        QCOMPARE(record.first(), record.end());
    }
};

QTEST_MAIN(TestRecord)
#include "tst_record.moc"
