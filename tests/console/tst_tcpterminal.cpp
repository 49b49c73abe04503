#include "consolefixture.h"

#include "app/statusline.h"
#include "platform/tcpcontrol.h"
#include "widgets/terminalbox.h"

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

class TestTcpTerminal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void typedKeys_data();
    void typedKeys();
    void clearAndDoubleClick();
    void sendOnADroppedLinkIsReported();
};

void TestTcpTerminal::typedKeys_data()
{
    QTest::addColumn<bool>("linkUp");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QByteArray>("onTheWire");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("up, echo") << true << true << QByteArray("aZ\r\x01") << QByteArray("aZ\r\n");
    QTest::newRow("up, no echo") << true << false << QByteArray("aZ\r\x01") << QByteArray();
    QTest::newRow("down, echo") << false << true << QByteArray() << QByteArray("aZ\r\n");
    QTest::newRow("down, no echo") << false << false << QByteArray() << QByteArray();
}

void TestTcpTerminal::typedKeys()
{
    QFETCH(bool, linkUp);
    QFETCH(bool, echo);
    QFETCH(QByteArray, onTheWire);
    QFETCH(QByteArray, shown);
    Bridge bridge(linkUp);
    Console console;
    if (linkUp)
        QVERIFY(bridge.accept(console));
    else
        bridge.attach(console);
    TerminalBox *terminal = console.ui().TXT_TCP_WIN;
    if (!echo)
        click(console.ui().SW_ECHO_TCP);
    terminal->setFocus();
    QTest::keyClick(terminal, Qt::Key_A);
    QTest::sendKeyEvent(QTest::Click, terminal, Qt::Key_Z, u"Z"_s, Qt::ShiftModifier);
    QTest::keyClick(terminal, Qt::Key_Return);
    QTest::keyClick(terminal, Qt::Key_A, Qt::ControlModifier);
    if (linkUp)
        QCOMPARE(bridge.readTcp(onTheWire.size()), onTheWire);
    QVERIFY(bridge.quiet());
    QCOMPARE(terminal->bytes(), shown);
}

void TestTcpTerminal::clearAndDoubleClick()
{
    Console console;
    TerminalBox *terminal = console.ui().TXT_TCP_WIN;
    console.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(console.window.get()));
    terminal->append("one\r\ntwo");
    QWidget *surface = terminal->viewport();
    const QPoint p(20, 30);
    QTest::mousePress(surface, Qt::LeftButton, {}, p);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, p);
    QTest::mouseDClick(surface, Qt::LeftButton, {}, p);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, p);
    QCOMPARE(terminal->bytes(), QByteArray());
    terminal->append("three");
    click(console.ui().B_CLEAR_TCP);
    QCOMPARE(terminal->bytes(), QByteArray());
}

void TestTcpTerminal::sendOnADroppedLinkIsReported()
{
    Bridge bridge;
    Console console;
    QVERIFY(bridge.accept(console));
    bridge.peer->abort();
    QTRY_VERIFY(console.window->tcp().state() != int(TcpControl::Connected));
    // The field still shows the link up until the supervisor reconnects.
    QVERIFY(isUp(console.ui().INP_IP_ADR));
    TerminalBox *terminal = console.ui().TXT_TCP_WIN;
    terminal->setFocus();
    QTest::keyClick(terminal, Qt::Key_Q);
    QCOMPARE(terminal->bytes(), QByteArray("q"));
    QVERIFY(console.window->statusLine().current().contains(u"TCP send failed"_s));
    click(console.ui().B_STATUS);
    QVERIFY(console.window->statusLine().current().contains(u"TCP send failed"_s));
}

QTEST_MAIN(TestTcpTerminal)
#include "tst_tcpterminal.moc"
