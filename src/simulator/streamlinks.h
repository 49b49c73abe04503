#pragma once

#include "log.h"
#include "ptyline.h"
#include "tcpport.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QObject>
#include <QString>

namespace kalveno::sim {

// The bridge's stream links: the TCP ports of its two serial ports and its serial line. They
// log every chunk they read and write and every change of who is on the other end; what the
// bytes mean is for others to decide.
class StreamLinks final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StreamLinks)

public:
    explicit StreamLinks(Log *log, QObject *parent = nullptr);

    // Opens the line and listens on both ports, then names them in the log.
    bool open(const QHostAddress &address, quint16 tcpPort, quint16 tcp2Port, QString *error);
    // Listens on both ports without a line, for a bridge of a site whose line is not played.
    bool listen(const QHostAddress &address, quint16 tcpPort, quint16 tcp2Port, QString *error);

    const TcpPort &tcp(Link link) const { return link == Link::Tcp2 ? m_tcp2 : m_tcp1; }
    const PtyLine &line() const { return m_line; }

    // Writes on a stream link and logs what went, with `meaning`, and what was dropped.
    void send(Link link, QByteArrayView bytes, const QString &meaning);
    void dropClients();
    void dropClient(Link link);
    void setPlugged(bool plugged);

Q_SIGNALS:
    void received(kalveno::sim::Link link, const QByteArray &bytes);
    // The link's stream starts afresh: a client came or went, or the line was opened, closed,
    // plugged or unplugged. Whatever was half received on it is void.
    void restarted(kalveno::sim::Link link);

private:
    void wirePort(Link link);

    Log *m_log;
    TcpPort m_tcp1;
    TcpPort m_tcp2;
    PtyLine m_line;
};

} // namespace kalveno::sim
