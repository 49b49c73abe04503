#include "protocol/turnstile.h"

#include <QTest>

using namespace Qt::StringLiterals;
namespace turnstile = kalveno::turnstile;

class TestTurnstile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data();
    void commands();
    void directCommand();
    void recognisesReplies_data();
    void recognisesReplies();
    void decodesReplies_data();
    void decodesReplies();
    void summary();
};

void TestTurnstile::commands_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("passage") << turnstile::passage(u"5", u"1") << QByteArray("><IP0501");
    QTest::newRow("passage, seconds empty")
        << turnstile::passage(u"", u"12") << QByteArray("><IP0012");
    QTest::newRow("passage, rounding")
        << turnstile::passage(u"4.8", u"2.5") << QByteArray("><IP0502");
    QTest::newRow("passage, negative")
        << turnstile::passage(u"-5", u"1") << QByteArray("><IP-0501");
    QTest::newRow("passage, beyond 32 bits")
        << turnstile::passage(u"99999999999", u"1") << QByteArray("><IP9999999999901");
    QTest::newRow("validation") << turnstile::validationTimeout(u"3", u"3")
                                << QByteArray("><IT0303");
    QTest::newRow("validation, three digits")
        << turnstile::validationTimeout(u"150", u"3") << QByteArray("><IT15003");
    QTest::newRow("single passage with delay")
        << turnstile::singlePassageWithDelay(u"5") << QByteArray("><IP0500*><IP0501");
    QTest::newRow("mode 4") << turnstile::mode(turnstile::modes().at(4)) << QByteArray("><IM4");
    QTest::newRow("mode from typed text") << turnstile::mode(u"x9") << QByteArray("><IMx");
    QTest::newRow("mode empty") << turnstile::mode(u"") << QByteArray("><IM");
    QTest::newRow("write, initial texts")
        << turnstile::writeConfig(u"Polling setup", {}) << QByteArray("><IR,P,,,*");
    QTest::newRow("write, addresses trimmed")
        << turnstile::writeConfig(u"1- Polling ON",
                                  {u"10.0.0.2"_s, u"  10.0.0.3 "_s, u"10.0.0.4"_s})
        << QByteArray("><IR,1,10.0.0.2,10.0.0.3,10.0.0.4*");
    QTest::newRow("write, digit from a reply")
        << turnstile::writeConfig(u"2", {}) << QByteArray("><IR,2,,,*");
    QTest::newRow("write, inner blanks and commas kept")
        << turnstile::writeConfig(u"0", {u"a b"_s, u"c,d"_s, QString()})
        << QByteArray("><IR,0,a b,c,d,*");
    QTest::newRow("auto answer") << turnstile::autoAnswer(u"7") << QByteArray("><T5T07");
    QTest::newRow("auto answer, 12") << turnstile::autoAnswer(u"12") << QByteArray("><T5T12");
}

void TestTurnstile::commands()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, text);
    QCOMPARE(command, text);
}

void TestTurnstile::directCommand()
{
    QByteArray expected = "><ID74";
    for (int b = 0xB6; b <= 0xFF; ++b)
        expected.append(char(b));
    QCOMPARE(expected.size(), 80);
    QCOMPARE(turnstile::directCommand(), expected);
}

void TestTurnstile::recognisesReplies_data()
{
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<bool>("reply");
    QTest::newRow("10 characters") << QByteArray("IR?,1,4,5,") << false;
    QTest::newRow("11 characters") << QByteArray("IR?,1,4,5,3") << true;
    QTest::newRow("lower case") << QByteArray("ir?,1,4,5,3,3") << false;
    QTest::newRow("not at the start") << QByteArray(" IR?,1,4,5,3,3") << false;
}

void TestTurnstile::recognisesReplies()
{
    QFETCH(QByteArray, display);
    QFETCH(bool, reply);
    QCOMPARE(turnstile::isConfigReply(display), reply);
}

