#include "simulator/log.h"
#include "simulator/simulator.h"
#include "support/sandbox.h"

#include "protocol/bridgeio.h"
#include "protocol/rfid.h"
#include "protocol/turnstile.h"

#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;
namespace bridgeio = kalveno::bridgeio;
namespace rfid = kalveno::rfid;

namespace {

const QByteArray Marker = "<marker>";

Options testOptions()
{
    Options options;
    options.tcpPort = 0;
    options.tcp2Port = 0;
    options.udpPort = 0;
    options.quietMs = 50;
    options.reader = {150, 50};
    return options;
}

// The simulator under test, with its log kept for inspection.
struct Bridge
{
    explicit Bridge(const Options &options = testOptions())
        : sim(options, &log)
    {
        QObject::connect(&log, &Log::written, &log,
                         [this](const QString &line) { lines.append(line); });
        QString error;
        started = sim.start(&error);
        if (!started)
            qWarning("%s", qPrintable(error));
    }
    bool logged(QStringView fragment) const
    {
        return std::any_of(lines.begin(), lines.end(),
                           [fragment](const QString &line) { return line.contains(fragment); });
    }
    qsizetype count(QStringView fragment) const
    {
        return std::count_if(lines.begin(), lines.end(),
                             [fragment](const QString &line) { return line.contains(fragment); });
    }

    Log log;
    Simulator sim;
    QStringList lines;
    bool started = false;
};

// A TCP client that keeps everything it receives.
struct Client
{
    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket,
                         [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(3000);
    }
    bool send(const QByteArray &bytes)
    {
        return socket.write(bytes) == bytes.size() && socket.flush();
    }

    QTcpSocket socket;
    QByteArray received;
};

// The console's end of the serial line.
struct SerialEnd
{
    explicit SerialEnd(const QString &path)
        : port(path)
    {
        QObject::connect(&port, &QSerialPort::readyRead, &port, [this] {
            received += port.readAll();
            if (answer)
                answer();
        });
        port.open(QIODevice::ReadWrite);
    }
    bool send(const QByteArray &bytes) { return port.write(bytes) == bytes.size() && port.flush(); }

    QSerialPort port;
    QByteArray received;
    std::function<void()> answer;
};

bool attached(const Bridge &bridge)
{
    return bridge.sim.status().contains(u"line=open"_s);
}

QByteArray everyByte(int times)
{
    QByteArray bytes;
    for (int t = 0; t < times; ++t) {
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
    }
    return bytes;
}

// The sum of the counts of the raw chunks logged as `prefix` ("tcp1 rx bytes ").
qsizetype loggedBytes(const QStringList &lines, const QString &prefix)
{
    qsizetype total = 0;
    for (const QString &line : lines) {
        const qsizetype at = line.indexOf(prefix);
        if (at >= 0)
            total += line.sliced(at + prefix.size()).section(u' ', 0, 0).toLongLong();
    }
    return total;
}

} // namespace

class TestSimulatorLinks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(kalveno::test::insidePrivateNetwork()); }
    void statusAnsweredOnItsLink_data();
    void statusAnsweredOnItsLink();
    void reconnectBroadcastLogged();
    void passThroughEveryByte();
    void unplugStopsTheLine();
    void turnstileSettings_data();
    void turnstileSettings();
    void commandsAreNotPassedOn();
    void readerPolling_data();
    void readerPolling();
    void hundredReconnections();
    void bursts_data();
    void bursts();
    void serialLink_data();
    void serialLink();
    void logLinesKeepTheirForm();
};

void TestSimulatorLinks::statusAnsweredOnItsLink_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("input");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("tcp1, input 1 on") << u"tcp1"_s << 1 << true << QByteArray("\xF2");
    QTest::newRow("tcp1, input 1 off") << u"tcp1"_s << 1 << false << QByteArray("\xF3");
    QTest::newRow("tcp1, input 2 on") << u"tcp1"_s << 2 << true << QByteArray("\xF4");
    QTest::newRow("tcp2, input 2 off") << u"tcp2"_s << 2 << false << QByteArray("\xF5");
    QTest::newRow("udp, input 1 on") << u"udp"_s << 1 << true << QByteArray("\xF2");
    QTest::newRow("udp, input 2 off") << u"udp"_s << 2 << false << QByteArray("\xF5");
    QTest::newRow("serial, input 1 off") << u"serial"_s << 1 << false << QByteArray("\xF3");
    QTest::newRow("serial, input 2 on") << u"serial"_s << 2 << true << QByteArray("\xF4");
}

