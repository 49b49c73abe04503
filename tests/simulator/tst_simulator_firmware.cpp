#include "simulator/iofirmware.h"
#include "simulator/outputs.h"
#include "simulator/turnstilefirmware.h"

#include "protocol/bridgeio.h"
#include "protocol/turnstile.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;
namespace bridgeio = kalveno::bridgeio;
namespace turnstile = kalveno::turnstile;

namespace {

// "1010": outputs 1 to 4, on or off.
QString pattern(const Outputs &outputs)
{
    QString text;
    for (int output = 1; output <= 4; ++output)
        text += outputs.isOn(output) ? u'1' : u'0';
    return text;
}

} // namespace

class TestSimulatorFirmware : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ioCommands_data();
    void ioCommands();
    void pulsesEndByThemselves_data();
    void pulsesEndByThemselves();
    void laterCommandReplacesPulse();
    void replyReadsBackInTheConsole();
    void storedSettings_data();
    void storedSettings();
};

void TestSimulatorFirmware::ioCommands_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("before"); // outputs 1 to 4
    QTest::addColumn<bool>("input1");
    QTest::addColumn<bool>("input2");
    QTest::addColumn<bool>("known");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("after");

    for (int output = 1; output <= 4; ++output) {
        QString on = u"0000"_s;
        on[output - 1] = u'1';
        QString off = u"1111"_s;
        off[output - 1] = u'0';
        QTest::addRow("output %d on", output) << bridgeio::outputSwitch(output, true) << u"0000"_s
                                              << false << false << true << QByteArray() << on;
        QTest::addRow("output %d off", output) << bridgeio::outputSwitch(output, false) << u"1111"_s
                                               << false << false << true << QByteArray() << off;
        QTest::addRow("output %d two seconds", output)
            << bridgeio::outputTwoSeconds(output) << u"0000"_s << false << false << true
            << QByteArray() << on;
        QTest::addRow("output %d pulse", output) << bridgeio::outputPulse(output) << u"0000"_s
                                                 << false << false << true << QByteArray() << on;
    }
    QTest::newRow("input 1 on") << bridgeio::inputStatusRequest(1) << u"0000"_s << true << false
                                << true << QByteArray("\xF2") << u"0000"_s;
    QTest::newRow("input 1 off") << bridgeio::inputStatusRequest(1) << u"0000"_s << false << true
                                 << true << QByteArray("\xF3") << u"0000"_s;
    QTest::newRow("input 2 on") << bridgeio::inputStatusRequest(2) << u"0000"_s << false << true
                                << true << QByteArray("\xF4") << u"0000"_s;
    QTest::newRow("input 2 off") << bridgeio::inputStatusRequest(2) << u"0000"_s << true << false
                                 << true << QByteArray("\xF5") << u"0000"_s;
    QTest::newRow("output 3 two seconds is no status request")
        << QByteArray("\xDE"
                      "02")
        << u"0000"_s << true << true << true << QByteArray() << u"0010"_s;
    QTest::newRow("two seconds with other digits")
        << QByteArray("\xDC"
                      "07")
        << u"0000"_s << false << false << true << QByteArray() << u"1000"_s;
    QTest::newRow("lead byte and one digit")
        << QByteArray("\xDE"
                      "0")
        << u"0000"_s << false << false << false << QByteArray() << u"0000"_s;
    QTest::newRow("batch on") << bridgeio::BatchOn.toByteArray() << u"0100"_s << false << false
                              << true << QByteArray() << u"1111"_s;
    QTest::newRow("batch off") << bridgeio::BatchOff.toByteArray() << u"1011"_s << false << false
                               << true << QByteArray() << u"0000"_s;
    QTest::newRow("turnstile LED is not an I/O command")
        << turnstile::GreenLedOn.toByteArray() << u"0000"_s << false << false << false
        << QByteArray() << u"0000"_s;
    QTest::newRow("unknown byte") << QByteArray("A") << u"1000"_s << false << false << false
                                  << QByteArray() << u"1000"_s;
    QTest::newRow("empty payload")
        << QByteArray() << u"1000"_s << false << false << false << QByteArray() << u"1000"_s;
}

void TestSimulatorFirmware::ioCommands()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, before);
    QFETCH(bool, input1);
    QFETCH(bool, input2);
    QFETCH(bool, known);
    QFETCH(QByteArray, reply);
    QFETCH(QString, after);

    Outputs outputs;
    for (int output = 1; output <= 4; ++output)
        outputs.set(output, before[output - 1] == u'1');
    IoFirmware io(&outputs);
    io.setInput(1, input1);
    io.setInput(2, input2);
    const IoFirmware::Outcome outcome = io.handle(payload);
    QCOMPARE(outcome.known, known);
    QCOMPARE(outcome.reply, reply);
    QCOMPARE(pattern(outputs), after);
    QVERIFY(!outcome.meaning.isEmpty());
}

void TestSimulatorFirmware::pulsesEndByThemselves_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("two seconds") << bridgeio::outputTwoSeconds(1) << 1 << 2000;
    QTest::newRow("point three") << bridgeio::outputPulse(4) << 4 << 300;
    QTest::newRow("batch") << bridgeio::BatchOn.toByteArray() << 2 << 4000;
}

