#include "support/console.h"

#include "protocol/rfid.h"

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

const QByteArray Selected = QByteArray::fromHex("040000525A");
const QByteArray NoCard = QByteArray::fromHex("04000E2CB3");
const QByteArray Card = QByteArray::fromHex("0D0000007D1BC6A3500104E02403");
const QByteArray Query = QByteArray::fromHex("0500000000FF");

// Serial port 1 open, the reader simulator ticked or not, and the simulated card on the
// antennas given (0: on all).
struct SerialRig : Rig
{
    explicit SerialRig(bool simulator = false, const QList<int> &cards = {})
    {
        find<QLineEdit>("INP_COMM_NO")->setText(u"1"_s);
        find<QCheckBox>("SW_TOURNRFID")->setChecked(simulator);
        for (int c : cards)
            find<QCheckBox>(qPrintable(u"SW_TOURNRFID_CARTE(%1)"_s.arg(c)))->setChecked(true);
    }
};

} // namespace

// What arrives on the serial port, and the turnstile's RFID reader the console plays on it.
class TestSerialTerminal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }

    void simulatorKeepsTheTerminalShort()
    {
        SerialRig rig;
        // What arrives shows without the input status bytes, which set the indicators.
        rig.line.write(QByteArray(300, 'a') + "\xF3\r\n" + QByteArray(298, 'a') + "\xF2");
        QTRY_COMPARE(rig.poller.text(), QByteArray(300, 'a') + "\r\n" + QByteArray(298, 'a'));
        QVERIFY(rig.find<QRadioButton>("SW_TTL1_IN(0)")->isChecked());
        // Without the simulator the terminal keeps growing.
        rig.poller.TIM_COMM_RX_Timer();
        QCOMPARE(rig.poller.text().size(), 600);
        // With the simulator, a tick empties it once past 500 bytes, before what arrives is
        // added, even when nothing arrives.
        rig.find<QCheckBox>("SW_TOURNRFID")->setChecked(true);
        rig.poller.TIM_COMM_RX_Timer();
        QCOMPARE(rig.poller.text().size(), 0);
        rig.line.write(QByteArray(501, 'c'));
        QTRY_COMPARE(rig.poller.text().size(), 501);
        rig.poller.TIM_COMM_RX_Timer();
        QCOMPARE(rig.poller.text().size(), 0);
        rig.line.write(QByteArray(500, 'd'));
        QTRY_COMPARE(rig.poller.text().size(), 500);
        rig.poller.TIM_COMM_RX_Timer();
        QCOMPARE(rig.poller.text().size(), 500);
    }

    void simulator_data()
    {
        // Requests are sent one at a time; each expects its reply, or none (empty).
        QTest::addColumn<QList<int>>("cards");
        QTest::addColumn<QList<QByteArray>>("requests");
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<int>("antenna");
        using L = QList<QByteArray>;
        const auto select = [](int mask) { return rfid::antennaSelectRequest(quint8(mask)); };
        for (int antenna = 1; antenna <= 4; ++antenna) {
            QTest::addRow("antenna %d, card there", antenna)
                << QList<int>{antenna} << L{select(1 << (antenna - 1)), Query} << L{Selected, Card}
                << antenna;
        }
        QTest::newRow("antenna 2, card on 3")
            << QList<int>{3} << L{select(2), Query} << L{Selected, NoCard} << 2;
        QTest::newRow("card on every antenna")
            << QList<int>{0} << L{select(4), Query} << L{Selected, Card} << 3;
        QTest::newRow("mask 03: no reply, antenna kept")
            << QList<int>{2} << L{select(2), select(3), Query} << L{Selected, {}, Card} << 2;
        QTest::newRow("mask 00: no reply") << QList<int>{} << L{select(0)} << L{{}} << 0;
        QTest::newRow("query first, card everywhere") << QList<int>{0} << L{Query} << L{Card} << 0;
        QTest::newRow("query first, card on 1") << QList<int>{1} << L{Query} << L{NoCard} << 0;
        QTest::newRow("no box ticked")
            << QList<int>{} << L{select(1), Query} << L{Selected, NoCard} << 1;
        QTest::newRow("two frames at once: the first answered")
            << QList<int>{0} << L{select(8) + Query} << L{Selected} << 4;
        // The length byte promises six bytes; two come. After a second the query is answered
        // on what arrived; an antenna select cut before its mask matches nothing.
        QTest::newRow("query never completed")
            << QList<int>{} << L{Query.left(2)} << L{NoCard} << 0;
        QTest::newRow("select never completed")
            << QList<int>{} << L{select(1).left(2)} << L{{}} << 0;
    }

    void simulator()
    {
        QFETCH(QList<int>, cards);
        QFETCH(QList<QByteArray>, requests);
        QFETCH(QList<QByteArray>, replies);
        QFETCH(int, antenna);
        SerialRig rig(true, cards);
        QByteArray all;
        for (qsizetype i = 0; i < requests.size(); ++i) {
            rig.line.write(requests[i]);
            // The requests are shown like any received bytes; the replies are not.
            QCOMPARE(rig.line.read(qMax<qsizetype>(replies[i].size(), 1), 1500), replies[i]);
            all += requests[i];
            QTRY_COMPARE(rig.poller.text(), all);
        }
        QVERIFY(rig.quiet());
        QCOMPARE(rig.rfid.currentAntenna(), antenna);
    }

    void requestInTwoPieces()
    {
        SerialRig rig(true, {0});
        // The poller ticks only when the test says: the first piece waits in the port, the
        // rest on the line, as when it comes while the simulator waits for it.
        const QSignalBlocker noTicks(rig.serial);
        rig.line.write(Query.left(2));
        QTRY_COMPARE(rig.serial.bytesWaiting(), 2);
        rig.line.write(Query.mid(2));
        QSignalSpy changes(rig.find<TerminalBox>("TXT_232_WIN"), &TerminalBox::changed);
        rig.poller.TIM_COMM_RX_Timer();
        QCOMPARE(rig.line.read(Card.size()), Card);
        QVERIFY(rig.quiet());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(rig.poller.text(), Query);
    }
};

QTEST_MAIN(TestSerialTerminal)
#include "tst_serialterminal.moc"
