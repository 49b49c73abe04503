#include "simulator/linkreplay.h"
#include "simulator/options.h"
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
const QStringList Words{u""_s, u">"_s, u"|"_s, u"drop"_s, u"close"_s}; // by Kind

LinkScript stepsOf(const QString &words)
{
    LinkScript script{kalveno::LinkKind::Tcp, 1024, u"TCP 1024"_s, {}};
    for (const QString &word : words.split(u' ', Qt::SkipEmptyParts)) {
        const QString what = word.section(u'@', 0, 0);
        const qsizetype kind = what.startsWith(u'>') ? 1 : qMax(0, Words.indexOf(what));
        const QString bytes = kind == 1                  ? what.sliced(1)
                              : kind > 0 || what == u"-" ? QString()
                                                         : what;
        script.steps.append({Kind(kind), ReplayStep::State::Waiting, 0, script.steps.size() + 1,
                             word.section(u'@', 1).toLongLong(), 0, bytes.toLatin1()});
    }
    return script;
}

// The script's steps in the words above, per link.
QString words(const ReplayScript &script)
{
    QStringList links;
    for (const LinkScript &link : script.links) {
        QStringList out{link.name + u':'};
        for (const ReplayStep &step : link.steps)
            out << Words[int(step.kind)] + QString::fromLatin1(step.bytes) +
                       (step.gapMs ? u"@%1"_s.arg(step.gapMs) : QString());
        links << out.join(u' ');
    }
    return links.join(u"; "_s);
}

} // namespace

