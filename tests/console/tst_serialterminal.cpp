#include "consolefixture.h"

#include "protocol/rfid.h"
#include "serial/rfidsimulator.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QRandomGenerator>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A console whose serial port 1 is the test's pseudo-terminal, the TCP link left down.
struct Rig
{
    Rig() { bridge.attach(console); }
    const MainWindowUi &ui() const { return console.ui(); }
    TerminalBox *terminal() const { return console.ui().TXT_232_WIN; }
    void simulatorOn(std::initializer_list<int> cards = {})
    {
        click(ui().SW_TOURNRFID);
        for (int c : cards)
            ui().SW_TOURNRFID_CARTE[c]->setChecked(true);
    }

    Bridge bridge{false};
    Console console;
};

} // namespace

class TestSerialTerminal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void receivedBytesAreShown_data();
    void receivedBytesAreShown();
    void simulatorCap();
    void typing_data();
    void typing();
    void clearAndDoubleClick();
    void simulator_data();
    void simulator();
    void requestInTwoPieces();
    void requestNeverCompleted();
    void bytesAfterTheFirstFrame();
    void switchingOffKeeps19200();
    void randomStream_data();
    void randomStream();
};

void TestSerialTerminal::receivedBytesAreShown_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<int>("input1");
    QTest::newRow("only status bytes") << QByteArray("\xF2\xF5") << QByteArray() << 0;
    QTest::newRow("status between characters") << QByteArray("AB\xF3"
                                                             "CD\xF2")
                                               << QByteArray("ABCD") << 0;
    QTest::newRow("CR LF and NUL") << QByteArray("x\r\n\0y", 5) << QByteArray("x\r\n\0y", 5) << -1;
}

void TestSerialTerminal::receivedBytesAreShown()
{
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, shown);
    QFETCH(int, input1);
    Rig rig;
    rig.console.line.write(received);
    if (input1 >= 0)
        QTRY_VERIFY(rig.ui().SW_TTL1_IN[input1]->isChecked());
    QTRY_COMPARE(rig.terminal()->bytes(), shown);
}

void TestSerialTerminal::simulatorCap()
{
    Rig rig;
    rig.console.line.write(QByteArray(600, 'a'));
    QTRY_COMPARE(rig.terminal()->length(), 600);
    // Without the simulator the terminal keeps growing.
    QVERIFY(rig.bridge.quiet());
    rig.console.line.write(QByteArray(10, 'b'));
    QTRY_COMPARE(rig.terminal()->length(), 610);
    // With it, the next tick empties it even when nothing arrives.
    rig.simulatorOn();
    QTRY_COMPARE(rig.terminal()->length(), 0);
    qsizetype longest = 0;
    QObject::connect(rig.terminal(), &TerminalBox::changed, rig.terminal(),
                     [&] { longest = qMax(longest, rig.terminal()->length()); });
    rig.console.line.write(QByteArray(501, 'c'));
    QTRY_COMPARE(longest, 501);
    QTRY_COMPARE(rig.terminal()->length(), 0);
    rig.console.line.write(QByteArray(500, 'd'));
    QTRY_COMPARE(rig.terminal()->length(), 500);
    QVERIFY(rig.bridge.quiet());
    QCOMPARE(rig.terminal()->length(), 500);
}

void TestSerialTerminal::typing_data()
{
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QByteArray>("onTheLine");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("open, echo") << true << true << QByteArray("a\r\x1b") << QByteArray("a\r\n");
    QTest::newRow("open, no echo") << true << false << QByteArray("a\r\x1b") << QByteArray();
    QTest::newRow("failed, echo") << false << true << QByteArray() << QByteArray("a\r\n");
}

void TestSerialTerminal::typing()
{
    QFETCH(bool, portOpen);
    QFETCH(bool, echo);
    QFETCH(QByteArray, onTheLine);
    QFETCH(QByteArray, shown);
    Rig rig;
    if (!portOpen)
        rig.ui().INP_COMM_NO->setText(u"0"_s);
    if (!echo)
        click(rig.ui().SW_ECHO_232);
    rig.terminal()->setFocus();
    QTest::keyClick(rig.terminal(), Qt::Key_A);
    QTest::keyClick(rig.terminal(), Qt::Key_Return);
    QTest::keyClick(rig.terminal(), Qt::Key_Escape);
    if (portOpen)
        QCOMPARE(rig.bridge.readSerial(onTheLine.size()), onTheLine);
    QVERIFY(rig.bridge.quiet());
    QCOMPARE(rig.terminal()->bytes(), shown);
}

