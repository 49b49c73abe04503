#include "consolefixture.h"

#include "decode/testview.h"
#include "platform/tcpcontrol.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

const QByteArray Reply = "IR?,1,4,5,3,3,10.0.0.2,10.0.0.3,10.0.0.4*";
const QByteArray Summary = "Polling: On\r\n"
                           "Mode: 4 - Free tst\r\n"
                           "D\xe9lais pour passer: 5\r\n"
                           "D\xe9lais pour valider carte: 3\r\n"
                           "NB cartes non valider avant offline: 3\r\n"
                           "IP tour remote ant02: 10.0.0.2\r\n"
                           "IP tour remote ant03: 10.0.0.3\r\n"
                           "IP tour remote ant04: 10.0.0.4\r\n";

struct Rig
{
    Rig() { ok = bridge.accept(console); }
    const MainWindowUi &ui() const { return console.ui(); }
    TerminalBox *terminal() const { return console.ui().TXT_TCP_WIN; }
    // Sends one chunk and waits until the console has taken it off the socket.
    bool send(const QByteArray &chunk)
    {
        arrived = 0;
        bridge.peer->write(chunk);
        return QTest::qWaitFor([&] { return arrived >= chunk.size(); }, 5000);
    }

    Bridge bridge;
    Console console;
    bool ok = false;
    qsizetype arrived = 0;
    QMetaObject::Connection counting = QObject::connect(
        &console.window->tcp(), &TcpControl::dataArrival, &console.window->tcp(),
        [this](qint64 n) { arrived += n; }, Qt::DirectConnection);
};

} // namespace

class TestDispatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void statusBytesAreTakenOut();
    void terminalCap_data();
    void terminalCap();
    void replyThreshold_data();
    void replyThreshold();
    void replyFillsThePanel();
    void replyWithTheViewShown();
    void viewFollowsWhileShown();
    void autoAnswer();
    void hostileInput();
};

void TestDispatcher::statusBytesAreTakenOut()
{
    Rig rig;
    QVERIFY(rig.ok);
    QVERIFY(rig.send("AB\xF2"
                     "CD"));
    QCOMPARE(rig.terminal()->bytes(), QByteArray("ABCD"));
    QVERIFY(rig.ui().SW_TTL1_IN[0]->isChecked());
    QVERIFY(rig.send("\xF5"));
    QCOMPARE(rig.terminal()->bytes(), QByteArray("ABCD"));
    QVERIFY(rig.ui().SW_TTL2_IN[1]->isChecked());
    QVERIFY(!rig.ui().SW_TTL2_IN[0]->isChecked());
    QVERIFY(rig.ui().SW_TTL1_IN[0]->isChecked());
}

void TestDispatcher::terminalCap_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("exactly the cap: appended") << 10000 << false;
    QTest::newRow("one past the cap: cleared") << 10001 << true;
}

void TestDispatcher::terminalCap()
{
    QFETCH(int, held);
    QFETCH(bool, cleared);
    Rig rig;
    QVERIFY(rig.ok);
    rig.console.window->testView().show();
    TerminalBox *view = rig.console.window->testView().view()->AFF_TXT();
    view->setBytes("old");
    rig.terminal()->setBytes(QByteArray(held, 'x'));
    QVERIFY(rig.send("yz"));
    QCOMPARE(rig.terminal()->bytes(), cleared ? QByteArray("yz") : QByteArray(held, 'x') + "yz");
    QCOMPARE(view->bytes(), cleared ? QByteArray("yz") : QByteArray("oldyz"));
}

void TestDispatcher::replyThreshold_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QString>("timeToPass");
    QTest::newRow("10 characters: shown only") << QByteArray("IR?,1,4,5,") << u"77"_s;
    QTest::newRow("11 characters: decoded") << QByteArray("IR?,1,4,5,3") << u"5"_s;
    QTest::newRow("status byte does not count") << QByteArray("IR?,1,4,\xF2"
                                                              "5,")
                                                << u"77"_s;
}

void TestDispatcher::replyThreshold()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QString, timeToPass);
    Rig rig;
    QVERIFY(rig.ok);
    rig.ui().INP_T_TIMEOUT->setText(u"77"_s);
    QVERIFY(rig.send(chunk));
    QCOMPARE(rig.ui().INP_T_TIMEOUT->text(), timeToPass);
}

