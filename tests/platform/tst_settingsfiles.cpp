#include "app/settings.h"
#include "platform/locations.h"
#include "platform/portmapping.h"
#include "platform/readsettingsfile.h"
#include "platform/replacefile.h"
#include "platform/serialports.h"
#include "support/pty.h"
#include "support/sandbox.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace kalveno;
using kalveno::test::Pty;
using kalveno::test::readFile;
using kalveno::test::TemporaryConfig;

namespace {

// Root reads and writes a file whatever its mode. With these two capabilities out of effect it
// meets permissions as any user does; they stay permitted and are back at the end of the scope.
class AsAnOrdinaryUser
{
public:
    AsAnOrdinaryUser()
    {
        ::syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~AsAnOrdinaryUser() { ::syscall(SYS_capset, &m_header, m_saved); }
    bool dropped = false;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
};

bool writeFile(const QString &path, const QByteArray &content, int mode)
{
    return kalveno::test::TemporaryConfig::write(path, content) &&
           ::chmod(QFile::encodeName(path), mode) == 0;
}

// Puts at path one of the things that the console may meet where its file should be.
bool make(const QString &kind, const QString &path, const QByteArray &content)
{
    const QByteArray name = QFile::encodeName(path);
    if (kind == u"none")
        return true;
    if (kind == u"fifo")
        return ::mkfifo(name, 0644) == 0;
    // A zero device of the test's own: should the file be written through the link, it is this
    // node that is lost, never the system's /dev/zero.
    if (kind == u"device")
        return ::mknod(name + ".zero", S_IFCHR | 0666, makedev(1, 5)) == 0 &&
               ::symlink(name + ".zero", name) == 0;
    if (kind == u"loop")
        return ::symlink(name + ".b", name) == 0 && ::symlink(name, name + ".b") == 0;
    if (kind == u"dangling")
        return ::symlink("nowhere", name) == 0;
    const bool link = kind.contains(u"link");
    const int mode = kind == u"mode 000" ? 0 : kind == u"read-only" ? 0444 : 0644;
    if (!writeFile(link ? path + u".target"_s : path, content, mode))
        return false;
    if (kind == u"link")
        return QFile::link(path + u".target"_s, path);
    if (kind == u"relative link")
        return ::symlink("KALVENO.CFG.target", name) == 0;
    if (kind == u"link to a link")
        return ::symlink("KALVENO.CFG.2", name) == 0 &&
               ::symlink("KALVENO.CFG.target", name + ".2") == 0;
    return true;
}

// What a folder holds, each entry with its kind, mode and link target or content: equal
// snapshots mean that nothing in it was touched. Only regular files are read, never a FIFO.
QStringList snapshot(const QString &folder)
{
    QStringList entries;
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::System |
                                                     QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString path = folder + u'/' + name;
        struct stat s = {};
        ::lstat(QFile::encodeName(path), &s);
        QString what = u"%1 %2 "_s.arg(name).arg(s.st_mode, 0, 8);
        if (S_ISLNK(s.st_mode))
            what += QFile::symLinkTarget(path);
        else if (S_ISREG(s.st_mode))
            what += QString::fromLatin1(readFile(path));
        entries << what;
    }
    return entries;
}

} // namespace

