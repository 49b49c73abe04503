#pragma once

#include <QByteArray>

namespace kalveno {

struct MainWindowUi;
class SerialControl;
class StatusLine;
class TcpControl;
class UdpControl;

// The one way bridge I/O commands leave: framed, on the link chosen in "SEND COMMANDS VIA:",
// provided that link is up. A command for a link that is down is dropped, never redirected;
// the drop and any failed send are told on the status line.
class CommandRouter final
{
public:
    CommandRouter(const MainWindowUi &ui, TcpControl &tcp, UdpControl &udp, SerialControl &serial,
                  StatusLine &status);

    void SEND_COMMAND(const QByteArray &command);

private:
    const MainWindowUi &m_ui;
    TcpControl &m_tcp;
    UdpControl &m_udp;
    SerialControl &m_serial;
    StatusLine &m_status;
};

} // namespace kalveno
