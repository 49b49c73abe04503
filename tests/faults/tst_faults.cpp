// Faults from an untrusted peer and a changing machine, against the running console: after
// each, the links recover on their own and no byte that reached the console is lost from or
// duplicated in its terminal. How long the window stopped answering is measured by a watchdog
// timer and printed as a figure ("FIGURE ..."); it is reported, not asserted.
#include "../console/consolefixture.h"

#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "programs.h"
#include "serial/serialportcontroller.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <thread>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

// The longest time the event loop went without running a 10 ms timer.
class Watchdog
{
public:
    Watchdog()
    {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            const qint64 now = m_clock.elapsed();
            m_worst = qMax(m_worst, now - m_last - Period);
            m_last = now;
        });
        m_timer.start(Period);
    }
    ~Watchdog() { qInfo("FIGURE %s: longest stall %lld ms", qPrintable(m_name), m_worst); }
    void name(const QString &scenario) { m_name = scenario; }

private:
    static constexpr int Period = 10;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_worst = 0;
    QString m_name;
};

// Everything ever appended to a terminal, across its clears: the terminal only ever grows by
// appends at its end or is emptied whole.
class Transcript
{
public:
    explicit Transcript(TerminalBox *box)
        : m_box(box)
    {
        QObject::connect(box, &TerminalBox::changed, box, [this] {
            const qsizetype now = m_box->length();
            m_text += now >= m_seen ? m_box->bytes().mid(m_seen) : m_box->bytes();
            m_seen = now;
        });
    }
    const QByteArray &text() const { return m_text; }

private:
    TerminalBox *m_box;
    qsizetype m_seen = 0;
    QByteArray m_text;
};

// Numbered lines, so that a lost, repeated or reordered piece shows.
QByteArray numberedLines(qsizetype size)
{
    QByteArray data;
    data.reserve(size + 80);
    for (int line = 0; data.size() < size; ++line)
        data +=
            QByteArray::number(line).rightJustified(8, '0') + ' ' + QByteArray(69, 'x') + "\r\n";
    data.truncate(size);
    return data;
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void resetInTheMiddleOfABurst();
    void peerThatNeverReads();
    void tenMegabytesOnTcp();
    void tenMegabytesOnTheSerialLine();
    void serialLineVanishesAndComesBack();
    void simulatorKilledAndRestarted100Times();
};

void TestFaults::resetInTheMiddleOfABurst()
{
    Bridge bridge;
    Console console;
    QVERIFY(bridge.accept(console));
    const QByteArray burst = numberedLines(40 * 1024 * 1024);
    Watchdog watchdog;
    watchdog.name(u"reset in the middle of a 40 MB burst"_s);
    Transcript transcript(console.ui().TXT_TCP_WIN);
    bridge.peer->write(burst);
    QTRY_VERIFY(transcript.text().size() > 1024 * 1024);
    bridge.peer->abort();
    QVERIFY(transcript.text().size() < burst.size());
    // The console tears down and connects again by itself.
    QVERIFY(bridge.accept(console));
    // What reached the terminal is the start of the burst, each byte once, in order.
    QVERIFY(burst.startsWith(transcript.text()));
    qInfo("FIGURE reset: %lld of %lld bytes had reached the terminal",
          static_cast<long long>(transcript.text().size()), static_cast<long long>(burst.size()));
}

void TestFaults::peerThatNeverReads()
{
    Bridge bridge;
    Console console;
    QVERIFY(bridge.accept(console));
    bridge.peer->setReadBufferSize(1);
    const QByteArray block = numberedLines(1024 * 1024);
    QByteArray sent;
    Watchdog watchdog;
    watchdog.name(u"peer that never reads, 20 MB written"_s);
    for (int i = 0; i < 20; ++i) {
        QVERIFY(console.window->tcp().sendData(block));
        sent += block;
        QCoreApplication::processEvents();
    }
    // The window goes on: typed keys still echo while nothing leaves.
    TerminalBox *terminal = console.ui().TXT_TCP_WIN;
    terminal->setFocus();
    QTest::keyClicks(terminal, u"still here"_s);
    sent += "still here";
    QCOMPARE(terminal->bytes(), QByteArray("still here"));
    QVERIFY(isUp(console.ui().INP_IP_ADR));
    // Once the peer reads, everything arrives, in order.
    bridge.peer->setReadBufferSize(0);
    QCOMPARE(bridge.readTcp(sent.size(), 60000), sent);
}

