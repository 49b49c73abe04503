#include "consolefixture.h"

#include "app/configstore.h"
#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTcpServer>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

QString captionOf(const QWidget *w)
{
    if (auto *g = qobject_cast<const QGroupBox *>(w))
        return g->title();
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<const QLineEdit *>(w))
        return e->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    if (auto *c = qobject_cast<const QComboBox *>(w))
        return c->currentText();
    if (auto *t = qobject_cast<const TerminalBox *>(w))
        return QString::fromLatin1(t->bytes());
    return {};
}

QList<QWidget *> namedControls(QWidget *designArea)
{
    QList<QWidget *> controls;
    const auto all = designArea->findChildren<QWidget *>();
    for (QWidget *w : all) {
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(u"qt_"_s))
            controls << w;
    }
    return controls;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void inventory_data();
    void inventory();
    void inventoryIsComplete();
    void captionsFit();
    void windowLooks();
    void startUpWithoutConfigFile();
    void startUpAttemptsBeforeTheFirstTick();
    void awkwardConfigFiles_data();
    void awkwardConfigFiles();
    void shutDownWritesTheFile();
    void shutDownKeepsTheOldFile_data();
    void shutDownKeepsTheOldFile();

private:
    std::unique_ptr<Console> m_console;
};

void TestMainWindow::inventory_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("state"); // h: hidden, d: disabled, c: checked
    const auto row = [](const char *name, const char *kind, const QString &caption,
                        const char *state = "") {
        QTest::newRow(name) << QString::fromLatin1(name) << QByteArray(kind) << caption
                            << QString::fromLatin1(state);
    };
    const char *frame = "QGroupBox", *label = "QLabel", *edit = "QLineEdit",
               *button = "kalveno::CaptionButton", *check = "QCheckBox", *option = "QRadioButton",
               *combo = "QComboBox", *terminal = "kalveno::TerminalBox";
    row("FR_RS232", frame, u"RS-232 COMMUNICATION"_s);
    row("Frame1", frame, u"TCPIP COMMUNICATION"_s);
    row("FR_SEND_COM", frame, u"SEND COMMANDS VIA:"_s);
    row("Frame5", frame, u"Tourniquet Merixo"_s);
    row("Frame8", frame, u"Bridge V3 Batch (ne pas toucher)"_s);
    row("INP_COMM_NO", edit, u"1"_s); // after start-up with a saved port 1
    row("INP_COMM_CFG", edit, u"9600,N,8,1"_s);
    row("Label1(0)", label, u"COMM:"_s);
    row("Label1(3)", label, u"CFG:"_s);
    row("TXT_232_WIN", terminal, QString());
    row("B_CLEAR_232", button, u"CLEAR"_s);
    row("SW_ECHO_232", check, u"Local Echo ON"_s, "c");
    row("INP_IP_PORT", combo, u"1024"_s);
    row("INP_IP_ADR", edit, u"127.0.0.1"_s);
    row("Label1(2)", label, u"Port:"_s);
    row("Label1(1)", label, u"IP:"_s);
    row("TXT_TCP_WIN", terminal, QString());
    row("B_CLEAR_TCP", button, u"CLEAR"_s);
    row("SW_ECHO_TCP", check, u"Local Echo ON"_s, "c");
    row("SW_SEND_VIA(0)", option, u"TCP"_s, "c");
    row("SW_SEND_VIA(1)", option, u"UDP"_s);
    row("SW_SEND_VIA(2)", option, u"RS-232"_s);
    row("B_TST_SEND", button, u"TST SEND"_s);
    row("AFF_TST_SEND", label, u"10"_s, "h");
    row("FR_TTL1_OUT", frame, u"TTL # 1  OUT"_s);
    row("FR_TTL2_OUT", frame, u"TTL # 2  OUT"_s);
    row("Frame3", frame, u"TTL # 3  OUT"_s);
    row("Frame2", frame, u"TTL # 4  OUT"_s);
    row("FR_TTL1_IN", frame, QString(), "d");
    row("Frame4", frame, QString(), "d");
    row("B_STATUS", button, u"STATUS"_s);
    row("B_STATUS2", button, u"STATUS"_s);
    row("SW_AUTO_ANSWER", check, u"Auto Answer Test"_s);
    for (int n = 1; n <= 4; ++n) {
        row(qPrintable(u"B_TTL%1_XX"_s.arg(n)), button, u"ON 2 SECS."_s);
        row(qPrintable(u"SW_TTL%1_OUT(0)"_s.arg(n)), option, u"ON"_s);
        row(qPrintable(u"SW_TTL%1_OUT(1)"_s.arg(n)), option, u"OFF"_s);
    }
    for (int n = 1; n <= 2; ++n) {
        row(qPrintable(u"Label1(%1)"_s.arg(n + 3)), label, u"TTL # %1 IN (status)"_s.arg(n));
        row(qPrintable(u"SW_TTL%1_IN(0)"_s.arg(n)), option, u"ON"_s);
        row(qPrintable(u"SW_TTL%1_IN(1)"_s.arg(n)), option, u"OFF"_s);
    }
    row("Label2", label, u"Max: 10 pulses sec."_s);
    row("Label3", label, u"Max: 10 pulses sec."_s);
    row("B_T_PASSAGE", button, u"Passage pour:"_s);
    row("INP_T_NB_PERSONNE", edit, u"1"_s);
    row("Label4(0)", label, u"personne(s) d\u00e9lais:"_s);
    row("INP_T_TIMEOUT", edit, u"5"_s);
    row("Label4(1)", label, u"secondes pour passer"_s);
    row("Command4", button, u"Passage pour 1 personne au total d\u00e9lais:"_s);
    row("Command5", button, u"Passage 1 personne au aucun d\u00e9lais"_s);
    row("Command1", button, u"Passage pour 1 personne au total FONCTIONNE PAS !"_s, "h");
    row("Command6", button, u"Command6"_s);
    row("B_T_VALID_TIMEOUT", button, u"Save Validation Timeout:"_s);
    row("INP_T_VALID_NBCARD", edit, u"3"_s);
    row("INP_T_VALID_TIMEOUT", edit, u"3"_s);
    row("Label4(3)", label, u"cartes non valid\u00e9es."_s);
    row("Label4(2)", label, u"sec. offline apr\u00e8s:"_s);
    row("LST_T_MODE", combo, u"0 - Normal"_s);
    row("B_ZOOM_TEST", "kalveno::PictureButton", QString());
    row("Label4(4)", label, u"Mode du tourniquet:"_s);
    row("Frame6", frame, u"Remote bridge Tourniquet"_s);
    row("B_T_DirectCmd", button, u"CMD Direct (Merixo)"_s, "d");
    row("SW_TOURN_ANSWER", check, u"Auto answer (Merixo)"_s);
    row("Frame7", frame, u"Frame7"_s);
    row("B_T_DEL_R_XX", button, u"DEL Rouge  2 Secs."_s);
    row("B_T_DEL_V_XX", button, u"DEL Verte  2 Secs."_s);
    row("B_T_BRAS_TOMBE", button, u"Bras Tomb\u00e9"_s);
    row("SW_T_DEL_V", check, u"Check1"_s);
    row("SW_T_DEL_R", check, u"Check1"_s);
    row("SW_T_RFID_POLLING", combo, u"Polling setup"_s);
    row("Label5(3)", label, u"Ant RFID RS232:"_s);
    row("Label5(0)", label, u"UDP Rem T2:"_s);
    row("Label5(1)", label, u"UDP Rem T3:"_s);
    row("Label5(2)", label, u"UDP Rem T4:"_s);
    for (int i = 0; i < 3; ++i)
        row(qPrintable(u"INP_T_REMOTE_IP(%1)"_s.arg(i)), edit, QString());
    row("B_T_RX_CFG_REMOTE", button, u"RX Config"_s);
    row("B_T_TX_CFG_REMOTE", button, u"Save Config"_s);
    row("SW_TOURNRFID", check, u"RFID Simulateur (RS232)"_s);
    row("SW_TOURNRFID_CARTE(0)", check, u"Carte Ant 1234: E0040150A3C61B7D"_s);
    for (int i = 1; i <= 4; ++i)
        row(qPrintable(u"SW_TOURNRFID_CARTE(%1)"_s.arg(i)), check,
            u"Carte Ant %1: E0040150A3C61B7D"_s.arg(i));
    for (int i = 0; i < 4; ++i)
        row(qPrintable(u"TTLpXX(%1)"_s.arg(i)), button, u"TTL%1 .3"_s.arg(i + 1));
    row("Command2", button, u"Batch On 4 Sec."_s);
    row("Command3", button, u"Batch Off"_s);
}

