#include "platform/locations.h"
#include "platform/portmapping.h"
#include "platform/serialports.h"
#include "support/pty.h"
#include "support/sandbox.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace kalveno;
using kalveno::test::Pty;
using kalveno::test::TemporaryConfig;

class TestPortNumbers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void precedence_data();
    void precedence();
    void rewrite_data();
    void rewrite();
    void refusedStores_data();
    void refusedStores();
    void scanMeetsEveryName();
};

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestPortNumbers::precedence_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("link"); // where com3 points, if anywhere
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("problems");
    const int ini = int(PortSource::Mapping), link = int(PortSource::Link),
              none = int(PortSource::Default);
    const QString linked = u"/dev/null"_s, fallback = u"/dev/ttyS2"_s;
    QTest::newRow("default") << QByteArray() << QString() << fallback << none << 0;
    QTest::newRow("link") << QByteArray("[ports]\n4=/dev/zero\n") << linked << linked << link << 0;
    QTest::newRow("ini over link")
        << QByteArray("[ports]\n3=/dev/zero\n") << linked << u"/dev/zero"_s << ini << 0;
    QTest::newRow("vanished device stays") << QByteArray("[ports]\n3=/dev/serial/by-id/usb-gone\n")
                                           << linked << u"/dev/serial/by-id/usb-gone"_s << ini << 0;
    QTest::newRow("spaces and comment") << QByteArray("[ports]\n 3 = /dev/zero\t; left one\n")
                                        << QString() << u"/dev/zero"_s << ini << 0;
    QTest::newRow("later line wins") << QByteArray("[ports]\n3=/dev/full\n3=/dev/zero\n")
                                     << QString() << u"/dev/zero"_s << ini << 0;
    QTest::newRow("another section's 3")
        << QByteArray("[udp]\n3=/dev/zero\n[ports]\n") << linked << linked << link << 0;
    QTest::newRow("malformed: relative device")
        << QByteArray("[ports]\n3=ttyUSB0\n") << linked << linked << link << 1;
    QTest::newRow("malformed: no device")
        << QByteArray("[ports]\n3= ; none yet\n") << QString() << fallback << none << 1;
    QTest::newRow("malformed: not numbers")
        << QByteArray("[ports]\nthree=/dev/zero\n3x=/dev/zero\n0=/dev/zero\n40000=/dev/zero\n")
        << linked << linked << link << 4;
    QTest::newRow("malformed beside a good one")
        << QByteArray("[ports]\nnoise\n3=/dev/zero\n") << QString() << u"/dev/zero"_s << ini << 1;
}

void TestPortNumbers::precedence()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, link);
    QFETCH(QString, device);
    QFETCH(int, source);
    QFETCH(int, problems);
    TemporaryConfig config;
    QVERIFY(ini.isEmpty() || config.writeSettings(ini));
    QVERIFY(link.isEmpty() || config.linkPort(3, link));
    const PortNumber three = portNumber(3);
    QCOMPARE(three.device, device);
    QCOMPARE(int(three.source), source);
    QCOMPARE(serialDevice(3), device);
    QCOMPARE(parsePortMappings(ini).problems.size(), problems);
}

void TestPortNumbers::rewrite_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device"); // empty: the mapping is removed
    QTest::addColumn<QByteArray>("after");
    const QString a = u"/dev/a"_s;
    QTest::newRow("empty file") << QByteArray() << 3 << a << QByteArray("[ports]\n3=/dev/a\n");
    QTest::newRow("new section, no final line end")
        << QByteArray("; mine\n[udp]\nremote_port=1024 ; note\n\n# kept\n[tcp]\nx = 5") << 3 << a
        << QByteArray("; mine\n[udp]\nremote_port=1024 ; note\n\n# kept\n[tcp]\nx = 5\n\n"
                      "[ports]\n3=/dev/a\n");
    QTest::newRow("replaced in place, comment kept")
        << QByteArray("[ports]\n3 = /dev/old   ; left\n4=/dev/x\n") << 3 << a
        << QByteArray("[ports]\n3 = /dev/a   ; left\n4=/dev/x\n");
    QTest::newRow("added after the last entry")
        << QByteArray("[ports]\n; mine\n1=/dev/x\n\n; trailing\n[udp]\nx=1\n") << 3 << a
        << QByteArray("[ports]\n; mine\n1=/dev/x\n3=/dev/a\n\n; trailing\n[udp]\nx=1\n");
    QTest::newRow("added to the last line")
        << QByteArray("[ports]\n1=/dev/x") << 3 << a << QByteArray("[ports]\n1=/dev/x\n3=/dev/a");
    QTest::newRow("duplicates become one") << QByteArray("[ports]\n3=/dev/p\n3=/dev/q ; q\n") << 3
                                           << a << QByteArray("[ports]\n3=/dev/a\n; q\n");
    QTest::newRow("malformed lines stay, 3's is mended")
        << QByteArray("[ports]\nnoise\n3=ttyUSB0\n") << 3 << a
        << QByteArray("[ports]\nnoise\n3=/dev/a\n");
    QTest::newRow("CR LF kept") << QByteArray("[udp]\r\nremote_port=1024\r\n") << 3 << a
                                << QByteArray("[udp]\r\nremote_port=1024\r\n\r\n[ports]\r\n"
                                              "3=/dev/a\r\n");
    QTest::newRow("removed, its comment kept")
        << QByteArray("[ports]\n3=/dev/old ; left adapter\n4=/dev/x\n") << 3 << QString()
        << QByteArray("[ports]\n; left adapter\n4=/dev/x\n");
    QTest::newRow("removing what is not there")
        << QByteArray("[udp]\n3=/dev/x\n") << 3 << QString() << QByteArray("[udp]\n3=/dev/x\n");
}

