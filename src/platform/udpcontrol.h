#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

namespace kalveno {

// A datagram sender aimed at one remote host and port; each send is one datagram.
class UdpControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UdpControl)

public:
    explicit UdpControl(QObject *parent = nullptr);

    void setRemoteHost(const QString &host) { m_remoteHost = QHostAddress(host); }
    void setRemotePort(quint16 port) { m_remotePort = port; }
    void setLocalPort(quint16 port) { m_localPort = port; }

    bool bind();
    bool sendData(const QByteArray &bytes);
    QString lastError() const { return m_lastError; }

private:
    QUdpSocket m_socket;
    QHostAddress m_remoteHost;
    quint16 m_remotePort = 1024;
    quint16 m_localPort = 0;
    QString m_lastError;
};

} // namespace kalveno
