#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace kalveno::sim {

// One of the bridge's TCP ports: it serves one client at a time, and a new client replaces the
// one before it (the console reconnects without always closing its old connection first).
// Writes never block: a client that does not read has at most MaxPending bytes waiting for it,
// and what does not fit is dropped.
class TcpPort final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TcpPort)

public:
    static constexpr qint64 MaxPending = 1024 * 1024;

    explicit TcpPort(QObject *parent = nullptr);
    ~TcpPort() override;

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    bool hasClient() const { return m_client != nullptr; }
    QString peer() const { return m_peer; }

    // The number of bytes taken; fewer when there is no client or it is not reading.
    qsizetype write(QByteArrayView bytes);
    void dropClient();

Q_SIGNALS:
    void received(const QByteArray &bytes);
    // `replaced` is the peer of the client that the new one replaces, or empty.
    void clientConnected(const QString &peer, const QString &replaced);
    void clientGone(const QString &peer, const QString &why);

private:
    void onNewConnection();
    void onReadyRead();
    void onDisconnected(QTcpSocket *socket);
    void release(const QString &why);
    static QString peerOf(const QTcpSocket *socket);

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QString m_peer;
};

} // namespace kalveno::sim