void TestMainWindow::inventory()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, kind);
    QFETCH(QString, caption);
    QFETCH(QString, state);
    if (!m_console)
        m_console = std::make_unique<Console>();
    QWidget *control = m_console->ui().designArea->findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(QByteArray(control->metaObject()->className()), kind);
    QCOMPARE(captionOf(control), caption);
    QCOMPARE(control->isHidden(), state.contains(u'h'));
    QCOMPARE(!control->isEnabledTo(control->parentWidget()), state.contains(u'd'));
    if (auto *b = qobject_cast<QAbstractButton *>(control); b && b->isCheckable())
        QCOMPARE(b->isChecked(), state.contains(u'c'));
}

void TestMainWindow::inventoryIsComplete()
{
    // No more named controls than the rows above.
    Console console;
    QCOMPARE(namedControls(console.ui().designArea).size(), 101);
}

void TestMainWindow::captionsFit()
{
    Console console;
    QStringList cut;
    for (QWidget *w : namedControls(console.ui().designArea)) {
        const QString text = captionOf(w);
        if (text.isEmpty() || text == u"Check1"_s || qobject_cast<QLineEdit *>(w) ||
            qobject_cast<QComboBox *>(w))
            continue; // the LED boxes' captions are too small to show by design
        const QFontMetrics fm(w->font());
        QStyle *style = w->style();
        int width = w->width();
        int height = w->height();
        bool wraps = false;
        if (qobject_cast<QCheckBox *>(w)) {
            width -= style->pixelMetric(QStyle::PM_IndicatorWidth) +
                     style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        } else if (qobject_cast<QRadioButton *>(w)) {
            width -= style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                     style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
        } else if (qobject_cast<QGroupBox *>(w)) {
            width -= 8;
        } else if (qobject_cast<CaptionButton *>(w)) {
            width -= 6;
            wraps = true;
        } else if (qobject_cast<QLabel *>(w)) {
            wraps = true;
        }
        bool fits = fm.horizontalAdvance(text) <= width;
        if (wraps) {
            const QRect needed = fm.boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap, text);
            fits = needed.height() <= qMax(height, fm.height()) && needed.width() <= width;
        }
        if (!fits)
            cut << w->objectName();
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", "_s)));
}

