#include "consolefixture.h"

#include "app/statusline.h"
#include "platform/serialcontrol.h"
#include "widgets/terminalbox.h"

#include <QLineEdit>
#include <QSerialPort>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

class TestSerialPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }
    void opensAtStartUp();
    void reopensOnEveryKeystroke();
    void portNumbers_data();
    void portNumbers();
    void settingsTypedCharacterByCharacter();
    void heldByAnotherProgram();
    void otherEndGoesAway();
    void editingStopsTheRetries();
};

void TestSerialPort::opensAtStartUp()
{
    Console console;
    QCOMPARE(console.ui().INP_COMM_NO->text(), u"1"_s);
    QVERIFY(isUp(console.ui().INP_COMM_NO));
    QCOMPARE(console.window->serial().device(), console.line.slavePath());
    // The port runs at the start-up settings and passes bytes through.
    QVERIFY(console.window->serial().output("ping"));
    QCOMPARE(console.line.read(4), QByteArray("ping"));
}

void TestSerialPort::reopensOnEveryKeystroke()
{
    Pty twelve;
    Console console(configFor("", "127.0.0.1"));
    console.config().linkPort(12, twelve.slavePath());
    QLineEdit *number = console.ui().INP_COMM_NO;
    QCOMPARE(number->text(), QString());
    QVERIFY(!isUp(number));
    number->setFocus();
    QTest::keyClick(number, Qt::Key_1);
    QVERIFY(isUp(number));
    QCOMPARE(console.window->serial().device(), console.line.slavePath());
    QTest::keyClick(number, Qt::Key_2);
    QVERIFY(isUp(number));
    QCOMPARE(console.window->serial().device(), twelve.slavePath());
    // Port 1 was closed on the way: another program can take it now.
    QSerialPort other(console.line.slavePath());
    QVERIFY(other.open(QIODevice::ReadWrite));
    // Deleting the whole text asks for port 0, which names no port.
    QTest::keyClick(number, Qt::Key_Backspace);
    QTest::keyClick(number, Qt::Key_Backspace);
    QVERIFY(!isUp(number));
    QCOMPARE(background(number), ROUGE);
}

void TestSerialPort::portNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port"); // 0: the field turns red
    QTest::newRow("COM3") << u"COM3"_s << 0;
    QTest::newRow("zero") << u"0"_s << 0;
    QTest::newRow("beyond 16 bits") << u"99999"_s << 0;
    QTest::newRow("negative") << u"-1"_s << 0;
    QTest::newRow("2.5 to even 2") << u"2.5"_s << 2;
    QTest::newRow("3.5 to even 4") << u"3.5"_s << 4;
    QTest::newRow("leading blank") << u" 3"_s << 3;
    QTest::newRow("trailing letter") << u"3a"_s << 3;
    QTest::newRow("no such device") << u"7"_s << 0;
}

void TestSerialPort::portNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    Pty two, three, four;
    Console console;
    console.config().linkPort(2, two.slavePath());
    console.config().linkPort(3, three.slavePath());
    console.config().linkPort(4, four.slavePath());
    console.config().linkPort(7, u"/dev/nonexistent-serial-device"_s);
    console.ui().INP_COMM_NO->setText(text);
    if (port == 0) {
        QCOMPARE(background(console.ui().INP_COMM_NO), ROUGE);
        QVERIFY(!console.window->serial().isOpen());
        return;
    }
    QVERIFY(isUp(console.ui().INP_COMM_NO));
    const Pty *expected[] = {nullptr, nullptr, &two, &three, &four};
    QCOMPARE(console.window->serial().device(), expected[port]->slavePath());
}

void TestSerialPort::settingsTypedCharacterByCharacter()
{
    Console console;
    QLineEdit *settings = console.ui().INP_COMM_CFG;
    QLineEdit *number = console.ui().INP_COMM_NO;
    settings->clear();
    QVERIFY(!isUp(number));
    settings->setFocus();
    // A pseudo-terminal only takes 8 data bits without parity; so do the texts used here.
    const QString text = u"19200,N,8,2"_s;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QTest::keyClicks(settings, text.mid(i, 1));
        // Only the complete text is a setting the port takes.
        QCOMPARE(isUp(number), i == text.size() - 1);
    }
    QVERIFY(console.window->serial().isOpen());
    settings->setText(u"9600,X,8,1"_s);
    QCOMPARE(background(number), ROUGE);
    QVERIFY(!console.window->serial().isOpen());
}

void TestSerialPort::heldByAnotherProgram()
{
    Console console;
    console.ui().INP_COMM_NO->setText(QString());
    QSerialPort other(console.line.slavePath());
    QVERIFY(other.open(QIODevice::ReadWrite));
    console.ui().INP_COMM_NO->setText(u"1"_s);
    QCOMPARE(background(console.ui().INP_COMM_NO), ROUGE);
    other.close();
    console.ui().INP_COMM_NO->setText(u"01"_s);
    QVERIFY(isUp(console.ui().INP_COMM_NO));
}

void TestSerialPort::otherEndGoesAway()
{
    Console console;
    QVERIFY(isUp(console.ui().INP_COMM_NO));
    QSignalSpy lost(&console.window->serial(), &SerialControl::portLost);
    console.line.closeMaster();
    QVERIFY(lost.wait());
    // The port is closed at once; the field keeps its colour, and the technician is told.
    QVERIFY(!console.window->serial().isOpen());
    QVERIFY(isUp(console.ui().INP_COMM_NO));
    QVERIFY(console.window->statusLine().current().contains(u"lost"_s));
    QVERIFY(!lost.wait(300));
    QVERIFY(!console.window->serial().isOpen());

    // A device answers to port 1 again: the port opens on it by itself, with the same settings.
    Pty again;
    console.config().linkPort(1, again.slavePath());
    QTRY_VERIFY_WITH_TIMEOUT(console.window->serial().isOpen(), 5000);
    QCOMPARE(console.window->serial().device(), again.slavePath());
    QVERIFY(isUp(console.ui().INP_COMM_NO));
    again.write("back");
    QTRY_COMPARE(console.ui().TXT_232_WIN->bytes(), QByteArray("back"));
}

void TestSerialPort::editingStopsTheRetries()
{
    Console console;
    QSignalSpy lost(&console.window->serial(), &SerialControl::portLost);
    console.line.closeMaster();
    QVERIFY(lost.wait());
    // The technician takes over: port 0 names nothing, and no retry opens anything behind it.
    console.ui().INP_COMM_NO->setText(u"0"_s);
    Pty again;
    console.config().linkPort(1, again.slavePath());
    QVERIFY(!QTest::qWaitFor([&] { return console.window->serial().isOpen(); }, 2500));
    QCOMPARE(background(console.ui().INP_COMM_NO), ROUGE);
}

QTEST_MAIN(TestSerialPort)
#include "tst_serialport.moc"
