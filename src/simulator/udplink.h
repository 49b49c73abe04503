#pragma once

#include "log.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

namespace kalveno::sim {

class IoFirmware;

// The bridge's UDP port: command frames in datagrams, broadcast or not, go to the I/O firmware,
// and its answers go back to the sender. Each datagram stands alone. The reconnect broadcast
// that the console sends when its TCP link is torn down is only logged. A site shares one port
// among its bridges: a datagram goes to the bridge it was sent to, a broadcast to every one.
// While a replay plays the bridge, every datagram goes to it instead.
class UdpLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UdpLink)

public:
    // `io` is null when the I/O firmware does not run.
    UdpLink(IoFirmware *io, Log *log, QObject *parent = nullptr);

    bool bind(const QHostAddress &address, quint16 port, QString *error);
    // One of a site's bridges, with its own log; `io` is null for one that does not answer.
    void addBridge(const QHostAddress &address, IoFirmware *io, Log *log);
    quint16 port() const { return m_socket.localPort(); }
    QHostAddress address() const { return m_socket.localAddress(); }
    void setReplaying(bool replaying) { m_replaying = replaying; }
    // Sends one datagram and logs it, with `meaning`, or why it was not sent.
    void send(const QByteArray &bytes, const QHostAddress &to, quint16 port,
              const QString &meaning);

Q_SIGNALS:
    void datagram(const QByteArray &bytes, const QHostAddress &sender, quint16 senderPort);

private:
    struct Bridge
    {
        IoFirmware *io;
        Log *log;
    };

    void onDatagrams();
    void dispatch(const QByteArray &bytes, const QHostAddress &destination, const QString &from,
                  const QHostAddress &sender, quint16 senderPort);
    void answer(const QByteArray &bytes, const Bridge &bridge, const QString &from,
                const QHostAddress &sender, quint16 senderPort);

    IoFirmware *m_io;
    Log *m_log;
    QUdpSocket m_socket;
    QHash<quint32, Bridge> m_bridges; // by IPv4 address
    bool m_replaying = false;
};

} // namespace kalveno::sim