void TestSerialTerminal::clearAndDoubleClick()
{
    Rig rig;
    rig.console.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.console.window.get()));
    rig.console.line.write("hello");
    QTRY_COMPARE(rig.terminal()->bytes(), QByteArray("hello"));
    QWidget *surface = rig.terminal()->viewport();
    QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(40, 40));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(40, 40));
    QTest::mouseDClick(surface, Qt::LeftButton, {}, QPoint(40, 40));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(40, 40));
    QCOMPARE(rig.terminal()->bytes(), QByteArray());
    rig.console.line.write("again");
    QTRY_COMPARE(rig.terminal()->bytes(), QByteArray("again"));
    click(rig.ui().B_CLEAR_232);
    QCOMPARE(rig.terminal()->bytes(), QByteArray());
}

void TestSerialTerminal::simulator_data()
{
    // Requests are sent one at a time; each expects its reply, or none (empty).
    QTest::addColumn<QList<int>>("cards");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<int>("antenna");
    const QByteArray selected = hex("040000525A"), noCard = hex("04000E2CB3"),
                     card = hex("0D0000007D1BC6A3500104E02403");
    const auto select = [](int mask) { return rfid::antennaSelectRequest(quint8(mask)); };
    const QByteArray query = hex("0500000000FF");
    const int masks[] = {0x01, 0x02, 0x04, 0x08};
    for (int antenna = 1; antenna <= 4; ++antenna) {
        QTest::addRow("antenna %d, card there", antenna)
            << QList<int>{antenna} << QList<QByteArray>{select(masks[antenna - 1]), query}
            << QList<QByteArray>{selected, card} << antenna;
    }
    QTest::newRow("antenna 2, card on 3") << QList<int>{3} << QList<QByteArray>{select(0x02), query}
                                          << QList<QByteArray>{selected, noCard} << 2;
    QTest::newRow("card on every antenna")
        << QList<int>{0} << QList<QByteArray>{select(0x04), query}
        << QList<QByteArray>{selected, card} << 3;
    QTest::newRow("mask 03: no reply, antenna kept")
        << QList<int>{2} << QList<QByteArray>{select(0x02), select(0x03), query}
        << QList<QByteArray>{selected, {}, card} << 2;
    QTest::newRow("mask 00: no reply")
        << QList<int>{} << QList<QByteArray>{select(0x00)} << QList<QByteArray>{{}} << 0;
    QTest::newRow("query before any antenna, card everywhere")
        << QList<int>{0} << QList<QByteArray>{query} << QList<QByteArray>{card} << 0;
    QTest::newRow("query before any antenna, card on 1")
        << QList<int>{1} << QList<QByteArray>{query} << QList<QByteArray>{noCard} << 0;
    QTest::newRow("no box ticked") << QList<int>{} << QList<QByteArray>{select(0x01), query}
                                   << QList<QByteArray>{selected, noCard} << 1;
}

void TestSerialTerminal::simulator()
{
    QFETCH(QList<int>, cards);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(int, antenna);
    Rig rig;
    rig.simulatorOn({});
    for (int c : cards)
        rig.ui().SW_TOURNRFID_CARTE[c]->setChecked(true);
    QByteArray all;
    for (qsizetype i = 0; i < requests.size(); ++i) {
        rig.console.line.write(requests[i]);
        all += requests[i];
        if (replies[i].isEmpty())
            QVERIFY(rig.bridge.quiet());
        else
            QCOMPARE(rig.bridge.readSerial(replies[i].size()), replies[i]);
        // The requests are shown like any received bytes; the replies are not.
        QTRY_COMPARE(rig.terminal()->bytes(), all);
    }
    QCOMPARE(rig.console.window->rfidSimulator().currentAntenna(), antenna);
}

