#include "simulator/options.h"
#include "simulator/simulator.h"
#include "simulator/site.h"
#include "support/programs.h"
#include "support/sandbox.h"

#include "protocol/bridgeio.h"
#include "protocol/logline.h"
#include "protocol/rfid.h"
#include "protocol/turnstile.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;
namespace bridgeio = kalveno::bridgeio;
namespace logline = kalveno::logline;
namespace rfid = kalveno::rfid;
using Script = QList<QByteArray>;

namespace {

const QByteArray Marker = "\r\n<end>"; // plain data that ends any command before it

Options testOptions(const QString &firmware = u"both"_s)
{
    Options options;
    options.tcpPort = options.tcp2Port = options.udpPort = 0;
    options.ioFirmware = firmware != u"turnstile";
    options.turnstileFirmware = firmware != u"io";
    options.quietMs = 50;
    options.reader = {150, 50};
    return options;
}

// The simulator with its log parsed line by line and, once attached, a client on each TCP port,
// the console's end of the serial line and a UDP socket, each keeping what it receives.
struct Bridge
{
    explicit Bridge(const Options &options = testOptions())
        : sim(options, &log)
    {
        QString error;
        log.openFile(u"/dev/null"_s, &error); // floods would fill the test's output
        QObject::connect(&log, &Log::written, &log, [this](const QByteArray &text) {
            const std::optional<logline::Line> line = logline::parse(text);
            wellFormed = wellFormed && line && logline::format(*line) == text;
            lines.append(line.value_or(logline::Line{}));
        });
        started = sim.start(&error);
    }
    bool attach()
    {
        for (QTcpSocket *socket : {&tcp1, &tcp2}) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket] { in[socket] += socket->readAll(); });
            socket->connectToHost(QHostAddress::LocalHost,
                                  socket == &tcp1 ? sim.tcpPort() : sim.tcp2Port());
        }
        QObject::connect(&udp, &QUdpSocket::readyRead, &udp, [this] {
            while (udp.hasPendingDatagrams())
                in[&udp] += udp.receiveDatagram().data();
        });
        serial.setPortName(sim.serialPath());
        QObject::connect(&serial, &QSerialPort::readyRead, &serial, [this] {
            in[&serial] += serial.readAll();
            if (answer)
                answer();
        });
        return tcp1.waitForConnected(3000) && tcp2.waitForConnected(3000) &&
               udp.bind(QHostAddress::AnyIPv4, 0) && serial.open(QIODevice::ReadWrite) &&
               QTest::qWaitFor([this] { return sim.status().contains(u"line=open"_s); });
    }
    qsizetype logged(QStringView meaning) const
    {
        return std::count_if(lines.begin(), lines.end(), [meaning](const logline::Line &line) {
            return line.meaning.contains(meaning);
        });
    }

    Log log;
    Simulator sim;
    QList<logline::Line> lines;
    bool wellFormed = true;
    bool started = false;
    QTcpSocket tcp1;
    QTcpSocket tcp2;
    QUdpSocket udp;
    QSerialPort serial;
    std::map<const QObject *, QByteArray> in;
    std::function<void()> answer;
};

// The console's RFID reader on the line, with the card on antenna 2. Its faults are the reader
// suite's (tst_simulator_reader).
void answerAsReader(Bridge &bridge)
{
    bridge.answer = [&bridge, antenna = 0]() mutable {
        QByteArray &line = bridge.in[&bridge.serial];
        for (qsizetype n = rfid::announcedLength(line); n > 0 && line.size() >= n;
             n = rfid::announcedLength(line)) {
            const rfid::Request request = rfid::classify(line.first(n));
            line.remove(0, n);
            QByteArray reply = rfid::antennaSelectedReply();
            if (request.kind == rfid::Request::AntennaSelect)
                antenna = request.antenna;
            else
                reply = antenna == 2 ? rfid::cardReply() : rfid::noCardReply();
            bridge.serial.write(reply);
        }
    };
}

} // namespace

