#include "app/mainwindow.h"
#include "app/settings.h"
#include "platform/locations.h"
#include "platform/sessionlog.h"
#include "platform/tcpcontrol.h"
#include "platform/trafficrecord.h"
#include "protocol/logline.h"
#include "protocol/rfid.h"
#include "support/console.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;
using namespace kalveno;
using Direction = TrafficEntry::Direction;

namespace {

constexpr qint64 KiB = 1024;

QFileInfoList files(const QString &folder)
{
    return QDir(folder).entryInfoList({u"*.log"_s}, QDir::Files, QDir::Name);
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

} // namespace

class TestSessionLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A zone half an hour off whole hours, so that a time written in UTC, or offset in whole
    // hours only, shows.
    void initTestCase() { qputenv("TZ", "America/St_Johns"); }

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
            QCOMPARE(
                logline::format(line),
                logline::format({QDateTime::fromMSecsSinceEpoch(e.wallMs), e.link,
                                 logline::Direction(int(e.direction)), e.bytes, meaningOf(e)}));
        }
    }

    void rotationAndCap_data()
    {
        QTest::addColumn<qint64>("fileLimit");
        QTest::addColumn<qint64>("totalLimit");
        QTest::addColumn<int>("earlier"); // files of 20 KiB from an earlier session
        QTest::addColumn<bool>("allKept");
        // 200 entries make about 66 KB of lines.
        QTest::newRow("rotates, keeps all") << 8 * KiB << 1024 * KiB << 1 << true;
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
        if (!allKept) // nothing earlier is left while its own lines go, and no more goes than needs
            QVERIFY(!written[0].fileName().startsWith(u"2000"_s) &&
                    total >= totalLimit - 2 * qMin(fileLimit, totalLimit));
        // In name order the files hold the newest entries, in order, up to the last.
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(lines[i].bytes, record.at(200 - lines.size() + i).bytes);
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
        QVERIFY(test::insidePrivateNetwork());
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
            if (l.direction == logline::Direction::Received && l.link != u"UDP")
                logged[l.link == u"COM1"] += l.bytes;
        }
        QVERIFY(logged[0] == sent[0]);
        QVERIFY(logged[1] == sent[1]);
    }
};

QTEST_MAIN(TestSessionLog)
#include "tst_sessionlog.moc"