void TestSimulatorFirmware::pulsesEndByThemselves()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, output);
    QFETCH(int, milliseconds);
    Outputs outputs;
    IoFirmware io(&outputs);
    QSignalSpy changed(&outputs, &Outputs::changed);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(io.handle(payload).known);
    QVERIFY(outputs.isOn(output));
    QTRY_VERIFY_WITH_TIMEOUT(!outputs.isOn(output), milliseconds + 1000);
    QVERIFY(clock.elapsed() >= milliseconds - 50);
    // On once and off once for that output, nothing in between.
    QList<QVariantList> forOutput;
    for (const QVariantList &args : std::as_const(changed)) {
        if (args.at(0).toInt() == output)
            forOutput.append(args);
    }
    QCOMPARE(forOutput.size(), 2);
    QCOMPARE(forOutput.at(0).at(1).toBool(), true);
    QCOMPARE(forOutput.at(1).at(1).toBool(), false);
}

void TestSimulatorFirmware::laterCommandReplacesPulse()
{
    Outputs outputs;
    IoFirmware io(&outputs);
    io.handle(bridgeio::outputPulse(2));
    io.handle(bridgeio::outputSwitch(2, true));
    QSignalSpy changed(&outputs, &Outputs::changed);
    // The pulse's end must not switch off what was switched on for good afterwards.
    QVERIFY(!changed.wait(600));
    QVERIFY(outputs.isOn(2));
}

void TestSimulatorFirmware::replyReadsBackInTheConsole()
{
    TurnstileSettings settings;
    settings.polling = '1';
    settings.mode = 4;
    settings.remoteAddresses = {"10.0.0.2", "10.0.0.3", "10.0.0.4"};
    const QByteArray reply = configReply(settings);
    QCOMPARE(reply, QByteArray("IR?,1,4,5,3,3,10.0.0.2,10.0.0.3,10.0.0.4*"));
    QVERIFY(turnstile::isConfigReply(reply));
    const turnstile::ConfigReply decoded = turnstile::decodeConfigReply(reply);
    QCOMPARE(decoded.polling, u"1"_s);
    QVERIFY(decoded.modeKnown);
    QCOMPARE(decoded.modeText, turnstile::modes().at(4));
    QCOMPARE(decoded.timeToPass, u"5"_s);
    QCOMPARE(decoded.remoteAddresses[2], u"10.0.0.4"_s);
    // The shortest reply the firmware can give is still one the console decodes.
    QVERIFY(turnstile::isConfigReply(configReply({})));
}

void TestSimulatorFirmware::storedSettings_data()
{
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("nothing yet") << QList<QByteArray>{} << QByteArray("IR?,0,0,5,3,3,,,*");
    QTest::newRow("settings from the console")
        << QList<QByteArray>{"><IP0512", "><IT0303", "><IM4", "><IR,1,10.0.0.2,,*"}
        << QByteArray("IR?,1,4,5,3,3,10.0.0.2,,*");
    QTest::newRow("each setting changed")
        << QList<QByteArray>{"><IP0712", "><IT1004", "><IM2", "><IR,2,1.2.3.4,5.6.7.8,9.9.9.9*"}
        << QByteArray("IR?,2,2,7,10,4,1.2.3.4,5.6.7.8,9.9.9.9*");
    QTest::newRow("three-digit seconds")
        << QList<QByteArray>{turnstile::validationTimeout(u"150", u"3")}
        << QByteArray("IR?,0,0,5,150,3,,,*");
    QTest::newRow("latest passage decides the time to pass")
        << QList<QByteArray>{QByteArray(turnstile::singlePassageWithDelay(u"9")), "><IP0801"}
        << QByteArray("IR?,0,0,8,3,3,,,*");
    QTest::newRow("refused commands change nothing")
        << QList<QByteArray>{"><IM9", "><IR,P,,,*", "><IT12", "><IR,1,300.0.0.1,,*", "><IP05"}
        << QByteArray("IR?,0,0,5,3,3,,,*");
    QTest::newRow("outputs and acknowledgements store nothing")
        << QList<QByteArray>{turnstile::ArmDrop.toByteArray(),
                             turnstile::RedLedThreeSecondsOk.toByteArray(),
                             turnstile::directCommand()}
        << QByteArray("IR?,0,0,5,3,3,,,*");
}

void TestSimulatorFirmware::storedSettings()
{
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QByteArray, reply);
    Outputs outputs;
    TurnstileFirmware firmware(TurnstileSettings{}, &outputs);
    for (const QByteArray &command : commands)
        QVERIFY(firmware.handle(command).reply.isEmpty());
    const TurnstileFirmware::Outcome outcome = firmware.handle(turnstile::ReadConfigRequest);
    QVERIFY(outcome.accepted);
    QCOMPARE(outcome.reply, reply);
}

QTEST_MAIN(TestSimulatorFirmware)
#include "tst_simulator_firmware.moc"
