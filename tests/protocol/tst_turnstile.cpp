#include "protocol/turnstile.h"

#include <QTest>

using namespace Qt::StringLiterals;
namespace turnstile = kalveno::turnstile;

class TestTurnstile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data()
    {
        // The commands as the buttons send them are the window's table (tst_window), their number
        // fields tst_number's; here, what else the fields may hold.
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("mode from typed text") << turnstile::mode(u"x9") << QByteArray("><IMx");
        QTest::newRow("mode empty") << turnstile::mode(u"") << QByteArray("><IM");
        QTest::newRow("write, inner blanks and commas kept")
            << turnstile::writeConfig(u"0", {u"a b"_s, u"c,d"_s, QString()})
            << QByteArray("><IR,0,a b,c,d,*");
    }

    void commands()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, text);
        QCOMPARE(command, text);
    }

    void decodesReplies_data()
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
        QTest::newRow("negative mode") << QByteArray("IR?,1,-1,5") << u"1"_s << u"-1"_s
                                       << QStringList{u"5"_s, {}, {}, {}, {}, {}};
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
            << turnstile::modes().at(0)
            << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s};
        QTest::newRow("8-bit bytes kept")
            << QByteArray("IR?,1,0,\xe9,3,3,\xff,b,c") << u"1"_s << turnstile::modes().at(0)
            << QStringList{u"\u00e9"_s, u"3"_s, u"3"_s, u"\u00ff"_s, u"b"_s, u"c"_s};
    }

    void decodesReplies()
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

    void summary()
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
};

QTEST_APPLESS_MAIN(TestTurnstile)
#include "tst_turnstile.moc"
