#include "protocol/rfid.h"

#include <QTest>

namespace rfid = kalveno::rfid;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestRfid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

    void announcedLength()
    {
        QCOMPARE(rfid::announcedLength(QByteArray()), 0);
        QCOMPARE(rfid::announcedLength(hex("06")), 7);
        QCOMPARE(rfid::announcedLength(hex("FF")), 256);
    }
};

QTEST_APPLESS_MAIN(TestRfid)
#include "tst_rfid.moc"
