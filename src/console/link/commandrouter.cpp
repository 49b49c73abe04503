#include "commandrouter.h"

#include "model/linkstate.h"
#include "model/reporter.h"
#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "platform/udpcontrol.h"
#include "protocol/bridgeio.h"
#include "widgets/controls.h"

#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace kalveno {

RouteView RouteView::find(const QWidget *form)
{
    return {.SW_SEND_VIA = controlArray<QRadioButton, 3>(form, "SW_SEND_VIA")};
}

CommandRouter::CommandRouter(const RouteView &view, const LinkState &tcpLink,
                             const LinkState &serialLink, TcpControl &tcp, UdpControl &udp,
                             SerialControl &serial, Reporter &reporter)
    : m_view(view)
    , m_tcpLink(tcpLink)
    , m_serialLink(serialLink)
    , m_tcp(tcp)
    , m_udp(udp)
    , m_serial(serial)
    , m_reporter(reporter)
{}

void CommandRouter::SEND_COMMAND(const QByteArray &command)
{
    const QByteArray frame = bridgeio::frame(command);
    int chosen = 99;
    for (int i = 0; i < int(m_view.SW_SEND_VIA.size()); ++i) {
        if (m_view.SW_SEND_VIA[i]->isChecked())
            chosen = i;
    }
    switch (chosen) {
    case 0:
        if (!m_tcpLink.isUp())
            m_reporter.report(u"not sent: TCP link is down"_s);
        else if (!m_tcp.sendData(frame))
            m_reporter.report(u"TCP send failed: %1"_s.arg(m_tcp.lastError()));
        break;
    case 1:
        // A broadcast needs no link to be up.
        if (!m_udp.sendData(frame))
            m_reporter.report(u"UDP send failed: %1"_s.arg(m_udp.lastError()));
        break;
    case 2:
        if (!m_serialLink.isUp())
            m_reporter.report(u"not sent: serial port is not open"_s);
        else if (!m_serial.output(frame))
            m_reporter.report(u"serial send failed: %1"_s.arg(m_serial.lastError()));
        break;
    default:
        m_reporter.report(u"not sent: no link chosen"_s);
        break;
    }
}

} // namespace kalveno
