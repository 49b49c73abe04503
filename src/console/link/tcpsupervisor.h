#pragma once

#include <QElapsedTimer>
#include <QTimer>

class QLineEdit;
class QWidget;

namespace kalveno {

class LinkState;
class PickList;
class Reporter;
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
//
// The status bar hears of each change: an attempt, a connection, a new reason for failing (the
// same failure again is not news), the bridge closing the link. A bridge serves one client at a
// time and drops the older one when another connects, so two consoles on one bridge knock each
// other off in turn: when the bridge closes the link soon after each of several connections in
// a row, the status bar says that another client may hold it.
class TcpSupervisor final
{
public:
    static constexpr int TickMs = 1000;
    static constexpr int ShortLinkMs = 10000;
    static constexpr int ShortLinksToWarn = 3;

    TcpSupervisor(const TcpLinkView &view, LinkState &link, TcpControl &tcp, UdpControl &udp,
                  Reporter &reporter);

    void TIM_CONNECT_TCP_Timer();
    void TCP_Connect();
    void TCP_Error(const QString &description);
    void INP_IP_ADR_Change();
    void INP_IP_PORT_Click();
    // The bridge closed the connection.
    void closedByPeer();

    QTimer &timer() { return m_timer; }

private:
    void startOver(const QString &why);
    bool othersSuspected() const { return m_shortLinks >= ShortLinksToWarn; }
    qint64 remotePort() const;
    QString target() const;

    TcpLinkView m_view;
    LinkState &m_link;
    TcpControl &m_tcp;
    UdpControl &m_udp;
    Reporter &m_reporter;
    QTimer m_timer; // TIM_CONNECT_TCP
    QElapsedTimer m_connected;
    // Connections in a row that the bridge closed within ShortLinkMs.
    int m_shortLinks = 0;
};

} // namespace kalveno
