#include "consolefixture.h"

#include "app/statusline.h"
#include "decode/testview.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QRadioButton>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

enum Link { Tcp, Udp, Serial };

QByteArray framed(const QByteArray &payload)
{
    return QByteArray("\xFE\xF8\x08\x02", 4) + payload + '\x03';
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// Brings a console up with all three links usable, and chooses the link to send on.
struct Rig
{
    explicit Rig(Link link)
    {
        window().show();
        window().resize(914, 470); // the batch frame lies below the first view
        ok = bridge.accept(console);
        bridge.attach(console);
        if (link != Tcp)
            click(console.ui().SW_SEND_VIA[link == Udp ? 1 : 2]);
        bridge.clear();
    }
    MainWindow &window() { return *console.window; }

    // The frames that arrived on `link`, each payload framed; then nothing on the others.
    bool expect(Link link, const QList<QByteArray> &payloads)
    {
        QByteArray stream;
        QList<QByteArray> datagrams;
        for (const QByteArray &p : payloads) {
            stream += framed(p);
            datagrams << framed(p);
        }
        bool same = false;
        switch (link) {
        case Tcp:
            same = bridge.readTcp(stream.size()) == stream;
            break;
        case Serial:
            same = bridge.readSerial(stream.size()) == stream;
            break;
        case Udp:
            same = bridge.readDatagrams(datagrams.size()) == datagrams;
            break;
        }
        return same && bridge.quiet(200);
    }

    Bridge bridge;
    Console console;
    bool ok = false;
};

} // namespace

class TestIoPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void everyPayloadOnEveryLink_data();
    void everyPayloadOnEveryLink();
    void twoSecondButtons();
    void optionsAreExclusiveInTheirPairOnly();
    void droppedWhenTheChosenLinkIsDown();
    void broadcastNeedsNoLink();
    void autoAnswerPulsesEveryOutput();
    void oneTestView();
};

void TestIoPanel::everyPayloadOnEveryLink_data()
{
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QList<QByteArray>>("payloads");
    const struct
    {
        const char *control;
        QList<QByteArray> payloads;
    } actions[] = {
        {"SW_TTL1_OUT(0)", {bytes({0xC1})}},
        {"SW_TTL1_OUT(1)", {bytes({0xC4})}},
        {"SW_TTL2_OUT(0)", {bytes({0xC0})}},
        {"SW_TTL2_OUT(1)", {bytes({0xC3})}},
        {"SW_TTL3_OUT(0)", {bytes({0xE2})}},
        {"SW_TTL3_OUT(1)", {bytes({0xE3})}},
        {"SW_TTL4_OUT(0)", {bytes({0xE4})}},
        {"SW_TTL4_OUT(1)", {bytes({0xE5})}},
        {"B_TTL1_XX", {bytes({0xC4}), bytes({0xDC, '0', '1'})}},
        {"B_TTL2_XX", {bytes({0xC3}), bytes({0xDD, '0', '2'})}},
        {"B_TTL3_XX", {bytes({0xE3}), bytes({0xDE, '0', '2'})}},
        {"B_TTL4_XX", {bytes({0xE5}), bytes({0xDF, '0', '2'})}},
        {"B_STATUS", {bytes({0xDE})}},
        {"B_STATUS2", {bytes({0xDF})}},
        {"TTLpXX(0)", {"><T1T.3"}},
        {"TTLpXX(1)", {"><T2T.3"}},
        {"TTLpXX(2)", {"><T3T.3"}},
        {"TTLpXX(3)", {"><T4T.3"}},
        {"Command2", {"><B,3,.1,.2,.3,.4"}},
        {"Command3", {"><B,0,00,00,00,00"}},
    };
    const char *links[] = {"TCP", "UDP", "RS-232"};
    for (int link = Tcp; link <= Serial; ++link) {
        for (const auto &a : actions) {
            QTest::addRow("%s %s", links[link], a.control)
                << link << QString::fromLatin1(a.control) << a.payloads;
        }
    }
}

