#include "consolelinks.h"

#include "model/linkstate.h"
#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "platform/udpcontrol.h"
#include "protocol/traffic.h"

using namespace Qt::StringLiterals;

namespace kalveno {

ConsoleLinks::ConsoleLinks(const LinkState &tcpLink, TcpControl &tcp, UdpControl &udp,
                           const LinkState &serialLink, SerialControl &serial)
    : m_tcpLink(tcpLink)
    , m_tcp(tcp)
    , m_udp(udp)
    , m_serialLink(serialLink)
    , m_serial(serial)
{}

bool ConsoleLinks::send(const QString &link, const QByteArray &bytes, const QString &note,
                        QString *why)
{
    if (link == linkname::Udp) {
        if (m_udp.sendData(bytes, note))
            return true;
        *why = u"UDP: "_s + m_udp.lastError();
        return false;
    }
    const bool tcp = linkname::tcpPort(link).has_value();
    if (!tcp && !linkname::isSerialPort(link)) {
        *why = link + u" is not a link of the console"_s;
        return false;
    }
    const LinkState &state = tcp ? m_tcpLink : m_serialLink;
    const QString current = tcp ? m_tcp.linkName() : m_serial.linkName();
    // The same link is the same port: a row of TCP 1025 does not go to a connection on 1024.
    if (!state.isUp() || link != current) {
        *why = link + u" is not up"_s;
        return false;
    }
    if (tcp ? m_tcp.sendData(bytes, note) : m_serial.output(bytes, note))
        return true;
    *why = u"%1: %2"_s.arg(link, tcp ? m_tcp.lastError() : m_serial.lastError());
    return false;
}

} // namespace kalveno