void TestMainWindow::windowLooks()
{
    Console console;
    MainWindow &w = *console.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), u"KALVENO DIAG   www.kalveno.example  Ver. 1.1K"_s);
    QCOMPARE(console.ui().designArea->size(), QSize(914, 364));
    QCOMPARE(console.ui().Frame8->geometry(), QRect(5, 368, 481, 81));
    QVERIFY(console.ui().Frame8->y() >= console.ui().designArea->height());
    QCOMPARE(console.ui().B_T_DEL_R_XX->faceColour(), QColor(255, 0, 0));
    QCOMPARE(console.ui().B_T_DEL_V_XX->faceColour(), QColor(0, 255, 0));
    QCOMPARE(console.ui().INP_IP_PORT->toolTip(), u"1024 = COM1 and 1025 = COM2"_s);
    QCOMPARE(console.ui().B_ZOOM_TEST->toolTip(), u"Maximize"_s);
    QCOMPARE(console.ui().SW_T_DEL_R->toolTip(), u"On/Off"_s);
    QCOMPARE(console.ui().SW_AUTO_ANSWER->toolTip(),
             u"The relay 1 & 2 open for each card received."_s);
    QCOMPARE(console.ui().FR_RS232->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(console.ui().SW_SEND_VIA[1]->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(console.ui().FR_RS232->font().bold());
    QVERIFY(!console.ui().Label1[0]->font().bold());
    QCOMPARE(console.ui().Label2->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(console.ui().LST_T_MODE->count(), 6);
    QCOMPARE(console.ui().LST_T_MODE->itemText(5),
             u"5 - Normal Led Yellow on read (Ver. 2.3O et +)"_s);
    QCOMPARE(console.ui().SW_T_RFID_POLLING->count(), 3);
}

void TestMainWindow::startUpWithoutConfigFile()
{
    Console console(QByteArray{});
    // The "1" of the first step is replaced by the empty text read from no file.
    QCOMPARE(console.ui().INP_COMM_NO->text(), QString());
    QCOMPARE(console.ui().INP_IP_ADR->text(), QString());
    QCOMPARE(background(console.ui().INP_COMM_NO), ROUGE);
    QCOMPARE(background(console.ui().INP_IP_ADR), ROUGE);
    QVERIFY(!console.window->serial().isOpen());
}

void TestMainWindow::startUpAttemptsBeforeTheFirstTick()
{
    Pty two;
    QTcpServer bridge;
    QVERIFY(bridge.listen(QHostAddress::LocalHost, 1024));
    TemporaryConfig config;
    config.writeConfig(configFor(" 2 ", "127.0.0.1"));
    config.linkPort(2, two.slavePath());
    MainWindow window{ConsoleSettings{}};
    // Loading the address started an attempt; no timer has run yet.
    QCOMPARE(window.tcp().state(), int(TcpControl::Connecting));
    QCOMPARE(window.ui().INP_COMM_NO->text(), u"2"_s);
    QVERIFY(isUp(window.ui().INP_COMM_NO));
    QCOMPARE(window.serial().device(), two.slavePath());
    QTRY_VERIFY(isUp(window.ui().INP_IP_ADR));
}

void TestMainWindow::awkwardConfigFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("address");
    const QByteArray h = ConfigHeader;
    QTest::newRow("header only") << h + "\r\n" << QString() << QString();
    QTest::newRow("no address line") << h + "\r\n 1 \r\n" << u"1"_s << QString();
    QTest::newRow("bytes above 127") << h + "\r\n 1 \r\npont\xe9\xff\r\n"
                                     << u"1"_s << u"pont\u00e9\u00ff"_s;
    QTest::newRow("COM2 read back") << h + "\r\nCOM2\r\nh\r\n" << u"COM2"_s << u"h"_s;
    QTest::newRow("10 MB line") << h + "\r\n 1 \r\n" + QByteArray(10 * 1024 * 1024, 'a') + "\r\n"
                                << u"1"_s << QString(32767, u'a');
    QTest::newRow("10 MB header") << QByteArray(10 * 1024 * 1024, 'h') + "\r\n 1 \r\nx\r\n"
                                  << u"1"_s << u"x"_s;
}

void TestMainWindow::awkwardConfigFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, port);
    QFETCH(QString, address);
    Console console(content);
    QCOMPARE(console.ui().INP_COMM_NO->text(), port);
    // An address field holds at most 32767 characters; a longer line is cut there.
    QCOMPARE(console.ui().INP_IP_ADR->text(), address);
}

