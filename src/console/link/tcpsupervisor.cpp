#include "tcpsupervisor.h"

#include "model/linkstate.h"
#include "model/reporter.h"
#include "platform/tcpcontrol.h"
#include "platform/udpcontrol.h"
#include "protocol/bridgeio.h"
#include "protocol/number.h"
#include "widgets/controls.h"
#include "widgets/picklist.h"

#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

constexpr QStringView NoAddress = u"no address in \"IP:\": type the bridge's address there";

} // namespace

TcpLinkView TcpLinkView::find(const QWidget *form)
{
    return {.INP_IP_ADR = control<QLineEdit>(form, "INP_IP_ADR"),
            .INP_IP_PORT = control<PickList>(form, "INP_IP_PORT")};
}

TcpSupervisor::TcpSupervisor(const TcpLinkView &view, LinkState &link, TcpControl &tcp,
                             UdpControl &udp, Reporter &reporter)
    : m_view(view)
    , m_link(link)
    , m_tcp(tcp)
    , m_udp(udp)
    , m_reporter(reporter)
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
    m_connected.start();
    m_link.setUp(u"connected to "_s + target());
    if (!othersSuspected())
        m_reporter.report(u"TCP "_s + m_link.reason());
}

void TcpSupervisor::TCP_Error(const QString &description)
{
    // Without an address every attempt fails the same way: the field's tip says what to type,
    // and the status bar keeps what it said at the first start.
    if (m_view.INP_IP_ADR->text().isEmpty()) {
        m_link.setDown(NoAddress.toString());
        return;
    }
    const QString before = m_link.reason();
    m_link.setDown(target() + u": "_s + description);
    if (m_link.reason() != before)
        m_reporter.report(u"TCP "_s + m_link.reason());
}

void TcpSupervisor::closedByPeer()
{
    const bool soon = m_connected.isValid() && m_connected.elapsed() < ShortLinkMs;
    m_connected.invalidate();
    m_shortLinks = soon ? m_shortLinks + 1 : 0;
    if (othersSuspected())
        m_reporter.report(u"TCP %1: the bridge closed the link soon after each of the last %2 "
                          "connections: another client may hold the bridge"_s.arg(target())
                              .arg(m_shortLinks));
    else
        m_reporter.report(u"TCP %1 closed by the bridge; connecting again"_s.arg(target()));
}

void TcpSupervisor::INP_IP_ADR_Change()
{
    startOver(u"the address changed to \"%1\""_s.arg(m_view.INP_IP_ADR->text()));
}

void TcpSupervisor::INP_IP_PORT_Click()
{
    startOver(u"port %1 chosen"_s.arg(m_view.INP_IP_PORT->currentText()));
}

void TcpSupervisor::startOver(const QString &why)
{
    m_tcp.close(why);
    m_shortLinks = 0;
    m_connected.invalidate();
    m_link.setDown(m_view.INP_IP_ADR->text().isEmpty() ? NoAddress.toString()
                                                       : u"connecting to "_s + target());
    m_reporter.report(u"TCP "_s + m_link.reason());
    TIM_CONNECT_TCP_Timer();
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
