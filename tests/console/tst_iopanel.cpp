#include "support/console.h"

#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

// The outputs' panel and the test view; which bytes each button sends on each link is the
// window's suite's table, what happens when the link is down or gone tst_links'.
class TestIoPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }

    void twoSecondsAndAutoAnswer()
    {
        Rig rig;
        QVERIFY(rig.connect());
        // "OFF" already showing: only the pulse.
        rig.find<QRadioButton>("SW_TTL3_OUT(1)")->setChecked(true);
        rig.outputs.B_TTL_XX_Click(3);
        QCOMPARE(rig.bridge.read(8), framed("\xDE" + QByteArray("02")));
        // The auto answer is asked for on each change of the TCP terminal, when ticked.
        QSignalSpy asked(&rig.tcpTerminal, &TcpTerminal::autoAnswerTest);
        rig.tcpTerminal.TXT_TCP_WIN_Change();
        rig.find<QCheckBox>("SW_AUTO_ANSWER")->setChecked(true);
        rig.tcpTerminal.TXT_TCP_WIN_Change();
        QCOMPARE(asked.count(), 1);
        // It pulses the outputs in order, each first switched off unless it shows "OFF".
        const QByteArray pulse3 = framed("\xDE" + QByteArray("02"));
        const QByteArray first = framed("\xC4") + framed("\xDC" + QByteArray("01")) +
                                 framed("\xC3") + framed("\xDD" + QByteArray("02")) + pulse3 +
                                 framed("\xE5") + framed("\xDF" + QByteArray("02"));
        rig.outputs.pulseAllOutputs();
        QCOMPARE(rig.bridge.read(first.size()), first);
        rig.outputs.pulseAllOutputs();
        QCOMPARE(rig.bridge.read(32), framed("\xDC" + QByteArray("01")) +
                                          framed("\xDD" + QByteArray("02")) + pulse3 +
                                          framed("\xDF" + QByteArray("02")));
        QVERIFY(rig.quiet());
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
};

QTEST_MAIN(TestIoPanel)
#include "tst_iopanel.moc"
