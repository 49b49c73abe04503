#include "protocol/configfile.h"

#include <QTest>

using namespace Qt::StringLiterals;
namespace configfile = kalveno::configfile;

namespace {

const QByteArray Header = "FICHIER DE CONFIGURATION POUR MERIXO INC (BRIDGE TCPIP / RS-232)";

} // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void format_data()
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

    void format()
    {
        QFETCH(QString, port);
        QFETCH(QString, address);
        QFETCH(QByteArray, bytes);
        QCOMPARE(configfile::format(port, address), bytes);
    }

    void parse_data()
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

    void parse()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, port);
        QFETCH(QString, address);
        const configfile::Fields fields = configfile::parse(content);
        QCOMPARE(fields.port, port);
        QCOMPARE(fields.address, address);
    }
};

QTEST_APPLESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
