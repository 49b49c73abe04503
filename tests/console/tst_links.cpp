#include "support/console.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QNetworkDatagram>
#include <QSerialPort>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

// A listener whose accept queue is full, so that a further connection attempt hangs in the
// handshake: the way to make a connect neither succeed nor fail on loopback.
class Unanswering
{
public:
    Unanswering()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(m_listener, 0);
        socklen_t len = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
        for (int &fd : m_fillers) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        }
    }
    ~Unanswering()
    {
        for (int fd : m_fillers)
            ::close(fd);
        ::close(m_listener);
    }
    quint16 port = 0;

private:
    int m_listener = -1;
    int m_fillers[3] = {-1, -1, -1};
};

} // namespace

// The TCP link and the serial port: the TCP control's attempts, each link kept by its controller
// from its fields, and what is sent on them, by the command router and by the keys typed into
// their terminals.
class TestLinks : public QObject
{
    Q_OBJECT

    // A supervisor's tick, once the attempt under way has ended.
    static bool tick(Rig &rig)
    {
        const bool settled = QTest::qWaitFor([&] {
            return rig.tcp.state() != TcpControl::Connecting &&
                   rig.tcp.state() != TcpControl::ResolvingHost;
        });
        rig.supervisor.TIM_CONNECT_TCP_Timer();
        return settled;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }

    // What the controllers cannot show of the TCP control: an attempt that is refused or times out
    // raises one error, one given up raises nothing afterwards, and the calls it refuses outright.
    void attempts_data()
    {
        QTest::addColumn<int>("outcome"); // 0 refused, 1 no answer until the time-out, 2 given up
        QTest::newRow("refused") << 0;
        QTest::newRow("timed out") << 1;
        QTest::newRow("given up") << 2;
    }

    void attempts()
    {
        QFETCH(int, outcome);
        Unanswering unanswering;
        TcpControl tcp;
        tcp.setConnectTimeout(300);
        QSignalSpy errors(&tcp, &TcpControl::errorOccurred);
        QSignalSpy connected(&tcp, &TcpControl::connected);
        // Port 0 is a port like any other to the control; nothing listens there.
        QVERIFY(tcp.connectTo(u"127.0.0.1"_s, outcome ? unanswering.port : 0));
        QCOMPARE(tcp.state(), int(TcpControl::Connecting));
        if (outcome == 2) {
            tcp.close();
            QCOMPARE(tcp.state(), int(TcpControl::Closed));
            // Neither the abandoned attempt nor its time-out raises anything afterwards.
            QVERIFY(!errors.wait(600));
        } else {
            QVERIFY(errors.wait(5000));
        }
        QCOMPARE(tcp.state(), int(outcome == 2 ? TcpControl::Closed : TcpControl::Error));
        QCOMPARE(errors.count(), outcome == 2 ? 0 : 1);
        QCOMPARE(connected.count(), 0);
    }

    void refusedCalls_data()
    {
        QTest::addColumn<qint64>("port");
        QTest::addColumn<bool>("twice");
        QTest::newRow("port beyond 16 bits") << qint64(65536) << false;
        QTest::newRow("negative port") << qint64(-1) << false;
        QTest::newRow("connect while connecting") << qint64(1) << true;
    }

    void refusedCalls()
    {
        QFETCH(qint64, port);
        QFETCH(bool, twice);
        TcpControl tcp;
        QCOMPARE(tcp.connectTo(u"127.0.0.1"_s, port), twice);
        if (twice)
            QVERIFY(!tcp.connectTo(u"127.0.0.1"_s, port));
        else
            QCOMPARE(tcp.state(), int(TcpControl::Closed));
        QVERIFY(!tcp.lastError().isEmpty());
    }
    void tcpLinkLifecycle()
    {
        const QByteArray reconnect = "\xFE\xFF\x06"
                                     "127.0.0.1";
        Rig rig;
        rig.find<QLineEdit>("INP_IP_ADR")->setText(u"127.0.0.1"_s);
        // A tick leaves an attempt under way to end on its own.
        rig.supervisor.TIM_CONNECT_TCP_Timer();
        QTRY_COMPARE(rig.tcp.state(), int(TcpControl::Error));
        // The next tick closes and broadcasts; the one after that connects again.
        QVERIFY(tick(rig));
        QCOMPARE(rig.broadcasts.next(), reconnect);
        TcpPeer bridge(1024);
        QVERIFY(tick(rig) && bridge.accept());
        QTRY_COMPARE(rig.tcpLink.reason(), u"connected to 127.0.0.1:1024"_s);
        // Up and connected, a tick leaves the link alone.
        QVERIFY(tick(rig));
        QVERIFY(rig.broadcasts.next(300).isNull());
        // The peer closes: the link stays up until the ticks have torn down and reconnected.
        bridge.socket->disconnectFromHost();
        QTRY_COMPARE(rig.tcp.state(), int(TcpControl::Closing));
        QVERIFY(tick(rig) && rig.tcpLink.isUp());
        QCOMPARE(rig.broadcasts.next(), reconnect);
        QVERIFY(tick(rig) && bridge.accept());
        QTRY_COMPARE(rig.tcp.state(), int(TcpControl::Connected));
        // A port the socket refuses outright never gets as far as an attempt to tear down.
        rig.find<QComboBox>("INP_IP_PORT")->setEditText(u"99999"_s);
        rig.supervisor.INP_IP_PORT_Click();
        QVERIFY(tick(rig) && tick(rig));
        QVERIFY(rig.broadcasts.next(300).isNull() && !rig.tcpLink.isUp());
    }

