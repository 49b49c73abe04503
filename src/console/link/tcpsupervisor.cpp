#include "tcpsupervisor.h"

#include "app/look.h"
#include "app/mainwindowui.h"
#include "platform/tcpcontrol.h"
#include "platform/udpcontrol.h"
#include "protocol/bridgeio.h"
#include "protocol/number.h"

#include <QComboBox>
#include <QLineEdit>

namespace kalveno {

TcpSupervisor::TcpSupervisor(const MainWindowUi &ui, TcpControl &tcp, UdpControl &udp)
    : m_ui(ui)
    , m_tcp(tcp)
    , m_udp(udp)
{
    m_timer.setInterval(1000);
}

void TcpSupervisor::TIM_CONNECT_TCP_Timer()
{
    const int state = m_tcp.state();
    if (state == TcpControl::Connected && isUp(m_ui.INP_IP_ADR))
        return;
    if (state == TcpControl::Closed) {
        m_tcp.connectTo(m_ui.INP_IP_ADR->text(), remotePort());
        return;
    }
    if (state == TcpControl::Connecting)
        return;
    // Peer closed, failed, still resolving, or connected without the connect event having been
    // handled: start over, and tell the bridges where we are.
    m_tcp.close();
    m_udp.sendData(bridgeio::reconnectBroadcast(m_ui.INP_IP_ADR->text().toLatin1()));
}

void TcpSupervisor::TCP_Connect()
{
    setBackground(m_ui.INP_IP_ADR, VERT);
}

void TcpSupervisor::TCP_Error()
{
    setBackground(m_ui.INP_IP_ADR, ROUGE);
}

void TcpSupervisor::INP_IP_ADR_Change()
{
    m_tcp.close();
    setBackground(m_ui.INP_IP_ADR, ROUGE);
    TIM_CONNECT_TCP_Timer();
}

void TcpSupervisor::INP_IP_PORT_Click()
{
    INP_IP_ADR_Change();
}

qint64 TcpSupervisor::remotePort() const
{
    // A number too large for any range is passed on as an invalid port, which the socket
    // refuses.
    return LeadingNumber::parse(m_ui.INP_IP_PORT->currentText())
        .roundedIn(-(qint64(1) << 62), qint64(1) << 62)
        .value_or(-1);
}

} // namespace kalveno
