#include "protocol/number.h"

#include <QTest>

using namespace Qt::StringLiterals;
using kalveno::LeadingNumber;

class TestNumber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leadingValue_data();
    void leadingValue();
    void rounding_data();
    void rounding();
    void twoDigitField_data();
    void twoDigitField();
    void range_data();
    void range();
};

void TestNumber::leadingValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("hasDigits");
    QTest::newRow("digits") << u"1"_s << 1.0 << true;
    QTest::newRow("leading blank") << u" 3"_s << 3.0 << true;
    QTest::newRow("leading tab") << u"\t9"_s << 9.0 << true;
    QTest::newRow("trailing letter") << u"3a"_s << 3.0 << true;
    QTest::newRow("COM3") << u"COM3"_s << 0.0 << false;
    QTest::newRow("12x") << u"12x"_s << 12.0 << true;
    QTest::newRow("empty") << QString() << 0.0 << false;
    QTest::newRow("point") << u"2.5"_s << 2.5 << true;
    QTest::newRow("point first") << u".5"_s << 0.5 << true;
    QTest::newRow("negative") << u"-4"_s << -4.0 << true;
    QTest::newRow("plus") << u"+7"_s << 7.0 << true;
    QTest::newRow("comma ends it") << u"1,5"_s << 1.0 << true;
    QTest::newRow("no exponent") << u"1e3"_s << 1.0 << true;
    QTest::newRow("sign alone") << u"-"_s << 0.0 << false;
    QTest::newRow("point alone") << u"."_s << 0.0 << false;
    QTest::newRow("blank inside ends it") << u"1 2"_s << 1.0 << true;
    QTest::newRow("leading zeros") << u"0010"_s << 10.0 << true;
    QTest::newRow("too small for a double") << u"0."_s + QString(400, u'0') + u"1"_s << 0.0 << true;
    QTest::newRow("too small, negative") << u"-."_s + QString(400, u'0') + u"1"_s << 0.0 << true;
    QTest::newRow("too large for a double") << u"1"_s + QString(400, u'0') << qInf() << true;
    QTest::newRow("too large, negative") << u"-1"_s + QString(400, u'0') << -qInf() << true;
}

void TestNumber::leadingValue()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(bool, hasDigits);
    const LeadingNumber n = LeadingNumber::parse(text);
    QCOMPARE(n.toDouble(), value);
    QCOMPARE(n.hasDigits(), hasDigits);
}

void TestNumber::rounding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("rounded");
    QTest::newRow("2.5 to even 2") << u"2.5"_s << qint64(2);
    QTest::newRow("3.5 to even 4") << u"3.5"_s << qint64(4);
    QTest::newRow("0.5 to even 0") << u"0.5"_s << qint64(0);
    QTest::newRow("-2.5") << u"-2.5"_s << qint64(-2);
    QTest::newRow("-3.5") << u"-3.5"_s << qint64(-4);
    QTest::newRow("above half") << u"2.51"_s << qint64(3);
    QTest::newRow("below half") << u"2.4999"_s << qint64(2);
    QTest::newRow("carry") << u"99.5"_s << qint64(100);
    QTest::newRow("small negative is zero") << u"-0.4"_s << qint64(0);
}

void TestNumber::rounding()
{
    QFETCH(QString, text);
    QFETCH(qint64, rounded);
    QCOMPARE(LeadingNumber::parse(text).roundedIn(-1000000, 1000000), rounded);
}

void TestNumber::twoDigitField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("5") << u"5"_s << u"05"_s;
    QTest::newRow("empty") << QString() << u"00"_s;
    QTest::newRow("letter") << u"abc"_s << u"00"_s;
    QTest::newRow("7x") << u"7x"_s << u"07"_s;
    QTest::newRow("three digits") << u"123"_s << u"123"_s;
    QTest::newRow("4.8 rounds up") << u"4.8"_s << u"05"_s;
    QTest::newRow("half to even") << u"2.5"_s << u"02"_s;
    QTest::newRow("half to even up") << u"1.5"_s << u"02"_s;
    QTest::newRow("negative") << u"-5"_s << u"-05"_s;
    QTest::newRow("negative long") << u"-123"_s << u"-123"_s;
    QTest::newRow("negative to zero") << u"-0.4"_s << u"00"_s;
    QTest::newRow("beyond 32 bits") << u"99999999999"_s << u"99999999999"_s;
    QTest::newRow("beyond 64 bits")
        << u"123456789012345678901234567890"_s << u"123456789012345678901234567890"_s;
    QTest::newRow("carry past nines") << u"999.5"_s << u"1000"_s;
}

void TestNumber::twoDigitField()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(kalveno::twoDigitField(text), field);
}

void TestNumber::range_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");
    QTest::newRow("16-bit top") << u"32767"_s << true;
    QTest::newRow("16-bit over") << u"32768"_s << false;
    QTest::newRow("16-bit bottom") << u"-32768"_s << true;
    QTest::newRow("99999") << u"99999"_s << false;
    QTest::newRow("rounds over") << u"32767.5"_s << false;
    QTest::newRow("many digits") << u"12345678901234567890123"_s << false;
}

void TestNumber::range()
{
    QFETCH(QString, text);
    QFETCH(bool, fits);
    QCOMPARE(LeadingNumber::parse(text).roundedIn(-32768, 32767).has_value(), fits);
}

QTEST_APPLESS_MAIN(TestNumber)
#include "tst_number.moc"
