#include "platform/tcpcontrol.h"
#include "support/sandbox.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
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

class TestTcpControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(kalveno::test::insidePrivateNetwork()); }
    void connectsAndReceives();
    void refusedGivesErrorState();
    void peerCloseIsNotAnError();
    void attemptTimesOut();
    void closeEndsEverything();
    void refusedCalls_data();
    void refusedCalls();
    void emptyHostFailsLater();
    void sendsEveryByteValue();
};

void TestTcpControl::connectsAndReceives()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TcpControl tcp;
    QSignalSpy connected(&tcp, &TcpControl::connected);
    QSignalSpy errors(&tcp, &TcpControl::errorOccurred);
    QVERIFY(tcp.connectTo(u"127.0.0.1"_s, server.serverPort()));
    QCOMPARE(tcp.state(), int(TcpControl::Connecting));
    QVERIFY(connected.wait());
    QCOMPARE(tcp.state(), int(TcpControl::Connected));
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    QSignalSpy arrival(&tcp, &TcpControl::dataArrival);
    peer->write("\x00\xFF\r\n", 4);
    QVERIFY(arrival.wait());
    QCOMPARE(tcp.getData(), QByteArray("\x00\xFF\r\n", 4));
    QCOMPARE(errors.count(), 0);
}

void TestTcpControl::refusedGivesErrorState()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    TcpControl tcp;
    QSignalSpy errors(&tcp, &TcpControl::errorOccurred);
    QSignalSpy connected(&tcp, &TcpControl::connected);
    QVERIFY(tcp.connectTo(u"127.0.0.1"_s, port));
    QVERIFY(errors.wait());
    QCOMPARE(tcp.state(), int(TcpControl::Error));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(connected.count(), 0);
}

void TestTcpControl::peerCloseIsNotAnError()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TcpControl tcp;
    QSignalSpy connected(&tcp, &TcpControl::connected);
    QSignalSpy errors(&tcp, &TcpControl::errorOccurred);
    tcp.connectTo(u"127.0.0.1"_s, server.serverPort());
    QVERIFY(connected.wait());
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    peer->write("bye");
    peer->disconnectFromHost();
    QTRY_COMPARE(tcp.state(), int(TcpControl::Closing));
    QCOMPARE(errors.count(), 0);
    // What the peer sent before closing can still be fetched.
    QCOMPARE(tcp.getData(), QByteArray("bye"));
    QVERIFY(!tcp.sendData("x"));
}

void TestTcpControl::attemptTimesOut()
{
    Unanswering peer;
    TcpControl tcp;
    tcp.setConnectTimeout(300);
    QSignalSpy errors(&tcp, &TcpControl::errorOccurred);
    QVERIFY(tcp.connectTo(u"127.0.0.1"_s, peer.port));
    QCOMPARE(tcp.state(), int(TcpControl::Connecting));
    QVERIFY(errors.wait(5000));
    QCOMPARE(tcp.state(), int(TcpControl::Error));
    QCOMPARE(errors.count(), 1);
}

void TestTcpControl::closeEndsEverything()
{
    Unanswering peer;
    TcpControl tcp;
    tcp.setConnectTimeout(200);
    QSignalSpy errors(&tcp, &TcpControl::errorOccurred);
    QSignalSpy connected(&tcp, &TcpControl::connected);
    tcp.connectTo(u"127.0.0.1"_s, peer.port);
    tcp.close();
    QCOMPARE(tcp.state(), int(TcpControl::Closed));
    // Neither the abandoned attempt nor its time-out raises anything afterwards.
    QVERIFY(!errors.wait(400));
    QCOMPARE(connected.count(), 0);
    QCOMPARE(tcp.state(), int(TcpControl::Closed));
    tcp.close();
    QCOMPARE(tcp.state(), int(TcpControl::Closed));
}

void TestTcpControl::refusedCalls_data()
{
    QTest::addColumn<qint64>("port");
    QTest::addColumn<bool>("twice");
    QTest::newRow("port beyond 16 bits") << qint64(65536) << false;
    QTest::newRow("negative port") << qint64(-1) << false;
    QTest::newRow("connect while connecting") << qint64(1) << true;
}

void TestTcpControl::refusedCalls()
{
    QFETCH(qint64, port);
    QFETCH(bool, twice);
    TcpControl tcp;
    if (twice) {
        QVERIFY(tcp.connectTo(u"127.0.0.1"_s, port));
        QVERIFY(!tcp.connectTo(u"127.0.0.1"_s, port));
    } else {
        QVERIFY(!tcp.connectTo(u"127.0.0.1"_s, port));
        QCOMPARE(tcp.state(), int(TcpControl::Closed));
    }
    QVERIFY(!tcp.lastError().isEmpty());
}

void TestTcpControl::emptyHostFailsLater()
{
    TcpControl tcp;
    QSignalSpy errors(&tcp, &TcpControl::errorOccurred);
    QVERIFY(tcp.connectTo(QString(), 1024));
    QCOMPARE(errors.count(), 0);
    QVERIFY(errors.wait());
    QCOMPARE(tcp.state(), int(TcpControl::Error));
}

void TestTcpControl::sendsEveryByteValue()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TcpControl tcp;
    QVERIFY(!tcp.sendData("x"));
    QSignalSpy connected(&tcp, &TcpControl::connected);
    tcp.connectTo(u"127.0.0.1"_s, server.serverPort());
    QVERIFY(connected.wait());
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QVERIFY(tcp.sendData(all));
    QByteArray received;
    QTRY_VERIFY((received += peer->readAll()).size() >= all.size());
    QCOMPARE(received, all);
}

QTEST_GUILESS_MAIN(TestTcpControl)
#include "tst_tcpcontrol.moc"