    void serialPortNumbers_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("port"); // the pseudo-terminal opened, 0 for none
        const QString cfg = u"9600,N,8,1"_s;
        QTest::newRow("COM3") << u"COM3"_s << cfg << 0;
        QTest::newRow("zero") << u"0"_s << cfg << 0;
        QTest::newRow("beyond 16 bits") << u"99999"_s << cfg << 0;
        QTest::newRow("2.5 to even 2") << u"2.5"_s << cfg << 2;
        QTest::newRow("3.5 to even 4") << u"3.5"_s << cfg << 4;
        QTest::newRow("trailing letter") << u"3a"_s << cfg << 3;
        QTest::newRow("no such device") << u"5"_s << cfg << 0;
        // A pseudo-terminal takes only 8 data bits without parity.
        QTest::newRow("settings 19200,N,8,2") << u"2"_s << u"19200,N,8,2"_s << 2;
        QTest::newRow("settings cut short") << u"2"_s << u"19200,N,8,"_s << 0;
        QTest::newRow("settings with parity X") << u"2"_s << u"9600,X,8,1"_s << 0;
    }

    void serialPortNumbers()
    {
        QFETCH(QString, number);
        QFETCH(QString, settings);
        QFETCH(int, port);
        Pty ptys[3];
        Rig rig;
        for (int n = 2; n <= 4; ++n)
            rig.devices[n] = ptys[n - 2].slavePath();
        rig.devices[5] = u"/dev/nonexistent-serial-device"_s;
        rig.find<QLineEdit>("INP_COMM_NO")->setText(u"1"_s);
        QVERIFY(rig.serialLink.isUp());
        // Each field's change opens the port again.
        rig.find<QLineEdit>("INP_COMM_NO")->setText(number);
        rig.find<QLineEdit>("INP_COMM_CFG")->setText(settings);
        QCOMPARE(rig.serialLink.isUp() + rig.serial.isOpen(), port ? 2 : 0);
        if (port)
            QCOMPARE(rig.serial.device(), ptys[port - 2].slavePath());
        // A refusal says why: the serial control's own reason for its first failure.
        QVERIFY(!rig.serialLink.reason().isEmpty());
        // Port 1 was closed on the way: another program can take it now.
        QVERIFY(QSerialPort(rig.line.slavePath()).open(QIODevice::ReadWrite));
    }

    // A port whose device went away comes back only as that device: its number must still name
    // the same path and, where the device had a stable name, the device there must have that
    // name. Until then the link keeps its colour, the status bar says what the number names now,
    // and each kind of failed try is recorded once with a count; typing the number again opens
    // whatever it names.
    void portIdentityAcrossLossAndReturn_data()
    {
        // `said` begins the status bar's last word: %1 the lost port's path, %2 the new one's.
        QTest::addColumn<QString>("back");
        QTest::addColumn<QString>("stable"); // the lost device's stable name
        QTest::addColumn<bool>("reopened");
        QTest::addColumn<QString>("said");
        const QString other =
            u"lost; 1 now names %1: type the number again or pick the port to switch"_s;
        QTest::newRow("the same path")
            << u"path"_s << QString() << true << u"COM1 (%1) reopened at 9600,N,8,1"_s;
        QTest::newRow("another path")
            << u"other"_s << QString() << false << u"COM1 (%1) "_s + other.arg(u"%2"_s);
        QTest::newRow("the same adapter")
            << u"path"_s << u"usb-A"_s << true << u"COM1 (%1, usb-A) reopened at 9600,N,8,1"_s;
        QTest::newRow("another adapter at the path")
            << u"adapter"_s << u"usb-A"_s << false
            << u"COM1 (%1, usb-A) "_s + other.arg(u"usb-B"_s);
        QTest::newRow("still absent") << u"none"_s << QString() << false << u"COM1 (%1) lost: "_s;
    }

    void portIdentityAcrossLossAndReturn()
    {
        QFETCH(QString, back);
        QFETCH(QString, stable);
        QFETCH(bool, reopened);
        QFETCH(QString, said);
        Rig rig;
        QTemporaryDir dir;
        const QString path = dir.path() + u"/port"_s;
        QVERIFY(QFile::link(rig.line.slavePath(), path));
        rig.devices[1] = path;
        rig.stableNames[path] = stable;
        rig.find<QLineEdit>("INP_COMM_NO")->setText(u"1"_s);
        QVERIFY(rig.serial.isOpen());
        QSignalSpy lost(&rig.serial, &SerialControl::portLost);
        rig.line.closeMaster();
        QVERIFY(lost.wait() && rig.serialPort.retryTimer().isActive());
        // A new pseudo-terminal may take the lost one's name; the path is the test's own.
        Pty next;
        QVERIFY(QFile::remove(path));
        if (back == u"other")
            rig.devices[1] = next.slavePath();
        QVERIFY(QFile::link(back == u"none" ? dir.path() + u"/gone"_s : next.slavePath(), path));
        if (back == u"adapter")
            rig.stableNames[path] = u"usb-B"_s;
        for (int i = 0; i < 3; ++i)
            rig.serialPort.retry();
        QCOMPARE(rig.serial.isOpen(), reopened);
        QCOMPARE(rig.serialPort.retryTimer().isActive(), !reopened);
        QVERIFY(rig.serialLink.isUp());
        const QString expected =
            QString(said).replace(u"%1"_s, path).replace(u"%2"_s, next.slavePath());
        QVERIFY2(rig.reporter.last().startsWith(expected), qPrintable(rig.reporter.last()));
        // Three tries that failed alike are one event and a count.
        rig.serial.flushEvents();
        QStringList failures;
        for (qint64 i = rig.record.first(); i < rig.record.end(); ++i) {
            const QString note = rig.record.at(i).note;
            QVERIFY2(!note.contains(u"(0 more times)"_s), qPrintable(note));
            if (note.startsWith(u"cannot"_s) || note.startsWith(u"not opened"_s))
                failures << note;
        }
        QCOMPARE(failures.size(), reopened ? 0 : 2);
        if (!reopened)
            QCOMPARE(failures[1], failures[0] + u" (2 more times)"_s);
        // The technician's own word opens what the number names now.
        rig.find<QLineEdit>("INP_COMM_NO")->setText({});
        rig.find<QLineEdit>("INP_COMM_NO")->setText(u"1"_s);
        QCOMPARE(rig.serial.isOpen(), back != u"none");
        if (back != u"none") {
            QVERIFY(rig.serial.output("up"));
            QCOMPARE(next.read(2), QByteArray("up"));
        }
    }

    // What the status bar says and what the record keeps, for each cause of a link's change.
    // `action`: "COMM=text", "CFG=text" or "IP=text" typed, or one of reader, mapped, held, lost,
    // refused, closed. An event on `link` begins with `event`; the status bar's word contains
    // `said` (%1 port 1's device, %2 port 2's, %3 the TCP port).
    void eventsOfTheLinks_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("said");
        const auto row = [](const char *name, const char *action, const char *link,
                            const char *event, const char *said) {
            QTest::newRow(name) << QString::fromLatin1(action) << QString::fromLatin1(link)
                                << QString::fromUtf8(event) << QString::fromUtf8(said);
        };
        row("another number", "COMM=2", "COM1", "closed: the port number changed to \"2\"",
            "COM1 (%1) closed: the port number changed to \"2\"; COM2 (%2) open at 9600,N,8,1");
        row("other settings", "CFG=19200,N,8,2", "COM1",
            "closed: the settings changed to \"19200,N,8,2\"", "COM1 (%1) open at 19200,N,8,2");
        row("the RFID reader simulator", "reader", "COM1",
            "closed: the RFID reader simulator runs the line at 19200,N,8,1",
            "COM1 (%1) open at 19200,N,8,1");
        row("another device for the number", "mapped", "COM1",
            "closed: port 1 was given another device", "COM1 (%2) open at 9600,N,8,1");
        row("settings refused", "CFG=9600,X,8,1", "COM1",
            "cannot open %1: settings \"9600,X,8,1\" refused",
            "COM1 (%1) not open: settings \"9600,X,8,1\" refused");
        row("no port has the number", "COMM=0", "COM0",
            "cannot open: no port has the number 0 (1 to 32767)",
            "COM0 not open: no port has the number 0 (1 to 32767)");
        row("no such device", "COMM=5", "COM5", "cannot open /dev/nonexistent-serial-device: ",
            "COM5 (/dev/nonexistent-serial-device) not open: ");
        row("held by another program", "held", "COM2", "cannot open %2: ", "COM2 (%2) not open: ");
        row("device gone", "lost", "COM1", "lost: ", "COM1 (%1) lost: ");
        row("TCP refused", "refused", "TCP %3", "error: Connection refused",
            "TCP 127.0.0.1:%3: Connection refused");
        row("TCP address changed", "IP=127.0.0.2", "TCP %3",
            "closed: the address changed to \"127.0.0.2\"", "TCP connecting to 127.0.0.2:%3");
        row("TCP closed by the bridge", "closed", "TCP %3", "closed by the peer",
            "TCP 127.0.0.1:%3 closed by the bridge; connecting again");
    }

    void eventsOfTheLinks()
    {
        QFETCH(QString, action);
        QFETCH(QString, link);
        QFETCH(QString, event);
        QFETCH(QString, said);
        Rig rig;
        Pty two;
        rig.devices[2] = two.slavePath();
        rig.devices[5] = u"/dev/nonexistent-serial-device"_s;
        QVERIFY(rig.connect());
        quint16 port = rig.bridge.server.serverPort();
        QSerialPort holder(two.slavePath());
        const qint64 mark = rig.record.end();
        const QString typed = action.section(u'=', 1);
        if (action.startsWith(u"COMM="_s)) {
            rig.find<QLineEdit>("INP_COMM_NO")->setText(typed);
        } else if (action.startsWith(u"CFG="_s)) {
            rig.find<QLineEdit>("INP_COMM_CFG")->setText(typed);
        } else if (action.startsWith(u"IP="_s)) {
            rig.find<QLineEdit>("INP_IP_ADR")->setText(typed);
        } else if (action == u"reader") {
            rig.rfid.SW_TOURNRFID_Click();
        } else if (action == u"mapped") {
            rig.devices[1] = two.slavePath();
            rig.serialPort.mappingChanged();
        } else if (action == u"held") {
            QVERIFY(holder.open(QIODevice::ReadWrite));
            rig.find<QLineEdit>("INP_COMM_NO")->setText(u"2"_s);
        } else if (action == u"lost") {
            QSignalSpy lost(&rig.serial, &SerialControl::portLost);
            rig.line.closeMaster();
            QVERIFY(lost.wait());
        } else if (action == u"refused") {
            TcpPeer gone;
            port = gone.server.serverPort();
            gone.server.close();
            rig.find<QComboBox>("INP_IP_PORT")->setEditText(QString::number(port));
            QSignalSpy failed(&rig.tcp, &TcpControl::errorOccurred);
            rig.supervisor.INP_IP_PORT_Click();
            QVERIFY(failed.wait());
        } else {
            rig.bridge.socket->close();
            QTRY_COMPARE(rig.tcp.state(), int(TcpControl::Closing));
        }
        const auto expand = [&](const QString &text) {
            return QString(text)
                .replace(u"%1"_s, rig.line.slavePath())
                .replace(u"%2"_s, two.slavePath())
                .replace(u"%3"_s, QString::number(port));
        };
        QStringList events;
        for (qint64 i = mark; i < rig.record.end(); ++i) {
            const TrafficEntry &entry = rig.record.at(i);
            if (entry.direction == Direction::Event && entry.link == expand(link))
                events << entry.note;
        }
        QVERIFY2(std::any_of(events.cbegin(), events.cend(),
                             [&](const QString &e) { return e.startsWith(expand(event)); }),
                 qPrintable(events.join(u" | "_s)));
        QVERIFY2(rig.reporter.last().contains(expand(said)), qPrintable(rig.reporter.last()));
    }

    // A bridge serves one client and drops the older one for a newer: two consoles on one
    // bridge knock each other off in turn, which the status bar names after three short links.
    void anotherClientHoldsTheBridge_data()
    {
        QTest::addColumn<int>("shortLinks");
        QTest::newRow("two") << 2;
        QTest::newRow("three") << 3;
    }

    void anotherClientHoldsTheBridge()
    {
        QFETCH(int, shortLinks);
        Rig rig;
        QVERIFY(rig.connect());
        for (int i = 0; i < shortLinks; ++i) {
            if (i > 0) {
                QVERIFY(tick(rig) && tick(rig) && rig.bridge.accept());
                QTRY_COMPARE(rig.tcp.state(), int(TcpControl::Connected));
            }
            rig.bridge.socket->close();
            QTRY_COMPARE(rig.tcp.state(), int(TcpControl::Closing));
        }
        QCOMPARE(rig.reporter.last().endsWith(u"another client may hold the bridge"_s),
                 shortLinks >= TcpSupervisor::ShortLinksToWarn);
    }

    // Datagrams that come back to the console's UDP socket, from bridges answering a broadcast
    // request, are recorded with their sender, and move no indicator.
    void udpAnswers()
    {
        Rig rig;
        rig.find<QRadioButton>("SW_SEND_VIA(1)")->setChecked(true);
        rig.outputs.B_STATUS_Click();
        QTRY_VERIFY(rig.broadcasts.hasPendingDatagrams());
        const QNetworkDatagram request = rig.broadcasts.receiveDatagram();
        QCOMPARE(request.data(), framed("\xDE"));
        rig.broadcasts.writeDatagram("\xF3", request.senderAddress(),
                                     quint16(request.senderPort()));
        const auto received = [&rig]() -> const TrafficEntry * {
            for (qint64 i = rig.record.first(); i < rig.record.end(); ++i) {
                if (rig.record.at(i).direction == Direction::Received)
                    return &rig.record.at(i);
            }
            return nullptr;
        };
        QTRY_VERIFY(received());
        QCOMPARE(received()->link, u"UDP"_s);
        QCOMPARE(received()->bytes, QByteArray("\xF3"));
        QCOMPARE(meaningOf(*received()),
                 u"input 1 off, from 127.0.0.1:%1"_s.arg(rig.broadcasts.localPort()));
        for (const char *input : {"SW_TTL1_IN(0)", "SW_TTL1_IN(1)"})
            QVERIFY(!rig.find<QRadioButton>(input)->isChecked());
    }

    // What a paste sends is what the terminal shows: all of it leaves while the link is up, and
    // shows with echo on; with the link down, or its socket gone, nothing shows and the status
    // bar says why.
    void paste_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QString>("links");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QString>("report");
        QTest::newRow("TCP, echoed") << false << u"up"_s << true << QString();
        QTest::newRow("TCP link down")
            << false << u"down"_s << true << u"not pasted: TCP link is down"_s;
        QTest::newRow("TCP dropped")
            << false << u"gone"_s << true << u"not pasted: TCP send failed: not connected"_s;
        QTest::newRow("serial, echoed") << true << u"up"_s << true << QString();
        QTest::newRow("serial port lost")
            << true << u"gone"_s << true << u"not pasted: serial send failed: port not open"_s;
    }

    void paste()
    {
        QFETCH(bool, serial);
        QFETCH(QString, links);
        QFETCH(bool, echo);
        QFETCH(QString, report);
        Rig rig;
        QVERIFY(rig.connect());
        if (links == u"down") {
            rig.tcpLink.setDown({});
        } else if (links == u"gone") {
            rig.bridge.socket->abort();
            rig.line.closeMaster();
            QTRY_VERIFY(rig.tcp.state() == TcpControl::Closing && !rig.serial.isOpen());
        }
        rig.find<QCheckBox>(serial ? "SW_ECHO_232" : "SW_ECHO_TCP")->setChecked(echo);
        auto *box = rig.find<TerminalBox>(serial ? "TXT_232_WIN" : "TXT_TCP_WIN");
        const QByteArray body = QByteArray("ligne \xe9\r\n").repeated(8000);
        QApplication::clipboard()->setText(QString::fromLatin1(body) + u"\u20ac"_s);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        const QByteArray whole = body + '?';
        if (links == u"up") {
            QCOMPARE(serial ? rig.line.read(whole.size()) : rig.bridge.read(whole.size()), whole);
            QTRY_COMPARE(box->bytes(), echo ? whole : QByteArray());
        } else {
            QVERIFY(rig.quiet());
            QCOMPARE(box->bytes(), QByteArray());
            QCOMPARE(rig.reporter.last(), report);
        }
    }

    void sends_data()
    {
        // Who sends: the status button on the link chosen (0 TCP, 1 UDP, 2 RS-232, -1 none),
        // keys typed into the TCP (3) or the serial (4) terminal, or the send test (5), which
        // needs both links. Both links come up, then are left up, put down (one or both) by
        // their models' word with the sockets still open, or lose their sockets while the models
        // still say up.
        QTest::addColumn<int>("sender");
        QTest::addColumn<QString>("links");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QString>("report");
        const auto row = [](const char *name, int sender, const char *links, bool echo,
                            const QString &report = {}) {
            QTest::newRow(name) << sender << QString::fromLatin1(links) << echo << report;
        };
        row("status, TCP link down", 0, "down", false, u"not sent: TCP link is down"_s);
        row("status, TCP dropped", 0, "gone", false, u"TCP send failed: not connected"_s);
        row("status, serial link down", 2, "down", false, u"not sent: serial port is not open"_s);
        row("status, serial port lost", 2, "gone", false, u"serial send failed: port not open"_s);
        row("status, no link chosen", -1, "down", false, u"not sent: no link chosen"_s);
        row("status, UDP needs no link", 1, "down", false);
        row("TCP keys, no echo", 3, "up", false);
        row("TCP keys, link down", 3, "down", true);
        row("TCP keys, dropped", 3, "gone", false, u"TCP send failed: not connected"_s);
        row("serial keys, no echo", 4, "up", false);
        row("serial keys, link down", 4, "down", true);
        row("serial keys, port lost", 4, "gone", true, u"serial send failed: port not open"_s);
        row("send test, TCP link down", 5, "TCP down", false);
        row("send test, serial link down", 5, "serial down", false);
    }

    void sends()
    {
        QFETCH(int, sender);
        QFETCH(QString, links);
        QFETCH(bool, echo);
        QFETCH(QString, report);
        Rig rig;
        QVERIFY(rig.connect());
        if (links.endsWith(u"down")) {
            if (links != u"serial down")
                rig.tcpLink.setDown({});
            if (links != u"TCP down")
                rig.serialLink.setDown({});
        } else if (links == u"gone") {
            rig.bridge.socket->abort();
            rig.line.closeMaster();
            QTRY_VERIFY(rig.tcp.state() == TcpControl::Closing && !rig.serial.isOpen());
        }
        const QByteArray keys("aZ\r\x01\x1b");
        const QString before = rig.reporter.last();
        if (sender == 5) {
            const QColor before = rig.find<CaptionButton>("B_TST_SEND")->faceColour();
            rig.tcpTerminal.append("kept");
            rig.sendTest.B_TST_SEND_Click();
            QCOMPARE(rig.find<CaptionButton>("B_TST_SEND")->faceColour(), before);
            QCOMPARE(rig.tcpTerminal.text(), QByteArray("kept"));
        } else if (sender < 3) {
            rig.find<QRadioButton>("SW_SEND_VIA(0)")->group()->setExclusive(false);
            for (int i = 0; i < 3; ++i)
                rig.find<QRadioButton>(qPrintable(u"SW_SEND_VIA(%1)"_s.arg(i)))
                    ->setChecked(i == sender);
            rig.outputs.B_STATUS_Click();
        } else {
            rig.find<QCheckBox>(sender == 3 ? "SW_ECHO_TCP" : "SW_ECHO_232")->setChecked(echo);
            QByteArray shown;
            for (int code : keys) {
                sender == 3 ? rig.tcpTerminal.keyPress(code) : rig.poller.keyPress(code);
                shown += char(code);
            }
            QCOMPARE(shown, echo ? keys : QByteArray(keys.size(), '\0'));
        }
        if (links == u"up")
            QCOMPARE(sender == 3 ? rig.bridge.read(keys.size()) : rig.line.read(keys.size()), keys);
        if (sender == 1)
            QCOMPARE(rig.broadcasts.next(), framed("\xDE"));
        QVERIFY(rig.quiet());
        QCOMPARE(rig.reporter.last(), report.isEmpty() ? before : report);
    }
};

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
