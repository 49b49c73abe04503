#include "protocol/number.h"

#include <QTest>

using namespace Qt::StringLiterals;
using kalveno::LeadingNumber;

class TestNumber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leadingValue_data()
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
        QTest::newRow("too small for a double")
            << u"0."_s + QString(400, u'0') + u"1"_s << 0.0 << true;
        QTest::newRow("too small, negative")
            << u"-."_s + QString(400, u'0') + u"1"_s << 0.0 << true;
        QTest::newRow("too large for a double") << u"1"_s + QString(400, u'0') << qInf() << true;
        QTest::newRow("too large, negative") << u"-1"_s + QString(400, u'0') << -qInf() << true;
    }

    void leadingValue()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(bool, hasDigits);
        const LeadingNumber n = LeadingNumber::parse(text);
        QCOMPARE(n.toDouble(), value);
        QCOMPARE(n.hasDigits(), hasDigits);
    }

    void rounded_data()
    {
        // Rounded half to even: as a two-digit field, and as a signed 16-bit number ("-": it does
        // not fit).
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("number");
        const auto row = [](const QString &text, const char *field, const char *number) {
            QTest::newRow(qPrintable(text.isEmpty() ? u"empty"_s : text))
                << text << QString::fromLatin1(field) << QString::fromLatin1(number);
        };
        row(u"5"_s, "05", "5");
        row(QString(), "00", "0");
        row(u"abc"_s, "00", "0");
        row(u"7x"_s, "07", "7");
        row(u"123"_s, "123", "123");
        row(u"4.8"_s, "05", "5");
        row(u"2.5"_s, "02", "2");
        row(u"1.5"_s, "02", "2");
        row(u"3.5"_s, "04", "4");
        row(u"0.5"_s, "00", "0");
        row(u"-2.5"_s, "-02", "-2");
        row(u"-3.5"_s, "-04", "-4");
        row(u"2.51"_s, "03", "3");
        row(u"2.4999"_s, "02", "2");
        row(u"99.5"_s, "100", "100");
        row(u"999.5"_s, "1000", "1000");
        row(u"-5"_s, "-05", "-5");
        row(u"-123"_s, "-123", "-123");
        row(u"-0.4"_s, "00", "0");
        row(u"32767"_s, "32767", "32767");
        row(u"32768"_s, "32768", "-");
        row(u"-32768"_s, "-32768", "-32768");
        row(u"32767.5"_s, "32768", "-");
        row(u"99999999999"_s, "99999999999", "-");
        row(u"123456789012345678901234567890"_s, "123456789012345678901234567890", "-");
    }

    void rounded()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QFETCH(QString, number);
        const LeadingNumber n = LeadingNumber::parse(text);
        QCOMPARE(kalveno::twoDigitField(text), field);
        const std::optional<qint64> r = n.roundedIn(-32768, 32767);
        QCOMPARE(r ? QString::number(*r) : u"-"_s, number);
    }
};

QTEST_APPLESS_MAIN(TestNumber)
#include "tst_number.moc"
