#include "support/sandbox.h"

#include "protocol/bridgeio.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
namespace bridgeio = kalveno::bridgeio;

namespace {

const QString Program = QStringLiteral(KALVENO_BRIDGE_SIM);

// The simulator as a separate program, driven through its command line, standard input and
// standard output, as the end-to-end suite drives it.
class Simulator
{
public:
    explicit Simulator(const QStringList &arguments)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                         [this] { m_out += process.readAllStandardOutput(); });
        process.start(Program, arguments);
    }
    ~Simulator()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    // The next line of standard output, waiting for it; empty after the time-out.
    QString nextLine(int timeoutMs = 5000)
    {
        if (!QTest::qWaitFor([this] { return m_out.contains('\n'); }, timeoutMs))
            return {};
        const qsizetype end = m_out.indexOf('\n');
        const QString line = QString::fromLocal8Bit(m_out.first(end));
        m_out.remove(0, end + 1);
        return line;
    }
    // Reads the start-up lines up to "ready", keyed by their first word.
    bool waitReady()
    {
        for (QString line = nextLine(); !line.isEmpty(); line = nextLine()) {
            if (line == u"ready")
                return true;
            endpoints.insert(line.section(u' ', 0, 0), line.section(u' ', 1));
        }
        return false;
    }
    quint16 port(const QString &link) const
    {
        return quint16(endpoints.value(link).section(u':', -1).toUInt());
    }
    QString ask(const QString &command)
    {
        process.write((command + u'\n').toLocal8Bit());
        return nextLine();
    }

    QProcess process;
    QHash<QString, QString> endpoints;

private:
    QByteArray m_out;
};

// The process may have ended already while the event loop ran for something else.
bool finished(QProcess &process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(5000);
}

const QStringList AnyPorts{u"--tcp-port"_s, u"0"_s,          u"--tcp2-port"_s,
                           u"0"_s,          u"--udp-port"_s, u"0"_s};

struct Client
{
    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket,
                         [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(3000);
    }
    QTcpSocket socket;
    QByteArray received;
};

} // namespace

class TestSimulatorProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(kalveno::test::insidePrivateNetwork()); }
    void help();
    void refusedArguments_data();
    void refusedArguments();
    void session();
    void endsCleanlyOnSignal_data();
    void endsCleanlyOnSignal();
    void keepsRunningWhenInputEnds();
    void firmwareChoice_data();
    void firmwareChoice();
};

void TestSimulatorProcess::help()
{
    QProcess process;
    process.start(Program, {u"--help"_s});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(process.readAllStandardOutput());
    for (const QString &word :
         {u"--link"_s, u"--log"_s, u"--firmware"_s, u"--input1"_s, u"--tcp-port"_s, u"--udp-port"_s,
          u"--remote-ips"_s, u"polling on|off"_s, u"unplug"_s, u"CARD,"_s})
        QVERIFY2(text.contains(word), qPrintable(word));
}

void TestSimulatorProcess::refusedArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("mode out of range") << QStringList{u"--mode"_s, u"6"_s} << u"--mode"_s;
    QTest::newRow("unknown firmware") << QStringList{u"--firmware"_s, u"all"_s} << u"--firmware"_s;
    QTest::newRow("bad remote address")
        << QStringList{u"--remote-ips"_s, u"10.0.0.1,x"_s} << u"--remote-ips"_s;
    QTest::newRow("unknown option") << QStringList{u"--colour"_s} << u"colour"_s;
    QTest::newRow("stray argument") << QStringList{u"com1"_s} << u"com1"_s;
}

void TestSimulatorProcess::refusedArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess process;
    process.start(Program, arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(QString::fromLocal8Bit(process.readAllStandardError()).contains(message));
}