void TestSimulatorLinks::statusAnsweredOnItsLink()
{
    QFETCH(QString, link);
    QFETCH(int, input);
    QFETCH(bool, on);
    QFETCH(QByteArray, reply);

    Options options = testOptions();
    options.inputs = {!on, !on};
    options.inputs[input - 1] = on;
    Bridge bridge(options);
    QVERIFY(bridge.started);
    Client tcp1(bridge.sim.tcpPort());
    SerialEnd serial(bridge.sim.serialPath());
    QVERIFY(serial.port.isOpen());
    QTRY_VERIFY(attached(bridge));
    const QByteArray request = bridgeio::frame(bridgeio::inputStatusRequest(input));

    if (link == u"udp") {
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::AnyIPv4, 0));
        QCOMPARE(udp.writeDatagram(request, QHostAddress::Broadcast, bridge.sim.udpPort()),
                 request.size());
        QVERIFY(udp.hasPendingDatagrams() || QSignalSpy(&udp, &QUdpSocket::readyRead).wait());
        QCOMPARE(udp.receiveDatagram().data(), reply);
    } else if (link == u"tcp2") {
        Client tcp2(bridge.sim.tcp2Port());
        QVERIFY(tcp2.send(request + Marker));
        // The second port echoes plain data; the frame itself does not come back.
        QTRY_COMPARE(tcp2.received, reply + Marker);
    } else if (link == u"tcp1") {
        QVERIFY(tcp1.send(request + Marker));
        QTRY_COMPARE(tcp1.received, reply);
        // The frame was the bridge's: only the marker behind it reaches the serial line.
        QTRY_COMPARE(serial.received, Marker);
    } else {
        QVERIFY(serial.send(request + Marker));
        QTRY_COMPARE(serial.received, reply);
        QTRY_COMPARE(tcp1.received, Marker);
    }
    QVERIFY(bridge.logged(u"%1 rx frame %2 input %3 status request"_s.arg(link)
                              .arg(packedHex(bridgeio::inputStatusRequest(input)))
                              .arg(input)));
}

void TestSimulatorLinks::reconnectBroadcastLogged()
{
    Bridge bridge;
    QVERIFY(bridge.started);
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::AnyIPv4, 0));
    const QByteArray datagram = bridgeio::reconnectBroadcast("10.1.2.3");
    QCOMPARE(udp.writeDatagram(datagram, QHostAddress::Broadcast, bridge.sim.udpPort()),
             datagram.size());
    QTRY_VERIFY(bridge.logged(u"udp rx text \"10.1.2.3\" reconnect broadcast from"_s));
}

void TestSimulatorLinks::passThroughEveryByte()
{
    Bridge bridge;
    QVERIFY(bridge.started);
    Client tcp1(bridge.sim.tcpPort());
    SerialEnd serial(bridge.sim.serialPath());
    QTRY_VERIFY(attached(bridge));
    const QByteArray bytes = everyByte(4);
    QVERIFY(tcp1.send(bytes));
    QVERIFY(serial.send(bytes));
    QTRY_COMPARE(serial.received.size(), bytes.size());
    QCOMPARE(serial.received, bytes);
    QTRY_COMPARE(tcp1.received.size(), bytes.size());
    QCOMPARE(tcp1.received, bytes);
}

void TestSimulatorLinks::unplugStopsTheLine()
{
    Bridge bridge;
    QVERIFY(bridge.started);
    Client tcp1(bridge.sim.tcpPort());
    SerialEnd serial(bridge.sim.serialPath());
    QTRY_VERIFY(attached(bridge));
    QCOMPARE(bridge.sim.control(u"unplug"_s).text, u"ok unplug"_s);
    QVERIFY(tcp1.send("lost on the way"));
    QTRY_VERIFY(bridge.logged(u"serial state dropped 15 bytes: unplugged"_s));
    QVERIFY(serial.send("also lost"));
    QTRY_VERIFY(bridge.logged(u"serial state unplugged: 9 bytes from the line lost"_s));
    QVERIFY(bridge.sim.status().contains(u"serial=unplugged"_s));

    QCOMPARE(bridge.sim.control(u"plug"_s).text, u"ok plug"_s);
    QVERIFY(tcp1.send(Marker));
    QVERIFY(serial.send(Marker));
    QTRY_COMPARE(serial.received, Marker);
    QTRY_COMPARE(tcp1.received, Marker);
}