void TestSerialTerminal::requestInTwoPieces()
{
    Rig rig;
    rig.simulatorOn({2});
    rig.console.line.write(rfid::antennaSelectRequest(0x02));
    QCOMPARE(rig.bridge.readSerial(5), hex("040000525A"));
    QSignalSpy changes(rig.terminal(), &TerminalBox::changed);
    const QByteArray request = hex("0500000000FF");
    rig.console.line.write(request.left(2));
    // The rest comes while the console waits on the port for it, as a reader's master would.
    std::thread rest([&] {
        std::this_thread::sleep_for(200ms);
        rig.console.line.write(request.mid(2));
    });
    const QByteArray reply = rig.bridge.readSerial(14);
    rest.join();
    QCOMPARE(reply, hex("0D0000007D1BC6A3500104E02403"));
    QVERIFY(rig.bridge.quiet());
    QCOMPARE(changes.count(), 1);
    QCOMPARE(rig.terminal()->bytes(), rfid::antennaSelectRequest(0x02) + request);
}

void TestSerialTerminal::requestNeverCompleted()
{
    Rig rig;
    rig.simulatorOn({});
    // The length byte promises six bytes; two come. After a second the query is answered on
    // what arrived.
    rig.console.line.write(hex("0500"));
    QCOMPARE(rig.bridge.readSerial(5, 5000), hex("04000E2CB3"));
    QTRY_COMPARE(rig.terminal()->bytes(), hex("0500"));
    // An antenna select cut before its mask matches nothing.
    rig.console.line.write(hex("0600"));
    QVERIFY(rig.bridge.quiet(1500));
    QCOMPARE(rig.console.window->rfidSimulator().currentAntenna(), 0);
}

void TestSerialTerminal::bytesAfterTheFirstFrame()
{
    Rig rig;
    rig.simulatorOn({0});
    const QByteArray two = rfid::antennaSelectRequest(0x08) + hex("0500000000FF");
    rig.console.line.write(two);
    QCOMPARE(rig.bridge.readSerial(5), hex("040000525A"));
    QVERIFY(rig.bridge.quiet());
    QTRY_COMPARE(rig.terminal()->bytes(), two);
}

void TestSerialTerminal::switchingOffKeeps19200()
{
    Rig rig;
    QCOMPARE(rig.ui().INP_COMM_CFG->text(), u"9600,N,8,1"_s);
    click(rig.ui().SW_TOURNRFID);
    QCOMPARE(rig.ui().INP_COMM_CFG->text(), u"19200,N,8,1"_s);
    QVERIFY(isUp(rig.ui().INP_COMM_NO));
    click(rig.ui().SW_TOURNRFID);
    QVERIFY(!rig.ui().SW_TOURNRFID->isChecked());
    QCOMPARE(rig.ui().INP_COMM_CFG->text(), u"19200,N,8,1"_s);
    QVERIFY(isUp(rig.ui().INP_COMM_NO));
}

void TestSerialTerminal::randomStream_data()
{
    QTest::addColumn<bool>("simulator");
    QTest::newRow("simulator off") << false;
    QTest::newRow("simulator on") << true;
}

void TestSerialTerminal::randomStream()
{
    QFETCH(bool, simulator);
    Rig rig;
    if (simulator)
        rig.simulatorOn({0});
    QRandomGenerator random(simulator ? 7 : 11);
    QByteArray stream(1024 * 1024, Qt::Uninitialized);
    for (char &c : stream)
        c = char(random.bounded(256));
    QByteArray expected;
    for (char c : stream) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0xF2 || b > 0xF5)
            expected.append(c);
    }
    std::thread writer([&] { rig.console.line.write(stream); });
    QByteArray replies;
    if (simulator) {
        // Replies flow back while the stream runs; the console must never stop taking bytes.
        QVERIFY(QTest::qWaitFor(
            [&] {
                replies += rig.console.line.readAvailable();
                return rig.bridge.quiet(1500);
            },
            120000));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(rig.terminal()->length(), expected.size(), 120000);
        QCOMPARE(rig.terminal()->bytes(), expected);
    }
    writer.join();
    QVERIFY(isUp(rig.ui().INP_COMM_NO));
}

QTEST_MAIN(TestSerialTerminal)
#include "tst_serialterminal.moc"