void TestSimulatorProcess::session()
{
    QTemporaryDir dir;
    const QString link = dir.path() + u"/kalveno/com1"_s;
    const QString logPath = dir.path() + u"/sim.log"_s;
    Simulator sim(AnyPorts + QStringList{u"--link"_s, link, u"--log"_s, logPath, u"--input2"_s,
                                         u"on"_s, u"--mode"_s, u"3"_s, u"--remote-ips"_s,
                                         u"10.0.0.2"_s});
    QVERIFY(sim.waitReady());
    QCOMPARE(sim.endpoints.value(u"link"_s), link);
    QCOMPARE(QFile::symLinkTarget(link), sim.endpoints.value(u"serial"_s));
    QVERIFY(sim.port(u"tcp1"_s) != 0);

    Client tcp1(sim.port(u"tcp1"_s));
    QCOMPARE(tcp1.socket.write("><IR?"), 5);
    QTRY_COMPARE(tcp1.received, QByteArray("IR?,0,3,5,3,3,10.0.0.2,,*"));

    QCOMPARE(sim.ask(u"input 1 on"_s), u"ok input 1 on"_s);
    tcp1.received.clear();
    tcp1.socket.write(bridgeio::frame(bridgeio::inputStatusRequest(1)));
    QTRY_COMPARE(tcp1.received, QByteArray("\xF2"));
    const QStringList status = sim.ask(u"status"_s).split(u' ');
    QCOMPARE(status.value(0), u"status"_s);
    QVERIFY(status.contains(u"input1=on"_s));
    QVERIFY(status.contains(u"input2=on"_s));
    QVERIFY(status.contains(u"tcp1=127.0.0.1:%1"_s.arg(tcp1.socket.localPort())));

    QCOMPARE(sim.ask(u"drop"_s), u"ok drop"_s);
    QTRY_COMPARE(tcp1.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(sim.ask(u"unplug"_s), u"ok unplug"_s);
    QCOMPARE(sim.ask(u"plug"_s), u"ok plug"_s);
    QCOMPARE(sim.ask(u"polling on"_s), u"ok polling on"_s);
    QVERIFY(sim.ask(u"status"_s).contains(u" polling=1 "_s));
    QCOMPARE(sim.ask(u"polling off"_s), u"ok polling off"_s);
    QCOMPARE(sim.ask(u"bogus"_s), u"error unknown command: bogus"_s);
    QVERIFY(sim.ask(u"help"_s).startsWith(u"commands: "_s));
    sim.process.write(QByteArray(5000, 'x') + "\n");
    QCOMPARE(sim.nextLine(), u"error line too long"_s);

    QCOMPARE(sim.ask(u"quit"_s), u"ok quit"_s);
    QVERIFY(finished(sim.process));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());

    // The log is the file's, line by line; its form is checked in tst_simulator_links.
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.filter(u"tcp1 rx frame DE input 1 status request, answered F2 (on)"_s).size(),
             1);
    QVERIFY(lines.last().endsWith(u"sim state control: quit"_s));
}

void TestSimulatorProcess::endsCleanlyOnSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestSimulatorProcess::endsCleanlyOnSignal()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString link = dir.path() + u"/com1"_s;
    Simulator sim(AnyPorts + QStringList{u"--link"_s, link});
    QVERIFY(sim.waitReady());
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(::kill(pid_t(sim.process.processId()), signal) == 0);
    QVERIFY(finished(sim.process));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(sim.process.readAllStandardError().contains(
        u"sim state ending on signal %1"_s.arg(signal).toLatin1()));
}

void TestSimulatorProcess::keepsRunningWhenInputEnds()
{
    Simulator sim(AnyPorts);
    QVERIFY(sim.waitReady());
    sim.process.closeWriteChannel();
    QByteArray errors;
    QTRY_VERIFY((errors += sim.process.readAllStandardError()).contains("standard input ended"));
    Client tcp1(sim.port(u"tcp1"_s));
    tcp1.socket.write(bridgeio::frame(bridgeio::inputStatusRequest(2)));
    QTRY_COMPARE(tcp1.received, QByteArray("\xF5"));
    QCOMPARE(sim.process.state(), QProcess::Running);
    sim.process.terminate();
    QVERIFY(finished(sim.process));
    QCOMPARE(sim.process.exitCode(), 0);
}

void TestSimulatorProcess::firmwareChoice_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("io");
    QTest::addColumn<bool>("turnstile");
    QTest::newRow("io") << u"io"_s << true << false;
    QTest::newRow("turnstile") << u"turnstile"_s << false << true;
    QTest::newRow("both") << u"both"_s << true << true;
}

void TestSimulatorProcess::firmwareChoice()
{
    QFETCH(QString, firmware);
    QFETCH(bool, io);
    QFETCH(bool, turnstile);
    Simulator sim(AnyPorts + QStringList{u"--firmware"_s, firmware});
    QVERIFY(sim.waitReady());
    QSerialPort serial(sim.endpoints.value(u"serial"_s));
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QByteArray line;
    QObject::connect(&serial, &QSerialPort::readyRead, &serial, [&] { line += serial.readAll(); });
    QTRY_VERIFY(sim.ask(u"status"_s).contains(u" line=open"_s));
    Client tcp1(sim.port(u"tcp1"_s));
    // What a firmware does not take passes through to the serial line as plain bytes.
    const QByteArray status = bridgeio::frame(bridgeio::inputStatusRequest(1));
    tcp1.socket.write(status + "><IR?" + "<end>");
    QTRY_VERIFY(line.endsWith("<end>"));
    QByteArray expectedLine = (io ? QByteArray() : status) + (turnstile ? "" : "><IR?") + "<end>";
    QCOMPARE(line, expectedLine);
    const QByteArray expectedTcp =
        (io ? QByteArray("\xF3") : QByteArray()) + (turnstile ? "IR?,0,0,5,3,3,,,*" : "");
    QTRY_COMPARE(tcp1.received, expectedTcp);
    QCOMPARE(sim.ask(u"polling on"_s),
             turnstile ? u"ok polling on"_s : u"error polling needs the turnstile firmware"_s);
}

QTEST_MAIN(TestSimulatorProcess)
#include "tst_simulator_process.moc"
