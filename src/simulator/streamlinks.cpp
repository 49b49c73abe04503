#include "streamlinks.h"

using namespace Qt::StringLiterals;

namespace kalveno::sim {

StreamLinks::StreamLinks(Log *log, QObject *parent)
    : QObject(parent)
    , m_log(log)
{
    wirePort(Link::Tcp1);
    wirePort(Link::Tcp2);
    connect(&m_line, &PtyLine::received, this, [this](const QByteArray &bytes) {
        m_log->bytes(Link::Serial, Direction::Received, bytes);
        Q_EMIT received(Link::Serial, bytes);
    });
    connect(&m_line, &PtyLine::discarded, this, [this](qsizetype count) {
        m_log->state(Link::Serial, u"unplugged: %1 bytes from the line lost"_s.arg(count));
    });
    connect(&m_line, &PtyLine::attachedChanged, this, [this](bool attached) {
        m_log->state(Link::Serial, attached ? u"line opened by a program"_s
                                            : u"line closed by the last program holding it"_s);
        Q_EMIT restarted(Link::Serial);
    });
}

void StreamLinks::wirePort(Link link)
{
    TcpPort &port = link == Link::Tcp2 ? m_tcp2 : m_tcp1;
    connect(&port, &TcpPort::received, this, [this, link](const QByteArray &bytes) {
        m_log->bytes(link, Direction::Received, bytes);
        Q_EMIT received(link, bytes);
    });
    connect(&port, &TcpPort::clientConnected, this,
            [this, link](const QString &peer, const QString &replaced) {
                m_log->state(link, replaced.isEmpty()
                                       ? u"client %1 connected"_s.arg(peer)
                                       : u"client %1 connected, replaces %2"_s.arg(peer, replaced));
                Q_EMIT restarted(link);
            });
    connect(&port, &TcpPort::clientGone, this,
            [this, link](const QString &peer, const QString &why) {
                m_log->state(link, u"client %1 gone: %2"_s.arg(peer, why));
                Q_EMIT restarted(link);
            });
}

bool StreamLinks::open(const QHostAddress &address, quint16 tcpPort, quint16 tcp2Port,
                       QString *error)
{
    return m_line.open(error) && listen(address, tcpPort, tcp2Port, error);
}

bool StreamLinks::listen(const QHostAddress &address, quint16 tcpPort, quint16 tcp2Port,
                         QString *error)
{
    if (!m_tcp1.listen(address, tcpPort, error) || !m_tcp2.listen(address, tcp2Port, error))
        return false;
    m_log->setLinkName(Link::Tcp1, linkname::tcp(m_tcp1.port()));
    m_log->setLinkName(Link::Tcp2, linkname::tcp(m_tcp2.port()));
    return true;
}

void StreamLinks::send(Link link, QByteArrayView bytes, const QString &meaning)
{
    qsizetype taken = 0;
    QString why;
    if (link == Link::Serial) {
        taken = m_line.write(bytes);
        why = !m_line.isPlugged()    ? u"unplugged"_s
              : !m_line.isAttached() ? u"no program holds the line"_s
                                     : u"line buffer full"_s;
    } else {
        TcpPort &port = link == Link::Tcp2 ? m_tcp2 : m_tcp1;
        taken = port.write(bytes);
        why = port.hasClient() ? u"client is not reading"_s : u"no client"_s;
    }
    if (taken > 0)
        m_log->bytes(link, Direction::Sent, bytes.first(taken), meaning);
    if (taken < bytes.size())
        m_log->state(link,
                     u"dropped %1 bytes (%2): %3"_s.arg(bytes.size() - taken).arg(meaning, why));
}

void StreamLinks::dropClients()
{
    m_tcp1.dropClient();
    m_tcp2.dropClient();
}

void StreamLinks::dropClient(Link link)
{
    (link == Link::Tcp2 ? m_tcp2 : m_tcp1).dropClient();
}

void StreamLinks::setPlugged(bool plugged)
{
    m_line.setPlugged(plugged);
    m_log->state(Link::Serial, plugged ? u"plugged"_s : u"unplugged"_s);
    Q_EMIT restarted(Link::Serial);
}

} // namespace kalveno::sim