void TestIoPanel::everyPayloadOnEveryLink()
{
    QFETCH(int, link);
    QFETCH(QString, control);
    QFETCH(QList<QByteArray>, payloads);
    Rig rig{Link(link)};
    QVERIFY(rig.ok);
    auto *widget = rig.console.ui().designArea->findChild<QWidget *>(control);
    QVERIFY(widget);
    click(widget);
    QVERIFY(rig.expect(Link(link), payloads));
}

void TestIoPanel::twoSecondButtons()
{
    Rig rig(Tcp);
    QVERIFY(rig.ok);
    const MainWindowUi &ui = rig.console.ui();
    click(ui.SW_TTL2_OUT[0]);
    QVERIFY(rig.expect(Tcp, {bytes({0xC0})}));
    QVERIFY(ui.SW_TTL2_OUT[0]->isChecked());
    click(ui.B_TTL2_XX);
    QVERIFY(rig.expect(Tcp, {bytes({0xC3}), bytes({0xDD, '0', '2'})}));
    QVERIFY(ui.SW_TTL2_OUT[1]->isChecked());
    // "OFF" already showing: only the pulse.
    click(ui.B_TTL2_XX);
    QVERIFY(rig.expect(Tcp, {bytes({0xDD, '0', '2'})}));
    // A technician repeats a command: a click on the selected option sends it again.
    click(ui.SW_TTL2_OUT[1]);
    QVERIFY(rig.expect(Tcp, {bytes({0xC3})}));
    click(ui.SW_TTL2_OUT[1]);
    QVERIFY(rig.expect(Tcp, {bytes({0xC3})}));
}

void TestIoPanel::optionsAreExclusiveInTheirPairOnly()
{
    Console console;
    const MainWindowUi &ui = console.ui();
    const auto checked = [](const auto &group) {
        QList<int> on;
        for (int i = 0; i < int(group.size()); ++i) {
            if (group[i]->isChecked())
                on << i;
        }
        return on;
    };
    click(ui.SW_TTL1_OUT[1]);
    click(ui.SW_TTL3_OUT[0]);
    click(ui.SW_SEND_VIA[2]);
    click(ui.SW_SEND_VIA[1]);
    click(ui.SW_TTL2_OUT[0]);
    click(ui.SW_TTL2_OUT[1]);
    QCOMPARE(checked(ui.SW_SEND_VIA), QList<int>{1});
    QCOMPARE(checked(ui.SW_TTL1_OUT), QList<int>{1});
    QCOMPARE(checked(ui.SW_TTL2_OUT), QList<int>{1});
    QCOMPARE(checked(ui.SW_TTL3_OUT), QList<int>{0});
    QCOMPARE(checked(ui.SW_TTL4_OUT), QList<int>{});
    // The indicators change only from the status bytes, each pair on its own.
    ui.SW_TTL1_IN[0]->setChecked(true);
    ui.SW_TTL2_IN[1]->setChecked(true);
    ui.SW_TTL1_IN[1]->setChecked(true);
    QCOMPARE(checked(ui.SW_TTL1_IN), QList<int>{1});
    QCOMPARE(checked(ui.SW_TTL2_IN), QList<int>{1});
    QCOMPARE(checked(ui.SW_SEND_VIA), QList<int>{1});
}

void TestIoPanel::droppedWhenTheChosenLinkIsDown()
{
    Bridge bridge(false);
    Console console;
    bridge.attach(console);
    const MainWindowUi &ui = console.ui();
    // TCP chosen and down: nothing anywhere, the serial line is not used instead.
    QTRY_COMPARE(background(ui.INP_IP_ADR), ROUGE);
    QVERIFY(isUp(ui.INP_COMM_NO));
    click(ui.B_STATUS);
    QVERIFY(bridge.quiet());
    QVERIFY(console.window->statusLine().current().endsWith(u"not sent: TCP link is down"_s));

    // RS-232 chosen and the port not open.
    click(ui.SW_SEND_VIA[2]);
    ui.INP_COMM_NO->setText(u"0"_s);
    click(ui.B_STATUS2);
    QVERIFY(bridge.quiet());
    QVERIFY(
        console.window->statusLine().current().endsWith(u"not sent: serial port is not open"_s));
}