void TestSimulatorLinks::turnstileSettings_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    const QList<QByteArray> commands{"><IP0512", "><IT0303", "><IM4", "><IR,1,10.0.0.2,,*",
                                     "><IR?"};
    QTest::newRow("one write each") << commands;
    QTest::newRow("all in one write") << QList<QByteArray>{commands.join()};
    QList<QByteArray> cut;
    const QByteArray all = commands.join();
    for (qsizetype i = 0; i < all.size(); i += 3)
        cut.append(all.mid(i, 3));
    QTest::newRow("cut every three bytes") << cut;
    QTest::newRow("starred, as the console joins them")
        << QList<QByteArray>{"><IP0512*><IT0303*><IM4*", "><IR,1,10.0.0.2,,*><IR?"};
}

void TestSimulatorLinks::turnstileSettings()
{
    QFETCH(QList<QByteArray>, chunks);
    Bridge bridge;
    QVERIFY(bridge.started);
    Client tcp1(bridge.sim.tcpPort());
    for (const QByteArray &chunk : chunks) {
        QVERIFY(tcp1.send(chunk));
        // Let each piece arrive on its own.
        QTRY_VERIFY(loggedBytes(bridge.lines, u"tcp1 rx bytes "_s) > 0);
    }
    QTRY_COMPARE(tcp1.received, QByteArray("IR?,1,4,5,3,3,10.0.0.2,,*"));
    QVERIFY(bridge.logged(u"tcp1 rx text \"><IM4"_s));
    QVERIFY(bridge.logged(u"tcp1 tx text \"IR?,1,4,5,3,3,10.0.0.2,,*\" configuration reply"_s));
    // Polling 1 hands the serial line to the reader.
    QTRY_VERIFY(bridge.sim.status().contains(u"reader=selecting"_s) ||
                bridge.sim.status().contains(u"reader=querying"_s) ||
                bridge.sim.status().contains(u"reader=pausing"_s));
}

void TestSimulatorLinks::commandsAreNotPassedOn()
{
    Bridge bridge;
    QVERIFY(bridge.started);
    Client tcp1(bridge.sim.tcpPort());
    SerialEnd serial(bridge.sim.serialPath());
    QTRY_VERIFY(attached(bridge));
    QVERIFY(tcp1.send("abc><IM2def"));
    QVERIFY(tcp1.send(kalveno::turnstile::GreenLedTwoSeconds.toByteArray()));
    QVERIFY(tcp1.send("OK><T6E" + bridgeio::frame(bridgeio::outputSwitch(3, true)) + "xyz"));
    QTRY_COMPARE(serial.received, QByteArray("abcdefxyz"));
    QVERIFY(bridge.sim.outputs().isOn(3));
    QVERIFY(bridge.sim.outputs().isOn(5));
    QVERIFY(bridge.sim.outputs().isOn(6));
    QCOMPARE(bridge.sim.turnstile().settings().mode, 2);
    QCOMPARE(tcp1.received, QByteArray());
}

void TestSimulatorLinks::readerPolling_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<QString>("note");
    QTest::newRow("card on antenna 2")
        << u"good"_s << true << u"serial rx reader 0D0000007D1BC6A3500104E0"_s;
    QTest::newRow("bad CRC") << u"bad crc"_s << false << u"bad CRC, antenna 2 step failed"_s;
    QTest::newRow("silent reader")
        << u"silent"_s << false << u"reader: no reply to select, antenna 4"_s;
}

