#include "tcpport.h"

using namespace Qt::StringLiterals;

namespace kalveno::sim {

TcpPort::TcpPort(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpPort::onNewConnection);
}

TcpPort::~TcpPort()
{
    // The server deletes its sockets after this body; none may call back into a half-gone port.
    if (m_client)
        m_client->disconnect(this);
}

bool TcpPort::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_server.listen(address, port)) {
        *error = u"cannot listen on %1:%2: %3"_s.arg(address.toString())
                     .arg(port)
                     .arg(m_server.errorString());
        return false;
    }
    return true;
}

QString TcpPort::peerOf(const QTcpSocket *socket)
{
    return u"%1:%2"_s.arg(socket->peerAddress().toString()).arg(socket->peerPort());
}

void TcpPort::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const QString replaced = m_peer;
        if (m_client)
            release(QString());
        m_client = socket;
        m_peer = peerOf(socket);
        connect(socket, &QTcpSocket::readyRead, this, &TcpPort::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { onDisconnected(socket); });
        Q_EMIT clientConnected(m_peer, replaced);
    }
}

void TcpPort::onReadyRead()
{
    if (!m_client)
        return;
    const QByteArray bytes = m_client->readAll();
    if (!bytes.isEmpty())
        Q_EMIT received(bytes);
}

void TcpPort::onDisconnected(QTcpSocket *socket)
{
    if (socket == m_client)
        release(u"closed by the client"_s);
}

// Lets the client go; a non-empty `why` is announced.
void TcpPort::release(const QString &why)
{
    QTcpSocket *socket = m_client;
    const QString peer = m_peer;
    m_client = nullptr;
    m_peer.clear();
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (!why.isEmpty())
        Q_EMIT clientGone(peer, why);
}

qsizetype TcpPort::write(QByteArrayView bytes)
{
    if (!m_client || m_client->state() != QAbstractSocket::ConnectedState)
        return 0;
    const qint64 room = qMax<qint64>(0, MaxPending - m_client->bytesToWrite());
    const qsizetype taken = qMin<qint64>(bytes.size(), room);
    if (taken > 0 && m_client->write(bytes.constData(), taken) != taken)
        return 0;
    return taken;
}

void TcpPort::dropClient()
{
    if (m_client)
        release(u"dropped"_s);
}

} // namespace kalveno::sim
