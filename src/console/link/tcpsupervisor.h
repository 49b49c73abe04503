#pragma once

#include <QTimer>

class QLineEdit;
class QWidget;

namespace kalveno {

class LinkState;
class PickList;
class TcpControl;
class UdpControl;

// The TCP link's fields in the frame "TCPIP COMMUNICATION".
struct TcpLinkView
{
    QLineEdit *INP_IP_ADR = nullptr;
    PickList *INP_IP_PORT = nullptr;

    static TcpLinkView find(const QWidget *form);
};

// Keeps the TCP link to the bridge up on its own. Once a second the tick looks at the socket's
// state and the link's state and connects, waits, or tears down and broadcasts the reconnect
// datagram; it keeps no memory between ticks. The connect event marks the link up, the error
// event and every change of address or choice of port mark it down.
class TcpSupervisor final
{
public:
    static constexpr int TickMs = 1000;

    TcpSupervisor(const TcpLinkView &view, LinkState &link, TcpControl &tcp, UdpControl &udp);

    void TIM_CONNECT_TCP_Timer();
    void TCP_Connect();
    void TCP_Error(const QString &description);
    void INP_IP_ADR_Change();
    void INP_IP_PORT_Click();

    QTimer &timer() { return m_timer; }

private:
    qint64 remotePort() const;
    QString target() const;

    TcpLinkView m_view;
    LinkState &m_link;
    TcpControl &m_tcp;
    UdpControl &m_udp;
    QTimer m_timer; // TIM_CONNECT_TCP
};

} // namespace kalveno
