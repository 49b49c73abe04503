#include "udpcontrol.h"

#include "trafficrecord.h"

using namespace Qt::StringLiterals;

namespace kalveno {

UdpControl::UdpControl(QObject *parent)
    : QObject(parent)
{}

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
        m_record->sent(u"UDP"_s, bytes, note);
    return true;
}

} // namespace kalveno
