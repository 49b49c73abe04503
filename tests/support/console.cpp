#include "console.h"

#include <QApplication>
#include <QNetworkDatagram>
#include <QStyleFactory>

using namespace Qt::StringLiterals;

namespace kalveno::test {

bool TcpPeer::accept()
{
    if (!QTest::qWaitFor([this] { return server.hasPendingConnections(); }, 10000))
        return false;
    socket.reset(server.nextPendingConnection());
    socket->setParent(nullptr);
    return true;
}

QByteArray TcpPeer::read(qsizetype count, int timeoutMs)
{
    QByteArray got;
    static_cast<void>(QTest::qWaitFor([&] { return (got += take()).size() >= count; }, timeoutMs));
    return got;
}

QByteArray BroadcastListener::next(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return hasPendingDatagrams(); }, timeoutMs))
        return {};
    return receiveDatagram().data();
}

LoopBack::LoopBack(Pty &line, QTcpSocket &socket)
    : QSocketNotifier(line.masterFd(), Read)
{
    QObject::connect(this, &QSocketNotifier::activated, this,
                     [&line, &socket] { socket.write(line.readAvailable()); });
    QObject::connect(&socket, &QIODevice::readyRead, this,
                     [&line, &socket] { line.write(socket.readAll()); });
}

namespace {

ConsoleSettings broadcastingTo(ConsoleSettings settings, quint16 port)
{
    settings.udpRemotePort = port;
    return settings;
}

} // namespace

Rig::Rig(const ConsoleSettings &settings)
    : Panels(&form, broadcastingTo(settings, broadcasts.localPort()),
             {.devices = [this](int number) { return devices.value(number); },
              .stableNames = [this](const QString &device) { return stableNames.value(device); }})
{
    bindBroadcasts();
}

bool Rig::connect()
{
    find<QComboBox>("INP_IP_PORT")->setEditText(QString::number(bridge.server.serverPort()));
    find<QLineEdit>("INP_IP_ADR")->setText(u"127.0.0.1"_s);
    find<QLineEdit>("INP_COMM_NO")->setText(u"1"_s);
    return bridge.accept() && QTest::qWaitFor([this] { return tcpLink.isUp(); }) &&
           serialLink.isUp();
}

bool Rig::quiet(int ms)
{
    return !QTest::qWaitFor(
        [&] {
            return !bridge.take().isEmpty() || !line.readAvailable().isEmpty() ||
                   broadcasts.hasPendingDatagrams();
        },
        ms);
}

Console::Console(const QByteArray &config, const QByteArray &ini)
{
    if (!config.isNull())
        this->config.writeConfig(config);
    if (!ini.isEmpty())
        this->config.writeSettings(ini);
    this->config.linkPort(1, line.slavePath());
    window = std::make_unique<MainWindow>(ConsoleSettings::load(locations::settingsFile()));
}

void click(QWidget *control)
{
    const bool indicator =
        qobject_cast<QRadioButton *>(control) || qobject_cast<QCheckBox *>(control);
    QTest::mouseClick(control, Qt::LeftButton, {},
                      indicator ? QPoint(6, control->height() / 2) : control->rect().center());
}

void doubleClick(TerminalBox *terminal)
{
    QWidget *surface = terminal->viewport();
    QTest::mousePress(surface, Qt::LeftButton, {}, {20, 20});
    QTest::mouseRelease(surface, Qt::LeftButton, {}, {20, 20});
    QTest::mouseDClick(surface, Qt::LeftButton, {}, {20, 20});
    QTest::mouseRelease(surface, Qt::LeftButton, {}, {20, 20});
}

bool prepareConsoleTest()
{
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    return insidePrivateNetwork();
}

} // namespace kalveno::test
