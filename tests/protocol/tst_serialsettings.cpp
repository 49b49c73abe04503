#include "protocol/serialsettings.h"

#include <QTest>

using namespace Qt::StringLiterals;
using kalveno::SerialSettings;

class TestSerialSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
};

void TestSerialSettings::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("stop");
    QTest::newRow("default") << u"9600,N,8,1"_s << 9600 << int(SerialSettings::None) << 8
                             << int(SerialSettings::One);
    QTest::newRow("simulator") << u"19200,N,8,1"_s << 19200 << int(SerialSettings::None) << 8
                               << int(SerialSettings::One);
    QTest::newRow("even 7 2") << u"1200,E,7,2"_s << 1200 << int(SerialSettings::Even) << 7
                              << int(SerialSettings::Two);
    QTest::newRow("odd lower case")
        << u"115200,o,8,1"_s << 115200 << int(SerialSettings::Odd) << 8 << int(SerialSettings::One);
    QTest::newRow("mark 5 1.5") << u"110,M,5,1.5"_s << 110 << int(SerialSettings::Mark) << 5
                                << int(SerialSettings::OneAndHalf);
    QTest::newRow("space 6") << u"300,S,6,1"_s << 300 << int(SerialSettings::Space) << 6
                             << int(SerialSettings::One);
}

void TestSerialSettings::accepted()
{
    QFETCH(QString, text);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, data);
    QFETCH(int, stop);
    const auto s = kalveno::parseSerialSettings(text);
    QVERIFY(s.has_value());
    QCOMPARE(s->baudRate, baud);
    QCOMPARE(int(s->parity), parity);
    QCOMPARE(s->dataBits, data);
    QCOMPARE(int(s->stopBits), stop);
}

void TestSerialSettings::rejected_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("bad parity") << u"9600,X,8,1"_s;
    QTest::newRow("incomplete") << u"9600,N,8,"_s;
    QTest::newRow("partial rate") << u"96"_s;
    QTest::newRow("odd rate") << u"9601,N,8,1"_s;
    QTest::newRow("four data bits") << u"9600,N,4,1"_s;
    QTest::newRow("nine data bits") << u"9600,N,9,1"_s;
    QTest::newRow("three stop bits") << u"9600,N,8,3"_s;
    QTest::newRow("blanks") << u"9600, N,8,1"_s;
    QTest::newRow("five fields") << u"9600,N,8,1,1"_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("huge rate") << u"99999999999999,N,8,1"_s;
    QTest::newRow("two parity letters") << u"9600,NN,8,1"_s;
    QTest::newRow("long s folds to S") << u"9600,\u017f,8,1"_s;
    QTest::newRow("dotless i folds to I") << u"9600,\u0131,8,1"_s;
}

void TestSerialSettings::rejected()
{
    QFETCH(QString, text);
    QVERIFY(!kalveno::parseSerialSettings(text).has_value());
}

QTEST_APPLESS_MAIN(TestSerialSettings)
#include "tst_serialsettings.moc"
