#include "udplink.h"

#include "frameextractor.h"
#include "iofirmware.h"

#include "protocol/bridgeio.h"

#include <QNetworkDatagram>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

UdpLink::UdpLink(IoFirmware *io, Log *log, QObject *parent)
    : QObject(parent)
    , m_io(io)
    , m_log(log)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpLink::onDatagrams);
}

bool UdpLink::bind(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_socket.bind(address, port, QUdpSocket::ShareAddress))
        return true;
    *error = u"cannot bind UDP %1:%2: %3"_s.arg(address.toString())
                 .arg(port)
                 .arg(m_socket.errorString());
    return false;
}

void UdpLink::addBridge(const QHostAddress &address, IoFirmware *io, Log *log)
{
    m_bridges.insert(address.toIPv4Address(), {io, log});
}

void UdpLink::onDatagrams()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QHostAddress sender = datagram.senderAddress();
        const auto senderPort = quint16(datagram.senderPort());
        const QString from = u"%1:%2"_s.arg(sender.toString()).arg(senderPort);
        const QByteArray bytes = datagram.data();
        m_log->bytes(Link::Udp, Direction::Received, bytes);
        if (m_replaying) {
            Q_EMIT this->datagram(bytes, sender, senderPort);
        } else if (const auto address = bridgeio::reconnectAddress(bytes)) {
            m_log->bytes(
                Link::Udp, Direction::Received, bytes,
                u"reconnect broadcast for %1, from %2"_s.arg(QString::fromLatin1(*address), from));
        } else if (!m_bridges.isEmpty()) {
            dispatch(bytes, datagram.destinationAddress(), from, sender, senderPort);
        } else if (!m_io) {
            m_log->state(Link::Udp, u"ignored a datagram from %1: no I/O firmware"_s.arg(from));
        } else {
            answer(bytes, {m_io, m_log}, from, sender, senderPort);
        }
    }
}

void UdpLink::dispatch(const QByteArray &bytes, const QHostAddress &destination,
                       const QString &from, const QHostAddress &sender, quint16 senderPort)
{
    const auto bridge = m_bridges.constFind(destination.toIPv4Address());
    if (bridge != m_bridges.cend() && bridge->io) {
        answer(bytes, *bridge, from, sender, senderPort);
    } else if (destination == QHostAddress(QHostAddress::Broadcast)) {
        for (const Bridge &each : std::as_const(m_bridges)) {
            if (each.io)
                answer(bytes, each, from, sender, senderPort);
        }
    } else {
        m_log->state(Link::Udp, u"ignored a datagram from %1 to %2: no bridge answers there"_s.arg(
                                    from, destination.toString()));
    }
}

void UdpLink::answer(const QByteArray &bytes, const Bridge &bridge, const QString &from,
                     const QHostAddress &sender, quint16 senderPort)
{
    FrameExtractor frames;
    frames.append(bytes);
    QList<FrameExtractor::Item> items;
    for (auto item = frames.next(); item.status != FrameExtractor::Status::NeedMore;
         item = frames.next())
        items.append(item);
    if (auto rest = frames.flush(); rest.status != FrameExtractor::Status::NeedMore)
        items.append(rest);
    for (const FrameExtractor::Item &item : std::as_const(items)) {
        if (item.status != FrameExtractor::Status::Frame) {
            bridge.log->bytes(Link::Udp, Direction::Received, item.bytes,
                              u"not a command frame, ignored, from "_s + from);
            continue;
        }
        const IoFirmware::Outcome outcome = bridge.io->handle(item.bytes);
        bridge.log->bytes(Link::Udp, Direction::Received, bridgeio::frame(item.bytes),
                          u"frame: %1, from %2"_s.arg(outcome.meaning, from));
        if (outcome.reply.isEmpty())
            continue;
        if (m_socket.writeDatagram(outcome.reply, sender, senderPort) == outcome.reply.size())
            bridge.log->bytes(Link::Udp, Direction::Sent, outcome.reply,
                              u"%1, to %2"_s.arg(statusMeaning(outcome.reply), from));
        else
            bridge.log->state(Link::Udp,
                              u"reply to %1 not sent: %2"_s.arg(from, m_socket.errorString()));
    }
}

void UdpLink::send(const QByteArray &bytes, const QHostAddress &to, quint16 port,
                   const QString &meaning)
{
    if (m_socket.writeDatagram(bytes, to, port) == bytes.size())
        m_log->bytes(Link::Udp, Direction::Sent, bytes,
                     u"%1, to %2:%3"_s.arg(meaning, to.toString()).arg(port));
    else
        m_log->state(Link::Udp, u"%1 not sent to %2:%3: %4"_s.arg(meaning, to.toString())
                                    .arg(port)
                                    .arg(m_socket.errorString()));
}

} // namespace kalveno::sim
