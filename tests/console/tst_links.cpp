#include "support/console.h"

#include <QButtonGroup>
#include <QSerialPort>

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
        rig.supervisor.INP_IP_ADR_Change();
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

    void serialLineGoesAwayAndComesBack()
    {
        Rig rig;
        rig.find<QLineEdit>("INP_COMM_NO")->setText(u"1"_s);
        QSignalSpy lost(&rig.serial, &SerialControl::portLost);
        rig.line.closeMaster();
        // The link keeps its state while the port is tried again, until a device answers.
        QVERIFY(lost.wait() && !rig.serial.isOpen() && rig.serialLink.isUp());
        Pty again;
        rig.devices[1] = again.slavePath();
        QTRY_VERIFY(rig.serial.isOpen() && !rig.port.retryTimer().isActive());
        QCOMPARE(rig.serial.device(), again.slavePath());
        // Lost again, then the technician takes over: no retry opens anything behind the field.
        again.closeMaster();
        QVERIFY(lost.wait() && rig.port.retryTimer().isActive());
        rig.find<QLineEdit>("INP_COMM_NO")->setText(u"0"_s);
        QVERIFY(!rig.port.retryTimer().isActive() && !rig.serialLink.isUp());
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
                sender == 3 ? rig.tcpTerminal.TXT_TCP_WIN_KeyPress(code)
                            : rig.poller.TXT_232_WIN_KeyPress(code);
                shown += char(code);
            }
            QCOMPARE(shown, echo ? keys : QByteArray(keys.size(), '\0'));
        }
        if (links == u"up")
            QCOMPARE(sender == 3 ? rig.bridge.read(keys.size()) : rig.line.read(keys.size()), keys);
        if (sender == 1)
            QCOMPARE(rig.broadcasts.next(), framed("\xDE"));
        QVERIFY(rig.quiet());
        QCOMPARE(rig.reporter.last(), report);
    }
};

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
