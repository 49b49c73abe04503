#pragma once

#include "log.h"

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

namespace kalveno::sim {

class IoFirmware;

// The bridge's UDP port: command frames in datagrams, broadcast or not, go to the I/O firmware,
// and its answers go back to the sender. Each datagram stands alone. The reconnect broadcast
// that the console sends when its TCP link is torn down is only logged. While a replay plays the
// bridge, every datagram goes to it instead.
class UdpLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UdpLink)

public:
    // `io` is null when the I/O firmware does not run.
    UdpLink(IoFirmware *io, Log *log, QObject *parent = nullptr);

    bool bind(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_socket.localPort(); }
    QHostAddress address() const { return m_socket.localAddress(); }
    void setReplaying(bool replaying) { m_replaying = replaying; }
    // Sends one datagram and logs it, with `meaning`, or why it was not sent.
    void send(const QByteArray &bytes, const QHostAddress &to, quint16 port,
              const QString &meaning);

Q_SIGNALS:
    void datagram(const QByteArray &bytes, const QHostAddress &sender, quint16 senderPort);

private:
    void onDatagrams();
    void take(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort);

    IoFirmware *m_io;
    Log *m_log;
    QUdpSocket m_socket;
    bool m_replaying = false;
};

} // namespace kalveno::sim
