#include "tcpcontrol.h"

#include "trafficrecord.h"

using namespace Qt::StringLiterals;

namespace kalveno {

TcpControl::TcpControl(QObject *parent)
    : QObject(parent)
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(5000);
    // Each data arrival hands over at most this much, so that a burst of megabytes is taken in
    // pieces between which the window stays responsive, rather than in one long append.
    m_socket.setReadBufferSize(ReadChunk);
    connect(&m_timeout, &QTimer::timeout, this, &TcpControl::onTimeout);
    connect(&m_socket, &QAbstractSocket::stateChanged, this, &TcpControl::onStateChanged);
    connect(&m_socket, &QAbstractSocket::errorOccurred, this, &TcpControl::onError);
    connect(&m_socket, &QAbstractSocket::connected, this, [this] {
        m_timeout.stop();
        // Terminal keys leave one byte at a time; do not hold them back for coalescing.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_state = Connected;
        recordEvent(u"connected to "_s + m_peer);
        Q_EMIT connected();
    });
    connect(&m_socket, &QIODevice::readyRead, this,
            [this] { Q_EMIT dataArrival(m_socket.bytesAvailable()); });
}

bool TcpControl::connectTo(const QString &host, qint64 port)
{
    if (m_state != Closed) {
        m_lastError = u"connect refused: the socket is not closed"_s;
        return false;
    }
    if (port < 0 || port > 65535) {
        m_lastError = u"invalid port %1"_s.arg(port);
        return false;
    }
    m_lastError.clear();
    m_linkName = linkname::tcp(quint16(port));
    m_peer = u"%1:%2"_s.arg(host).arg(port);
    m_state = Connecting;
    m_timeout.start();
    m_socket.connectToHost(host, quint16(port));
    return true;
}

void TcpControl::close(const QString &why)
{
    m_timeout.stop();
    // abort() emits disconnected and state changes inside the call; they are ours, not events.
    const bool wasConnected = m_state == Connected || m_state == Closing;
    // Bytes the peer sent that nobody read (the reader held back for the log) would go with the
    // socket: the record takes them first.
    if (wasConnected)
        getData();
    m_closing = true;
    m_socket.abort();
    m_closing = false;
    m_state = Closed;
    if (wasConnected)
        recordEvent(why.isEmpty() ? u"closed"_s : u"closed: "_s + why);
}

bool TcpControl::sendData(const QByteArray &bytes, const QString &note)
{
    if (m_state != Connected || m_socket.state() != QAbstractSocket::ConnectedState) {
        m_lastError = u"not connected"_s;
        return false;
    }
    if (m_socket.write(bytes) != bytes.size()) {
        m_lastError = m_socket.errorString();
        return false;
    }
    if (m_record)
        m_record->sent(m_linkName, bytes, note);
    return true;
}

QByteArray TcpControl::getData()
{
    const QByteArray bytes = m_socket.readAll();
    if (m_record && !bytes.isEmpty())
        m_record->received(m_linkName, bytes);
    return bytes;
}

void TcpControl::onStateChanged(QAbstractSocket::SocketState state)
{
    if (m_closing)
        return;
    switch (state) {
    case QAbstractSocket::HostLookupState:
        m_state = ResolvingHost;
        break;
    case QAbstractSocket::ConnectingState:
        m_state = Connecting;
        break;
    default:
        break;
    }
}

void TcpControl::onError(QAbstractSocket::SocketError error)
{
    if (m_closing)
        return;
    m_timeout.stop();
    if (error == QAbstractSocket::RemoteHostClosedError && m_state == Connected) {
        m_state = Closing;
        // What the peer sent before it closed is all here now: it is offered to the reader, which
        // takes it even while it holds back, before the close is recorded and before anything
        // can drop the socket.
        if (m_socket.bytesAvailable() > 0)
            Q_EMIT dataArrival(m_socket.bytesAvailable());
        recordEvent(u"closed by the peer"_s);
        Q_EMIT closedByPeer();
        return;
    }
    fail(int(error), m_socket.errorString());
}

void TcpControl::onTimeout()
{
    if (m_state != ResolvingHost && m_state != Connecting)
        return;
    m_closing = true;
    m_socket.abort();
    m_closing = false;
    fail(int(QAbstractSocket::SocketTimeoutError), u"connection attempt timed out"_s);
}

void TcpControl::fail(int number, const QString &description)
{
    m_state = Error;
    m_lastError = description;
    recordEvent(u"error: "_s + description);
    Q_EMIT errorOccurred(number, description);
}

void TcpControl::recordEvent(const QString &what)
{
    m_events.add(m_linkName, what);
}

} // namespace kalveno