// The files in the console's folder: settings files, read without ever waiting and replaced
// whole, and the serial port numbers that kalveno.ini's [ports] entries and the com<n> links give.
class TestSettingsFiles : public QObject
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
            "[ports]\nthree=/dev/zero\n3x=/dev/zero\n0=/dev/zero\n40000=/dev/zero\n1=/dev/zero\n"
            "32767=/dev/zero\n",
            true, linked, link, 4);
        row("malformed: only blanks", "[ports]\n3=  \t\n", false, u"/dev/ttyS2"_s, none, 1);
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

    void awkwardFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("replaced");
        constexpr qsizetype limit = ConsoleSettings::ReadLimit;
        constexpr int missing = SettingsFileRead::Missing;
        constexpr int read = SettingsFileRead::Read;
        constexpr int unreadable = SettingsFileRead::Unreadable;
        QTest::newRow("missing") << u"none"_s << limit << missing << true;
        QTest::newRow("as long as the limit") << u"file"_s << limit << read << true;
        QTest::newRow("a byte too long") << u"file"_s << limit + 1 << unreadable << true;
        QTest::newRow("link") << u"link"_s << limit << read << true;
        QTest::newRow("relative link") << u"relative link"_s << limit << read << true;
        QTest::newRow("link to a link") << u"link to a link"_s << limit << read << true;
        QTest::newRow("dangling link") << u"dangling"_s << limit << unreadable << true;
        QTest::newRow("read-only") << u"read-only"_s << limit << read << false;
        QTest::newRow("permission denied") << u"mode 000"_s << limit << unreadable << false;
        QTest::newRow("fifo") << u"fifo"_s << limit << unreadable << false;
        QTest::newRow("link to a zero device") << u"device"_s << limit << unreadable << false;
        QTest::newRow("loop of links") << u"loop"_s << limit << unreadable << false;
    }

    // Each thing is read as by an ordinary user at start-up, then replaced as by root at close.
    void awkwardFiles()
    {
        QFETCH(QString, kind);
        QFETCH(qsizetype, size);
        QFETCH(int, status);
        QFETCH(bool, replaced);
        const QString path = freshPath();
        const QString folder = QFileInfo(path).path();
        QVERIFY(make(kind, path, QByteArray(size, 'x')));
        const QStringList before = snapshot(folder);
        {
            AsAnOrdinaryUser user;
            QVERIFY(user.dropped);
            const SettingsFileRead read =
                kalveno::readSettingsFile(path, ConsoleSettings::ReadLimit);
            QCOMPARE(int(read.status), status);
            QCOMPARE(read.content.size(), status == SettingsFileRead::Read ? size : 0);
            QCOMPARE(read.why.isEmpty(), status != SettingsFileRead::Unreadable);
            QCOMPARE(ConsoleSettings::load(path).readProblem, read.why);
        }

        const bool wasLink = QFileInfo(path).isSymLink();
        QString error;
        QCOMPARE(kalveno::replaceFile(path, "new", &error), replaced);
        QCOMPARE(error.isEmpty(), replaced);
        if (replaced) {
            QCOMPARE(readFile(path), "new");
            QCOMPARE(QFileInfo(path).isSymLink(), wasLink);
        } else {
            QCOMPARE(snapshot(folder), before);
        }
    }

    // Each key in its range is taken; out of range or not a number, the default stays and the
    // problem is reported.
    void settingsKeys_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QList<qint64>>("values"); // UDP ports, time-out, then the four in MiB
        QTest::addColumn<int>("problems");
        const QList<qint64> defaults{1024, 0, 5000, 16, 16, 64, 1024};
        QTest::newRow("none") << QByteArray() << defaults << 0;
        QTest::newRow("every key at its top")
            << QByteArray("[udp]\nremote_port=65535\nlocal_port=65535\n[tcp]\n"
                          "connect_timeout_ms=86400000\n[traffic]\nmemory_mib=1048576\n"
                          "[serial]\nterminal_mib=1\n[log]\nfile_mib=2\ntotal_mib=3\n")
            << QList<qint64>{65535, 65535, 86400000, 1048576, 1, 2, 3} << 0;
        QTest::newRow("every key one past it")
            << QByteArray("[udp]\nremote_port=65536\nlocal_port=-1\n[tcp]\n"
                          "connect_timeout_ms=86400001\n[traffic]\nmemory_mib=0\n"
                          "[serial]\nterminal_mib=1048577\n[log]\nfile_mib=0\ntotal_mib=0\n")
            << defaults << 7;
        QTest::newRow("junk") << QByteArray(
                                     "[traffic]\nmemory_mib=lots\n[tcp]\nconnect_timeout_ms=\n")
                              << defaults << 2;
    }

    void settingsKeys()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QList<qint64>, values);
        QFETCH(int, problems);
        const QString path = freshPath();
        QVERIFY(ini.isEmpty() || writeFile(path, ini, 0644));
        const ConsoleSettings s = ConsoleSettings::load(path);
        constexpr qint64 MiB = ConsoleSettings::MiB;
        QCOMPARE((QList<qint64>{s.udpRemotePort, s.udpLocalPort, s.tcpConnectTimeoutMs,
                                s.recordLimit / MiB, s.serialTerminalLimit / MiB,
                                s.logFileLimit / MiB, s.logTotalLimit / MiB}),
                 values);
        QCOMPARE(s.problems.size(), problems);
    }

    void keepsPermissions_data()
    {
        QTest::addColumn<int>("oldMode"); // -1: no file yet
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("newMode");
        QTest::newRow("0644 kept") << 0644 << 077 << 0644;
        QTest::newRow("0640 kept") << 0640 << 022 << 0640;
        QTest::newRow("new file, umask 022") << -1 << 022 << 0644;
        QTest::newRow("new file, umask 027") << -1 << 027 << 0640;
    }

    void keepsPermissions()
    {
        QFETCH(int, oldMode);
        QFETCH(int, umask);
        QFETCH(int, newMode);
        const QString path = freshPath();
        if (oldMode >= 0)
            QVERIFY(writeFile(path, "old", oldMode));
        const mode_t previous = ::umask(umask);
        const auto restore = qScopeGuard([previous] { ::umask(previous); });

        QString error;
        QVERIFY2(kalveno::replaceFile(path, "new", &error), qPrintable(error));
        QCOMPARE(readFile(path), "new");
        struct stat s = {};
        QCOMPARE(::stat(QFile::encodeName(path), &s), 0);
        QCOMPARE(int(s.st_mode & 07777), newMode);
    }

private:
    QTemporaryDir m_dir;
    int m_serial = 0;
    QString freshPath()
    {
        const QString folder = m_dir.filePath(QString::number(++m_serial));
        return QDir().mkpath(folder) ? folder + u"/KALVENO.CFG"_s : QString();
    }
};

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "tst_settingsfiles.moc"