void TestMainWindow::shutDownWritesTheFile()
{
    QByteArray written;
    {
        Console console(configFor(" 1 ", "old"));
        console.ui().INP_IP_ADR->setText(u"10.9.8.7"_s);
        QSignalSpy ended(console.window.get(), &MainWindow::ended);
        console.window->close();
        QCOMPARE(ended.count(), 1);
        QCOMPARE(console.window->tcp().state(), int(TcpControl::Closed));
        written = console.config().readConfig();
        QCOMPARE(written, configFor(" 1 ", "10.9.8.7"));

        // The next run shows what this one saved.
        MainWindow next{ConsoleSettings{}};
        QCOMPARE(next.ui().INP_COMM_NO->text(), u"1"_s);
        QCOMPARE(next.ui().INP_IP_ADR->text(), u"10.9.8.7"_s);
    }
    // Without any file, the folder is made and the empty fields are saved.
    Console fresh(QByteArray{});
    QFile::remove(fresh.config().configFile());
    QDir(fresh.config().folder()).removeRecursively();
    fresh.window->close();
    QCOMPARE(fresh.config().readConfig(), configFor(" 0 ", ""));
}

void TestMainWindow::shutDownKeepsTheOldFile_data()
{
    QTest::addColumn<QStringList>("mount");
    QTest::addColumn<bool>("fill");
    QTest::newRow("read-only folder") << QStringList{u"--bind"_s} << false;
    QTest::newRow("full folder") << QStringList{u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s}
                                 << true;
}

void TestMainWindow::shutDownKeepsTheOldFile()
{
    QFETCH(QStringList, mount);
    QFETCH(bool, fill);
    Console console(configFor(" 1 ", "old"));
    const QString folder = console.config().folder();
    const QByteArray old = configFor(" 1 ", "old");
    if (fill) {
        QVERIFY(run(u"mount"_s, mount + QStringList{u"tmpfs"_s, folder}));
        QVERIFY(console.config().writeConfig(old));
        QFile filler(folder + u"/filler"_s);
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    } else {
        QVERIFY(run(u"mount"_s, mount + QStringList{folder, folder}));
        QVERIFY(run(u"mount"_s, {u"-o"_s, u"remount,bind,ro"_s, folder}));
    }
    console.ui().INP_IP_ADR->setText(u"a-much-longer-new-address-that-needs-room"_s);
    QSignalSpy ended(console.window.get(), &MainWindow::ended);
    console.window->close();
    QCOMPARE(ended.count(), 1);
    QVERIFY(!console.window->configStore().lastError().isEmpty());
    QCOMPARE(console.config().readConfig(), old);
    QVERIFY(run(u"umount"_s, {folder}));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
