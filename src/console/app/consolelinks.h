#pragma once

#include "traffic/resender.h"

namespace kalveno {

class LinkState;
class SerialControl;
class TcpControl;
class UdpControl;

// The console's links for the traffic views' "Send again": the TCP connection while it is up
// and on the port that the row names, the UDP broadcast, the serial port while it is up and has
// the number that the row names. What goes is recorded as sent, with the note.
class ConsoleLinks final : public LinkSender
{
public:
    ConsoleLinks(const LinkState &tcpLink, TcpControl &tcp, UdpControl &udp,
                 const LinkState &serialLink, SerialControl &serial);

    bool send(const QString &link, const QByteArray &bytes, const QString &note,
              QString *why) override;

private:
    const LinkState &m_tcpLink;
    TcpControl &m_tcp;
    UdpControl &m_udp;
    const LinkState &m_serialLink;
    SerialControl &m_serial;
};

} // namespace kalveno
