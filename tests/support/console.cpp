#include "console.h"

#include "app/settings.h"

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

Rig::Rig()
{
    udp.setRemoteHost(u"255.255.255.255"_s);
    udp.setRemotePort(broadcasts.localPort());
    udp.bind();
    tcp.setRecord(&record);
    udp.setRecord(&record);
    serial.setRecord(&record);
    QObject::connect(&tcp, &TcpControl::connected, &tcp, [this] { supervisor.TCP_Connect(); });
    QObject::connect(&tcp, &TcpControl::errorOccurred, &tcp,
                     [this](int, const QString &why) { supervisor.TCP_Error(why); });
    QObject::connect(&tcp, &TcpControl::closedByPeer, &tcp, [this] { supervisor.closedByPeer(); });
    QObject::connect(&tcp, &TcpControl::dataArrival, &tcp,
                     [this] { dispatcher.TCP_DataArrival(); });
    QObject::connect(&serial, &SerialControl::dataWaiting, &serial,
                     [this] { poller.dataWaiting(); });
    QObject::connect(&poller.timer(), &QTimer::timeout, &serial,
                     [this] { poller.TIM_COMM_RX_Timer(); });
    QObject::connect(&poller.frameTimer(), &QTimer::timeout, &serial,
                     [this] { poller.TIM_COMM_RX_Timer(); });
    QObject::connect(&serial, &SerialControl::portLost, &serial,
                     [this](const QString &why) { port.portLost(why); });
    QObject::connect(&port.retryTimer(), &QTimer::timeout, &serial, [this] { port.retry(); });
    find<TerminalBox>("TXT_TCP_WIN")
        ->setPasteHook([this](const TerminalBox::Pasted &chunk, bool &echo) {
            return tcpTerminal.paste(chunk.bytes, chunk.done, chunk.total, echo);
        });
    find<TerminalBox>("TXT_232_WIN")
        ->setPasteHook([this](const TerminalBox::Pasted &chunk, bool &echo) {
            return poller.paste(chunk.bytes, chunk.done, chunk.total, echo);
        });
    QObject::connect(find<QLineEdit>("INP_COMM_NO"), &QLineEdit::textChanged, &serial,
                     [this] { port.INP_COMM_NO_Change(); });
    QObject::connect(find<QLineEdit>("INP_COMM_CFG"), &QLineEdit::textChanged, &serial,
                     [this] { port.INP_COMM_CFG_Change(); });
    QObject::connect(find<QCheckBox>("SW_TOURNRFID"), &QAbstractButton::toggled, &serial,
                     [this] { poller.simulatorSwitched(); });
}

bool Rig::connect()
{
    find<QComboBox>("INP_IP_PORT")->setEditText(QString::number(bridge.server.serverPort()));
    find<QLineEdit>("INP_IP_ADR")->setText(u"127.0.0.1"_s);
    supervisor.INP_IP_ADR_Change();
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
