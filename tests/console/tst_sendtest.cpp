#include "support/console.h"

#include <optional>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

// "TST SEND": the same pattern ten times on both links at once, green when both terminals end
// up holding the same. Refused when a link is down: tst_links' table of what is sent.
class TestSendTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }

    void outcome_data()
    {
        QTest::addColumn<bool>("wired");
        QTest::addColumn<bool>("simulator");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("loop-back") << true << false << VERT;
        QTest::newRow("nothing wired") << false << false << ROUGE;
        QTest::newRow("reader simulator answering") << true << true << ROUGE;
    }

    void outcome()
    {
        QFETCH(bool, wired);
        QFETCH(bool, simulator);
        QFETCH(QColor, colour);
        Rig rig;
        QVERIFY(rig.connect());
        rig.find<QCheckBox>("SW_TOURNRFID")->setChecked(simulator);
        std::optional<LoopBack> loopBack;
        if (wired)
            loopBack.emplace(rig.line, *rig.bridge.socket);
        auto *counter = rig.find<QLabel>("AFF_TST_SEND");
        // While it runs: the form is disabled, the counter counts the passes down, and a second
        // click does not start another run.
        QStringList countdown;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
            QVERIFY(rig.sendTest.isRunning() && !rig.form.isEnabled() && !counter->isHidden());
            if (countdown.value(countdown.size() - 1) != counter->text())
                countdown << counter->text();
            rig.sendTest.B_TST_SEND_Click();
        });
        watch.start(100);
        rig.sendTest.B_TST_SEND_Click();
        watch.stop();
        QCOMPARE(rig.find<CaptionButton>("B_TST_SEND")->faceColour(), colour);
        QCOMPARE(countdown.join(u' '), u"10 9 8 7 6 5 4 3 2 1"_s);
        QVERIFY(rig.form.isEnabled() && !rig.find<QWidget>("B_TST_SEND")->isHidden() &&
                counter->isHidden());
        QCOMPARE(rig.form.focusWidget(), rig.find<QWidget>("B_CLEAR_TCP"));
        QCOMPARE(kalveno::sendtest::pattern(), QByteArray("0123456789").repeated(100));
        const QByteArray tenTimes = kalveno::sendtest::pattern().repeated(10);
        if (!wired) {
            QCOMPARE(rig.bridge.read(tenTimes.size()) + rig.line.read(tenTimes.size()),
                     tenTimes + tenTimes);
            QCOMPARE(rig.poller.text(), QByteArray());
        } else if (!simulator) {
            QCOMPARE(rig.poller.text() + rig.tcpTerminal.text(), tenTimes + tenTimes);
        }
    }
};

QTEST_MAIN(TestSendTest)
#include "tst_sendtest.moc"
