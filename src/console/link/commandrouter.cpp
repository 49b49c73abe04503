#include "commandrouter.h"

#include "app/look.h"
#include "app/mainwindowui.h"
#include "app/statusline.h"
#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "platform/udpcontrol.h"
#include "protocol/bridgeio.h"

#include <QLineEdit>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace kalveno {

CommandRouter::CommandRouter(const MainWindowUi &ui, TcpControl &tcp, UdpControl &udp,
                             SerialControl &serial, StatusLine &status)
    : m_ui(ui)
    , m_tcp(tcp)
    , m_udp(udp)
    , m_serial(serial)
    , m_status(status)
{}

void CommandRouter::SEND_COMMAND(const QByteArray &command)
{
    const QByteArray frame = bridgeio::frame(command);
    int chosen = 99;
    for (int i = 0; i < int(m_ui.SW_SEND_VIA.size()); ++i) {
        if (m_ui.SW_SEND_VIA[i]->isChecked())
            chosen = i;
    }
    switch (chosen) {
    case 0:
        if (!isUp(m_ui.INP_IP_ADR))
            m_status.report(u"not sent: TCP link is down"_s);
        else if (!m_tcp.sendData(frame))
            m_status.report(u"TCP send failed: %1"_s.arg(m_tcp.lastError()));
        break;
    case 1:
        // A broadcast needs no link to be up.
        if (!m_udp.sendData(frame))
            m_status.report(u"UDP send failed: %1"_s.arg(m_udp.lastError()));
        break;
    case 2:
        if (!isUp(m_ui.INP_COMM_NO))
            m_status.report(u"not sent: serial port is not open"_s);
        else if (!m_serial.output(frame))
            m_status.report(u"serial send failed: %1"_s.arg(m_serial.lastError()));
        break;
    default:
        m_status.report(u"not sent: no link chosen"_s);
        break;
    }
}

} // namespace kalveno
