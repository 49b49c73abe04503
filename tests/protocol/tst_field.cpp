#include "protocol/field.h"

#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using kalveno::getField;

class TestField : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void field_data()
    {
        // A null replacement stands for "no replacement given".
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<qint64>("index");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("result");
        const QString none;
        const QString c = u","_s;
        QTest::newRow("first") << u"IR?,1,3,10"_s << c << qint64(1) << none << u"IR?"_s;
        QTest::newRow("fourth") << u"IR?,1,3,10"_s << c << qint64(4) << none << u"10"_s;
        QTest::newRow("index 0 is first") << u"IR?,1,3,10"_s << c << qint64(0) << none << u"IR?"_s;
        QTest::newRow("negative is first") << u"a,b"_s << c << qint64(-5) << none << u"a"_s;
        QTest::newRow("empty between") << u"a,,c"_s << c << qint64(2) << none << QString();
        QTest::newRow("empty last") << u"a,b,"_s << c << qint64(3) << none << QString();
        QTest::newRow("beyond last") << u"a,b"_s << c << qint64(5) << none << QString();
        QTest::newRow("empty text") << QString() << c << qint64(1) << none << QString();
        QTest::newRow("replace middle") << u"a,b,c"_s << c << qint64(2) << u"X"_s << u"a,X,c"_s;
        QTest::newRow("replace first") << u"a,b,c"_s << c << qint64(1) << u"X"_s << u"X,b,c"_s;
        QTest::newRow("replace with empty") << u"a,b,c"_s << c << qint64(3) << u""_s << u"a,b,"_s;
        QTest::newRow("create one") << u"a,b"_s << c << qint64(3) << u"X"_s << u"a,b,X"_s;
        QTest::newRow("create two") << u"a,b"_s << c << qint64(4) << u"X"_s << u"a,b,,X"_s;
        QTest::newRow("create in empty") << QString() << c << qint64(3) << u"X"_s << u",,X"_s;
        QTest::newRow("sentinel reads")
            << u"a,b,c"_s << c << qint64(2) << u"---VIDE---**"_s << u"b"_s;
        QTest::newRow("two-char delimiter")
            << u"a<>b<>c"_s << u"<>"_s << qint64(3) << none << u"c"_s;
        QTest::newRow("half delimiter is text")
            << u"a<b<>c"_s << u"<>"_s << qint64(2) << none << u"c"_s;
        QTest::newRow("case-sensitive") << u"aXbxc"_s << u"x"_s << qint64(2) << none << u"c"_s;
        QTest::newRow("empty delimiter reads all")
            << u"a,b"_s << QString() << qint64(2) << none << u"a,b"_s;
        QTest::newRow("empty delimiter replaces nothing")
            << u"a,b"_s << QString() << qint64(2) << u"X"_s << u"a,b"_s;
    }

    void field()
    {
        QFETCH(QString, text);
        QFETCH(QString, delimiter);
        QFETCH(qint64, index);
        QFETCH(QString, replacement);
        QFETCH(QString, result);
        const std::optional<QStringView> r =
            replacement.isNull() ? std::nullopt : std::optional<QStringView>(replacement);
        QCOMPARE(getField(text, delimiter, index, r), result);
    }

    void farIndexDoesNotLoop()
    {
        // The loop over fields stops at the last delimiter, whatever the index asks for.
        QCOMPARE(getField(u"a,b", u",", std::numeric_limits<qint64>::max()), QString());
        QCOMPARE(getField(u"a,b", u",", 1000, u"X"), u"a,b"_s + QString(998, u',') + u"X"_s);
    }
};

QTEST_APPLESS_MAIN(TestField)
#include "tst_field.moc"
