// Faults from an untrusted peer and a changing machine, against the running console: after
// each, the links recover on their own and no byte that reached the console is lost from or
// duplicated in its terminal. How long the window stopped answering is measured by a watchdog
// timer and printed as a figure ("FIGURE ..."); it is reported, not asserted.
#include "support/console.h"

#include "support/programs.h"

#include <QElapsedTimer>
#include <QProcess>

#include <thread>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

// The longest time the event loop went without running a 10 ms timer.
struct Watchdog : QTimer
{
    explicit Watchdog(const char *scenario)
        : scenario(scenario)
    {
        clock.start();
        connect(this, &QTimer::timeout, this,
                [this] { worst = qMax(worst, clock.restart() - 10); });
        start(10);
    }
    ~Watchdog() override { qInfo("FIGURE %s: longest stall %lld ms", scenario, worst); }
    const char *scenario;
    QElapsedTimer clock;
    qint64 worst = 0;
};

// Numbered lines, so that a lost, repeated or reordered piece shows.
QByteArray numberedLines(qsizetype size)
{
    QByteArray data;
    for (int line = 0; data.size() < size; ++line)
        data +=
            QByteArray::number(line).rightJustified(8, '0') + ' ' + QByteArray(69, 'x') + "\r\n";
    return data.left(size);
}

// A console whose TCP link is up on the bridge's listener.
struct Connected : TcpPeer, Console
{
    Connected()
        : TcpPeer(1024)
    {
        ok = accept() && QTest::qWaitFor([this] { return window->tcpLink().isUp(); });
    }
    bool ok;
};

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }

    void resetInTheMiddleOfABurst()
    {
        Connected console;
        QVERIFY(console.ok);
        const QByteArray burst = numberedLines(40 * 1024 * 1024);
        Watchdog watchdog("reset in the middle of a 40 MB burst");
        Transcript transcript(console.find<TerminalBox>("TXT_TCP_WIN"));
        console.socket->write(burst);
        QTRY_VERIFY(transcript.text.size() > 1024 * 1024);
        console.socket->abort();
        QVERIFY(transcript.text.size() < burst.size());
        // The console tears down and connects again by itself; what reached the terminal is
        // the start of the burst, each byte once, in order.
        QVERIFY(console.accept());
        QVERIFY(burst.startsWith(transcript.text));
        qInfo("FIGURE reset: %lld of %lld bytes had reached the terminal",
              qint64(transcript.text.size()), qint64(burst.size()));
    }

    void peerThatNeverReads()
    {
        Connected console;
        QVERIFY(console.ok);
        console.socket->setReadBufferSize(1);
        const QByteArray block = numberedLines(1024 * 1024);
        Watchdog watchdog("peer that never reads, 20 MB written");
        for (int i = 0; i < 20; ++i) {
            QVERIFY(console.window->panels().tcp.sendData(block));
            QCoreApplication::processEvents();
        }
        // The window goes on: typed keys still echo while nothing leaves.
        QTest::keyClicks(console.find<TerminalBox>("TXT_TCP_WIN"), u"still here"_s);
        QCOMPARE(console.find<TerminalBox>("TXT_TCP_WIN")->bytes(), QByteArray("still here"));
        QVERIFY(console.window->tcpLink().isUp());
        // Once the peer reads, everything arrives, in order.
        console.socket->setReadBufferSize(0);
        const QByteArray sent = block.repeated(20) + "still here";
        QCOMPARE(console.read(sent.size(), 60000), sent);
    }

    void sendTestAmidEndlessChatter()
    {
        Connected console;
        QVERIFY(console.ok);
        LoopBack wire(console.line, *console.socket);
        QTimer chatter;
        QObject::connect(&chatter, &QTimer::timeout, &chatter, [&] { console.socket->write("."); });
        chatter.start(100);
        // The terminals never settle: the first pass runs into its limit and the test ends red.
        click(console.find<QWidget>("B_TST_SEND"));
        QCOMPARE(console.find<CaptionButton>("B_TST_SEND")->faceColour(), ROUGE);
        QCOMPARE(console.find<QLabel>("AFF_TST_SEND")->text(), u"10"_s);
        QVERIFY(console.window->isEnabled());
    }

    void simulatorKilledAndRestarted()
    {
        Console console;
        // The serial line is the simulator's from now on.
        console.line.closeMaster();
        Watchdog watchdog("simulator killed and restarted 10 times");
        const auto option = [&](const QString &name) {
            return console.find<QRadioButton>(qPrintable(name));
        };
        QElapsedTimer clock;
        qint64 slowest = 0;
        // Ten rounds, the input alternating, at about two seconds each (the supervisor's tick).
        for (int round = 0; round < 10; ++round) {
            const bool on = round % 2;
            QProcess simulator;
            simulator.start(QStringLiteral(KALVENO_SIMULATOR),
                            {u"--link"_s, console.config.folder() + u"/com1"_s, u"--input1"_s,
                             on ? u"on"_s : u"off"_s});
            QByteArray said;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    said += simulator.readAllStandardOutput();
                    return said.contains("ready");
                },
                10000));
            const QString line =
                QString::fromLatin1(said).section(u"serial "_s, 1).section(u'\n', 0, 0);
            clock.start();
            // TCP comes back by itself. The serial port does too when the simulator's new line
            // has the lost one's name; when it has another, the console says so and waits for
            // the technician to type the number again.
            const auto serialBack = [&] {
                return console.window->panels().serial.isOpen() &&
                       console.window->panels().serial.device() == line;
            };
            QTRY_VERIFY_WITH_TIMEOUT(
                console.window->panels().tcp.state() == int(TcpControl::Connected) &&
                    console.window->tcpLink().isUp() &&
                    (serialBack() ||
                     console.window->serialLink().reason().contains(u"1 now names "_s + line)),
                10000);
            if (!serialBack()) {
                console.find<QLineEdit>("INP_COMM_NO")->setText({});
                console.find<QLineEdit>("INP_COMM_NO")->setText(u"1"_s);
                QVERIFY(serialBack());
            }
            slowest = qMax(slowest, clock.elapsed());
            // And carry traffic: the input's state comes back over TCP, then over the serial line.
            for (const int link : {0, 2}) {
                option(u"SW_SEND_VIA(%1)"_s.arg(link))->setChecked(true);
                option(u"SW_TTL1_IN(%1)"_s.arg(on ? 1 : 0))->setChecked(true);
                click(console.find<QWidget>("B_STATUS"));
                QTRY_VERIFY(option(u"SW_TTL1_IN(%1)"_s.arg(on ? 0 : 1))->isChecked());
            }
            simulator.kill();
            simulator.waitForFinished();
        }
        qInfo("FIGURE simulator restarts: both links back within %lld ms at the slowest", slowest);
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
