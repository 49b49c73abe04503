#pragma once

#include <QByteArray>

#include <array>

class QRadioButton;
class QWidget;

namespace kalveno {

class LinkState;
class Reporter;
class SerialControl;
class TcpControl;
class UdpControl;

// "SEND COMMANDS VIA:": the link choice for bridge commands.
struct RouteView
{
    std::array<QRadioButton *, 3> SW_SEND_VIA{}; // TCP, UDP, RS-232

    static RouteView find(const QWidget *form);
};

// The one way bridge I/O commands leave: framed, on the link chosen in "SEND COMMANDS VIA:",
// provided that link is up. A command for a link that is down is dropped, never redirected;
// the drop and any failed send are reported.
class CommandRouter final
{
public:
    CommandRouter(const RouteView &view, const LinkState &tcpLink, const LinkState &serialLink,
                  TcpControl &tcp, UdpControl &udp, SerialControl &serial, Reporter &reporter);

    void SEND_COMMAND(const QByteArray &command);

private:
    RouteView m_view;
    const LinkState &m_tcpLink;
    const LinkState &m_serialLink;
    TcpControl &m_tcp;
    UdpControl &m_udp;
    SerialControl &m_serial;
    Reporter &m_reporter;
};

} // namespace kalveno
