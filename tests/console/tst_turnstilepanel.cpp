#include "consolefixture.h"

#include "app/statusline.h"
#include "decode/testview.h"

#include <QCheckBox>
#include <QComboBox>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

// Applies "NAME=value" settings to the window's controls, as a technician would have left them.
void apply(const MainWindowUi &ui, const QStringList &settings)
{
    for (const QString &s : settings) {
        const QString name = s.section(u'=', 0, 0);
        const QString value = s.section(u'=', 1);
        QWidget *w = ui.designArea->findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            edit->setText(value);
        else if (auto *box = qobject_cast<QCheckBox *>(w))
            box->setChecked(value == u"1"_s);
        else if (auto *combo = qobject_cast<QComboBox *>(w))
            combo->setEditText(value);
        else if (value == u"enabled"_s)
            w->setEnabled(true);
        else if (value == u"shown"_s)
            w->setVisible(true);
    }
}

QByteArray directCommand()
{
    QByteArray b = "><ID74";
    for (int c = 0xB6; c <= 0xFF; ++c)
        b.append(char(c));
    return b;
}

} // namespace

class TestTurnstilePanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void commands_data();
    void commands();
    void modeChoice();
    void notConnectedIsReported();
};

void TestTurnstilePanel::commands_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("clearedBoxes");
    const QStringList none;
    QTest::newRow("arm") << none << u"B_T_BRAS_TOMBE"_s << QByteArray("><T7E") << none;
    QTest::newRow("red 2 s, box clear")
        << none << u"B_T_DEL_R_XX"_s << QByteArray("><T6T02") << none;
    QTest::newRow("red 2 s, box ticked")
        << QStringList{u"SW_T_DEL_R=1"_s} << u"B_T_DEL_R_XX"_s << QByteArray("><T6T02><T6D")
        << QStringList{u"SW_T_DEL_R"_s};
    QTest::newRow("green 2 s, box ticked")
        << QStringList{u"SW_T_DEL_V=1"_s} << u"B_T_DEL_V_XX"_s << QByteArray("><T5T02><T5D")
        << QStringList{u"SW_T_DEL_V"_s};
    QTest::newRow("green on") << none << u"SW_T_DEL_V"_s << QByteArray("><T5E") << none;
    QTest::newRow("green off") << QStringList{u"SW_T_DEL_V=1"_s} << u"SW_T_DEL_V"_s
                               << QByteArray("><T5D") << none;
    QTest::newRow("red on") << none << u"SW_T_DEL_R"_s << QByteArray("><T6E") << none;
    QTest::newRow("passage") << none << u"B_T_PASSAGE"_s << QByteArray("><IP0501") << none;
    QTest::newRow("passage, 12 persons, no seconds")
        << QStringList{u"INP_T_NB_PERSONNE=12"_s, u"INP_T_TIMEOUT="_s} << u"B_T_PASSAGE"_s
        << QByteArray("><IP0012") << none;
    QTest::newRow("validation") << none << u"B_T_VALID_TIMEOUT"_s << QByteArray("><IT0303") << none;
    QTest::newRow("validation 150 s") << QStringList{u"INP_T_VALID_TIMEOUT=150"_s}
                                      << u"B_T_VALID_TIMEOUT"_s << QByteArray("><IT15003") << none;
    QTest::newRow("one person with delay")
        << none << u"Command4"_s << QByteArray("><IP0500*><IP0501") << none;
    QTest::newRow("one person, no delay")
        << none << u"Command5"_s << QByteArray("><IP9900*><IP9901><T5E") << none;
    QTest::newRow("Command6") << none << u"Command6"_s << QByteArray("OK><T6T03") << none;
    QTest::newRow("hidden Command1") << QStringList{u"Command1=shown"_s} << u"Command1"_s
                                     << QByteArray("><IP0100><IP0501") << none;
    QTest::newRow("direct command")
        << QStringList{u"B_T_DirectCmd=enabled"_s} << u"B_T_DirectCmd"_s << directCommand() << none;
    QTest::newRow("direct command, red ticked")
        << QStringList{u"B_T_DirectCmd=enabled"_s, u"SW_T_DEL_R=1"_s} << u"B_T_DirectCmd"_s
        << directCommand() + "><T6D" << QStringList{u"SW_T_DEL_R"_s};
    QTest::newRow("read configuration")
        << none << u"B_T_RX_CFG_REMOTE"_s << QByteArray("><IR?") << none;
    QTest::newRow("write configuration, initial texts")
        << none << u"B_T_TX_CFG_REMOTE"_s << QByteArray("><IR,P,,,*") << none;
    QTest::newRow("write configuration")
        << QStringList{u"SW_T_RFID_POLLING=1- Polling ON"_s, u"INP_T_REMOTE_IP(0)=10.0.0.2"_s,
                       u"INP_T_REMOTE_IP(1)= 10.0.0.3  "_s, u"INP_T_REMOTE_IP(2)=10.0.0.4"_s}
        << u"B_T_TX_CFG_REMOTE"_s << QByteArray("><IR,1,10.0.0.2,10.0.0.3,10.0.0.4*") << none;
}

void TestTurnstilePanel::commands()
{
    QFETCH(QStringList, setup);
    QFETCH(QString, control);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, clearedBoxes);
    Bridge bridge;
    Console console;
    QVERIFY(bridge.accept(console));
    apply(console.ui(), setup);
    click(console.ui().designArea->findChild<QWidget *>(control));
    QCOMPARE(bridge.readTcp(sent.size()), sent);
    QVERIFY(bridge.quiet(200));
    for (const QString &box : clearedBoxes)
        QVERIFY(!console.ui().designArea->findChild<QCheckBox *>(box)->isChecked());
}

void TestTurnstilePanel::modeChoice()
{
    Bridge bridge;
    Console console;
    QVERIFY(bridge.accept(console));
    QComboBox *mode = console.ui().LST_T_MODE;
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down);
    QTest::keyClick(mode, Qt::Key_Down);
    QCOMPARE(mode->currentText(), u"2 - Free"_s);
    QCOMPARE(bridge.readTcp(10), QByteArray("><IM1><IM2"));
    QVERIFY(!console.window->testView().view());
    QTest::keyClick(mode, Qt::Key_Down);
    QTest::keyClick(mode, Qt::Key_Down);
    QCOMPARE(bridge.readTcp(10), QByteArray("><IM3><IM4"));
    QVERIFY(console.window->testView().isShown());
    // Other modes leave the view open.
    QTest::keyClick(mode, Qt::Key_Down);
    QCOMPARE(bridge.readTcp(5), QByteArray("><IM5"));
    QVERIFY(console.window->testView().isShown());
    // Typing into the box chooses nothing.
    mode->lineEdit()->selectAll();
    QTest::keyClicks(mode->lineEdit(), u"3 typed"_s);
    QVERIFY(bridge.quiet());
}

void TestTurnstilePanel::notConnectedIsReported()
{
    Bridge bridge(false);
    Console console;
    bridge.attach(console);
    click(console.ui().B_T_BRAS_TOMBE);
    QVERIFY(console.window->statusLine().current().endsWith(u"not sent: TCP link is down"_s));
    click(console.ui().B_T_RX_CFG_REMOTE);
    QVERIFY(bridge.quiet());
}

QTEST_MAIN(TestTurnstilePanel)
#include "tst_turnstilepanel.moc"
