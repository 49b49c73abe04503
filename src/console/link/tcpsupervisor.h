#pragma once

#include <QTimer>

namespace kalveno {

struct MainWindowUi;
class TcpControl;
class UdpControl;

// Keeps the TCP link to the bridge up on its own. Once a second the tick looks at the socket's
// state and the address field's colour and connects, waits, or tears down and broadcasts the
// reconnect datagram; it keeps no memory between ticks. The connect event paints the field up,
// the error event and every change of address or choice of port paint it not up.
class TcpSupervisor final
{
public:
    TcpSupervisor(const MainWindowUi &ui, TcpControl &tcp, UdpControl &udp);

    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }

    void TIM_CONNECT_TCP_Timer();
    void TCP_Connect();
    void TCP_Error();
    void INP_IP_ADR_Change();
    void INP_IP_PORT_Click();

    QTimer &timer() { return m_timer; }

private:
    qint64 remotePort() const;

    const MainWindowUi &m_ui;
    TcpControl &m_tcp;
    UdpControl &m_udp;
    QTimer m_timer; // TIM_CONNECT_TCP
};

} // namespace kalveno
