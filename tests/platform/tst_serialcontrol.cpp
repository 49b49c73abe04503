#include "platform/serialcontrol.h"
#include "support/pty.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using kalveno::SerialControl;
using kalveno::test::Pty;

class TestSerialControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensAndPassesEveryByte();
    void refusals_data();
    void refusals();
    void heldByAnotherProgram();
    void closesWhenTheOtherEndGoes();
};

namespace {

SerialControl::DeviceForNumber onPty(const Pty &pty)
{
    const QString path = pty.slavePath();
    return [path](int) { return path; };
}

} // namespace

void TestSerialControl::opensAndPassesEveryByte()
{
    Pty pty;
    SerialControl serial(onPty(pty));
    QVERIFY(serial.setCommPort(1));
    QVERIFY(serial.setSettings(u"9600,N,8,1"));
    QVERIFY(serial.setPortOpen(true));
    QVERIFY(serial.isOpen());

    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QVERIFY(serial.output(all));
    QCOMPARE(pty.read(all.size()), all);

    QSignalSpy waiting(&serial, &SerialControl::dataWaiting);
    QVERIFY(pty.write(all));
    QByteArray received;
    QTRY_VERIFY([&] {
        QByteArray chunk;
        serial.input(&chunk);
        received += chunk;
        return received.size() >= all.size();
    }());
    QCOMPARE(received, all);
    QVERIFY(!waiting.isEmpty());

    QVERIFY(serial.setPortOpen(false));
    QVERIFY(serial.setPortOpen(false));
    QByteArray none;
    QVERIFY(!serial.input(&none));
    QVERIFY(!serial.output("x"));
}

void TestSerialControl::refusals_data()
{
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("numberOk");
    QTest::addColumn<bool>("settingsOk");
    QTest::newRow("port 0") << qint64(0) << u"9600,N,8,1"_s << false << true;
    QTest::newRow("negative port") << qint64(-3) << u"9600,N,8,1"_s << false << true;
    QTest::newRow("beyond 16 bits") << qint64(99999) << u"9600,N,8,1"_s << false << true;
    QTest::newRow("bad parity") << qint64(1) << u"9600,X,8,1"_s << true << false;
    QTest::newRow("incomplete settings") << qint64(1) << u"9600,N,"_s << true << false;
}

void TestSerialControl::refusals()
{
    QFETCH(qint64, number);
    QFETCH(QString, settings);
    QFETCH(bool, numberOk);
    QFETCH(bool, settingsOk);
    Pty pty;
    SerialControl serial(onPty(pty));
    QCOMPARE(serial.setCommPort(number), numberOk);
    QCOMPARE(serial.setSettings(settings), settingsOk);
    QVERIFY(!serial.lastError().isEmpty());
}

void TestSerialControl::heldByAnotherProgram()
{
    Pty pty;
    SerialControl first(onPty(pty));
    first.setCommPort(1);
    first.setSettings(u"9600,N,8,1");
    QVERIFY(first.setPortOpen(true));
    SerialControl second(onPty(pty));
    second.setCommPort(1);
    second.setSettings(u"9600,N,8,1");
    QVERIFY(!second.setPortOpen(true));
    QVERIFY(!second.isOpen());
}

void TestSerialControl::closesWhenTheOtherEndGoes()
{
    Pty pty;
    SerialControl serial(onPty(pty));
    serial.setCommPort(1);
    serial.setSettings(u"9600,N,8,1");
    QVERIFY(serial.setPortOpen(true));
    QSignalSpy lost(&serial, &SerialControl::portLost);
    pty.closeMaster();
    QVERIFY(lost.wait());
    QCOMPARE(lost.count(), 1);
    QVERIFY(!serial.isOpen());
    QVERIFY(!serial.output("x"));
}

QTEST_GUILESS_MAIN(TestSerialControl)
#include "tst_serialcontrol.moc"