// Replay of a session log: the log read into a script per link, each link's matching and
// timing, and the simulator that replays it on real sockets.
class TestSimulatorReplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(kalveno::test::insidePrivateNetwork()); }

    void steps_data()
    {
        // Calls in turn: bytes the console sends, each divergence then written "!came:" and W
        // (waiting), E (past the end), D<n> (n bytes dropped, then as the log has it) or S<n> (n
        // entries skipped); "@ms" the clock; "~n" a peer of generation n, ~0 none; "." what is
        // due: "+x" sent, "drop", then "wait <ms>" when a step falls due later, "-" for nothing.
        QTest::addColumn<QString>("script");
        QTest::addColumn<double>("speed");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("trace");
        const auto row = [](const char *name, const char *script, double speed, const char *calls,
                            const char *trace) {
            QTest::newRow(name) << QString::fromLatin1(script) << speed
                                << QString::fromLatin1(calls) << QString::fromLatin1(trace);
        };
        row("entry by entry", "ab >x cd >y", 0, "ab . cd .", "+x, +y");
        row("entries in one chunk", "ab >x cd >y", 0, "abcd .", "+x +y");
        row("an entry in pieces", "abcd >x", 0, "a . b . c . d .", "-, -, -, +x");
        row("pieces across entries", "ab >x cd >y", 0, "abc . d .", "+x, +y");
        row("bytes before an entry", "ab >x", 0, "zzab .", "!zzab:D2, +x");
        row("an entry left out, its answer too", "ab >x cd >y", 0, "cd .", "!cd:S2, +y");
        row("an entry changed: waits for it", "ab >x", 0, "zz . ab .", "!zz:W, -, +x");
        row("changed in its middle", "abcd >x", 0, "ab zd abcd .", "!abzd:W, +x");
        row("the right bytes after the wrong ones", "ab >x cd", 0, "zzzab cd .", "!zzzab:D3, +x");
        row("within the look-ahead", "a0 a1 a2 a3 a4 a5 a6 a7 >x", 0, "a7 .", "!a7:S7, +x");
        row("beyond the look-ahead", "a0 a1 a2 a3 a4 a5 a6 a7 a8", 0, "a8", "!a8:W");
        row("not past a connection", "ab | cd >x", 0, "cd .", "!cd:W, -");
        row("past the log's end", "ab >x", 0, "abc .", "!c:E, +x");
        row("an empty datagram", "ab - >x", 0, "ab .", "+x");
        row("an answer after the bridge's delay", "ab >x@20", 1, ". @100 ab . @119 . @120 .",
            "-, wait 20, wait 1, +x");
        row("unasked, at its distance", "| >x@1500 >y@300", 1, ". @1500 . @1800 .",
            "wait 1500, +x wait 300, +y");
        row("twice as fast", "| >x@1500", 2, ". @750 .", "wait 750, +x");
        row("from when the chunk before went", "| >x@100 >y@100", 1, ". @150 . @250 .",
            "wait 100, +x wait 100, +y");
        row("no peer, nothing sent", "| >x", 1, "~0 . @5 ~1 .", "-, +x");
        row("closed by the bridge, the console's reconnection awaited", "| >x drop@10 close | >y@5",
            1, ". @10 . ~0 . @20 ~2 . @25 .", "+x wait 10, drop, -, wait 5, +y");
        row("the console's close awaited", "| close | >y", 1, ". @7 ~0 . @9 ~2 .", "-, -, +y");
    }

    void steps()
    {
        QFETCH(QString, script);
        QFETCH(double, speed);
        QFETCH(QString, calls);
        QFETCH(QString, trace);
        LinkReplay replay(stepsOf(script), {u"s.log"_s}, speed, true);
        LinkReplay::Peer peer{true, 1};
        qint64 now = 0;
        QStringList got;
        for (const QString &call : calls.split(u' ')) {
            if (call.startsWith(u'@')) {
                now = call.sliced(1).toLongLong();
            } else if (call.startsWith(u'~')) {
                peer = {call != u"~0", call.sliced(1).toLongLong()};
            } else if (call == u".") {
                QStringList due;
                qint64 wait = -1;
                for (auto a = replay.next(now, peer, &wait);
                     a.kind != LinkReplay::Action::Kind::None; a = replay.next(now, peer, &wait))
                    due << (a.kind == LinkReplay::Action::Kind::Drop
                                ? u"drop"_s
                                : u"+"_s + QString::fromLatin1(a.bytes));
                if (wait >= 0)
                    due << u"wait %1"_s.arg(wait);
                got << (due.isEmpty() ? u"-"_s : due.join(u' '));
            } else {
                for (const LinkReplay::Divergence &d : replay.take(call.toLatin1(), now)) {
                    got << u"!%1:%2"_s.arg(QString::fromLatin1(d.came),
                                           d.expected < 0  ? u"E"_s
                                           : d.resumed < 0 ? u"W"_s
                                           : d.skipped > 0 ? u"S%1"_s.arg(d.skipped)
                                                           : u"D%1"_s.arg(d.dropped));
                    QVERIFY(replay.describe(d).startsWith(u"divergence on TCP 1024 "_s));
                }
            }
        }
        QCOMPARE(got.join(u", "_s), trace);
    }

    void scripts_data()
    {
        // The files' lines; what the script holds, in the words of stepsOf(), or the start of the
        // error; and the start of each warning, separated by "|".
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
        QTest::newRow("entries the log lost, a link of no bridge")
            << QByteArrayList{line(0, "log", "event", {}, "12 entries could not be written: x") +
                              line(1, "CAN", "sent", "a")}
            << QString() << u"x0.log:1: 12 entries could not be written|x0.log:2: link CAN"_s;
        QTest::newRow("a broken line")
            << QByteArrayList{line(0, "UDP", "sent", "a") + "2026-12-07\tUDP\tsent\n"}
            << u"!x0.log:2: not a line of a session log"_s << QString();
        QTest::newRow("a file that is not there")
            << QByteArrayList{line(0, "UDP", "sent", "a"), {}} << u"!x1.log: "_s << QString();
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
            QVERIFY(content.isNull() ||
                    kalveno::test::TemporaryConfig::write(paths.last(), content));
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
        const QStringList warnings = warning.split(u'|', Qt::SkipEmptyParts);
        QCOMPARE(script->warnings.size(), warnings.size());
        for (qsizetype i = 0; i < warnings.size(); ++i)
            QVERIFY2(script->warnings[i].startsWith(dir.filePath(warnings[i])),
                     qPrintable(script->warnings[i]));
    }

    void refusedOptions_data()
    {
        QTest::addColumn<QString>("arguments"); // DIR: a folder that holds x.log
        QTest::addColumn<QString>("error");
        QTest::newRow("firmware with a replay")
            << u"--replay DIR/x.log --polling 1"_s << u"--polling sets the firmware"_s;
        QTest::newRow("a site with a replay")
            << u"--replay DIR/x.log --bridges 2"_s << u"--bridges does not go with --replay"_s;
        QTest::newRow("speed without a replay")
            << u"--replay-speed 2"_s << u"--replay-speed needs --replay"_s;
        QTest::newRow("a speed below 0")
            << u"--replay DIR/x.log --replay-speed -1"_s << u"--replay-speed takes a number"_s;
        QTest::newRow("a log over what it replays")
            << u"--replay DIR/x.log --log DIR/./x.log"_s << u"--log would replace DIR/x.log"_s;
    }

    void refusedOptions()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(kalveno::test::TemporaryConfig::write(dir.filePath(u"x.log"_s), "x"));
        QCommandLineParser parser;
        addOptions(&parser);
        QVERIFY(parser.parse(QStringList{u"kalveno-bridge-sim"_s} +
                             arguments.replace(u"DIR"_s, dir.path()).split(u' ')));
        Options options;
        QString why;
        QVERIFY(!readOptions(parser, &options, &why));
        QVERIFY2(why.startsWith(error.replace(u"DIR"_s, dir.path())), qPrintable(why));
    }

    void replayed_data()
    {
        QTest::addColumn<int>("gap"); // recorded between the answer and the unasked chunk
        QTest::addColumn<QString>("speed");
        QTest::newRow("as recorded") << 800 << u"1"_s;
        QTest::newRow("twice as fast") << 1600 << u"2"_s;
    }

    // The console asks, the bridge answers within 5 ms, and later sends something unasked: it
    // comes at its recorded distance from the question, divided by the speed, no sooner and at
    // most 300 ms later (a loaded machine's scheduling; the timer itself keeps to a millisecond).
    // Then the log was edited to diverge: the console asked for input 2's status there, and asks
    // for input 1's now; strict, the divergence ends the replay.
    void replayed()
    {
        QFETCH(int, gap);
        QFETCH(QString, speed);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"session.log"_s);
        QVERIFY(kalveno::test::TemporaryConfig::write(
            path, line(0, "TCP 1024", "event", {}, "connected to 127.0.0.1:1024") +
                      line(1000, "TCP 1024", "sent", "ping") +
                      line(1005, "TCP 1024", "received", "pong") +
                      line(1005 + gap, "TCP 1024", "received", "late") +
                      line(5000, "TCP 1024", "sent", kalveno::test::framed("\xDF")) +
                      line(5010, "TCP 1024", "received", "\xF5")));
        QProcess sim;
        sim.start(QStringLiteral(KALVENO_SIMULATOR),
                  {u"--replay"_s, path, u"--replay-speed"_s, speed, u"--replay-strict"_s});
        QByteArray said;
        const auto says = [&](const QString &text) {
            return QTest::qWaitFor([&] { return (said += sim.readAll()).contains(text.toUtf8()); });
        };
        QVERIFY(says(u"ready"_s));
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

        console.write(kalveno::test::framed("\xDE"));
        QVERIFY(says(u"divergence on TCP 1024 at %1:5: expected fe f8 08 02 df 03, came fe "
                     u"f8 08 02 de 03; dropped; waiting for it\n"_s.arg(path)));
        QVERIFY(sim.state() == QProcess::NotRunning || sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(says(u"replay stopped: 4 entries replayed, 2 waiting, 1 divergences"_s));
    }
};

QTEST_MAIN(TestSimulatorReplay)
#include "tst_simulator_replay.moc"