void TestIoPanel::broadcastNeedsNoLink()
{
    Bridge bridge(false);
    Console console(configFor("", ""));
    bridge.attach(console);
    click(console.ui().SW_SEND_VIA[1]);
    bridge.clear();
    click(console.ui().B_STATUS);
    QCOMPARE(bridge.readDatagrams(1).value(0), framed(bytes({0xDE})));
}

void TestIoPanel::autoAnswerPulsesEveryOutput()
{
    Rig rig(Udp);
    QVERIFY(rig.ok);
    const MainWindowUi &ui = rig.console.ui();
    click(ui.SW_AUTO_ANSWER);
    QVERIFY(ui.SW_AUTO_ANSWER->isChecked());
    const QList<QByteArray> firstTime = {
        bytes({0xC4}), bytes({0xDC, '0', '1'}), bytes({0xC3}), bytes({0xDD, '0', '2'}),
        bytes({0xE3}), bytes({0xDE, '0', '2'}), bytes({0xE5}), bytes({0xDF, '0', '2'})};
    const QList<QByteArray> afterwards = {bytes({0xDC, '0', '1'}), bytes({0xDD, '0', '2'}),
                                          bytes({0xDE, '0', '2'}), bytes({0xDF, '0', '2'})};
    ui.TXT_TCP_WIN->setFocus();
    // An echoed keystroke is one change of the terminal: one series.
    QTest::keyClick(ui.TXT_TCP_WIN, Qt::Key_X);
    QCOMPARE(rig.bridge.readTcp(1), QByteArray("x"));
    QVERIFY(rig.expect(Udp, firstTime));
    QTest::keyClick(ui.TXT_TCP_WIN, Qt::Key_Y);
    QCOMPARE(rig.bridge.readTcp(1), QByteArray("y"));
    QVERIFY(rig.expect(Udp, afterwards));
    // Clearing a non-empty terminal is a change; clearing an empty one is not.
    click(ui.B_CLEAR_TCP);
    QVERIFY(rig.expect(Udp, afterwards));
    click(ui.B_CLEAR_TCP);
    QVERIFY(rig.bridge.quiet());
    // Without echo the key changes nothing in the terminal.
    click(ui.SW_ECHO_TCP);
    ui.TXT_TCP_WIN->setFocus();
    QTest::keyClick(ui.TXT_TCP_WIN, Qt::Key_Z);
    QCOMPARE(rig.bridge.readTcp(1), QByteArray("z"));
    QVERIFY(rig.bridge.quiet());
}

void TestIoPanel::oneTestView()
{
    Console console;
    const auto views = [] {
        qsizetype n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += qobject_cast<TestView *>(w) != nullptr;
        return n;
    };
    QCOMPARE(views(), 0);
    QVERIFY(!console.window->testView().isShown());
    QCOMPARE(views(), 0);
    click(console.ui().B_ZOOM_TEST);
    click(console.ui().B_ZOOM_TEST);
    QCOMPARE(views(), 1);
    TestView *view = console.window->testView().view();
    QVERIFY(view->isVisible());
    QCOMPARE(view->windowTitle(), u"Test Tourniquet"_s);
    QCOMPARE(view->AFF_TXT()->bytes(), QByteArray());
    QCOMPARE(view->Text1()->bytes(),
             QByteArray("001\r\n000\r\n100\r\n000\r\n010\r\n000\r\n001\r\n"));

    view->AFF_TXT()->append("AB");
    click(view->Command1());
    QCOMPARE(view->AFF_TXT()->bytes(), QByteArray());

    // Closed by the user, it goes away with its content; the next use makes a fresh one.
    view->AFF_TXT()->append("CD");
    view->close();
    QTRY_VERIFY(!console.window->testView().view());
    QVERIFY(!console.window->testView().isShown());
    click(console.ui().B_ZOOM_TEST);
    QCOMPARE(views(), 1);
    QCOMPARE(console.window->testView().view()->AFF_TXT()->bytes(), QByteArray());

    // Closing the main window takes the view with it.
    console.window->close();
    QTRY_COMPARE(views(), 0);
}

QTEST_MAIN(TestIoPanel)
#include "tst_iopanel.moc"