class TestSimulatorLinks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(kalveno::test::insidePrivateNetwork()); }

    void scripts_data()
    {
        // Each step is "<what>:<argument>":
        //   tcp1, tcp2, line, udp    send the bytes there, and wait until the simulator has them
        //   =tcp1, =tcp2, =line, =udp  all that end has received so far is exactly the bytes
        //   do, refuse               a control command is done ("ok ...") or refused ("error ...")
        //   status                   a key=value field of the status line
        //   log                      a line of the log means this; logs: at least <n>:<meaning>
        //   off                      <output>:<ms>: the output goes off, not before the time
        //   reader                   the console's reader on the line: on, off
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<Script>("script");
        const auto row = [](const char *name, const char *firmware, const Script &script) {
            QTest::newRow(name) << QString::fromLatin1(firmware) << script;
        };
        const QByteArray status1 = bridgeio::frame(bridgeio::inputStatusRequest(1));
        const QByteArray status2 = bridgeio::frame(bridgeio::inputStatusRequest(2));
        const auto frame = [](const QByteArray &payload) {
            return "tcp1:" + bridgeio::frame(payload);
        };
        QByteArray every;
        for (int b = 0; b < 1024; ++b)
            every += char(b);

        row("status request on tcp1", "both",
            {"tcp1:" + status1 + Marker, "=tcp1:\xF3", "=line:" + Marker});
        row("status request on tcp2, echo around it", "both",
            {"tcp2:ab" + status2 + "cd" + Marker, "=tcp2:ab" + QByteArray("\xF5") + "cd" + Marker});
        row("status request on the line", "both",
            {"line:" + status1 + Marker, "=line:\xF3", "=tcp1:" + Marker});
        row("status request on udp", "both",
            {"udp:" + status2, "=udp:\xF5", "log:frame: input 2 status"});
        row("reconnect broadcast", "both",
            {"udp:" + bridgeio::reconnectBroadcast("10.1.2.3"),
             "log:reconnect broadcast for 10.1.2.3"});
        row("every byte both ways", "both",
            {"tcp1:" + every, "line:" + every, "=line:" + every, "=tcp1:" + every});
        row("commands and frames taken, data passed", "both",
            {"tcp1:abc><IM2def", "tcp1:" + kalveno::turnstile::GreenLedTwoSeconds.toByteArray(),
             "tcp1:OK><T6E" + bridgeio::frame(bridgeio::outputSwitch(3, true)) + "xyz" + Marker,
             "=line:abcdefxyz" + Marker, "=tcp1:", "status:mode=2", "status:output3=on",
             "status:green=on", "status:red=on"});
        row("refused command taken whole", "both",
            {"tcp1:><IP-0501", "tcp1:" + Marker, "=line:" + Marker, "log:; refused: "});
        Script pieces;
        const QByteArray settings = "><IP0712><IT15004><IP0801><IM4><IR,2,10.0.0.2,,*><IR?";
        for (qsizetype i = 0; i < settings.size(); i += 3)
            pieces.append("tcp1:" + settings.mid(i, 3));
        row("settings in pieces, then read", "both",
            pieces + Script{"=tcp1:IR?,2,4,8,150,4,10.0.0.2,,*"});
        row("refused settings change nothing, nor outputs and acknowledgements", "both",
            {"tcp1:><IM9", "tcp1:><IR,1,300.0.0.1,,*", "tcp1:><IR,P,,,*", "tcp1:><IP05*",
             "tcp1:><IT12*", "tcp1:><T7E", "tcp1:OK><T6T03",
             "tcp1:" + kalveno::turnstile::directCommand(), "tcp1:><IR?",
             "=tcp1:IR?,0,0,5,3,3,,,*"});
        row("io firmware: commands pass", "io",
            {"tcp1:" + status1 + "><IR?" + Marker, "=tcp1:\xF3", "=line:><IR?" + Marker,
             "refuse:polling on"});
        row("turnstile firmware: frames pass", "turnstile",
            {"tcp1:" + status1 + "><IR?" + Marker, "=tcp1:IR?,0,0,5,3,3,,,*",
             "=line:" + status1 + Marker});
        for (int n = 1; n <= 4; ++n) {
            const QByteArray field = "status:output" + QByteArray::number(n);
            QTest::addRow("output %d", n)
                << u"io"_s
                << Script{frame(bridgeio::outputSwitch(n, true)),  field + "=on",
                          frame(bridgeio::outputSwitch(n, false)), field + "=off",
                          frame(bridgeio::outputTwoSeconds(n)),    field + "=on",
                          frame(bridgeio::outputSwitch(n, false)), frame(bridgeio::outputPulse(n)),
                          "off:" + QByteArray::number(n) + ":300"};
        }
        row("two seconds, with any digits; a batch", "io",
            {frame(QByteArray::fromHex("dc3037")), "off:1:2000",
             frame(bridgeio::BatchOn.toByteArray()), "status:output4=on",
             frame(bridgeio::BatchOff.toByteArray()), "status:output2=off"});
        row("not for the outputs", "io",
            {frame(QByteArray::fromHex("de3032")), "status:output3=on",
             frame(QByteArray::fromHex("de30")), frame(QByteArray::fromHex("dc3078")),
             frame("><T5E"), frame("A"), "=tcp1:", "status:green=off", "status:output1=off"});
        // The pulse's end must not switch off what was switched on for good meanwhile.
        row("switched on during a pulse", "io",
            {frame(bridgeio::outputPulse(2)), frame(bridgeio::outputSwitch(2, true)),
             frame(bridgeio::outputPulse(1)), "off:1:300", "status:output2=on"});
        row("input 1 on", "both",
            {"do:input 1 on", "=tcp1:\xF2", "=tcp2:\xF2", "=line:\xF2", "status:input1=on"});
        row("input 2 on and off", "io",
            {"do:input 2 on", "do:input 2 off", "=tcp1:\xF4\xF5", "=tcp2:\xF4\xF5",
             "=line:\xF4\xF5"});
        const Script nothingElse{"tcp2:" + Marker, "=tcp2:" + Marker, "line:" + Marker,
                                 "=tcp1:" + Marker};
        row("no change, no byte", "both", Script{"do:input 1 off"} + nothingElse);
        row("no I/O firmware, no byte", "turnstile", Script{"do:input 2 on"} + nothingElse);
        // The RFID reader would take a status byte for the start of a request.
        row("not on a line that polls the reader", "both",
            {"do:polling on", "do:input 1 on", "=tcp1:\xF2", "=tcp2:\xF2",
             "log:status byte not sent"});
        row("unplugged", "both",
            {"do:unplug", "tcp1:lost", "log:dropped 4 bytes (data from TCP", "line:also lost",
             "log:unplugged: 9 bytes from the line lost", "status:serial=unplugged", "do:plug",
             "tcp1:" + Marker, "line:" + Marker, "=line:" + Marker, "=tcp1:" + Marker});
        // Two more rounds at least: a card that stays is not reported again, and no reply of the
        // reader is passed on; bytes for the line from TCP are dropped meanwhile. Once the reader
        // has no reply on the way, polling off makes the line a pass-through again.
        row("reader polled, card on antenna 2", "both",
            {"reader:on", "do:polling on", "tcp1:hello", "log:dropped 5 bytes from TCP",
             "logs:3:card E0040150A3C61B7D on antenna 2", "=tcp1:CARD,2,E0040150A3C61B7D\r\n",
             "reader:off", "log:reader: no reply to", "do:polling off", "status:reader=idle",
             "line:" + Marker, "=tcp1:CARD,2,E0040150A3C61B7D\r\n" + Marker});
    }

    void scripts()
    {
        QFETCH(QString, firmware);
        QFETCH(Script, script);
        Bridge bridge(testOptions(firmware));
        QVERIFY(bridge.started && bridge.attach());
        const std::map<QByteArray, QIODevice *> ends{{"tcp1", &bridge.tcp1},
                                                     {"tcp2", &bridge.tcp2},
                                                     {"line", &bridge.serial},
                                                     {"udp", &bridge.udp}};
        QElapsedTimer clock;
        for (const QByteArray &step : script) {
            const QByteArray what = step.first(step.indexOf(':'));
            const QByteArray argument = step.sliced(what.size() + 1);
            const QString text = QString::fromLatin1(argument);
            if (what.startsWith('=')) {
                QTRY_COMPARE(bridge.in[ends.at(what.sliced(1))], argument);
            } else if (ends.count(what)) {
                const qsizetype before = bridge.lines.size();
                if (what == "udp")
                    bridge.udp.writeDatagram(argument, QHostAddress::Broadcast,
                                             bridge.sim.udpPort());
                else
                    ends.at(what)->write(argument);
                clock.start();
                QTRY_VERIFY(bridge.lines.size() > before);
            } else if (what == "do" || what == "refuse") {
                const QString reply = bridge.sim.control(text).text;
                QCOMPARE(reply.startsWith(what == "do" ? u"ok "_s : u"error "_s), true);
            } else if (what == "status") {
                QVERIFY2(bridge.sim.status().split(u' ').contains(text), step.constData());
            } else if (what == "log" || what == "logs") {
                const qsizetype count = what == "log" ? 1 : text.section(u':', 0, 0).toInt();
                const QString meaning = what == "log" ? text : text.section(u':', 1);
                QTRY_VERIFY_WITH_TIMEOUT(bridge.logged(meaning) >= count, 10000);
            } else if (what == "off") {
                const QString field = u"output%1=off"_s.arg(text.section(u':', 0, 0));
                QTRY_VERIFY_WITH_TIMEOUT(bridge.sim.status().split(u' ').contains(field), 5000);
                QVERIFY(clock.elapsed() >= text.section(u':', 1).toInt() - 50);
            } else {
                QCOMPARE(what, QByteArray("reader"));
                if (argument == "off")
                    bridge.answer = nullptr;
                else
                    answerAsReader(bridge);
            }
        }
        QVERIFY(bridge.wellFormed);
    }

    void reconnections()
    {
        // A hundred clients in turn: each replaces the one before, which is let go; "drop" lets the
        // last one go.
        Bridge bridge;
        QVERIFY(bridge.started);
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 100; ++i) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, bridge.sim.tcpPort());
            QVERIFY(clients.back()->waitForConnected(3000));
            QTRY_COMPARE(bridge.logged(u"connected, replaces "_s), qsizetype(i));
        }
        for (int i = 0; i < 99; ++i)
            QTRY_COMPARE(clients[i]->state(), QAbstractSocket::UnconnectedState);
        QTcpSocket &last = *clients.back();
        last.write(bridgeio::frame(bridgeio::inputStatusRequest(1)));
        QTRY_VERIFY(last.bytesAvailable() > 0);
        QCOMPARE(last.readAll(), QByteArray("\xF3"));
        QCOMPARE(bridge.sim.control(u"drop"_s).text, u"ok drop"_s);
        QTRY_COMPARE(last.state(), QAbstractSocket::UnconnectedState);
    }

    void bursts_data()
    {
        QTest::addColumn<bool>("second"); // the flood comes on the second port, else on the first
        QTest::newRow("tcp1 to a line nobody reads") << false;
        QTest::newRow("tcp2 echo to a client that never reads") << true;
    }

    void bursts()
    {
        QFETCH(bool, second);
        Bridge bridge;
        QVERIFY(bridge.started);
        // A program holds the line and never reads it.
        const int holder = ::open(QFile::encodeName(bridge.sim.serialPath()).constData(), O_RDWR);
        QVERIFY(holder >= 0);
        QTcpSocket flood;
        flood.setReadBufferSize(1); // it reads (almost) nothing back
        flood.connectToHost(QHostAddress::LocalHost,
                            second ? bridge.sim.tcp2Port() : bridge.sim.tcpPort());
        QVERIFY(flood.waitForConnected(3000));
        QTRY_VERIFY(bridge.sim.status().contains(u"line=open"_s));
        QByteArray garbage(10 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator random(42);
        for (char &c : garbage)
            c = char(random.bounded(256));
        QCOMPARE(flood.write(garbage), garbage.size());
        // Everything is read and logged, however little can go on.
        QByteArray read;
        bool dropped = false;
        const auto readAll = [&] {
            for (const logline::Line &line : std::as_const(bridge.lines)) {
                dropped = dropped || line.meaning.startsWith(u"dropped"_s);
                if (line.direction == kalveno::Direction::Received && line.meaning.isEmpty())
                    read += line.bytes;
            }
            bridge.lines.clear();
            return read.size() >= garbage.size();
        };
        QTRY_VERIFY_WITH_TIMEOUT(readAll(), 60000);
        QVERIFY(read == garbage && dropped && bridge.wellFormed);
        ::close(holder);
    }

    void jig()
    {
        // Input 1 follows outputs 1 and 2 (on while either is), and says so by itself.
        Options options = testOptions(u"io"_s);
        options.jig = {{1, 1}, {2, 1}};
        Bridge bridge(options);
        QVERIFY(bridge.started && bridge.attach());
        for (const auto &[output, on] :
             {std::pair{1, true}, std::pair{2, true}, std::pair{1, false}, std::pair{2, false}}) {
            bridge.tcp1.write(bridgeio::frame(bridgeio::outputSwitch(output, on)));
            QTRY_VERIFY(bridge.sim.status().contains(
                u"output%1=%2"_s.arg(output).arg(on ? u"on"_s : u"off"_s)));
        }
        QTRY_COMPARE(bridge.in[&bridge.tcp1], QByteArray("\xF2\xF3"));
        QVERIFY(bridge.sim.status().contains(u"input1=off input2=off"_s));
    }

    void corruptLoop()
    {
        // One byte in every 1000 of the echo, wherever the pieces begin and end.
        Log log;
        QString error;
        QVERIFY(log.openFile(u"/dev/null"_s, &error));
        Simulator sim(testOptions(), &log, Simulator::Role{1, Fault::LoopCorrupt, true, true});
        QVERIFY(sim.start(&error));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, sim.tcp2Port());
        QVERIFY(client.waitForConnected(3000));
        const QByteArray sent = QByteArray("0123456789").repeated(250);
        for (qsizetype at = 0; at < sent.size(); at += 333) {
            client.write(sent.mid(at, 333));
            QVERIFY(client.waitForBytesWritten(3000));
        }
        QTRY_COMPARE(client.bytesAvailable(), sent.size());
        const QByteArray echo = client.readAll();
        QList<qsizetype> changed;
        for (qsizetype i = 0; i < sent.size(); ++i) {
            if (echo[i] != sent[i])
                changed.append(i);
        }
        QCOMPARE(changed, (QList<qsizetype>{500, 1500}));
    }

    void portLink()
    {
        // An old link, left by a run that did not end cleanly, is replaced; another file is not.
        QTemporaryDir dir;
        Options options = testOptions();
        options.linkPath = dir.path() + u"/com1"_s;
        QVERIFY(QFile::link(u"/dev/nonexistent"_s, options.linkPath));
        {
            Bridge bridge(options);
            QVERIFY(bridge.started);
            QCOMPARE(QFile::symLinkTarget(options.linkPath), bridge.sim.serialPath());
        }
        QVERIFY(!QFileInfo(options.linkPath).isSymLink());
        QFile file(options.linkPath);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep") == 4 && file.flush());
        QVERIFY(!Bridge(options).started);
        QCOMPARE(QFileInfo(options.linkPath).size(), 4);
    }

    void refusedOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        for (const char *arguments :
             {"--mode 6", "--tcp-port 65536", "--firmware all", "--remote-ips 10.0.0.1,x",
              "--input1 1", "com1", "--bridges 0", "--bridges 2 --address ::1",
              "--bridges 2 --address 255.255.255.255", "--fault 2:absent", "--fault 1:broken",
              "--fault 1:silent --fault 1:absent", "--jig 5:1", "--jig 1:1,1:1"})
            QTest::newRow(arguments) << QString::fromLatin1(arguments).split(u' ');
    }

    void refusedOptions()
    {
        QFETCH(QStringList, arguments);
        QCommandLineParser parser;
        addOptions(&parser);
        QVERIFY(parser.parse(QStringList{u"kalveno-bridge-sim"_s} + arguments));
        Options options;
        QString error;
        QVERIFY(!readOptions(parser, &options, &error));
        QVERIFY2(error.contains(arguments.constFirst()), qPrintable(error));
    }

    // Three bridges in one process: each its own state, reached by its address on TCP and UDP
    // and by "bridge <n>" on the control channel; a broadcast reaches every bridge that answers.
    void site()
    {
        Options options = testOptions();
        options.bridges = 3;
        options.tcpAddress = QHostAddress(u"127.0.1.1"_s);
        options.faults = {{1, Fault::Input1Stuck}, {3, Fault::Silent}};
        Log log;
        QString error;
        QVERIFY(log.openFile(u"/dev/null"_s, &error));
        Site site(options, &log);
        QVERIFY2(site.start(&error), qPrintable(error));
        const QStringList endpoints = site.endpoints();
        QCOMPARE(endpoints.constLast(), u"bridges 3 127.0.1.1 127.0.1.3"_s);
        QVERIFY(endpoints.constFirst().startsWith(u"serial /dev/"_s));
        const quint16 port = site.bridge(1).tcpPort();
        const auto udpPort = endpoints.filter(u"udp "_s).value(0).section(u':', 1).toUShort();
        QVERIFY(port != 0 && site.bridge(3).tcpPort() == port);

        std::array<QTcpSocket, 3> clients;
        for (int i = 0; i < 3; ++i) {
            clients[i].connectToHost(QHostAddress(u"127.0.1.%1"_s.arg(i + 1)), port);
            QVERIFY(clients[i].waitForConnected(3000));
            QTRY_VERIFY(
                !site.control(u"bridge %1 status"_s.arg(i + 1)).text.contains(u"tcp1=none"));
        }
        QCOMPARE(site.control(u"bridge 2 input 1 on"_s).text, u"ok bridge 2 input 1 on"_s);
        QTRY_COMPARE(clients[1].bytesAvailable(), 1);
        QCOMPARE(clients[1].readAll(), QByteArray("\xF2"));
        QCOMPARE(site.control(u"input 2 on"_s).text, u"ok input 2 on"_s); // bridge 1
        QCOMPARE(site.control(u"input 1 off"_s).text, u"error input 1 is stuck on"_s);
        QTRY_COMPARE(clients[0].bytesAvailable(), 1);
        QCOMPARE(clients[0].readAll(), QByteArray("\xF4"));
        QVERIFY(site.control(u"bridge 3 status"_s)
                    .text.startsWith(u"status bridge=3 address=127.0.1.3 fault=silent "_s));
        QVERIFY(site.control(u"status"_s).text.contains(u" input1=on input2=on "_s));
        for (const char *refused : {"bridge 4 drop", "bridge x drop", "bridge 2 quit", "bridge 2"})
            QVERIFY(site.control(QString::fromLatin1(refused)).text.startsWith(u"error "_s));
        clients[2].write(bridgeio::frame(bridgeio::inputStatusRequest(1)));
        QVERIFY(!clients[2].waitForReadyRead(200)); // silent

        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::AnyIPv4, 0));
        const QByteArray request = bridgeio::frame(bridgeio::inputStatusRequest(1));
        QByteArray answers;
        connect(&udp, &QUdpSocket::readyRead, &udp, [&] {
            while (udp.hasPendingDatagrams())
                answers += udp.receiveDatagram().data();
        });
        udp.writeDatagram(request, QHostAddress(u"127.0.1.2"_s), udpPort);
        QTRY_COMPARE(answers, QByteArray("\xF2"));
        answers.clear();
        udp.writeDatagram(request, QHostAddress::Broadcast, udpPort);
        QTRY_COMPARE(answers.size(), 2);
        std::sort(answers.begin(), answers.end()); // one answer from each bridge, in any order
        QCOMPARE(answers, QByteArray("\xF2\xF2"));
    }

    void process_data()
    {
        QTest::addColumn<int>("end"); // a signal, or 0 for "quit"
        QTest::newRow("quit") << 0;
        QTest::newRow("SIGTERM after standard input ends") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    // The simulator as the end-to-end suite and a person run it: the command line, the control
    // channel on standard input and output, the log file, the link, and the ways it ends.
    void process()
    {
        QFETCH(int, end);
        const QString program = QStringLiteral(KALVENO_SIMULATOR);
        QProcess help;
        help.start(program, {u"--help"_s});
        QVERIFY(help.waitForFinished(5000) && help.exitCode() == 0);
        QVERIFY(help.readAllStandardOutput().contains("sent|received|event"));
        help.start(program, {u"--colour"_s});
        QVERIFY(help.waitForFinished(5000) && help.exitCode() == 2);

        QTemporaryDir dir;
        const QString link = dir.path() + u"/kalveno/com1"_s;
        QProcess sim;
        sim.start(program,
                  {u"--tcp-port"_s, u"0"_s, u"--tcp2-port"_s, u"0"_s, u"--udp-port"_s, u"0"_s,
                   u"--link"_s, link, u"--log"_s, dir.path() + u"/log"_s, u"--input2"_s, u"on"_s,
                   u"--mode"_s, u"3"_s, u"--remote-ips"_s, u"10.0.0.2"_s});
        const auto next = [&sim]() -> QString { // each answer is one line
            if (!QTest::qWaitFor([&sim] { return sim.canReadLine(); }, 5000))
                return {};
            return QString::fromLocal8Bit(sim.readLine()).trimmed();
        };
        const auto ask = [&](const QString &command) {
            sim.write((command + u'\n').toLocal8Bit());
            return next();
        };
        QHash<QString, QString> endpoints;
        for (QString line = next(); line != u"ready" && !line.isEmpty(); line = next())
            endpoints.insert(line.section(u' ', 0, 0), line.section(u' ', 1));
        QCOMPARE(QFile::symLinkTarget(link), endpoints.value(u"serial"_s));
        QTcpSocket tcp1;
        tcp1.connectToHost(QHostAddress::LocalHost,
                           endpoints[u"tcp1"_s].section(u':', 1).toUShort());
        QVERIFY(tcp1.waitForConnected(3000) && tcp1.write("><IR?") == 5);
        QTRY_COMPARE(tcp1.bytesAvailable(), 25);
        QCOMPARE(tcp1.readAll(), QByteArray("IR?,0,3,5,3,3,10.0.0.2,,*"));
        QCOMPARE(ask(u"input 1 on"_s), u"ok input 1 on"_s);
        const QStringList status = ask(u"status"_s).split(u' ');
        QVERIFY(status.contains(u"input1=on"_s) && status.contains(u"input2=on"_s));
        QVERIFY(status.contains(u"tcp1=127.0.0.1:%1"_s.arg(tcp1.localPort())));
        QCOMPARE(ask(u"bogus"_s), u"error unknown command: bogus"_s);
        QVERIFY(ask(u"help"_s).startsWith(u"commands: "_s));
        QCOMPARE(ask(QString(5000, u'x')), u"error line too long"_s);
        if (end == SIGTERM) {
            // Without its control channel it goes on serving.
            sim.closeWriteChannel();
            tcp1.write(bridgeio::frame(bridgeio::inputStatusRequest(2)));
            QTRY_COMPARE(tcp1.bytesAvailable(), 2); // with the status byte of "input 1 on"
        }
        QVERIFY(end ? ::kill(pid_t(sim.processId()), end) == 0 : ask(u"quit"_s) == u"ok quit");
        QVERIFY(sim.state() == QProcess::NotRunning || sim.waitForFinished(5000));
        QVERIFY(sim.exitStatus() == QProcess::NormalExit && sim.exitCode() == 0);
        QVERIFY(!QFileInfo(link).isSymLink());

        // The log file is written in the shared format, line by line to the end.
        QFile log(dir.path() + u"/log"_s);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QStringList meanings;
        while (!log.atEnd()) {
            const std::optional<logline::Line> line = logline::parse(log.readLine());
            QVERIFY(line);
            meanings.append(line->meaning);
        }
        QVERIFY(meanings.contains(u"command: configuration request"_s));
        QCOMPARE(meanings.last(), end ? u"ending on signal %1"_s.arg(end) : u"control: quit"_s);
    }
};

QTEST_MAIN(TestSimulatorLinks)
#include "tst_simulator_links.moc"
