#include "check/checkoptions.h"
#include "check/report.h"
#include "check/sitecheck.h"
#include "support/programs.h"
#include "support/sandbox.h"

#include "protocol/logline.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>

#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace kalveno::check;

namespace {

// Short, so that a bridge that never answers costs the suite little.
const QString TimeoutMs = u"300"_s;

struct Run
{
    int exit = -1;
    QString out;
    QString err;
};

Run check(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(KALVENO_CHECK), arguments);
    if (!process.waitForFinished(30000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// The JUnit report's test cases of one suite: the step, and "ok", "FAIL <message>" or "-";
// then the totals of the report as "<tests> <failures> <skipped>".
QStringList junitCases(const QByteArray &xml, const QString &suite)
{
    QStringList cases;
    QString totals;
    QXmlStreamReader reader(xml);
    bool inSuite = false;
    while (!reader.atEnd()) {
        reader.readNext();
        const QXmlStreamAttributes a = reader.attributes();
        if (reader.isStartElement() && reader.name() == u"testsuites")
            totals = u"%1 %2 %3"_s.arg(a.value(u"tests"_s), a.value(u"failures"_s),
                                       a.value(u"skipped"_s));
        else if (reader.isStartElement() && reader.name() == u"testsuite")
            inSuite = a.value(u"name"_s) == suite;
        else if (inSuite && reader.isStartElement() && reader.name() == u"testcase")
            cases.append(a.value(u"name"_s).toString() + u" ok"_s);
        else if (inSuite && reader.isStartElement() && reader.name() == u"failure")
            cases.last().replace(u" ok"_s, u" FAIL "_s + a.value(u"message"_s).toString());
        else if (inSuite && reader.isStartElement() && reader.name() == u"skipped")
            cases.last().replace(u" ok"_s, u" -"_s);
    }
    return reader.hasError() ? QStringList{reader.errorString()} : cases << totals;
}

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(kalveno::test::insidePrivateNetwork());
        // Six bridges, the first healthy and each other with one fault, all wired 1:1,2:2.
        m_site.start(QStringLiteral(KALVENO_SIMULATOR),
                     {u"--bridges"_s, u"6"_s, u"--address"_s, u"127.0.1.1"_s, u"--fault"_s,
                      u"2:absent"_s, u"--fault"_s, u"3:silent"_s, u"--fault"_s, u"4:no-turnstile"_s,
                      u"--fault"_s, u"5:loop-corrupt"_s, u"--fault"_s, u"6:input1-stuck"_s,
                      u"--jig"_s, u"1:1,2:2"_s, u"--log"_s, u"/dev/null"_s});
        QVERIFY(QTest::qWaitFor([this] {
            return m_site.readAllStandardOutput().contains("ready") ||
                   m_site.state() == QProcess::NotRunning;
        }));
        QCOMPARE(m_site.state(), QProcess::Running);
    }

    void cleanupTestCase()
    {
        m_site.write("quit\n");
        QVERIFY(m_site.waitForFinished(5000));
    }

    void bridges_data()
    {
        QTest::addColumn<QString>("bridge");
        QTest::addColumn<QStringList>("arguments");
        // connect, status, outputs, config, loop: ok, FAIL or - (not run)
        QTest::addColumn<QString>("marks");
        QTest::addColumn<QStringList>("errors");  // a part of each failed step's error, in turn
        QTest::addColumn<QStringList>("details"); // step.key=value
        const auto row =
            [](const char *name, const char *address, const QStringList &arguments,
               const char *marks, const QStringList &errors, const QStringList &details = {}) {
                QTest::newRow(name)
                    << u"%1=%2"_s.arg(QLatin1StringView(name), QLatin1StringView(address))
                    << arguments << QString::fromLatin1(marks) << errors << details;
            };
        row("healthy", "127.0.1.1", {}, "ok ok ok ok ok", {},
            {u"connect.port=1024"_s, u"status.input1=off"_s, u"status.input2=off"_s,
             u"outputs.outputs=1,2,3,4"_s, u"config.mode=0"_s, u"config.time_to_pass=5"_s,
             u"config.remote_antenna_4="_s, u"loop.passes=10"_s});
        row("absent", "127.0.1.2", {}, "FAIL - - - FAIL",
            {u"port 1024: Connection refused"_s, u"port 1025: Connection refused"_s});
        row("silent", "127.0.1.3", {}, "ok FAIL FAIL FAIL FAIL",
            {u"no answer to the status request of inputs 1 and 2"_s,
             u"of input 1 within 300 ms after the output commands"_s,
             u"no configuration reply within 300 ms"_s, u"pass 1: 0 of 1000 bytes came back"_s});
        row("noturnstile", "127.0.1.4", {}, "ok ok ok FAIL ok",
            {u"no configuration reply within 300 ms"_s});
        row("corrupt", "127.0.1.5", {}, "ok ok ok ok FAIL",
            {u"pass 1: byte 501 came back as \"1\", sent \"0\""_s});
        row("stuck", "127.0.1.6", {u"--jig"_s, u"1:1"_s}, "ok ok FAIL ok ok",
            {u"input 1 did not follow output 1 off within 300 ms (it reads on)"_s},
            {u"status.input1=on"_s});
        row("wrongmode", "127.0.1.1", {u"--expect"_s, u"mode=3"_s}, "ok ok ok FAIL ok",
            {u"mode is 0, expected 3"_s}, {u"config.mode=0"_s});
        row("jigright", "127.0.1.1", {u"--jig"_s, u"1:1,2:2"_s, u"--expect"_s, u"input2=off"_s},
            "ok ok ok ok ok", {}, {u"outputs.jig=1:1,2:2"_s});
        row("jigwrong", "127.0.1.1", {u"--jig"_s, u"1:2"_s}, "ok ok FAIL ok ok",
            {u"input 2 did not follow output 1 on within 300 ms (it reads off)"_s});
    }

    // The table, the JSON and the JUnit report of one run tell the same of each step.
    void bridges()
    {
        QFETCH(QString, bridge);
        QFETCH(QStringList, arguments);
        QFETCH(QString, marks);
        QFETCH(QStringList, errors);
        QFETCH(QStringList, details);
        QTemporaryDir dir;
        const QString name = bridge.section(u'=', 0, 0);
        const Run run = check(
            QStringList{u"--steps"_s, u"connect,status,outputs,config,loop"_s, u"--timeout-ms"_s,
                        TimeoutMs, u"--json"_s, dir.filePath(u"r.json"_s), u"--junit"_s,
                        dir.filePath(u"r.xml"_s), u"--log-dir"_s, dir.path(), bridge} +
            arguments);
        const bool passed = errors.isEmpty();
        QCOMPARE(run.exit, passed ? 0 : 1);

        const QStringList table = run.out.split(u'\n');
        QCOMPARE(table.size(), 4); // heading, the bridge, the totals, and the last line's end
        const QStringList cells = table[1].split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(cells.mid(0, 2), (QStringList{name, bridge.section(u'=', 1)}));
        QCOMPARE(cells.mid(2, 5).join(u' '), marks);
        QCOMPARE(cells[8], passed ? u"passed"_s : u"failed:"_s);

        const QJsonObject report =
            QJsonDocument::fromJson(kalveno::test::readFile(dir.filePath(u"r.json"_s))).object();
        QCOMPARE(report[u"passed"_s].toInt(), passed ? 1 : 0);
        QCOMPARE(report[u"failed"_s].toInt(), passed ? 0 : 1);
        const QJsonObject result = report[u"bridges"_s][0].toObject();
        QCOMPARE(result[u"name"_s].toString(), name);
        QCOMPARE(result[u"passed"_s].toBool(), passed);
        const QStringList junit =
            junitCases(kalveno::test::readFile(dir.filePath(u"r.xml"_s)), name);
        const QStringList mark = marks.split(u' ');
        QStringList reasons;
        QStringList reported;
        for (int i = 0; i < 5; ++i) {
            const QJsonObject step = result[u"steps"_s][i].toObject();
            const QString stepName = step[u"name"_s].toString();
            QCOMPARE(step[u"passed"_s].toBool(), mark[i] == u"ok");
            QCOMPARE(step[u"error"_s].isNull(), mark[i] == u"ok");
            const QString error = step[u"error"_s].toString();
            QCOMPARE(junit.value(i),
                     stepName + u' ' + mark[i] + (mark[i] == u"FAIL" ? u' ' + error : QString()));
            if (mark[i] == u"FAIL") {
                QVERIFY2(error.contains(errors.value(reasons.size())), qPrintable(error));
                QVERIFY(table[1].contains(stepName + u": "_s + error));
                reasons.append(error);
            }
            const QJsonObject detail = step[u"detail"_s].toObject();
            for (auto value = detail.begin(); value != detail.end(); ++value)
                reported.append(
                    u"%1.%2=%3"_s.arg(stepName, value.key(), value.value().toVariant().toString()));
        }
        QCOMPARE(reasons.size(), errors.size());
        QCOMPARE(junit.constLast(),
                 u"5 %1 %2"_s.arg(marks.count(u"FAIL"_s)).arg(marks.count(u'-')));
        for (const QString &detail : std::as_const(details))
            QVERIFY2(reported.contains(detail), qPrintable(reported.join(u' ')));

        // Its session log reads back line by line, and says how each step went.
        QFile log(dir.filePath(name + u".log"_s));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QStringList checkLines;
        while (!log.atEnd()) {
            const std::optional<kalveno::logline::Line> line =
                kalveno::logline::parse(log.readLine());
            QVERIFY(line);
            if (line->link == u"check")
                checkLines.append(line->meaning);
        }
        QCOMPARE(checkLines.constLast(), name + (passed ? u" passed"_s : u" failed"_s));
    }

    void aSilentBridgeHoldsNoOther()
    {
        // Two at a time: the silent bridge waits out its time-out while the others pass by.
        const Run run = check({u"--jobs"_s, u"2"_s, u"--steps"_s, u"connect,status"_s,
                               u"--timeout-ms"_s, u"1000"_s, u"127.0.1.3"_s, u"127.0.1.1"_s,
                               u"127.0.1.4"_s, u"127.0.1.5"_s, u"127.0.1.6"_s});
        QCOMPARE(run.exit, 1);
        const QStringList progress = run.err.trimmed().split(u'\n');
        QCOMPARE(progress.size(), 5);
        QVERIFY2(progress.constLast().endsWith(u"5/5 127.0.1.3 127.0.1.3 failed"_s),
                 qPrintable(run.err));
    }

    void toStandardOutput_data()
    {
        QTest::addColumn<QString>("report");
        QTest::newRow("json") << u"--json"_s;
        QTest::newRow("junit") << u"--junit"_s;
    }

    // A report on standard output takes the table's place, so that it can be piped on.
    void toStandardOutput()
    {
        QFETCH(QString, report);
        const Run run = check({report, u"-"_s, u"127.0.1.1"_s, u"127.0.1.2"_s});
        QCOMPARE(run.exit, 1);
        if (report == u"--json") {
            const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
            QCOMPARE(json[u"passed"_s].toInt() * 10 + json[u"failed"_s].toInt(), 11);
        } else {
            QCOMPARE(junitCases(run.out.toUtf8(), u"127.0.1.2"_s),
                     (QStringList{u"connect FAIL cannot connect to port 1024: Connection refused"_s,
                                  u"status -"_s, u"config -"_s, u"6 1 2"_s}));
        }
    }

    void fewerDescriptors()
    {
        // With 40 descriptors at most, 64 checks at once would fail for want of them.
        QProcess process;
        process.setChildProcessModifier([] {
            const rlimit limit{40, 40};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        process.start(QStringLiteral(KALVENO_CHECK),
                      {u"--steps"_s, u"connect,loop"_s, u"127.0.1.1"_s, u"127.0.1.4"_s,
                       u"127.0.1.5"_s, u"127.0.1.6"_s});
        QVERIFY(process.waitForFinished(10000));
        QVERIFY(process.readAllStandardError().contains("64 jobs need more descriptors than this "
                                                        "process may open; 2 at once"));
        QCOMPARE(process.exitCode(), 1); // the corrupt loop of 127.0.1.5, and only that
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).count(u"FAIL"_s), 1);
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *arguments, const char *message) {
            QTest::newRow(arguments)
                << QString::fromLatin1(arguments).split(u' ') << QString::fromLatin1(message);
        };
        row("--steps connect", "no bridge to check");
        row("--steps connect,ping 10.0.0.1", "\"ping\" is not connect");
        row("--steps status,connect 10.0.0.1", "status needs connect before it");
        row("--steps connect,loop,loop 10.0.0.1", "loop is given twice");
        row("--expect speed=1 10.0.0.1", "KEY one of cards_before_offline,");
        row("--expect input1=1 10.0.0.1", "--expect input1 takes on or off");
        row("--steps connect,status --expect mode=0 10.0.0.1", "the config step, which reports it");
        row("--jig 1:1 10.0.0.1", "--jig is for the outputs step");
        row("--steps connect,outputs --jig 1:3 10.0.0.1", "\"1:3\" is not OUT:IN");
        row("--jobs 0 10.0.0.1", "--jobs takes a whole number from 1");
        row("--tcp-port 0 10.0.0.1", "--tcp-port takes a whole number from 1 to 65535");
        row("10.0.0.300", "\"10.0.0.300\" is not an IP address");
        row("=10.0.0.1", "the name before '=' is empty");
        row("a=10.0.0.1 a=10.0.0.2", "the name a is already given by bridge \"a=10.0.0.1\"");
        row("10.0.0.1 b=10.0.0.1", "the address 10.0.0.1 is already given");
        row("--json - --junit - 10.0.0.1", "cannot both go to standard output");
        row("--json /nonexistent/r.json 10.0.0.1", "cannot write /nonexistent/r.json");
        row("--bridges /nonexistent 10.0.0.1", "cannot read the bridges file /nonexistent");
        row("--bridges /dev/zero", "/dev/zero: longer than 16 MiB");
        row("--colour 10.0.0.1", "Unknown option 'colour'");
    }