void TestTurnstile::decodesReplies_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QString>("polling");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("fields"); // time, validation, cards, three addresses
    const QStringList sample = {u"5"_s,        u"3"_s,        u"3"_s,
                                u"10.0.0.2"_s, u"10.0.0.3"_s, u"10.0.0.4"_s};
    QTest::newRow("sample") << QByteArray("IR?,1,4,5,3,3,10.0.0.2,10.0.0.3,10.0.0.4*") << u"1"_s
                            << turnstile::modes().at(4) << sample;
    QTest::newRow("stars anywhere") << QByteArray("IR?,1,*4,5,3,3,10.0.0.2,10.0.*0.3,10.0.0.4*")
                                    << u"1"_s << turnstile::modes().at(4) << sample;
    QTest::newRow("cut short") << QByteArray("IR?,0,2,9") << u"0"_s << turnstile::modes().at(2)
                               << QStringList{u"9"_s, {}, {}, {}, {}, {}};
    QTest::newRow("status byte in front: position 5 is the comma")
        << QByteArray("\xF2IR?,2,1,5,3,3,a,b,c*") << u","_s << turnstile::modes().at(1)
        << QStringList{u"5"_s, u"3"_s, u"3"_s, u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("mode 6 names no entry")
        << QByteArray("IR?,1,6,5,3,3,a,b,c") << u"1"_s << u"6"_s
        << QStringList{u"5"_s, u"3"_s, u"3"_s, u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("negative mode")
        << QByteArray("IR?,1,-1,5") << u"1"_s << u"-1"_s << QStringList{u"5"_s, {}, {}, {}, {}, {}};
    QTest::newRow("mode beyond 16 bits") << QByteArray("IR?,1,70000,5") << u"1"_s << u"70000"_s
                                         << QStringList{u"5"_s, {}, {}, {}, {}, {}};
    QTest::newRow("mode not a number") << QByteArray("IR?,1,abc,5") << u"1"_s << u"abc"_s
                                       << QStringList{u"5"_s, {}, {}, {}, {}, {}};
    QTest::newRow("mode half to even")
        << QByteArray("IR?,1,2.5,5") << u"1"_s << turnstile::modes().at(2)
        << QStringList{u"5"_s, {}, {}, {}, {}, {}};
    QTest::newRow("mode with blank")
        << QByteArray("IR?,1, 3x,5") << u"1"_s << turnstile::modes().at(3)
        << QStringList{u"5"_s, {}, {}, {}, {}, {}};
    QTest::newRow("twenty fields")
        << QByteArray("IR?,1,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17") << u"1"_s
        << turnstile::modes().at(0) << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s};
    QTest::newRow("8-bit bytes kept")
        << QByteArray("IR?,1,0,\xe9,3,3,\xff,b,c") << u"1"_s << turnstile::modes().at(0)
        << QStringList{u"\u00e9"_s, u"3"_s, u"3"_s, u"\u00ff"_s, u"b"_s, u"c"_s};
}

void TestTurnstile::decodesReplies()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QString, polling);
    QFETCH(QString, mode);
    QFETCH(QStringList, fields);
    const turnstile::ConfigReply r = turnstile::decodeConfigReply(chunk);
    QCOMPARE(r.polling, polling);
    QCOMPARE(r.modeText, mode);
    QCOMPARE(QStringList({r.timeToPass, r.validationTimeout, r.cardCount, r.remoteAddresses[0],
                          r.remoteAddresses[1], r.remoteAddresses[2]}),
             fields);
}

void TestTurnstile::summary()
{
    const QByteArray expected = "Polling: On\r\n"
                                "Mode: 4 - Free tst\r\n"
                                "D\xe9lais pour passer: 5\r\n"
                                "D\xe9lais pour valider carte: 3\r\n"
                                "NB cartes non valider avant offline: 3\r\n"
                                "IP tour remote ant02: 10.0.0.2\r\n"
                                "IP tour remote ant03: 10.0.0.3\r\n"
                                "IP tour remote ant04: 10.0.0.4\r\n";
    QCOMPARE(turnstile::configSummary(
                 turnstile::decodeConfigReply("IR?,1,4,5,3,3,10.0.0.2,10.0.0.3,10.0.0.4*")),
             expected);
    for (const char *polling : {"0", "2", "x", " "}) {
        const QByteArray reply = QByteArray("IR?,") + polling + ",1,5,3,3,a,b,c";
        QVERIFY(turnstile::configSummary(turnstile::decodeConfigReply(reply))
                    .startsWith("Polling: Off\r\nMode: 1 - Normal Paq\r\n"));
    }
}

QTEST_APPLESS_MAIN(TestTurnstile)
#include "tst_turnstile.moc"
