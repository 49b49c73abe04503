#include "protocol/rfid.h"
#include "support/console.h"

#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

// Connected, with the bridge sending chunks that the console takes each on its own.
struct TcpRig : Rig
{
    TcpRig() { ok = connect(); }
    // True once the console has taken the whole chunk off the socket.
    bool receive(const QByteArray &chunk)
    {
        qint64 arrived = 0;
        const auto counting =
            QObject::connect(&tcp, &TcpControl::dataArrival, &tcp, [&](qint64 n) { arrived += n; });
        bridge.socket->write(chunk);
        const bool taken = QTest::qWaitFor([&] { return arrived >= chunk.size(); });
        QObject::disconnect(counting);
        return taken;
    }
    QString text(const char *field) const
    {
        auto *combo = qobject_cast<QComboBox *>(controlNamed(&form, QString::fromLatin1(field)));
        return combo ? combo->currentText() : find<QLineEdit>(field)->text();
    }
    bool ok = false;
};

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

// What arrives and what the console does with it: over TCP, the terminal, the input indicators,
// the turnstile's configuration reply, the auto answer and the test view; on the serial line,
// the terminal and the RFID reader the console plays. Which bytes the buttons send on each link
// is the window's table; what happens when a link is down or gone, tst_links'.
class TestReceived : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }

    void modeFourShowsTheTestView()
    {
        TcpRig rig;
        QVERIFY(rig.ok);
        for (int i : {3, 4, 5}) {
            rig.find<QComboBox>("LST_T_MODE")->setCurrentIndex(i);
            rig.turnstile.LST_T_MODE_Click();
            QCOMPARE(rig.bridge.read(5), "><IM" + QByteArray::number(i));
            QCOMPARE(rig.testView.isShown(), i >= 4);
        }
        // Connected by the link model's word is not enough: the socket must be.
        Rig down;
        down.tcpLink.setUp({});
        down.remoteConfig.B_T_RX_CFG_REMOTE_Click();
        QCOMPARE(down.reporter.last(), u"not sent: TCP link is down"_s);
    }

    void chunks_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QByteArray>("shown");
        QTest::addColumn<QString>("timeToPass"); // 77 when the chunk is no configuration reply
        QTest::newRow("status byte") << QByteArray("AB\xF2"
                                                   "CD")
                                     << QByteArray("ABCD") << u"77"_s;
        QTest::newRow("reply of 10")
            << QByteArray("IR?,1,4,5,") << QByteArray("IR?,1,4,5,") << u"77"_s;
        QTest::newRow("reply of 11")
            << QByteArray("IR?,1,4,5,3") << QByteArray("IR?,1,4,5,3") << u"5"_s;
        QTest::newRow("status byte does not count") << QByteArray("IR?,1,4,\xF2"
                                                                  "5,")
                                                    << QByteArray("IR?,1,4,5,") << u"77"_s;
    }

    void chunks()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QByteArray, shown);
        QFETCH(QString, timeToPass);
        TcpRig rig;
        QVERIFY(rig.ok);
        rig.find<QLineEdit>("INP_T_TIMEOUT")->setText(u"77"_s);
        rig.find<QCheckBox>("SW_TOURN_ANSWER")->setChecked(true);
        // Each chunk is answered with a passage, in the time to pass that a reply carries.
        const QByteArray answer = "><IP" + timeToPass.rightJustified(2, u'0').toLatin1() +
                                  "01><T5T" + timeToPass.rightJustified(2, u'0').toLatin1();
        QVERIFY(rig.receive(chunk));
        QCOMPARE(rig.bridge.read(answer.size()), answer);
        QCOMPARE(rig.tcpTerminal.text(), shown);
        QCOMPARE(rig.text("INP_T_TIMEOUT"), timeToPass);
        QCOMPARE(rig.find<QRadioButton>("SW_TTL1_IN(0)")->isChecked(), chunk.contains('\xF2'));
        // A status byte alone shows nothing, and is answered; each input keeps its own indicator.
        QVERIFY(rig.receive("\xF4"));
        QCOMPARE(rig.bridge.read(answer.size()), answer);
        QCOMPARE(rig.tcpTerminal.text(), shown);
        QVERIFY(rig.find<QRadioButton>("SW_TTL2_IN(0)")->isChecked());
        QCOMPARE(rig.find<QRadioButton>("SW_TTL1_IN(0)")->isChecked(), chunk.contains('\xF2'));
        QVERIFY(rig.receive("\xF5"));
        QCOMPARE(rig.bridge.read(answer.size()), answer);
        QVERIFY(rig.find<QRadioButton>("SW_TTL2_IN(1)")->isChecked());
    }

    void terminalCap_data()
    {
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("exactly the cap: appended") << 10000 << false;
        QTest::newRow("one past the cap: cleared") << 10001 << true;
    }

    void terminalCap()
    {
        QFETCH(int, held);
        QFETCH(bool, cleared);
        TcpRig rig;
        QVERIFY(rig.ok);
        rig.testView.show();
        rig.testView.view()->AFF_TXT()->setBytes("old");
        rig.tcpTerminal.append(QByteArray(held, 'x'));
        QVERIFY(rig.receive("yz"));
        QCOMPARE(rig.tcpTerminal.text(), cleared ? QByteArray("yz") : QByteArray(held, 'x') + "yz");
        QCOMPARE(rig.testView.view()->AFF_TXT()->bytes(), QByteArray(cleared ? "yz" : "oldyz"));
    }

    void replyFillsThePanels()
    {
        TcpRig rig;
        QVERIFY(rig.ok);
        const auto fields = [&] {
            QStringList texts;
            for (const char *f :
                 {"SW_T_RFID_POLLING", "LST_T_MODE", "INP_T_TIMEOUT", "INP_T_VALID_TIMEOUT",
                  "INP_T_VALID_NBCARD", "INP_T_REMOTE_IP(0)", "INP_T_REMOTE_IP(2)"})
                texts << rig.text(f);
            return texts;
        };
        QVERIFY(rig.receive("IR?,1,4,5,3,3,10.0.0.2,10.0.0.3,10.0.0.4*"));
        QCOMPARE(fields(), QStringList({u"1"_s, u"4 - Free tst: 001-000-100-000-010-000-001"_s,
                                        u"5"_s, u"3"_s, u"3"_s, u"10.0.0.2"_s, u"10.0.0.4"_s}));
        // Filling the boxes chose nothing: nothing goes back, and no view was opened.
        QVERIFY(rig.quiet() && !rig.testView.view());
        // With the test view shown, its text follows; a reply replaces it with a summary.
        rig.testView.show();
        QVERIFY(rig.receive("AB"));
        QCOMPARE(rig.testView.view()->AFF_TXT()->bytes(), QByteArray("AB"));
        // A reply cut short empties the boxes its missing fields stand for.
        QVERIFY(rig.receive("IR?,0,2,9,8"));
        QCOMPARE(fields(), QStringList({u"0"_s, u"2 - Free"_s, u"9"_s, u"8"_s, {}, {}, {}}));
        QVERIFY(rig.testView.view()->AFF_TXT()->bytes().startsWith(
            "Polling: Off\r\nMode: 2 - Free\r\n"));
        // A field longer than a box holds fills the box; the console takes a burst in pieces of
        // at most 64 KB, each on its own, so the fields after the first piece are empty.
        const QByteArray huge(100 * 1024, '9');
        QVERIFY(rig.receive("IR?,1,2," + huge + ",3,4,a," + huge + ",c*"));
        QCOMPARE(fields().mid(2, 2), QStringList({QString(32767, u'9'), {}}));
        // Closed, the test view takes nothing.
        rig.testView.view()->close();
        QTRY_VERIFY(!rig.testView.view());
        QVERIFY(rig.receive("CD"));
    }

    void oneTestView()
    {
        Rig rig;
        const auto views = [] {
            const auto all = QApplication::topLevelWidgets();
            return std::count_if(all.begin(), all.end(),
                                 [](QWidget *w) { return qobject_cast<TestView *>(w); });
        };
        rig.outputs.B_ZOOM_TEST_Click();
        rig.outputs.B_ZOOM_TEST_Click();
        QCOMPARE(views(), 1);
        TestView *view = rig.testView.view();
        QVERIFY(rig.testView.isShown());
        QCOMPARE(view->AFF_TXT()->bytes(), QByteArray());
        QCOMPARE(view->legend()->bytes(), "001\r\n000\r\n100\r\n000\r\n010\r\n000\r\n001\r\n");
        view->AFF_TXT()->append("AB");
        click(view->clearButton());
        QCOMPARE(view->AFF_TXT()->bytes(), QByteArray());
        view->AFF_TXT()->append("CD");
        doubleClick(view->AFF_TXT());
        QCOMPARE(view->AFF_TXT()->bytes(), QByteArray());
        // Closed by the user, it goes away with its content; the next use makes a fresh one.
        view->AFF_TXT()->append("EF");
        view->close();
        QTRY_VERIFY(!rig.testView.view());
        rig.outputs.B_ZOOM_TEST_Click();
        QCOMPARE(views(), 1);
        QCOMPARE(rig.testView.view()->AFF_TXT()->bytes(), QByteArray());
        rig.testView.destroy();
        QCOMPARE(views(), 0);
    }

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
        // With the simulator, a tick soon empties it once past 500 bytes, even when nothing
        // arrives; what arrives is added after that, so it may hold more until the next tick.
        rig.find<QCheckBox>("SW_TOURNRFID")->setChecked(true);
        QTRY_COMPARE(rig.poller.text().size(), 0);
        const QSignalBlocker noTicks(rig.serial);
        for (const int size : {501, 500}) {
            rig.line.write(QByteArray(size, 'c'));
            QTRY_COMPARE(rig.serial.bytesWaiting(), size);
            rig.poller.TIM_COMM_RX_Timer();
            QCOMPARE(rig.poller.text().size(), size);
            QCOMPARE(QTest::qWaitFor([&] { return rig.poller.text().isEmpty(); }, 100), size > 500);
        }
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

    void requestCutShort_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QByteArray>("shown"); // the piece held, unanswered, and the rest
        QTest::newRow("the port changed") << u"port"_s << Query;
        QTest::newRow("the simulator switched off and on") << u"off"_s << Query;
        QTest::newRow("Clear") << u"clear"_s << Query.mid(2);
    }

    // The first piece of a request waits for the rest; what happens meanwhile ends the wait, and
    // the rest alone is no request.
    void requestCutShort()
    {
        QFETCH(QString, what);
        QFETCH(QByteArray, shown);
        SerialRig rig(true, {0});
        Pty other;
        rig.devices[2] = other.slavePath();
        rig.line.write(Query.left(2));
        QTRY_VERIFY(rig.poller.frameTimer().isActive());
        Pty &rest = what == u"port" ? other : rig.line;
        if (what == u"port") {
            rig.find<QLineEdit>("INP_COMM_NO")->setText(u"2"_s);
        } else if (what == u"off") {
            rig.find<QCheckBox>("SW_TOURNRFID")->setChecked(false);
            rig.find<QCheckBox>("SW_TOURNRFID")->setChecked(true);
        } else {
            rig.poller.B_CLEAR_232_Click();
        }
        rest.write(Query.mid(2));
        QTRY_COMPARE(rig.poller.text(), shown);
        QVERIFY(rig.quiet() && other.readAvailable().isEmpty());
    }
};

QTEST_MAIN(TestReceived)
#include "tst_received.moc"
