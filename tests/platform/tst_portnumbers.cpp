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
    void precedence_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("link"); // where com3 points, if anywhere
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("problems");
        const QString linked = u"/dev/null"_s, zero = u"/dev/zero"_s;
        const auto row = [&linked](const char *name, const QByteArray &ini, bool link,
                                   const QString &device, PortSource source, int problems = 0) {
            QTest::newRow(name) << ini << (link ? linked : QString()) << device << int(source)
                                << problems;
        };
        const PortSource ini = PortSource::Mapping, link = PortSource::Link,
                         none = PortSource::Default;
        row("default", {}, false, u"/dev/ttyS2"_s, none);
        row("link", "[ports]\n4=/dev/zero\n", true, linked, link);
        row("ini over link", "[ports]\n3=/dev/zero\n", true, zero, ini);
        row("vanished device stays", "[ports]\n3=/dev/serial/by-id/usb-gone\n", true,
            u"/dev/serial/by-id/usb-gone"_s, ini);
        row("spaces and comment", "[ports]\n 3 = /dev/zero\t; left one\n", false, zero, ini);
        row("later line wins", "[ports]\n3=/dev/full\n3=/dev/zero\n", false, zero, ini);
        row("another section's 3", "[udp]\n3=/dev/zero\n[ports]\n", true, linked, link);
        row("malformed: relative device", "[ports]\n3=ttyUSB0\n", true, linked, link, 1);
        row("malformed: no device", "[ports]\n3= ; none yet\n", false, u"/dev/ttyS2"_s, none, 1);
        row("malformed: not numbers",
            "[ports]\nthree=/dev/zero\n3x=/dev/zero\n0=/dev/zero\n40000=/dev/zero\n", true, linked,
            link, 4);
        row("malformed beside a good one", "[ports]\nnoise\n3=/dev/zero\n", false, zero, ini, 1);
    }

    void precedence()
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

    void rewrite_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("mode");         // the file's, or -1 for a named pipe
        QTest::addColumn<QString>("device");   // given number 3; empty: the mapping is removed
        QTest::addColumn<QByteArray>("after"); // null: refused, the file left as it was
        const auto row = [](const char *name, const QByteArray &before, const QString &device,
                            const QByteArray &after, int mode = 0644) {
            QTest::newRow(name) << before << mode << device << after;
        };
        const QString a = u"/dev/a"_s;
        row("empty file", {}, a, "[ports]\n3=/dev/a\n");
        row("new section, no final line end",
            "; mine\n[udp]\nremote_port=1024 ; note\n\n# kept\n[tcp]\nx = 5", a,
            "; mine\n[udp]\nremote_port=1024 ; note\n\n# kept\n[tcp]\nx = "
            "5\n\n[ports]\n3=/dev/a\n");
        row("replaced in place, comment kept", "[ports]\n3 = /dev/old   ; left\n4=/dev/x\n", a,
            "[ports]\n3 = /dev/a   ; left\n4=/dev/x\n");
        row("added after the last entry", "[ports]\n; mine\n1=/dev/x\n\n; trailing\n[udp]\nx=1\n",
            a, "[ports]\n; mine\n1=/dev/x\n3=/dev/a\n\n; trailing\n[udp]\nx=1\n");
        row("added to the last line", "[ports]\n1=/dev/x", a, "[ports]\n1=/dev/x\n3=/dev/a");
        row("duplicates become one", "[ports]\n3=/dev/p\n3=/dev/q ; q\n", a,
            "[ports]\n3=/dev/a\n; q\n");
        row("malformed lines stay, 3's is mended", "[ports]\nnoise\n3=ttyUSB0\n", a,
            "[ports]\nnoise\n3=/dev/a\n");
        row("CR LF kept", "[udp]\r\nremote_port=1024\r\n", a,
            "[udp]\r\nremote_port=1024\r\n\r\n[ports]\r\n3=/dev/a\r\n");
        row("removed, its comment kept", "[ports]\n3=/dev/old ; left adapter\n4=/dev/x\n", {},
            "[ports]\n; left adapter\n4=/dev/x\n");
        row("removing what is not there", "[udp]\n3=/dev/x\n", {}, "[udp]\n3=/dev/x\n");
        row("refused: read-only file", "[ports]\n1=/dev/x\n", a, {}, 0444);
        row("refused: named pipe", {}, a, {}, -1);
        row("refused: relative device", "[ports]\n1=/dev/x\n", u"ttyUSB0"_s, {});
        row("refused: device with ';'", "[ports]\n1=/dev/x\n", u"/dev/a;b"_s, {});
    }

    // Each row through the file as the dialog stores it, read back as the console opens ports.
    void rewrite()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, mode);
        QFETCH(QString, device);
        QFETCH(QByteArray, after);
        TemporaryConfig config;
        const QByteArray path = QFile::encodeName(locations::settingsFile());
        if (mode < 0)
            QCOMPARE(::mkfifo(path, 0644), 0);
        else if (!before.isEmpty())
            QVERIFY(config.writeSettings(before) && ::chmod(path, mode) == 0);
        QString error;
        QCOMPARE(setPortMapping(3, device, &error), !after.isNull());
        QCOMPARE(error.isEmpty(), !after.isNull());
        if (mode >= 0)
            QCOMPARE(test::readFile(locations::settingsFile()), after.isNull() ? before : after);
        if (after.isNull())
            return;
        if (device.isEmpty())
            QVERIFY(portNumber(3).source != PortSource::Mapping);
        else
            QCOMPARE(serialDevice(3), device);
    }

    // A stable name, a link and Qt's own list all lead to one row per device; a mapped device that
    // is gone is listed as absent, and a link whose number a mapping takes shows as overridden.
    void scanMeetsEveryName()
    {
        TemporaryConfig config;
        Pty adapter;
        QTemporaryDir byId;
        const QString stable = byId.filePath(u"usb-Maker_Adapter_A1-if00-port0"_s);
        QVERIFY(QFile::link(adapter.slavePath(), stable));
        QVERIFY(config.linkPort(5, adapter.slavePath()));
        QVERIFY(config.linkPort(7, u"/dev/null"_s));
        QVERIFY(
            config.writeSettings("[ports]\n7=/dev/serial/by-id/usb-gone\n6=" + stable.toUtf8()));

        const SerialPortScan scan = scanSerialPorts(byId.path());
        const auto find = [&](const QString &device) {
            const auto at =
                std::find_if(scan.ports.begin(), scan.ports.end(),
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
};

QTEST_GUILESS_MAIN(TestPortNumbers)
#include "tst_portnumbers.moc"
