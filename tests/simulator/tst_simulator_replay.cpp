#include "simulator/linkreplay.h"
#include "simulator/replayscript.h"
#include "support/programs.h"
#include "support/sandbox.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;
using Kind = ReplayStep::Kind;

namespace {

const QDateTime Start(QDate(2026, 12, 7), QTime(14, 3, 9, 0), Qt::OffsetFromUTC, 3600);

// A line of a session log at `ms` after Start, written apart from the code under test.
QByteArray line(qint64 ms, const char *link, const char *direction, const QByteArray &bytes = {},
                const char *meaning = "")
{
    return Start.addMSecs(ms).toString(u"yyyy-MM-ddTHH:mm:ss.zzz"_s).toLatin1() + "+01:00\t" +
           link + '\t' + direction + '\t' + QByteArray::number(bytes.size()) + '\t' +
           bytes.toHex(' ') + '\t' + meaning + '\n';
}

// Steps in a few words: "ab" the console sends ab, ">xy" the bridge sends xy, "-" the console
// sends an empty datagram, "|" it connects, "drop" the bridge closes, "close" the console does;
// "@n" after any of them, its recorded gap in ms.
LinkScript steps(const QString &words)
{
    LinkScript script{LinkScript::Kind::Tcp, 1024, u"TCP 1024"_s, {}};
    int line = 0;
    for (const QString &word : words.split(u' ', Qt::SkipEmptyParts)) {
        const QString what = word.section(u'@', 0, 0);
        ReplayStep step;
        step.line = ++line;
        step.gapMs = word.section(u'@', 1).toLongLong();
        step.kind = what == u"|"            ? Kind::Connect
                    : what == u"drop"       ? Kind::BridgeCloses
                    : what == u"close"      ? Kind::ConsoleCloses
                    : what.startsWith(u'>') ? Kind::Play
                                            : Kind::Expect;
        if (step.kind == Kind::Play)
            step.bytes = what.sliced(1).toLatin1();
        else if (step.kind == Kind::Expect && what != u"-")
            step.bytes = what.toLatin1();
        script.steps.append(step);
    }
    return script;
}

// The script's steps in the words above, per link.
QString words(const ReplayScript &script)
{
    QStringList links;
    for (const LinkScript &link : script.links) {
        QStringList out{link.name + u':'};
        for (const ReplayStep &step : link.steps) {
            const QString bytes = QString::fromLatin1(step.bytes);
            out << (step.kind == Kind::Connect         ? u"|"_s
                    : step.kind == Kind::BridgeCloses  ? u"drop"_s
                    : step.kind == Kind::ConsoleCloses ? u"close"_s
                    : step.kind == Kind::Play          ? u">"_s + bytes
                                                       : bytes) +
                       (step.gapMs ? u"@%1"_s.arg(step.gapMs) : QString());
        }
        links << out.join(u' ');
    }
    return links.join(u"; "_s);
}

// The simulator started with these arguments, in this folder, its standard output kept.
struct Replayer
{
    explicit Replayer(const QStringList &arguments, const QString &folder = {})
    {
        process.setWorkingDirectory(folder);
        process.start(QStringLiteral(KALVENO_SIMULATOR), arguments);
    }
    ~Replayer()
    {
        process.kill();
        process.waitForFinished(3000);
    }
    bool waitFor(const QString &text, int timeoutMs = 5000)
    {
        return QTest::qWaitFor(
            [&] {
                said += QString::fromLocal8Bit(process.readAllStandardOutput());
                return said.contains(text);
            },
            timeoutMs);
    }
    QProcess process;
    QString said;
};

} // namespace

