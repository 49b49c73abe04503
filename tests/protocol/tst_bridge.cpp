#include "protocol/bridgeio.h"
#include "protocol/rfid.h"
#include "protocol/ttlstatus.h"
#include "protocol/turnstile.h"

#include <QTest>

using namespace Qt::StringLiterals;
using kalveno::takeTtlStatus;
namespace rfid = kalveno::rfid;
namespace turnstile = kalveno::turnstile;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

// The bridge's own bytes: its input status bytes, the turnstile's commands and configuration
// reply, the RFID reader's frames and their CRC.
class TestBridge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statusBytes_data()
    {
        // Input states: -1 untouched, 0 off, 1 on.
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<int>("input1");
        QTest::addColumn<int>("input2");
        QTest::newRow("between characters") << QByteArray("AB\xF2"
                                                          "CD")
                                            << QByteArray("ABCD") << 1 << -1;
        QTest::newRow("on then off") << QByteArray("\xF2\xF3") << QByteArray() << 0 << -1;
        QTest::newRow("input 2 off alone") << QByteArray("\xF5") << QByteArray() << -1 << 0;
        QTest::newRow("input 2 on") << QByteArray("x\xF4") << QByteArray("x") << -1 << 1;
        QTest::newRow("neighbours stay")
            << QByteArray("\xF1\xF6") << QByteArray("\xF1\xF6") << -1 << -1;
        QTest::newRow("empty") << QByteArray() << QByteArray() << -1 << -1;
        QTest::newRow("both inputs, last wins")
            << QByteArray("\xF4\xF2z\xF5\xF3\xF2") << QByteArray("z") << 1 << 0;
        QTest::newRow("NUL and CR LF stay")
            << QByteArray("\0\r\n\xF3", 4) << QByteArray("\0\r\n", 3) << 0 << -1;
    }

    void statusBytes()
    {
        QFETCH(QByteArray, received);
        QFETCH(QByteArray, display);
        QFETCH(int, input1);
        QFETCH(int, input2);
        const kalveno::TtlStatus s = takeTtlStatus(received);
        QCOMPARE(s.display, display);
        QCOMPARE(s.input1On.has_value() ? int(*s.input1On) : -1, input1);
        QCOMPARE(s.input2On.has_value() ? int(*s.input2On) : -1, input2);
    }

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
        QTest::addColumn<QString>("fields"); // time, validation, cards, three addresses; by |
        const auto row = [](const char *name, const QByteArray &chunk, const char *polling,
                            const QString &mode, const char *fields) {
            QTest::newRow(name) << chunk << QString::fromLatin1(polling) << mode
                                << QString::fromLatin1(fields);
        };
        const QStringList &m = turnstile::modes();
        const char *sample = "5|3|3|10.0.0.2|10.0.0.3|10.0.0.4";
        row("sample", "IR?,1,4,5,3,3,10.0.0.2,10.0.0.3,10.0.0.4*", "1", m[4], sample);
        row("stars anywhere", "IR?,1,*4,5,3,3,10.0.0.2,10.0.*0.3,10.0.0.4*", "1", m[4], sample);
        row("cut short", "IR?,0,2,9", "0", m[2], "9|||||");
        row("status byte in front: position 5 is the comma", "\xF2IR?,2,1,5,3,3,a,b,c*", ",", m[1],
            "5|3|3|a|b|c");
        row("mode 6 names no entry", "IR?,1,6,5,3,3,a,b,c", "1", u"6"_s, "5|3|3|a|b|c");
        row("negative mode", "IR?,1,-1,5", "1", u"-1"_s, "5|||||");
        row("mode beyond 16 bits", "IR?,1,70000,5", "1", u"70000"_s, "5|||||");
        row("mode not a number", "IR?,1,abc,5", "1", u"abc"_s, "5|||||");
        row("mode half to even", "IR?,1,2.5,5", "1", m[2], "5|||||");
        row("mode with blank", "IR?,1, 3x,5", "1", m[3], "5|||||");
        row("twenty fields", "IR?,1,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17", "1", m[0],
            "1|2|3|4|5|6");
        row("8-bit bytes kept", "IR?,1,0,\xe9,3,3,\xff,b,c", "1", m[0], "\xe9|3|3|\xff|b|c");
    }

    void decodesReplies()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QString, polling);
        QFETCH(QString, mode);
        QFETCH(QString, fields);
        const turnstile::ConfigReply r = turnstile::decodeConfigReply(chunk);
        QCOMPARE(r.polling, polling);
        QCOMPARE(r.modeText, mode);
        QCOMPARE(QStringList({r.timeToPass, r.validationTimeout, r.cardCount, r.remoteAddresses[0],
                              r.remoteAddresses[1], r.remoteAddresses[2]})
                     .join(u'|'),
                 fields);
    }

    void replyFields()
    {
        // The names the site check reports and --expect takes; the mode as its number.
        const turnstile::ConfigReply whole =
            turnstile::decodeConfigReply("IR?,1,04,5,3,2,10.0.0.2,,10.0.0.4*");
        QStringList fields;
        for (const auto &[name, value] : turnstile::configReplyFields(whole))
            fields.append(name + u'=' + value);
        QCOMPARE(fields.join(u' '), u"polling=1 mode=4 time_to_pass=5 validation_timeout=3 "
                                    u"cards_before_offline=2 remote_antenna_2=10.0.0.2 "
                                    u"remote_antenna_3= remote_antenna_4=10.0.0.4"_s);
        QCOMPARE(whole.fieldCount, 9);
        const turnstile::ConfigReply odd = turnstile::decodeConfigReply("IR?,1,x7,5*");
        QCOMPARE(turnstile::configReplyFields(odd).at(1).second, u"x7"_s);
        QCOMPARE(odd.fieldCount, 4);
    }

    void jig_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("wires"); // or the error
        QTest::newRow("two") << u"1:1,2:2"_s << u"1>1 2>2"_s;
        QTest::newRow("one output, both inputs") << u"4:1,4:2"_s << u"4>1 4>2"_s;
        QTest::newRow("output 5") << u"5:1"_s << u"\"5:1\" is not OUT:IN"_s;
        QTest::newRow("input 3") << u"1:3"_s << u"\"1:3\" is not OUT:IN"_s;
        QTest::newRow("no colon") << u"1"_s << u"\"1\" is not OUT:IN"_s;
        QTest::newRow("empty pair") << u"1:1,"_s << u"\"\" is not OUT:IN"_s;
        QTest::newRow("twice") << u"2:1,2:1"_s << u"2:1 is given twice"_s;
    }

    void jig()
    {
        QFETCH(QString, text);
        QFETCH(QString, wires);
        QString error;
        const auto jig = kalveno::bridgeio::parseJig(text, &error);
        QStringList parsed;
        for (const kalveno::bridgeio::JigWire &wire :
             jig.value_or(QList<kalveno::bridgeio::JigWire>{}))
            parsed.append(u"%1>%2"_s.arg(wire.output).arg(wire.input));
        QVERIFY2((jig ? parsed.join(u' ') : error).startsWith(wires), qPrintable(error));
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

    void crcCheckValue()
    {
        // The catalogue check value of CRC-16/MCRF4XX.
        QCOMPARE(rfid::crc16("123456789"), quint16(0x6F91));
        QVERIFY(rfid::crc16(QByteArray(1, char(0x80))) != rfid::crc16(QByteArray(1, char(0x00))));
    }

    void replies_data()
    {
        // Expected bytes worked out apart from this code.
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("antenna selected") << rfid::antennaSelectedReply() << hex("040000525A");
        QTest::newRow("no card") << rfid::noCardReply() << hex("04000E2CB3");
        QTest::newRow("card E0040150A3C61B7D")
            << rfid::cardReply() << hex("0D0000007D1BC6A3500104E02403");
    }

    void replies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, bytes);
        QCOMPARE(reply, bytes);
        QVERIFY(rfid::hasValidCrc(reply));
    }

    void classify_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("antenna");
        const int select = rfid::Request::AntennaSelect, query = rfid::Request::CardQuery,
                  other = rfid::Request::Other;
        QTest::newRow("mask 01") << hex("06AABBCC01DDEE") << select << 1;
        QTest::newRow("mask 02") << hex("0600000002FFFF") << select << 2;
        QTest::newRow("mask 04") << hex("0600000004FFFF") << select << 3;
        QTest::newRow("mask 08") << hex("0600000008FFFF") << select << 4;
        QTest::newRow("mask 03") << hex("0600000003FFFF") << other << 0;
        QTest::newRow("mask 00") << hex("0600000000FFFF") << other << 0;
        QTest::newRow("select cut before the mask") << hex("06000000") << other << 0;
        QTest::newRow("select with only the mask") << hex("0600000002") << select << 2;
        QTest::newRow("card query") << hex("0500000000FF") << query << 0;
        QTest::newRow("short card query") << hex("05") << query << 0;
        QTest::newRow("other first byte") << hex("0700000002FFFF") << other << 0;
        QTest::newRow("empty") << QByteArray() << other << 0;
        QTest::newRow("second frame not looked at") << hex("0700000002FFFF05") << other << 0;
        QTest::newRow("built request") << rfid::antennaSelectRequest(0x08) << select << 4;
        QTest::newRow("built query") << rfid::cardQueryRequest() << query << 0;
    }

    void classify()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, kind);
        QFETCH(int, antenna);
        const rfid::Request r = rfid::classify(received);
        QCOMPARE(int(r.kind), kind);
        QCOMPARE(r.antenna, antenna);
    }
};

QTEST_APPLESS_MAIN(TestBridge)
#include "tst_bridge.moc"
