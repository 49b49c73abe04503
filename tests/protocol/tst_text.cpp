#include "protocol/configfile.h"
#include "protocol/field.h"
#include "protocol/number.h"
#include "protocol/serialsettings.h"

#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using kalveno::getField;
using kalveno::LeadingNumber;
using kalveno::NoReplacement;
using kalveno::SerialSettings;
using Parsed = std::optional<SerialSettings>;
namespace configfile = kalveno::configfile;

Q_DECLARE_METATYPE(Parsed)

namespace {

const QByteArray Header = "FICHIER DE CONFIGURATION POUR MERIXO INC (BRIDGE TCPIP / RS-232)";

} // namespace

// Text as the console reads and writes it: leading numbers, fields between delimiters,
// serial line settings, the configuration file.
class TestText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void number_data()
    {
        // The number at the start of the text, rounded half to even: as a two-digit field, and
        // as a signed 16-bit number ("-": it does not fit); and whether the text had digits.
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("hasDigits");
        const auto row = [](const QString &text, const char *field, const char *number,
                            bool hasDigits = true) {
            QTest::newRow(qPrintable(u'"' + text + u'"'))
                << text << QString::fromLatin1(field) << QString::fromLatin1(number) << hasDigits;
        };
        row(u"5"_s, "05", "5");
        row(QString(), "00", "0", false);
        row(u"abc"_s, "00", "0", false);
        row(u"-"_s, "00", "0", false);
        row(u"."_s, "00", "0", false);
        row(u" 3"_s, "03", "3");
        row(u"\t9"_s, "09", "9");
        row(u"+7"_s, "07", "7");
        row(u"7x"_s, "07", "7");
        row(u"1,5"_s, "01", "1");
        row(u"1e3"_s, "01", "1");
        row(u"1 2"_s, "01", "1");
        row(u"0010"_s, "10", "10");
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
        row(u"9999999999999999999"_s, "9999999999999999999", "-");
        row(u"123456789012345678901234567890"_s, "123456789012345678901234567890", "-");
    }

    void number()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QFETCH(QString, number);
        QFETCH(bool, hasDigits);
        const LeadingNumber n = LeadingNumber::parse(text);
        QCOMPARE(kalveno::twoDigitField(text), field);
        const std::optional<qint64> r = n.roundedIn(-32768, 32767);
        QCOMPARE(r ? QString::number(*r) : u"-"_s, number);
        QCOMPARE(n.hasDigits(), hasDigits);
    }

    void field_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<qint64>("index");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("replacement"); // null: the field is read
        const QString c = u","_s;
        QTest::newRow("first") << u"IR?,1,3,10"_s << c << qint64(1) << u"IR?"_s << QString();
        QTest::newRow("fourth") << u"IR?,1,3,10"_s << c << qint64(4) << u"10"_s << QString();
        QTest::newRow("index 0 is first")
            << u"IR?,1,3,10"_s << c << qint64(0) << u"IR?"_s << QString();
        QTest::newRow("negative is first") << u"a,b"_s << c << qint64(-5) << u"a"_s << QString();
        QTest::newRow("empty between") << u"a,,c"_s << c << qint64(2) << QString() << QString();
        QTest::newRow("empty last") << u"a,b,"_s << c << qint64(3) << QString() << QString();
        QTest::newRow("beyond last") << u"a,b"_s << c << qint64(5) << QString() << QString();
        // The loop over fields stops at the last delimiter, whatever the index asks for.
        QTest::newRow("far beyond last")
            << u"a,b"_s << c << std::numeric_limits<qint64>::max() << QString() << QString();
        QTest::newRow("empty text") << QString() << c << qint64(1) << QString() << QString();
        QTest::newRow("two-char delimiter")
            << u"a<>b<>c"_s << u"<>"_s << qint64(3) << u"c"_s << QString();
        QTest::newRow("half delimiter is text")
            << u"a<b<>c"_s << u"<>"_s << qint64(2) << u"c"_s << QString();
        QTest::newRow("case-sensitive") << u"aXbxc"_s << u"x"_s << qint64(2) << u"c"_s << QString();
        QTest::newRow("empty delimiter reads all")
            << u"a,b"_s << QString() << qint64(2) << u"a,b"_s << QString();
        // Given a replacement, the whole text comes back with that field replaced.
        QTest::newRow("second replaced") << u"a,b,c"_s << c << qint64(2) << u"a,X,c"_s << u"X"_s;
        QTest::newRow("missing fields added")
            << u"a"_s << u"<>"_s << qint64(3) << u"a<><>X"_s << u"X"_s;
        QTest::newRow("the marker replaces nothing")
            << u"a,b"_s << c << qint64(2) << u"b"_s << NoReplacement.toString();
    }

    void field()
    {
        QFETCH(QString, text);
        QFETCH(QString, delimiter);
        QFETCH(qint64, index);
        QFETCH(QString, result);
        QFETCH(QString, replacement);
        QCOMPARE(replacement.isNull() ? getField(text, delimiter, index)
                                      : getField(text, delimiter, index, replacement),
                 result);
    }

    void serialSettings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Parsed>("settings"); // none: refused
        const auto row = [](const char *name, const QString &text, Parsed settings = {}) {
            QTest::newRow(name) << text << settings;
        };
        using S = SerialSettings;
        row("default", u"9600,N,8,1"_s, S{9600, S::None, 8, S::One});
        row("simulator", u"19200,N,8,1"_s, S{19200, S::None, 8, S::One});
        row("even 7 2", u"1200,E,7,2"_s, S{1200, S::Even, 7, S::Two});
        row("odd lower case", u"115200,o,8,1"_s, S{115200, S::Odd, 8, S::One});
        row("mark 5 1.5", u"110,M,5,1.5"_s, S{110, S::Mark, 5, S::OneAndHalf});
        row("space 6", u"300,S,6,1"_s, S{300, S::Space, 6, S::One});
        for (const qint32 rate : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400,
                                  56000, 57600, 115200, 128000, 230400, 256000, 460800, 921600})
            QTest::addRow("rate %d", rate)
                << u"%1,N,8,1"_s.arg(rate) << Parsed(S{rate, S::None, 8, S::One});
        row("bad parity", u"9600,X,8,1"_s);
        row("incomplete", u"9600,N,8,"_s);
        row("partial rate", u"96"_s);
        row("odd rate", u"9601,N,8,1"_s);
        row("four data bits", u"9600,N,4,1"_s);
        row("nine data bits", u"9600,N,9,1"_s);
        row("three stop bits", u"9600,N,8,3"_s);
        row("blanks", u"9600, N,8,1"_s);
        row("five fields", u"9600,N,8,1,1"_s);
        row("empty", QString());
        row("huge rate", u"99999999999999,N,8,1"_s);
        row("two parity letters", u"9600,NN,8,1"_s);
        row("long s folds to S", u"9600,\u017f,8,1"_s);
        row("dotless i folds to I", u"9600,\u0131,8,1"_s);
    }

    void serialSettings()
    {
        QFETCH(QString, text);
        QFETCH(Parsed, settings);
        QCOMPARE(kalveno::parseSerialSettings(text), settings);
    }

    void configFormat_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("port 1") << u"1"_s << u"10.0.0.5"_s << Header + "\r\n 1 \r\n10.0.0.5\r\n";
        QTest::newRow("COM2 saves 0")
            << u"COM2"_s << u"bridge"_s << Header + "\r\n 0 \r\nbridge\r\n";
        QTest::newRow("both empty") << QString() << QString() << Header + "\r\n 0 \r\n\r\n";
        QTest::newRow("negative") << u"-3"_s << u"a"_s << Header + "\r\n-3 \r\na\r\n";
        QTest::newRow("trailing letter, 8-bit address")
            << u"12x"_s << u"pont-\u00e9"_s << Header + "\r\n 12 \r\npont-\xe9\r\n";
        QTest::newRow("fraction, blanks kept")
            << u"2.50"_s << u" 10.0.0.5 "_s << Header + "\r\n 2.5 \r\n 10.0.0.5 \r\n";
        QTest::newRow("below one") << u"0.5"_s << u"a"_s << Header + "\r\n .5 \r\na\r\n";
        QTest::newRow("leading zeros") << u"007"_s << u"a"_s << Header + "\r\n 7 \r\na\r\n";
    }

    void configFormat()
    {
        QFETCH(QString, port);
        QFETCH(QString, address);
        QFETCH(QByteArray, bytes);
        QCOMPARE(configfile::format(port, address), bytes);
    }

    void configParse_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("address");
        QTest::newRow("whole") << Header + "\r\n 1 \r\n10.0.0.5\r\n" << u"1"_s << u"10.0.0.5"_s;
        QTest::newRow("no file") << QByteArray() << QString() << QString();
        QTest::newRow("header only") << Header + "\r\n" << QString() << QString();
        QTest::newRow("header without line end") << Header << QString() << QString();
        QTest::newRow("no address line") << Header + "\r\n 2 \r\n" << u"2"_s << QString();
        QTest::newRow("empty address line") << Header + "\r\n 2 \r\n\r\n" << u"2"_s << QString();
        QTest::newRow("other header") << QByteArray("x\r\n 4 \r\nhost\r\n") << u"4"_s << u"host"_s;
        QTest::newRow("LF endings") << Header + "\n 3 \nhost\n" << u"3"_s << u"host"_s;
        QTest::newRow("CR endings") << Header + "\r 3 \rhost\r" << u"3"_s << u"host"_s;
        QTest::newRow("no final line end") << Header + "\r\n 3 \r\nhost" << u"3"_s << u"host"_s;
        QTest::newRow("fourth line ignored") << Header + "\r\n 1 \r\nA\r\nB\r\n"
                                             << u"1"_s << u"A"_s;
        QTest::newRow("old lines appended after")
            << Header + "\r\n 1 \r\nnew\r\n" + Header + "\r\n 2 \r\nold\r\n"
            << u"1"_s << u"new"_s;
        QTest::newRow("only blanks trimmed") << Header + "\r\n \t5 \r\nh\r\n" << u"\t5"_s << u"h"_s;
        QTest::newRow("address blanks kept") << Header + "\r\n1\r\n  h  \r\n"
                                             << u"1"_s << u"  h  "_s;
        QTest::newRow("bytes above 127") << Header + "\r\n\xb9\r\n\xe9\xff\r\n"
                                         << u"\u00b9"_s << u"\u00e9\u00ff"_s;
        QTest::newRow("NUL kept") << Header + "\r\n1\r\na" + QByteArray(1, '\0') + "b\r\n"
                                  << u"1"_s << QString(u"a\0b"_s);
    }

    void configParse()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, port);
        QFETCH(QString, address);
        const configfile::Fields fields = configfile::parse(content);
        QCOMPARE(fields.port, port);
        QCOMPARE(fields.address, address);
    }
};

QTEST_APPLESS_MAIN(TestText)
#include "tst_text.moc"
