#include "tcpsupervisor.h"

#include "model/linkstate.h"
#include "platform/tcpcontrol.h"
#include "platform/udpcontrol.h"
#include "protocol/bridgeio.h"
#include "protocol/number.h"
#include "widgets/controls.h"
#include "widgets/picklist.h"

#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

TcpLinkView TcpLinkView::find(const QWidget *form)
{
    return {control<QLineEdit>(form, "INP_IP_ADR"), control<PickList>(form, "INP_IP_PORT")};
}

TcpSupervisor::TcpSupervisor(const TcpLinkView &view, LinkState &link, TcpControl &tcp,
                             UdpControl &udp)
    : m_view(view)
    , m_link(link)
    , m_tcp(tcp)
    , m_udp(udp)
{
    m_timer.setInterval(TickMs);
}

void TcpSupervisor::TIM_CONNECT_TCP_Timer()
{
    const int state = m_tcp.state();
    if (state == TcpControl::Connected && m_link.isUp())
        return;
    if (state == TcpControl::Closed) {
        m_tcp.connectTo(m_view.INP_IP_ADR->text(), remotePort());
        return;
    }
    if (state == TcpControl::Connecting)
        return;
    // Peer closed, failed, still resolving, or connected without the connect event having been
    // handled: start over, and tell the bridges where we are.
    m_tcp.close();
    m_udp.sendData(bridgeio::reconnectBroadcast(m_view.INP_IP_ADR->text().toLatin1()));
}

void TcpSupervisor::TCP_Connect()
{
    m_link.setUp(u"connected to "_s + target());
}

void TcpSupervisor::TCP_Error(const QString &description)
{
    m_link.setDown(target() + u": "_s + description);
}

void TcpSupervisor::INP_IP_ADR_Change()
{
    m_tcp.close();
    m_link.setDown(u"connecting to "_s + target());
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
    return LeadingNumber::parse(m_view.INP_IP_PORT->currentText())
        .roundedIn(-(qint64(1) << 62), qint64(1) << 62)
        .value_or(-1);
}

QString TcpSupervisor::target() const
{
    return m_view.INP_IP_ADR->text() + u':' + QString::number(remotePort());
}

} // namespace kalveno
