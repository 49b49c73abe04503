#include "protocol/ttlstatus.h"

#include <QTest>

using kalveno::takeTtlStatus;

class TestTtlStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
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

    void decode()
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
};

QTEST_APPLESS_MAIN(TestTtlStatus)
#include "tst_ttlstatus.moc"
