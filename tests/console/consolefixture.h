#pragma once

#include "app/look.h"
#include "app/mainwindow.h"
#include "platform/locations.h"
#include "support/pty.h"
#include "support/sandbox.h"
#include "widgets/captionbutton.h"
#include "widgets/picturebutton.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace kalveno::test {

inline const QByteArray ConfigHeader =
    "FICHIER DE CONFIGURATION POUR MERIXO INC (BRIDGE TCPIP / RS-232)";

inline QByteArray configFor(const QByteArray &port, const QByteArray &address)
{
    return ConfigHeader + "\r\n" + port + "\r\n" + address + "\r\n";
}

// The console as a technician starts it, in a configuration folder of the test's own, with
// serial port 1 on a pseudo-terminal the test holds the other end of.
class Console
{
public:
    // A null config means no configuration file at all.
    explicit Console(const QByteArray &config = configFor(" 1 ", "127.0.0.1"),
                     const QByteArray &ini = {})
    {
        if (!config.isNull())
            m_config.writeConfig(config);
        if (!ini.isEmpty())
            m_config.writeSettings(ini);
        m_config.linkPort(1, line.slavePath());
        window = std::make_unique<MainWindow>(ConsoleSettings::load(locations::settingsFile()));
    }

    const MainWindowUi &ui() const { return window->ui(); }
    const TemporaryConfig &config() const { return m_config; }

private:
    TemporaryConfig m_config;

public:
    Pty line;
    std::unique_ptr<MainWindow> window;
};

// Receives what the console broadcasts on the port the bridges listen on.
class BroadcastListener
{
public:
    explicit BroadcastListener(quint16 port = 1024)
    {
        m_socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress);
    }
    bool isBound() const { return m_socket.state() == QAbstractSocket::BoundState; }
    // The next datagram, or a null array after the time-out; the console runs meanwhile.
    QByteArray next(int timeoutMs = 5000)
    {
        QSignalSpy ready(&m_socket, &QIODevice::readyRead);
        if (!m_socket.hasPendingDatagrams() && !ready.wait(timeoutMs))
            return {};
        return m_socket.receiveDatagram().data();
    }
    QList<QByteArray> takeAll()
    {
        QList<QByteArray> all;
        while (m_socket.hasPendingDatagrams())
            all << m_socket.receiveDatagram().data();
        return all;
    }
    QUdpSocket &socket() { return m_socket; }

private:
    QUdpSocket m_socket;
};

// The far ends of the console's three links, as a bridge holds them: the TCP listener on the
// first serial port's port, the broadcast receiver and (through the console) the serial line.
class Bridge
{
public:
    explicit Bridge(bool listen = true)
    {
        if (listen)
            m_server.listen(QHostAddress::LocalHost, 1024);
    }

    // Waits until the console shows the TCP link up and takes the connection. It waits itself:
    // keep it out of QTRY_ macros, which would run it again and again.
    bool accept(Console &console)
    {
        m_console = &console;
        if (!QTest::qWaitFor([&] { return m_server.hasPendingConnections(); }, 10000))
            return false;
        peer.reset(m_server.nextPendingConnection());
        peer->setParent(nullptr);
        return QTest::qWaitFor([&] { return isUp(console.ui().INP_IP_ADR); }, 5000);
    }
    void attach(Console &console) { m_console = &console; }

    QByteArray takeTcp()
    {
        if (peer)
            m_tcp += peer->readAll();
        return std::exchange(m_tcp, {});
    }
    QByteArray takeSerial() { return m_console->line.readAvailable(); }
    // Commands broadcast by the console; its reconnect datagrams, which come every other second
    // while the TCP link is down, are left out.
    QList<QByteArray> takeDatagrams()
    {
        QList<QByteArray> commands = udp.takeAll();
        commands.removeIf([](const QByteArray &d) { return d.startsWith("\xFE\xFF\x06"); });
        return commands;
    }
    void clear()
    {
        takeTcp();
        takeSerial();
        takeDatagrams();
    }

    // Collects what arrives on TCP until `count` bytes are there, with the console running.
    QByteArray readTcp(qsizetype count, int timeoutMs = 5000)
    {
        static_cast<void>(QTest::qWaitFor(
            [&] {
                m_tcp += peer->readAll();
                return m_tcp.size() >= count;
            },
            timeoutMs));
        return takeTcp();
    }
    QByteArray readSerial(qsizetype count, int timeoutMs = 5000)
    {
        QByteArray got;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                got += m_console->line.readAvailable();
                return got.size() >= count;
            },
            timeoutMs));
        return got;
    }
    QList<QByteArray> readDatagrams(qsizetype count, int timeoutMs = 5000)
    {
        QList<QByteArray> got;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                got += takeDatagrams();
                return got.size() >= count;
            },
            timeoutMs));
        return got;
    }
    // True when nothing at all arrives on any link for a while, the console running meanwhile.
    bool quiet(int ms = 300)
    {
        bool silent = true;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                silent = silent && takeTcp().isEmpty() && takeSerial().isEmpty() &&
                         takeDatagrams().isEmpty();
                return !silent;
            },
            ms));
        return silent;
    }

    std::unique_ptr<QTcpSocket> peer;
    BroadcastListener udp;

private:
    QTcpServer m_server;
    Console *m_console = nullptr;
    QByteArray m_tcp;
};

// Clicks a control as a person does: option buttons and check boxes at their indicator.
inline void click(QWidget *control)
{
    if (qobject_cast<QRadioButton *>(control) || qobject_cast<QCheckBox *>(control))
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(6, control->height() / 2));
    else
        QTest::mouseClick(control, Qt::LeftButton);
}

// What every console test does first: the look the program itself uses, and the guard that
// the test cannot reach a real network.
inline bool prepareConsoleTest()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    return insidePrivateNetwork();
}

} // namespace kalveno::test
