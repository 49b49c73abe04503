#include "platform/tcpcontrol.h"
#include "support/sandbox.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using kalveno::TcpControl;

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

// What the console's suites cannot show: an attempt that is refused or times out raises one
// error, one given up raises nothing afterwards, and the calls the control refuses outright.
// Connecting, receiving, a peer's close and sending are the link suites' (tst_links).
class TestTcpControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(kalveno::test::insidePrivateNetwork()); }

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
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        const quint16 refusing = gone.serverPort();
        gone.close();
        TcpControl tcp;
        tcp.setConnectTimeout(300);
        QSignalSpy errors(&tcp, &TcpControl::errorOccurred);
        QSignalSpy connected(&tcp, &TcpControl::connected);
        QVERIFY(tcp.connectTo(u"127.0.0.1"_s, outcome ? unanswering.port : refusing));
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
};

QTEST_GUILESS_MAIN(TestTcpControl)
#include "tst_tcpcontrol.moc"