// Each row through the file as the dialog stores it, read back as the console opens ports.
void TestPortNumbers::rewrite()
{
    QFETCH(QByteArray, before);
    QFETCH(int, number);
    QFETCH(QString, device);
    QFETCH(QByteArray, after);
    TemporaryConfig config;
    QVERIFY(before.isEmpty() || config.writeSettings(before));
    QString error;
    QVERIFY2(setPortMapping(number, device, &error), qPrintable(error));
    QCOMPARE(readFile(locations::settingsFile()), after);
    if (device.isEmpty())
        QVERIFY(portNumber(number).source != PortSource::Mapping);
    else
        QCOMPARE(serialDevice(number), device);
}

void TestPortNumbers::refusedStores_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("device");
    QTest::newRow("read-only file") << u"read-only"_s << u"/dev/a"_s;
    QTest::newRow("named pipe") << u"fifo"_s << u"/dev/a"_s;
    QTest::newRow("relative device") << u"file"_s << u"ttyUSB0"_s;
    QTest::newRow("device with ';'") << u"file"_s << u"/dev/a;b"_s;
}

void TestPortNumbers::refusedStores()
{
    QFETCH(QString, kind);
    QFETCH(QString, device);
    TemporaryConfig config;
    const QString path = locations::settingsFile();
    const QByteArray name = QFile::encodeName(path);
    if (kind == u"fifo")
        QCOMPARE(::mkfifo(name, 0644), 0);
    else
        QVERIFY(config.writeSettings("[ports]\n1=/dev/x\n"));
    if (kind == u"read-only")
        QCOMPARE(::chmod(name, 0444), 0);
    QString error;
    QVERIFY(!setPortMapping(2, device, &error));
    QVERIFY(!error.isEmpty());
    if (kind != u"fifo")
        QCOMPARE(readFile(path), "[ports]\n1=/dev/x\n");
}

// A stable name, a link and Qt's own list all lead to one row per device; a mapped device that
// is gone is listed as absent, and a link whose number a mapping takes shows as overridden.
void TestPortNumbers::scanMeetsEveryName()
{
    TemporaryConfig config;
    Pty adapter;
    QTemporaryDir byId;
    const QString stable = byId.filePath(u"usb-Maker_Adapter_A1-if00-port0"_s);
    QVERIFY(QFile::link(adapter.slavePath(), stable));
    QVERIFY(config.linkPort(5, adapter.slavePath()));
    QVERIFY(config.linkPort(7, u"/dev/null"_s));
    QVERIFY(config.writeSettings("[ports]\n7=/dev/serial/by-id/usb-gone\n6=" + stable.toUtf8()));

    const SerialPortScan scan = scanSerialPorts(byId.path());
    const auto find = [&](const QString &device) {
        const auto at = std::find_if(scan.ports.begin(), scan.ports.end(),
                                     [&](const SerialPortEntry &p) { return p.device == device; });
        return at == scan.ports.end() ? SerialPortEntry{} : *at;
    };
    const SerialPortEntry pty = find(adapter.slavePath());
    QVERIFY(pty.present);
    QCOMPARE(pty.stableName, stable);
    QCOMPARE(pty.mappingName(), stable);
    QCOMPARE(pty.numbers, (QList<PortNumber>{{5, adapter.slavePath(), PortSource::Link},
                                             {6, stable, PortSource::Mapping}}));
    const SerialPortEntry gone = find(u"/dev/serial/by-id/usb-gone"_s);
    QVERIFY(!gone.present);
    QCOMPARE(gone.numbers.size(), 1);
    QCOMPARE(gone.numbers[0].number, 7);
    QCOMPARE(find(u"/dev/null"_s).overridden,
             (QList<PortNumber>{{7, u"/dev/null"_s, PortSource::Link}}));
}

QTEST_GUILESS_MAIN(TestPortNumbers)
#include "tst_portnumbers.moc"
