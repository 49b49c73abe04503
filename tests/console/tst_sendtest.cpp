#include "consolefixture.h"

#include "loopback/sendtest.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

// Carries bytes both ways between the console's serial line and its TCP connection, as a
// bridge wired to the workstation's serial port does.
class LoopBack
{
public:
    LoopBack(Pty &line, QTcpSocket &peer)
        : m_notifier(line.masterFd(), QSocketNotifier::Read)
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier,
                         [&line, &peer] { peer.write(line.readAvailable()); });
        QObject::connect(&peer, &QIODevice::readyRead, &m_notifier,
                         [&line, &peer] { line.write(peer.readAll()); });
    }

private:
    QSocketNotifier m_notifier;
};

struct Rig
{
    Rig() { ok = bridge.accept(console) && isUp(console.ui().INP_COMM_NO); }
    const MainWindowUi &ui() const { return console.ui(); }
    QColor result() const { return ui().B_TST_SEND->faceColour(); }

    Bridge bridge;
    Console console;
    bool ok = false;
};

} // namespace

class TestSendTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void pattern();
    void refusedWhenALinkIsDown();
    void greenThroughALoopBack();
    void redWithNothingWired();
    void redWithTheSimulatorOn();
    void endlessTrafficIsBounded();
};

void TestSendTest::pattern()
{
    const QByteArray p = SendTest::pattern();
    QCOMPARE(p.size(), 1000);
    QVERIFY(p.startsWith("01234567890123"));
    QVERIFY(p.endsWith("6789"));
}

void TestSendTest::refusedWhenALinkIsDown()
{
    Rig rig;
    QVERIFY(rig.ok);
    const QColor before = rig.result();
    rig.ui().TXT_TCP_WIN->append("kept");
    rig.ui().INP_COMM_NO->setText(u"0"_s);
    click(rig.ui().B_TST_SEND);
    QCOMPARE(rig.result(), before);
    QCOMPARE(rig.ui().TXT_TCP_WIN->bytes(), QByteArray("kept"));
    QVERIFY(rig.bridge.quiet());
}

void TestSendTest::greenThroughALoopBack()
{
    Rig rig;
    QVERIFY(rig.ok);
    LoopBack wire(rig.console.line, *rig.bridge.peer);
    QStringList countdown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        if (rig.console.window->sendTest().isRunning()) {
            QVERIFY(!rig.console.window->isEnabled());
            QVERIFY(rig.ui().AFF_TST_SEND->isVisibleTo(rig.console.window.get()));
            if (countdown.value(countdown.size() - 1) != rig.ui().AFF_TST_SEND->text())
                countdown << rig.ui().AFF_TST_SEND->text();
        }
    });
    watch.start(100);
    click(rig.ui().B_TST_SEND);
    QCOMPARE(countdown, QStringList({u"10"_s, u"9"_s, u"8"_s, u"7"_s, u"6"_s, u"5"_s, u"4"_s,
                                     u"3"_s, u"2"_s, u"1"_s}));
    QCOMPARE(rig.result(), VERT);
    QByteArray tenTimes;
    for (int i = 0; i < 10; ++i)
        tenTimes += SendTest::pattern();
    QCOMPARE(rig.ui().TXT_232_WIN->bytes(), tenTimes);
    QCOMPARE(rig.ui().TXT_TCP_WIN->bytes(), tenTimes);
    QVERIFY(rig.console.window->isEnabled());
    QVERIFY(!rig.ui().B_TST_SEND->isHidden());
    QVERIFY(rig.ui().AFF_TST_SEND->isHidden());
    QCOMPARE(rig.console.window->focusWidget(), rig.ui().B_CLEAR_TCP);
}

void TestSendTest::redWithNothingWired()
{
    Rig rig;
    QVERIFY(rig.ok);
    click(rig.ui().B_TST_SEND);
    QCOMPARE(rig.result(), ROUGE);
    QCOMPARE(rig.ui().TXT_232_WIN->bytes(), QByteArray());
    // What went out: the pattern ten times on each link.
    QCOMPARE(rig.bridge.readTcp(10000).size(), 10000);
    QVERIFY(rig.console.window->isEnabled());
}

void TestSendTest::redWithTheSimulatorOn()
{
    Rig rig;
    QVERIFY(rig.ok);
    click(rig.ui().SW_TOURNRFID);
    QTRY_VERIFY(isUp(rig.ui().INP_COMM_NO));
    LoopBack wire(rig.console.line, *rig.bridge.peer);
    click(rig.ui().B_TST_SEND);
    QCOMPARE(rig.result(), ROUGE);
}

void TestSendTest::endlessTrafficIsBounded()
{
    Rig rig;
    QVERIFY(rig.ok);
    LoopBack wire(rig.console.line, *rig.bridge.peer);
    QTimer chatter;
    QObject::connect(&chatter, &QTimer::timeout, &chatter, [&] { rig.bridge.peer->write("."); });
    chatter.start(100);
    QElapsedTimer clock;
    clock.start();
    click(rig.ui().B_TST_SEND);
    QCOMPARE(rig.result(), ROUGE);
    QVERIFY(rig.console.window->isEnabled());
    // One pass ran into its limit and the test ended there.
    QVERIFY(clock.elapsed() < 2 * SendTest::PassLimitMs);
}

QTEST_MAIN(TestSendTest)
#include "tst_sendtest.moc"
