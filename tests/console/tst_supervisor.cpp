#include "consolefixture.h"

#include "platform/tcpcontrol.h"

#include <QComboBox>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

QByteArray reconnect(const QByteArray &address)
{
    return QByteArray("\xFE\xFF\x06", 3) + address;
}

} // namespace

class TestSupervisor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void connectPaintsUp();
    void refusedPaintsDownThenRetriesWithBroadcast();
    void peerCloseKeepsUpUntilReconnected();
    void oneAttemptPerKeystroke();
    void choosingAnotherPortReconnects();
    void badAddressesKeepTrying_data();
    void badAddressesKeepTrying();
    void broadcastGoesToTheConfiguredPort();
};

void TestSupervisor::connectPaintsUp()
{
    QTcpServer bridge;
    QVERIFY(bridge.listen(QHostAddress::LocalHost, 1024));
    Console console;
    QVERIFY(!isUp(console.ui().INP_IP_ADR));
    QCOMPARE(background(console.ui().INP_IP_ADR), ROUGE);
    QTRY_VERIFY(isUp(console.ui().INP_IP_ADR));
    QTRY_VERIFY(bridge.hasPendingConnections());
    QCOMPARE(console.window->tcp().state(), int(TcpControl::Connected));
}

void TestSupervisor::refusedPaintsDownThenRetriesWithBroadcast()
{
    BroadcastListener bridges;
    QVERIFY(bridges.isBound());
    Console console;
    QTRY_COMPARE(console.window->tcp().state(), int(TcpControl::Error));
    QCOMPARE(background(console.ui().INP_IP_ADR), ROUGE);
    // The next tick closes and broadcasts; the one after that connects again.
    QCOMPARE(bridges.next(), reconnect("127.0.0.1"));
    QTcpServer bridge;
    QVERIFY(bridge.listen(QHostAddress::LocalHost, 1024));
    QTRY_VERIFY_WITH_TIMEOUT(isUp(console.ui().INP_IP_ADR), 10000);
    QTRY_VERIFY(bridge.hasPendingConnections());
}

void TestSupervisor::peerCloseKeepsUpUntilReconnected()
{
    QTcpServer bridge;
    QVERIFY(bridge.listen(QHostAddress::LocalHost, 1024));
    BroadcastListener bridges;
    Console console;
    QTRY_VERIFY(bridge.hasPendingConnections());
    QTRY_VERIFY(isUp(console.ui().INP_IP_ADR));
    QTcpSocket *first = bridge.nextPendingConnection();
    first->disconnectFromHost();
    QTRY_COMPARE(console.window->tcp().state(), int(TcpControl::Closing));
    QVERIFY(isUp(console.ui().INP_IP_ADR));
    QCOMPARE(bridges.next(), reconnect("127.0.0.1"));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.hasPendingConnections(), 5000);
    QTRY_COMPARE(console.window->tcp().state(), int(TcpControl::Connected));
    QVERIFY(isUp(console.ui().INP_IP_ADR));
}

void TestSupervisor::oneAttemptPerKeystroke()
{
    // Every 127.x.y.z is a loopback address, so each partial text reaches a listener of its own.
    QTcpServer one, twelve, hundredTwentyThree;
    QVERIFY(one.listen(QHostAddress(u"127.0.0.1"_s), 1024));
    QVERIFY(twelve.listen(QHostAddress(u"127.0.0.12"_s), 1024));
    QVERIFY(hundredTwentyThree.listen(QHostAddress(u"127.0.0.123"_s), 1024));
    Console console(configFor(" 1 ", "127.0.0."));
    QLineEdit *address = console.ui().INP_IP_ADR;
    address->setFocus();
    address->end(false);
    QTest::keyClicks(address, u"123"_s);
    QTRY_VERIFY(one.hasPendingConnections());
    QTRY_VERIFY(twelve.hasPendingConnections());
    QTRY_VERIFY(hundredTwentyThree.hasPendingConnections());
    QTRY_VERIFY(isUp(address));
    for (QTcpServer *server : {&one, &twelve, &hundredTwentyThree}) {
        server->nextPendingConnection();
        QVERIFY(!server->hasPendingConnections());
    }
}

void TestSupervisor::choosingAnotherPortReconnects()
{
    QTcpServer com1;
    QTcpServer com2;
    QVERIFY(com1.listen(QHostAddress::LocalHost, 1024));
    QVERIFY(com2.listen(QHostAddress::LocalHost, 1025));
    Console console;
    QTRY_VERIFY(isUp(console.ui().INP_IP_ADR));
    QTRY_VERIFY(com1.hasPendingConnections());
    QTcpSocket *first = com1.nextPendingConnection();

    QComboBox *port = console.ui().INP_IP_PORT;
    port->setFocus();
    QTest::keyClick(port, Qt::Key_Down);
    QCOMPARE(port->currentText(), u"1025"_s);
    QVERIFY(!isUp(console.ui().INP_IP_ADR));
    QTRY_VERIFY(com2.hasPendingConnections());
    QTRY_VERIFY(isUp(console.ui().INP_IP_ADR));
    QTRY_COMPARE(first->state(), QAbstractSocket::UnconnectedState);
}

void TestSupervisor::badAddressesKeepTrying_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("broadcasts");
    QTest::newRow("empty") << QByteArray("") << u"1024"_s << true;
    QTest::newRow("unresolvable name") << QByteArray("no-such-bridge.invalid") << u"1024"_s << true;
    QTest::newRow("port text abc") << QByteArray("127.0.0.1") << u"abc"_s << true;
    // A port the socket refuses outright never gets as far as an attempt to tear down.
    QTest::newRow("port beyond range") << QByteArray("127.0.0.1") << u"99999"_s << false;
}

void TestSupervisor::badAddressesKeepTrying()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, port);
    QFETCH(bool, broadcasts);
    QTcpServer bridge;
    QVERIFY(bridge.listen(QHostAddress::AnyIPv4, 1024));
    BroadcastListener bridges;
    Console console(configFor(" 1 ", "x"));
    console.ui().INP_IP_PORT->setEditText(port);
    console.ui().INP_IP_ADR->setText(QString::fromLatin1(address));
    // One broadcast per failed round; the window never shows the link up.
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(bridges.next(2500), broadcasts ? reconnect(address) : QByteArray());
        QVERIFY(!isUp(console.ui().INP_IP_ADR));
    }
    QVERIFY(!bridge.hasPendingConnections());
}

void TestSupervisor::broadcastGoesToTheConfiguredPort()
{
    BroadcastListener bridges(4001);
    Console console(configFor(" 1 ", "10.1.2.3x"), "[udp]\nremote_port=4001\n");
    QCOMPARE(bridges.next(), reconnect("10.1.2.3x"));
}

QTEST_MAIN(TestSupervisor)
#include "tst_supervisor.moc"