void TestDispatcher::replyFillsThePanel()
{
    Rig rig;
    QVERIFY(rig.ok);
    QVERIFY(rig.send(Reply));
    const MainWindowUi &ui = rig.ui();
    QCOMPARE(rig.terminal()->bytes(), Reply);
    QCOMPARE(ui.SW_T_RFID_POLLING->currentText(), u"1"_s);
    QCOMPARE(ui.LST_T_MODE->currentText(), u"4 - Free tst: 001-000-100-000-010-000-001"_s);
    QCOMPARE(ui.INP_T_TIMEOUT->text(), u"5"_s);
    QCOMPARE(ui.INP_T_VALID_TIMEOUT->text(), u"3"_s);
    QCOMPARE(ui.INP_T_VALID_NBCARD->text(), u"3"_s);
    QCOMPARE(ui.INP_T_REMOTE_IP[0]->text(), u"10.0.0.2"_s);
    QCOMPARE(ui.INP_T_REMOTE_IP[2]->text(), u"10.0.0.4"_s);
    // Filling the boxes chose nothing: nothing goes back, and no view was opened.
    QVERIFY(rig.bridge.quiet());
    QVERIFY(!rig.console.window->testView().view());
    // A reply cut short empties the boxes its missing fields stand for.
    QVERIFY(rig.send("IR?,0,2,9,8"));
    QCOMPARE(ui.INP_T_VALID_TIMEOUT->text(), u"8"_s);
    QCOMPARE(ui.INP_T_VALID_NBCARD->text(), QString());
    QCOMPARE(ui.INP_T_REMOTE_IP[0]->text(), QString());
    QCOMPARE(ui.LST_T_MODE->currentText(), u"2 - Free"_s);
}

void TestDispatcher::replyWithTheViewShown()
{
    Rig rig;
    QVERIFY(rig.ok);
    rig.console.window->testView().show();
    TerminalBox *view = rig.console.window->testView().view()->AFF_TXT();
    QVERIFY(rig.send("before"));
    QVERIFY(rig.send(Reply));
    QCOMPARE(view->bytes(), Summary);
    QCOMPARE(rig.terminal()->bytes(), "before" + Reply);
    // Closed, the view takes nothing; reopened, it starts empty.
    rig.console.window->testView().view()->close();
    QTRY_VERIFY(!rig.console.window->testView().view());
    QVERIFY(rig.send(Reply));
    rig.console.window->testView().show();
    QCOMPARE(rig.console.window->testView().view()->AFF_TXT()->bytes(), QByteArray());
}

void TestDispatcher::viewFollowsWhileShown()
{
    Rig rig;
    QVERIFY(rig.ok);
    QVERIFY(rig.send("hidden"));
    click(rig.ui().B_ZOOM_TEST);
    TestView *view = rig.console.window->testView().view();
    QVERIFY(rig.send("AB"));
    QVERIFY(rig.send("CD"));
    QCOMPARE(view->AFF_TXT()->bytes(), QByteArray("ABCD"));
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QWidget *surface = view->AFF_TXT()->viewport();
    QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseDClick(surface, Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(view->AFF_TXT()->bytes(), QByteArray());
    QVERIFY(rig.send("EF"));
    QCOMPARE(view->AFF_TXT()->bytes(), QByteArray("EF"));
}

void TestDispatcher::autoAnswer()
{
    Rig rig;
    QVERIFY(rig.ok);
    click(rig.ui().SW_TOURN_ANSWER);
    rig.ui().INP_T_TIMEOUT->setText(u"7"_s);
    QVERIFY(rig.send("x"));
    QCOMPARE(rig.bridge.readTcp(15), QByteArray("><IP0701><T5T07"));
    // The time-out the reply carries is stored before the answer reads it.
    QVERIFY(rig.send("IR?,1,0,9,3,3,a,b,c*"));
    QCOMPARE(rig.bridge.readTcp(15), QByteArray("><IP0901><T5T09"));
    // A chunk of one status byte shows nothing and is still answered.
    QVERIFY(rig.send("\xF2"));
    QCOMPARE(rig.bridge.readTcp(15), QByteArray("><IP0901><T5T09"));
    QVERIFY(rig.bridge.quiet());
}

void TestDispatcher::hostileInput()
{
    Rig rig;
    QVERIFY(rig.ok);
    click(rig.ui().SW_TOURN_ANSWER);
    click(rig.ui().SW_AUTO_ANSWER);
    rig.console.window->testView().show();
    QRandomGenerator random(20261206);
    for (int i = 0; i < 40; ++i) {
        QByteArray chunk(random.bounded(1, 64 * 1024), Qt::Uninitialized);
        for (char &c : chunk)
            c = char(random.bounded(256));
        if (i % 4 == 0)
            chunk.prepend("IR?,");
        QVERIFY(rig.send(chunk));
        rig.bridge.takeTcp();
        rig.bridge.takeDatagrams();
    }
    const QByteArray hugeField(100 * 1024, '9');
    for (const QByteArray &reply :
         {QByteArray("IR?,"), QByteArray("IR?,1234567"),
          QByteArray("IR?,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19"),
          "IR?,1,2," + hugeField + ",3,4,a," + hugeField + ",c*"}) {
        QVERIFY(rig.send(reply));
    }
    // The console takes a burst in pieces of at most 64 KB, each on its own as when the network
    // splits a message: the reply's first piece ends inside its long field 4, so field 4 fills
    // its box (which holds at most 32767 characters) and the fields after it empty theirs.
    QCOMPARE(rig.ui().INP_T_TIMEOUT->text(), QString(32767, u'9'));
    QCOMPARE(rig.ui().INP_T_VALID_TIMEOUT->text(), QString());
    QCOMPARE(rig.ui().INP_T_REMOTE_IP[0]->text(), QString());
    QVERIFY(rig.terminal()->length() <= 10000 + 2 * hugeField.size() + 100);
    QVERIFY(rig.console.window->tcp().state() == int(TcpControl::Connected));
}

QTEST_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