void TestFaults::tenMegabytesOnTcp()
{
    Bridge bridge;
    Console console;
    QVERIFY(bridge.accept(console));
    const QByteArray burst = numberedLines(10 * 1024 * 1024);
    Watchdog watchdog;
    watchdog.name(u"10 MB in one burst on TCP"_s);
    Transcript transcript(console.ui().TXT_TCP_WIN);
    QElapsedTimer clock;
    clock.start();
    bridge.peer->write(burst);
    QTRY_VERIFY_WITH_TIMEOUT(transcript.text().size() >= burst.size(), 120000);
    qInfo("FIGURE 10 MB on TCP: shown in %lld ms", clock.elapsed());
    QCOMPARE(transcript.text(), burst);
    // The terminal stays under its cap plus one chunk.
    QVERIFY(console.ui().TXT_TCP_WIN->length() <= burst.size());
    QVERIFY(isUp(console.ui().INP_IP_ADR));
}

void TestFaults::tenMegabytesOnTheSerialLine()
{
    Console console;
    const QByteArray burst = numberedLines(10 * 1024 * 1024);
    Watchdog watchdog;
    watchdog.name(u"10 MB in one burst on the serial line"_s);
    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] { console.line.write(burst); });
    QTRY_VERIFY_WITH_TIMEOUT(console.ui().TXT_232_WIN->length() >= burst.size(), 120000);
    writer.join();
    qInfo("FIGURE 10 MB on the serial line: shown in %lld ms", clock.elapsed());
    QCOMPARE(console.ui().TXT_232_WIN->bytes(), burst);
    QVERIFY(isUp(console.ui().INP_COMM_NO));
}

void TestFaults::serialLineVanishesAndComesBack()
{
    auto console = std::make_unique<Console>();
    Watchdog watchdog;
    watchdog.name(u"serial line vanishes and comes back, 5 times"_s);
    Transcript transcript(console->ui().TXT_232_WIN);
    QByteArray expected;
    std::unique_ptr<Pty> line;
    for (int round = 0; round < 5; ++round) {
        Pty &current = round == 0 ? console->line : *line;
        const QByteArray piece = "round " + QByteArray::number(round) + "\r\n";
        current.write(piece);
        expected += piece;
        QTRY_COMPARE(transcript.text(), expected);
        current.closeMaster();
        QTRY_VERIFY(!console->window->serial().isOpen());
        line = std::make_unique<Pty>();
        console->config().linkPort(1, line->slavePath());
        QTRY_VERIFY_WITH_TIMEOUT(console->window->serial().isOpen(), 5000);
        QVERIFY(isUp(console->ui().INP_COMM_NO));
    }
    line->write("end");
    expected += "end";
    QTRY_COMPARE(transcript.text(), expected);
}

void TestFaults::simulatorKilledAndRestarted100Times()
{
    Console console;
    // The serial line is the simulator's from now on.
    console.line.closeMaster();
    Watchdog watchdog;
    watchdog.name(u"simulator killed and restarted 100 times"_s);
    const MainWindowUi &ui = console.ui();
    QElapsedTimer clock;
    qint64 slowest = 0;
    for (int round = 0; round < 100; ++round) {
        const bool on = round % 2;
        QProcess simulator;
        simulator.start(QStringLiteral(KALVENO_SIMULATOR),
                        {u"--link"_s, console.config().folder() + u"/com1"_s, u"--input1"_s,
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
        // Both links come back by themselves, the serial port on the simulator's new line.
        QTRY_VERIFY_WITH_TIMEOUT(console.window->tcp().state() == int(TcpControl::Connected) &&
                                     isUp(ui.INP_IP_ADR) && console.window->serial().isOpen() &&
                                     console.window->serial().device() == line,
                                 10000);
        slowest = qMax(slowest, clock.elapsed());
        // And carry traffic: the input's state comes back over TCP, then over the serial line.
        for (const int link : {0, 2}) {
            ui.SW_SEND_VIA[link]->setChecked(true);
            ui.SW_TTL1_IN[on ? 1 : 0]->setChecked(true);
            click(ui.B_STATUS);
            QTRY_VERIFY(ui.SW_TTL1_IN[on ? 0 : 1]->isChecked());
        }
        simulator.kill();
        simulator.waitForFinished();
    }
    qInfo("FIGURE simulator restarts: both links back within %lld ms at the slowest", slowest);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