void TestSimulatorLinks::readerPolling()
{
    QFETCH(QString, reader);
    QFETCH(bool, reported);
    QFETCH(QString, note);

    Bridge bridge;
    QVERIFY(bridge.started);
    Client tcp1(bridge.sim.tcpPort());
    SerialEnd serial(bridge.sim.serialPath());
    QTRY_VERIFY(attached(bridge));
    // The console's reader, with the card on antenna 2.
    int antenna = 0;
    int selects = 0;
    serial.answer = [&] {
        while (rfid::announcedLength(serial.received) > 0 &&
               serial.received.size() >= rfid::announcedLength(serial.received)) {
            const QByteArray request =
                serial.received.first(rfid::announcedLength(serial.received));
            serial.received.remove(0, request.size());
            const rfid::Request r = rfid::classify(request);
            QByteArray reply;
            if (r.kind == rfid::Request::AntennaSelect) {
                antenna = r.antenna;
                selects += antenna == 1;
                reply = rfid::antennaSelectedReply();
            } else if (r.kind == rfid::Request::CardQuery) {
                reply = antenna == 2 ? rfid::cardReply() : rfid::noCardReply();
                if (antenna == 2 && reader == u"bad crc")
                    reply[12] = char(reply[12] ^ 0x40);
            }
            if (reader != u"silent")
                serial.send(reply);
        }
    };
    QCOMPARE(bridge.sim.control(u"polling on"_s).text, u"ok polling on"_s);
    QTRY_VERIFY(bridge.logged(note));
    // Bytes for the line from TCP meet a line that is the reader's.
    QVERIFY(tcp1.send("hello"));
    QTRY_VERIFY(bridge.logged(u"dropped 5 bytes from tcp1: the line is polling the RFID reader"_s));
    // Two more rounds: a card that stays is not reported again, and no reply is passed on.
    const int seen = selects;
    if (reader != u"silent")
        QTRY_VERIFY_WITH_TIMEOUT(selects >= seen + 2, 10000);
    else
        QTRY_VERIFY_WITH_TIMEOUT(bridge.count(u"no reply to select, antenna 4"_s) >= 2, 10000);
    QCOMPARE(tcp1.received, reported ? QByteArray("CARD,2,E0040150A3C61B7D\r\n") : QByteArray());

    QCOMPARE(bridge.sim.control(u"polling off"_s).text, u"ok polling off"_s);
    QTRY_VERIFY(bridge.sim.status().contains(u"reader=idle"_s));
    // A plain line again.
    serial.answer = nullptr;
    serial.received.clear();
    QVERIFY(serial.send(Marker));
    QTRY_VERIFY(tcp1.received.endsWith(Marker));
}

void TestSimulatorLinks::hundredReconnections()
{
    Bridge bridge;
    QVERIFY(bridge.started);
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 100; ++i) {
        clients.push_back(std::make_unique<Client>(bridge.sim.tcpPort()));
        QVERIFY(clients.back()->socket.state() == QAbstractSocket::ConnectedState);
        QTRY_COMPARE(bridge.count(u"tcp1 state client"_s), i + 1);
    }
    QCOMPARE(bridge.count(u", replaces "_s), 99);
    // Every replaced client was let go; the last one is served.
    for (int i = 0; i < 99; ++i)
        QTRY_COMPARE(clients[i]->socket.state(), QAbstractSocket::UnconnectedState);
    Client &last = *clients.back();
    QVERIFY(last.send(bridgeio::frame(bridgeio::inputStatusRequest(1))));
    QTRY_COMPARE(last.received, QByteArray("\xF3"));
    QCOMPARE(bridge.sim.control(u"drop"_s).text, u"ok drop"_s);
    QTRY_COMPARE(last.socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(bridge.logged(u"gone: dropped"_s));
}

void TestSimulatorLinks::bursts_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow("tcp1 to a line nobody reads") << u"tcp1"_s;
    QTest::newRow("tcp2 echo to a client that never reads") << u"tcp2"_s;
}

