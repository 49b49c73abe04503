#include "udpcontrol.h"

#include "trafficrecord.h"

#include "protocol/meaning.h"

#include <QNetworkDatagram>

using namespace Qt::StringLiterals;

namespace kalveno {

UdpControl::UdpControl(QObject *parent)
    : QObject(parent)
{
    connect(&m_socket, &QIODevice::readyRead, this, &UdpControl::readDatagrams);
}

bool UdpControl::bind()
{
    if (m_socket.state() == QAbstractSocket::BoundState)
        return true;
    if (!m_socket.bind(QHostAddress::AnyIPv4, m_localPort)) {
        m_lastError = m_socket.errorString();
        return false;
    }
    return true;
}

bool UdpControl::sendData(const QByteArray &bytes, const QString &note)
{
    if (m_remoteHost.isNull()) {
        m_lastError = u"no remote host"_s;
        return false;
    }
    // The socket keeps its last error after a failed send, so each send is judged by its result.
    if (m_socket.writeDatagram(bytes, m_remoteHost, m_remotePort) != bytes.size()) {
        m_lastError = m_socket.errorString();
        return false;
    }
    if (m_record)
        m_record->sent(linkname::Udp.toString(), bytes, note);
    return true;
}

void UdpControl::readDatagrams()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        if (!m_record)
            continue;
        const QByteArray bytes = datagram.data();
        const QString from =
            u"from %1:%2"_s.arg(datagram.senderAddress().toString()).arg(datagram.senderPort());
        m_record->received(linkname::Udp.toString(), bytes,
                           meaning::of({LinkKind::Udp, false}, bytes) + u", "_s + from);
    }
}

} // namespace kalveno
