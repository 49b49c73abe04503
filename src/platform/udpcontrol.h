#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

namespace kalveno {

class TrafficRecord;

// A datagram socket aimed at one remote host and port; each send is one datagram. Each datagram
// sent, and each one that arrives (a bridge answering a broadcast status request), goes into the
// traffic record, those that arrive with their sender in their meaning. Nothing else reads what
// arrives: several bridges may answer one broadcast.
class UdpControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UdpControl)

public:
    explicit UdpControl(QObject *parent = nullptr);

    void setRemoteHost(const QString &host) { m_remoteHost = QHostAddress(host); }
    void setRemotePort(quint16 port) { m_remotePort = port; }
    void setLocalPort(quint16 port) { m_localPort = port; }
    void setRecord(TrafficRecord *record) { m_record = record; }

    bool bind();
    // The note, when given, says what the bytes are in the record.
    bool sendData(const QByteArray &bytes, const QString &note = {});
    QString lastError() const { return m_lastError; }

private:
    void readDatagrams();

    QUdpSocket m_socket;
    QHostAddress m_remoteHost;
    quint16 m_remotePort = 1024;
    quint16 m_localPort = 0;
    QString m_lastError;
    TrafficRecord *m_record = nullptr;
};

} // namespace kalveno