// Replay of a session log: the log read into a script per link, each link's matching and
// timing, and the simulator that replays it on real sockets.
class TestSimulatorReplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(kalveno::test::insidePrivateNetwork()); }

    void matching_data()
    {
        // What the console sends, a chunk at a time; after each, what the bridge sent ("+x") and
        // each divergence ("!came:" then W waiting, E past the end, D<n> n bytes dropped and then
        // as the log has it, S<n> n entries skipped), the chunks' results joined by "|".
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("chunks");
        QTest::addColumn<QString>("trace");
        const auto row = [](const char *name, const char *script, const char *chunks,
                            const char *trace) {
            QTest::newRow(name) << QString::fromLatin1(script)
                                << QString::fromLatin1(chunks).split(u' ')
                                << QString::fromLatin1(trace);
        };
        row("entry by entry", "ab >x cd >y", "ab cd", "+x|+y");
        row("entries in one chunk", "ab >x cd >y", "abcd", "+x +y");
        row("an entry in pieces", "abcd >x", "a b c d", "|||+x");
        row("pieces across entries", "ab >x cd >y", "abc d", "+x|+y");
        row("bytes before an entry", "ab >x", "zzab", "!zzab:D2 +x");
        row("an entry left out, its answer too", "ab >x cd >y", "cd", "!cd:S2 +y");
        row("an entry changed: waits for it", "ab >x", "zz ab", "!zz:W|+x");
        row("changed in its middle", "abcd >x", "ab zd abcd", "|!abzd:W|+x");
        row("the right bytes after the wrong ones", "ab >x cd", "zzzab cd", "!zzzab:D3 +x|");
        row("within the look-ahead", "a0 a1 a2 a3 a4 a5 a6 a7 >x", "a7", "!a7:S7 +x");
        row("beyond the look-ahead", "a0 a1 a2 a3 a4 a5 a6 a7 a8", "a8", "!a8:W");
        row("not past a connection", "ab | cd >x", "cd", "!cd:W");
        row("past the log's end", "ab >x", "abc", "!c:E +x");
        row("an empty datagram", "ab - >x", "ab", "+x");
    }

    void matching()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, chunks);
        QFETCH(QString, trace);
        LinkReplay replay(steps(script), {u"s.log"_s}, 0, true);
        const LinkReplay::Peer peer{true, 1};
        QStringList results;
        for (const QString &chunk : std::as_const(chunks)) {
            QStringList result;
            for (const LinkReplay::Divergence &d : replay.take(chunk.toLatin1(), 0)) {
                const QString how = d.expected < 0  ? u"E"_s
                                    : d.resumed < 0 ? u"W"_s
                                    : d.skipped > 0 ? u"S%1"_s.arg(d.skipped)
                                                    : u"D%1"_s.arg(d.dropped);
                result << u"!%1:%2"_s.arg(QString::fromLatin1(d.came), how);
                QVERIFY(replay.describe(d).startsWith(u"divergence on TCP 1024 "_s));
            }
            qint64 wait = 0;
            for (auto a = replay.next(0, peer, &wait); a.kind != LinkReplay::Action::Kind::None;
                 a = replay.next(0, peer, &wait))
                result << u"+"_s + QString::fromLatin1(a.bytes);
            results << result.join(u' ');
        }
        QCOMPARE(results.join(u'|'), trace);
    }

    void timing_data()
    {
        // Calls in turn: "<ms> take <bytes>", "<ms> peer <generation, 0 for none>", and
        // "<ms> <what next() gives>": "+x" sent, "drop", "wait <ms>", or "-" (waits for the
        // console).
        QTest::addColumn<QString>("script");
        QTest::addColumn<double>("speed");
        QTest::addColumn<QStringList>("calls");
        const auto row = [](const char *name, const char *script, double speed, const char *calls) {
            QTest::newRow(name) << QString::fromLatin1(script) << speed
                                << QString::fromLatin1(calls).split(u", "_s);
        };
        row("an answer after the bridge's delay", "ab >x@20", 1,
            "0 -, 100 take ab, 100 wait 20, 119 wait 1, 120 +x");
        row("unasked, at its distance", "| >x@1500 >y@300", 1,
            "0 wait 1500, 1500 +x, 1500 wait 300, 1800 +y");
        row("twice as fast", "| >x@1500", 2, "0 wait 750, 750 +x");
        row("at once", "| >x@1500 >y@900", 0, "0 +x, 0 +y");
        row("from when the chunk before went", "| >x@100 >y@100", 1,
            "0 wait 100, 150 +x, 150 wait 100, 250 +y");
        row("no peer, nothing sent", "| >x", 1, "0 peer 0, 0 -, 5 peer 1, 5 +x");
        row("closed by the bridge, the console's reconnection awaited", "| >x drop@10 close | >y@5",
            1, "0 +x, 0 wait 10, 10 drop, 10 peer 0, 10 -, 20 peer 2, 20 wait 5, 25 +y");
        row("the console's close awaited", "| close | >y", 1, "0 -, 7 peer 0, 7 -, 9 peer 2, 9 +y");
    }

    void timing()
    {
        QFETCH(QString, script);
        QFETCH(double, speed);
        QFETCH(QStringList, calls);
        LinkReplay replay(steps(script), {u"s.log"_s}, speed, true);
        LinkReplay::Peer peer{true, 1};
        for (const QString &call : std::as_const(calls)) {
            const qint64 now = call.section(u' ', 0, 0).toLongLong();
            const QString what = call.section(u' ', 1);
            if (what.startsWith(u"take ")) {
                QVERIFY(replay.take(what.sliced(5).toLatin1(), now).isEmpty());
                continue;
            }
            if (what.startsWith(u"peer ")) {
                peer = {what != u"peer 0", what.sliced(5).toLongLong()};
                continue;
            }
            qint64 wait = 0;
            const LinkReplay::Action action = replay.next(now, peer, &wait);
            const QString got = action.kind == LinkReplay::Action::Kind::Send
                                    ? u"+"_s + QString::fromLatin1(action.bytes)
                                : action.kind == LinkReplay::Action::Kind::Drop ? u"drop"_s
                                : wait >= 0 ? u"wait %1"_s.arg(wait)
                                            : u"-"_s;
            QCOMPARE(got, what);
        }
        QVERIFY(replay.finished());
    }

    void scripts_data()
    {
        // The files' lines; what the script holds, in the words of steps(), or the start of the
        // error; and a warning, if any.
        QTest::addColumn<QByteArrayList>("files");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("warning");
        const QByteArray connected = line(0, "TCP 1024", "event", {}, "connected to 10.0.0.9:1024");
        QTest::newRow("the console's log")
            << QByteArrayList{connected + line(0, "COM1", "event", {}, "opened /dev/ttyUSB0") +
                              line(50, "TCP 1024", "sent", "ab", "text") +
                              line(70, "TCP 1024", "received", "cd", "text") +
                              line(80, "UDP", "sent", "ef") + line(90, "COM1", "sent", "gh") +
                              line(95, "COM1", "received", "ij") +
                              line(100, "TCP 1024", "event", {}, "closed by the peer") +
                              line(100, "TCP 1024", "event", {}, "closed") +
                              line(110, "TCP 1024", "event", {}, "error: refused") +
                              line(1200, "TCP 1025", "event", {}, "connected to 10.0.0.9:1025")}
            << u"TCP 1024: | ab@50 >cd@20 drop@30 close; COM1: | gh@90 >ij@5; UDP: ef@80; "
               u"TCP 1025: |@1200"_s
            << QString();
        QTest::newRow("the simulator's log: each chunk once, as it was read")
            << QByteArrayList{line(0, "sim", "event", {}, "listening tcp1 127.0.0.1:1024") +
                              line(0, "TCP 1024", "event", {}, "client 127.0.0.1:5 connected") +
                              line(10, "TCP 1024", "received", "abcd") +
                              line(10, "TCP 1024", "received", "ab", "frame: x") +
                              line(12, "TCP 1024", "sent", "y", "status") +
                              line(20, "serial", "event", {}, "line opened by a program") +
                              line(30, "serial", "received", "s") +
                              line(40, "TCP 1024", "event", {},
                                   "client 127.0.0.1:5 gone: dropped") +
                              line(50, "TCP 1024", "event", {}, "client 127.0.0.1:6 connected") +
                              line(60, "TCP 1024", "event", {},
                                   "client 127.0.0.1:6 gone: closed by the client")}
            << u"TCP 1024: | abcd@10 >y@2 drop@28 |@10 close@10; serial: |@20 s@10"_s << QString();
        QTest::newRow("files in turn, side from the first")
            << QByteArrayList{line(0, "COM2", "sent", "a"), line(5, "TCP 1024", "received", "b")}
            << u"COM2: a; TCP 1024: >b@5"_s << QString();
        QTest::newRow("entries the log lost")
            << QByteArrayList{line(0, "log", "event", {}, "12 entries could not be written: full")}
            << QString() << u"x0.log:1: 12 entries could not be written"_s;
        QTest::newRow("a link of no bridge")
            << QByteArrayList{line(0, "CAN", "sent", "a")} << QString()
            << u"x0.log:1: link CAN is not the bridge's"_s;
        QTest::newRow("a broken line")
            << QByteArrayList{line(0, "UDP", "sent", "a") + "2026-12-07\tUDP\tsent\n"}
            << u"!x0.log:2: not a line of a session log"_s << QString();
        QTest::newRow("a blank line")
            << QByteArrayList{line(0, "UDP", "sent", "a"), "\n" + line(0, "UDP", "sent", "a")}
            << u"!x1.log:1: not a line of a session log"_s << QString();
        QTest::newRow("both sides in one file")
            << QByteArrayList{line(0, "COM1", "sent", "a") + line(0, "serial", "sent", "a")}
            << u"!x0.log:2: the console's and the simulator's lines"_s << QString();
        QTest::newRow("both sides in two files")
            << QByteArrayList{line(0, "COM1", "sent", "a"), line(0, "sim", "event")}
            << u"!x1.log: the log of the other side"_s << QString();
        QTest::newRow("bytes on two serial ports")
            << QByteArrayList{line(0, "COM1", "sent", "a") +
                              line(0, "COM3", "event", {}, "opened") + line(1, "COM3", "sent", "b")}
            << u"!x0.log:3: bytes on COM3 after COM1"_s << QString();
    }

    void scripts()
    {
        QFETCH(QByteArrayList, files);
        QFETCH(QString, expected);
        QFETCH(QString, warning);
        QTemporaryDir dir;
        QStringList paths;
        for (const QByteArray &content : std::as_const(files)) {
            paths << dir.filePath(u"x%1.log"_s.arg(paths.size()));
            QVERIFY(kalveno::test::TemporaryConfig::write(paths.last(), content));
        }
        QString error;
        const std::optional<ReplayScript> script = ReplayScript::read(paths, &error);
        if (expected.startsWith(u'!')) {
            QVERIFY(!script);
            QVERIFY2(error.startsWith(dir.filePath(expected.sliced(1))), qPrintable(error));
            return;
        }
        QVERIFY2(script, qPrintable(error));
        QCOMPARE(words(*script), expected);
        QCOMPARE(script->warnings.isEmpty(), warning.isEmpty());
        if (!warning.isEmpty())
            QVERIFY2(script->warnings.constFirst().startsWith(dir.filePath(warning)),
                     qPrintable(script->warnings.constFirst()));
    }

    void refusedOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("firmware with a replay")
            << QStringList{u"--replay"_s, u"x.log"_s, u"--polling"_s, u"1"_s}
            << u"--polling sets the firmware"_s;
        QTest::newRow("speed without a replay")
            << QStringList{u"--replay-speed"_s, u"2"_s} << u"--replay-speed needs --replay"_s;
        QTest::newRow("a speed below 0")
            << QStringList{u"--replay"_s, u"x.log"_s, u"--replay-speed"_s, u"-1"_s}
            << u"--replay-speed takes a number"_s;
        QTest::newRow("a log over what it replays")
            << QStringList{u"--replay"_s, u"x.log"_s, u"--log"_s, u"./x.log"_s}
            << u"--log would replace x.log"_s;
    }

    // The program refuses what it cannot do as asked, and says why: exit status 2 for the command
    // line, 1 for a log with a broken line.
    void refusedOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(kalveno::test::TemporaryConfig::write(dir.filePath(u"x.log"_s),
                                                      line(0, "UDP", "sent", "a")));
        Replayer sim(arguments, dir.path());
        QVERIFY(sim.process.waitForFinished(5000));
        QCOMPARE(sim.process.exitCode(), 2);
        QVERIFY(sim.process.readAllStandardError().contains(error.toLocal8Bit()));
        QVERIFY(QFileInfo(dir.filePath(u"x.log"_s)).size() > 0);
    }

    void brokenLogRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"session.log"_s);
        QVERIFY(kalveno::test::TemporaryConfig::write(
            path,
            line(0, "UDP", "sent", "a") + line(5, "UDP", "sent", "b").replace("\t1\t", "\t2\t")));
        Replayer sim({u"--replay"_s, path, u"--tcp-port"_s, u"0"_s, u"--tcp2-port"_s, u"0"_s,
                      u"--udp-port"_s, u"0"_s});
        QVERIFY(sim.process.waitForFinished(5000));
        QCOMPARE(sim.process.exitCode(), 1);
        QCOMPARE(
            sim.process.readAllStandardError(),
            (u"kalveno-bridge-sim: %1:2: not a line of a session log\n"_s.arg(path)).toLocal8Bit());
    }

    void divergence_data()
    {
        QTest::addColumn<bool>("strict");
        QTest::newRow("strict: the replay ends") << true;
        QTest::newRow("lenient: it waits for the entry") << false;
    }

    // A log edited to diverge: the console asked for input 2's status there, and asks for input
    // 1's now.
    void divergence()
    {
        QFETCH(bool, strict);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"edited.log"_s);
        QVERIFY(kalveno::test::TemporaryConfig::write(
            path, line(0, "TCP 1024", "event", {}, "connected to 127.0.0.1:1024") +
                      line(100, "TCP 1024", "sent", kalveno::test::framed("\xDF")) +
                      line(110, "TCP 1024", "received", "\xF5")));
        Replayer sim(QStringList{u"--replay"_s, path} +
                     (strict ? QStringList{u"--replay-strict"_s} : QStringList{}));
        QVERIFY(sim.waitFor(u"ready"_s));
        QTcpSocket console;
        console.connectToHost(QHostAddress::LocalHost, 1024);
        QVERIFY(console.waitForConnected(3000));
        console.write(kalveno::test::framed("\xDE"));
        QVERIFY(sim.waitFor(u"divergence on TCP 1024 at %1:2: expected fe f8 08 02 df 03, came fe "
                            u"f8 08 02 de 03; dropped; waiting for it\n"_s.arg(path)));
        if (strict) {
            QVERIFY(sim.process.state() == QProcess::NotRunning ||
                    sim.process.waitForFinished(5000));
            QCOMPARE(sim.process.exitCode(), 1);
            QVERIFY(sim.waitFor(u"replay stopped: 1 entries replayed, 2 waiting, 1 divergences"_s));
            return;
        }
        console.write(kalveno::test::framed("\xDF"));
        QTRY_COMPARE(console.bytesAvailable(), 1);
        QCOMPARE(console.readAll(), QByteArray("\xF5"));
        QVERIFY(sim.waitFor(u"replay finished: 3 entries replayed, 0 waiting, 1 divergences"_s));
    }

    void unaskedChunk_data()
    {
        QTest::addColumn<int>("gap"); // recorded between the answer and the unasked chunk
        QTest::addColumn<QString>("speed");
        QTest::newRow("as recorded") << 800 << u"1"_s;
        QTest::newRow("twice as fast") << 1600 << u"2"_s;
    }

    // The console asks, the bridge answers within 5 ms, and later sends something unasked: it
    // comes at its recorded distance from the question, divided by the speed, no sooner and at
    // most 300 ms later (a loaded machine's scheduling; the timer itself keeps to a millisecond).
    void unaskedChunk()
    {
        QFETCH(int, gap);
        QFETCH(QString, speed);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"session.log"_s);
        QVERIFY(kalveno::test::TemporaryConfig::write(
            path, line(0, "TCP 1024", "event", {}, "connected to 127.0.0.1:1024") +
                      line(1000, "TCP 1024", "sent", "ping") +
                      line(1005, "TCP 1024", "received", "pong") +
                      line(1005 + gap, "TCP 1024", "received", "late")));
        Replayer sim({u"--replay"_s, path, u"--replay-speed"_s, speed});
        QVERIFY(sim.waitFor(u"ready"_s));
        QTcpSocket console;
        console.connectToHost(QHostAddress::LocalHost, 1024);
        QVERIFY(console.waitForConnected(3000));
        QElapsedTimer clock;
        console.write("ping");
        clock.start();
        QByteArray got;
        QVERIFY(QTest::qWaitFor([&] { return (got += console.readAll()) == "ponglate"; }, 5000));
        const qint64 expected = qRound((5 + gap) / speed.toDouble());
        QVERIFY2(clock.elapsed() >= expected - 10 && clock.elapsed() <= expected + 300,
                 qPrintable(u"%1 ms, %2 expected"_s.arg(clock.elapsed()).arg(expected)));
    }
};

QTEST_MAIN(TestSimulatorReplay)
#include "tst_simulator_replay.moc"