void TestSimulatorLinks::bursts()
{
    QFETCH(QString, link);
    Bridge bridge;
    QVERIFY(bridge.started);
    // A program holds the line and never reads it.
    const int holder =
        ::open(QFile::encodeName(bridge.sim.serialPath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(holder >= 0);
    QTRY_VERIFY(attached(bridge));
    Client tcp1(bridge.sim.tcpPort());
    QTcpSocket flood;
    flood.setReadBufferSize(1); // the flooding client reads (almost) nothing back
    flood.connectToHost(QHostAddress::LocalHost,
                        link == u"tcp1" ? bridge.sim.tcpPort() : bridge.sim.tcp2Port());
    QVERIFY(flood.waitForConnected(3000));
    QTRY_COMPARE(bridge.count(link + u" state client"_s), link == u"tcp1" ? 2 : 1);

    QByteArray garbage(10 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(42);
    for (char &c : garbage)
        c = char(random.bounded(256));
    QCOMPARE(flood.write(garbage), garbage.size());
    // Everything is read, however little can go on.
    QTRY_VERIFY_WITH_TIMEOUT(loggedBytes(bridge.lines, link + u" rx bytes "_s) == garbage.size(),
                             60000);
    QVERIFY(bridge.logged(link == u"tcp1" ? u"serial state dropped"_s : u"tcp2 state dropped"_s));
    // And the simulator still answers at once.
    // On tcp1 the flood replaced the first client; a new one replaces the flood.
    std::unique_ptr<Client> fresh;
    Client *asker = &tcp1;
    if (link == u"tcp1") {
        fresh = std::make_unique<Client>(bridge.sim.tcpPort());
        asker = fresh.get();
    }
    QVERIFY(asker->send(bridgeio::frame(bridgeio::inputStatusRequest(2))));
    QTRY_VERIFY(asker->received.endsWith('\xF5'));
    ::close(holder);
}

void TestSimulatorLinks::serialLink_data()
{
    QTest::addColumn<QString>("existing"); // what is at the link's path before: none, link, file
    QTest::addColumn<bool>("starts");
    QTest::newRow("no file yet, folder made") << u"none"_s << true;
    QTest::newRow("old link replaced") << u"link"_s << true;
    QTest::newRow("a file is left alone") << u"file"_s << false;
}

void TestSimulatorLinks::serialLink()
{
    QFETCH(QString, existing);
    QFETCH(bool, starts);
    QTemporaryDir dir;
    const QString path = dir.path() + u"/kalveno/com1"_s;
    if (existing != u"none") {
        QVERIFY(QDir().mkpath(dir.path() + u"/kalveno"_s));
        if (existing == u"link") {
            QVERIFY(QFile::link(u"/dev/nonexistent-device"_s, path));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("keep");
        }
    }
    Options options = testOptions();
    options.linkPath = path;
    {
        Bridge bridge(options);
        QCOMPARE(bridge.started, starts);
        if (starts) {
            QCOMPARE(QFile::symLinkTarget(path), bridge.sim.serialPath());
            QVERIFY(bridge.sim.endpoints().contains(u"link "_s + path));
            // The console opens the line through the link.
            SerialEnd serial(path);
            QVERIFY(serial.port.isOpen());
            QTRY_VERIFY(attached(bridge));
        }
    }
    if (starts) {
        QVERIFY(!QFileInfo(path).isSymLink());
        QVERIFY(!QFileInfo::exists(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep"));
    }
}

void TestSimulatorLinks::logLinesKeepTheirForm()
{
    Bridge bridge;
    QVERIFY(bridge.started);
    Client tcp1(bridge.sim.tcpPort());
    SerialEnd serial(bridge.sim.serialPath());
    QTRY_VERIFY(attached(bridge));
    QVERIFY(tcp1.send("x\"\\\r\n" + bridgeio::frame("\xC1") + "><IR?><IM9"));
    QVERIFY(serial.send(QByteArray("\x00\xFF", 2)));
    QTRY_VERIFY(bridge.logged(u"tcp1 rx text \"><IM9\" refused: "_s));
    QTRY_VERIFY(bridge.logged(u"tcp1 tx bytes 2 00 FF"_s));
    QVERIFY(bridge.logged(u"serial tx bytes 5 78 22 5C 0D 0A"_s));
    QVERIFY(bridge.logged(u"tcp1 rx frame C1 output 1 on"_s));
    QVERIFY(bridge.logged(u"sim state output 1 on"_s));
    const QRegularExpression form(
        uR"re(^\d\d:\d\d:\d\d\.\d\d\d (tcp1|tcp2|udp|serial|sim) ((rx|tx) (bytes \d+( [0-9A-F]{2})*( \.\.\.)?|frame (-|([0-9A-F]{2})+) .+|text "([\x20-\x7E]*)" .+|reader (-|([0-9A-F]{2})+) .+)|state .+)$)re"_s);
    for (const QString &line : std::as_const(bridge.lines))
        QVERIFY2(form.match(line).hasMatch(), qPrintable(line));
}

QTEST_MAIN(TestSimulatorLinks)
#include "tst_simulator_links.moc"
