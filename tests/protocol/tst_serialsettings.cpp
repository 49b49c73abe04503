#include "protocol/serialsettings.h"

#include <QTest>

using namespace Qt::StringLiterals;
using kalveno::SerialSettings;
using Parsed = std::optional<SerialSettings>;

Q_DECLARE_METATYPE(Parsed)

class TestSerialSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
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

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(Parsed, settings);
        QCOMPARE(kalveno::parseSerialSettings(text), settings);
    }
};

QTEST_APPLESS_MAIN(TestSerialSettings)
#include "tst_serialsettings.moc"
