#include "stack.h"

#include "protocol/rfid.h"
#include "widgets/look.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

class TestEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(insidePrivateNetwork());
        QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    }

    // One session over every link: the links come up, commands go out on each link and into
    // the session log, an input's change reaches its indicator, a dropped connection comes back,
    // and closing the window writes the configuration file.
    void sessionOnEveryLink()
    {
        Stack stack;
        QVERIFY(stack.start());
        QVERIFY(stack.waitForColour(u"INP_IP_ADR"_s, VERT));
        QVERIFY(stack.waitForColour(u"INP_COMM_NO"_s, VERT));
        // A bridge command on TCP, which the session log keeps with its link.
        qsizetype mark = stack.log().size();
        QVERIFY(stack.click(u"B_STATUS"_s));
        QVERIFY(stack.waitForReceived(u"TCP 1024"_s, mark, framed("\xDE")));
        QVERIFY(stack.waitForSessionLine(u"TCP 1024"_s, framed("\xDE")));
        // A turnstile command, always on TCP.
        QVERIFY(stack.click(u"B_T_PASSAGE"_s));
        QVERIFY(stack.waitForReceived(u"TCP 1024"_s, mark, "><IP0501"));
        // The same kind of command over the serial line, then as a broadcast.
        QVERIFY(stack.click(u"SW_SEND_VIA(2)"_s));
        mark = stack.log().size();
        QVERIFY(stack.click(u"B_STATUS2"_s));
        QVERIFY(stack.waitForReceived(u"serial"_s, mark, framed("\xDF")));
        QVERIFY(stack.click(u"SW_SEND_VIA(1)"_s));
        QVERIFY(stack.click(u"B_STATUS"_s));
        QVERIFY(stack.waitForReceived(u"UDP"_s, mark, framed("\xDE")));

        // The bridge reports an input's change by itself, mixed into its traffic; the indicator
        // follows without a status request.
        const QColor clear = stack.desktop().colourAt(stack.place(u"SW_TTL1_IN(0)"_s));
        stack.tell(u"input 1 on"_s);
        QVERIFY(QTest::qWaitFor(
            [&] { return stack.desktop().colourAt(stack.place(u"SW_TTL1_IN(0)"_s)) != clear; }));
        QCOMPARE(stack.desktop().colourAt(stack.place(u"SW_TTL1_IN(1)"_s)), clear);
        stack.tell(u"input 1 off"_s);
        QVERIFY(QTest::qWaitFor(
            [&] { return stack.desktop().colourAt(stack.place(u"SW_TTL1_IN(0)"_s)) == clear; }));
        QVERIFY(stack.desktop().colourAt(stack.place(u"SW_TTL1_IN(1)"_s)) != clear);

        // Dropped, the console tears down, tells the bridges where it is, and connects again.
        mark = stack.log().size();
        stack.tell(u"drop"_s);
        QVERIFY(stack.waitForReceived(u"UDP"_s, mark,
                                      "\xFE\xFF\x06"
                                      "127.0.0.1"));
        QVERIFY(stack.waitForLog(u"connected"_s, mark));
        QVERIFY(stack.waitForColour(u"INP_IP_ADR"_s, VERT));

        QFile::remove(stack.config().configFile());
        QVERIFY(stack.desktop().closeWindow(stack.windowId()));
        QVERIFY(stack.console().waitForFinished(10000));
        QCOMPARE(stack.console().exitStatus(), QProcess::NormalExit);
        QCOMPARE(stack.console().exitCode(), 0);
        QCOMPARE(stack.config().readConfig(), configFor(" 1 ", "127.0.0.1"));
    }

    void configurationReplyFillsThePanel()
    {
        Stack stack;
        QVERIFY(stack.start({u"--polling"_s, u"2"_s, u"--time-to-pass"_s, u"9"_s, u"--remote-ips"_s,
                             u"10.0.0.2,10.0.0.3,10.0.0.4"_s}));
        QVERIFY(stack.waitForColour(u"INP_IP_ADR"_s, VERT));
        qsizetype mark = stack.log().size();
        QVERIFY(stack.click(u"B_T_RX_CFG_REMOTE"_s));
        QVERIFY(stack.waitForLog(u"configuration reply"_s, mark));
        // What the panel now holds goes back out: the reply's polling digit and addresses, and the
        // reply's time to pass in a passage.
        mark = stack.log().size();
        QVERIFY(stack.click(u"B_T_TX_CFG_REMOTE"_s));
        QVERIFY(stack.waitForReceived(u"TCP 1024"_s, mark, "><IR,2,10.0.0.2,10.0.0.3,10.0.0.4*"));
        QVERIFY(stack.click(u"B_T_PASSAGE"_s));
        QVERIFY(stack.waitForReceived(u"TCP 1024"_s, mark, "><IP0901"));
    }

    void rfidExchangeWithTheCardOnAntenna2()
    {
        Stack stack;
        QVERIFY(stack.start());
        QVERIFY(stack.waitForColour(u"INP_IP_ADR"_s, VERT));
        QVERIFY(stack.click(u"SW_TOURNRFID"_s));
        QVERIFY(stack.click(u"SW_TOURNRFID_CARTE(2)"_s));
        QVERIFY(stack.click(u"SW_TOURN_ANSWER"_s));
        QVERIFY(stack.waitForColour(u"INP_COMM_NO"_s, VERT));
        const qsizetype mark = stack.log().size();
        stack.tell(u"polling on"_s);
        // The bridge reads the card on antenna 2 through the console's reader, reports it, and the
        // console's auto answer grants a passage.
        QVERIFY(stack.waitForReceived(u"serial"_s, mark, rfid::cardReply(), 15000));
        QVERIFY(stack.waitForLog(u"card E0040150A3C61B7D on antenna 2"_s, mark));
        QVERIFY(stack.waitForReceived(u"TCP 1024"_s, mark, "><IP0501><T5T05"));
    }

    // A wheel turned over the port list or the mode list, with the focus elsewhere, neither
    // moves the link to the other port nor sends a mode; over the mode list holding the focus
    // it picks the next mode, which shows that the turns do reach the window.
    void wheelWithoutTheFocus()
    {
        Stack stack;
        QVERIFY(stack.start());
        QVERIFY(stack.waitForColour(u"INP_IP_ADR"_s, VERT));
        QVERIFY(stack.click(u"INP_T_TIMEOUT"_s));
        const qsizetype mark = stack.log().size();
        QVERIFY(stack.desktop().wheel(stack.place(u"INP_IP_PORT"_s), 2));
        QVERIFY(stack.desktop().wheel(stack.place(u"LST_T_MODE"_s), 2));
        QVERIFY(!stack.waitForReceived(u"TCP 1024"_s, mark, "><IM", 1500));
        const QList<logline::Line> lines = stack.log().mid(mark);
        QVERIFY(std::none_of(lines.begin(), lines.end(),
                             [](const logline::Line &line) { return line.link == u"TCP 1025"_s; }));
        QVERIFY(stack.click(u"LST_T_MODE"_s));
        QVERIFY(stack.desktop().wheel(stack.place(u"LST_T_MODE"_s), 1));
        QVERIFY(stack.waitForReceived(u"TCP 1024"_s, mark, "><IM1"));
    }

    void sendTestGreenThenRedUnplugged()
    {
        Stack stack;
        QVERIFY(stack.start());
        QVERIFY(stack.waitForColour(u"INP_IP_ADR"_s, VERT));
        QVERIFY(stack.waitForColour(u"INP_COMM_NO"_s, VERT));
        const QColor idle = stack.colourOf(u"B_TST_SEND"_s);
        QVERIFY(stack.click(u"B_TST_SEND"_s));
        QVERIFY(stack.waitForColour(u"B_TST_SEND"_s, VERT, 60000));
        QVERIFY(idle != VERT);
        stack.tell(u"unplug"_s);
        QVERIFY(stack.click(u"B_TST_SEND"_s));
        QVERIFY(stack.waitForColour(u"B_TST_SEND"_s, ROUGE, 60000));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e_console.moc"