    // A wrong command line ends at once with status 2 and what is wrong, before any check.
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run run = check(arguments);
        QCOMPARE(run.exit, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }

    void bridgesFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("result"); // the names, or the error
        QTest::newRow("names, addresses, comments, blanks, CR LF")
            << QByteArray("# site\r\ndoor-1 10.0.0.1\r\n\r\n  10.0.0.2   # no name\n"
                          "gate.2\t::1\nentr\xc3\xa9"
                          "e 10.0.0.3")
            << u"door-1 10.0.0.2 gate.2 entr\u00e9e"_s;
        QTest::newRow("three words") << QByteArray("a 10.0.0.1\nb 10.0.0.2 x\n")
                                     << u"f:2: expected NAME ADDRESS or ADDRESS, found 3 words"_s;
        QTest::newRow("not an address") << QByteArray("\n\nc 10.0.0") << u"f:3: \"10.0.0\""_s;
        QTest::newRow("name with a slash") << QByteArray("a/b 10.0.0.1") << u"f:1: the name"_s;
        QTest::newRow("name from a dot") << QByteArray(".a 10.0.0.1") << u"f:1: the name"_s;
        QTest::newRow("name twice") << QByteArray("a 10.0.0.1\n#\na 10.0.0.2")
                                    << u"f:3: the name a is already given by f:1"_s;
        QTest::newRow("address twice, written otherwise")
            << QByteArray("::1\nb 0:0::1") << u"f:2: the address ::1 is already given by f:1"_s;
        QTest::newRow("long line") << QByteArray("a 10.0.0.1\n") + QByteArray(1025, ' ')
                                   << u"f:2: longer than 1024 characters"_s;
    }

    void bridgesFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, result);
        QList<Bridge> bridges;
        QString error;
        if (readBridges(text, u"f"_s, &bridges, &error)) {
            QStringList names;
            for (const Bridge &bridge : std::as_const(bridges))
                names.append(bridge.name);
            QCOMPARE(names.join(u' '), result);
        } else {
            QVERIFY2(error.startsWith(result), qPrintable(error));
        }
    }

    void peers_data()
    {
        // What a peer of the test's own sends after the configuration request, piece by piece;
        // an empty piece closes the connection.
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QString>("error"); // empty when the step passes
        QTest::newRow("in pieces, a status byte inside, text before")
            << QList<QByteArray>{"hello IR", "?,1,4", "\xF2,5,3,3,a,b,", "c*"} << QString();
        QTest::newRow("control bytes in a field, which XML cannot hold")
            << QList<QByteArray>{"IR?,1,4,5,3,3,a\x01\x1b,b,c*"} << QString();
        QTest::newRow("cut short")
            << QList<QByteArray>{"IR?,1,4*"} << u"the configuration reply has 3 fields, not 9"_s;
        QTest::newRow("no closing star") << QList<QByteArray>{"IR?,1,4,5,3,3,a,b,c"}
                                         << u"\"IR?,1,4,5,3,3,a,b,c\" without its closing *"_s;
        QTest::newRow("closed") << QList<QByteArray>{QByteArray()}
                                << u"the bridge closed the connection"_s;
    }

    // The configuration step against a peer that answers as the test says, then status.
    void peers()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QString, error);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, &server, [&server, pieces] {
            QTcpSocket *peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [peer, pieces] {
                if (!peer->readAll().contains("><IR?")) {
                    peer->write("\xF3\xF5");
                    return;
                }
                for (qsizetype i = 0; i < pieces.size(); ++i) {
                    QTimer::singleShot(20 * i, peer, [peer, piece = pieces[i]] {
                        if (piece.isEmpty())
                            peer->disconnectFromHost();
                        else
                            peer->write(piece);
                    });
                }
            });
        });
        Options options;
        options.bridges = {{u"peer"_s, QHostAddress(QHostAddress::LocalHost)}};
        options.steps = {Step::Connect, Step::Config, Step::Status};
        options.tcpPort = server.serverPort();
        options.timeoutMs = 300;
        SiteCheck site(options);
        QSignalSpy finished(&site, &SiteCheck::finished);
        site.start();
        QVERIFY(finished.wait());
        const BridgeResult &result = site.result().bridges.constFirst();
        const StepResult &config = result.steps[1];
        QCOMPARE(config.passed, error.isEmpty());
        QVERIFY2(config.error.contains(error), qPrintable(config.error));
        if (error.isEmpty()) {
            QCOMPARE(QStringList({config.detail[u"polling"_s].toString(),
                                  config.detail[u"mode"_s].toString(),
                                  config.detail[u"remote_antenna_4"_s].toString()}),
                     (QStringList{u"1"_s, u"4"_s, u"c"_s}));
        }
        // Whatever the bridge sent, both reports read back, and show every byte it sent.
        QCOMPARE(junitCases(junit(site.result()), u"peer"_s).size(), 4);
        if (config.detail[u"remote_antenna_2"_s].toString().contains(QChar(1)))
            QVERIFY(junit(site.result()).contains("remote_antenna_2=a\\x01\\x1b"));
        QJsonParseError parsed;
        QJsonDocument::fromJson(json(site.result()), &parsed);
        QCOMPARE(parsed.error, QJsonParseError::NoError);
        // Without its connection, status is not run; with it, it passes.
        const StepResult &status = result.steps[2];
        const bool closed = error.contains(u"closed"_s);
        QCOMPARE(status.run, !closed);
        QCOMPARE(status.passed, !closed);
    }

private:
    QProcess m_site;
};

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
