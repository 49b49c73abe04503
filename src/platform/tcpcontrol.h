#pragma once

#include "linkevents.h"

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

namespace kalveno {

class TrafficRecord;

// A TCP client that behaves like the socket control the console was designed around: it keeps
// that control's state numbers itself, raises a connect event, a data-arrival event and an
// error event, and bounds a connection attempt by a time-out of its own. A peer's close leaves
// the state at Closing and raises no error; a failed attempt leaves Error and raises one. What a
// closing peer sent is offered to the reader once more at its close, and whatever is still
// unread when the socket is closed goes into the record: no received byte is dropped unrecorded.
// Every chunk read or written, and every connect, close and error, goes into the traffic
// record, under the link name "TCP <port>"; an error that repeats the one before is counted
// rather than written again.
class TcpControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TcpControl)

public:
    enum State {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ConnectionPending = 3,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
        Error = 9,
    };

    static constexpr qint64 ReadChunk = 64 * 1024;

    explicit TcpControl(QObject *parent = nullptr);

    int state() const { return m_state; }
    void setConnectTimeout(int milliseconds) { m_timeout.setInterval(milliseconds); }
    void setRecord(TrafficRecord *record)
    {
        m_record = record;
        m_events.setRecord(record);
    }
    QString linkName() const { return m_linkName; }

    // Starts an attempt and returns at once; false when the call itself is refused (the socket
    // is not closed, or the port is not a TCP port).
    bool connectTo(const QString &host, qint64 port);
    // Drops the connection or the attempt at once; the state is Closed on return. The record
    // says why a connection was closed, when given.
    void close(const QString &why = {});
    // False when the bytes cannot be handed to a connected socket. The note, when given, says
    // what the bytes are in the record.
    bool sendData(const QByteArray &bytes, const QString &note = {});
    QByteArray getData();
    QString lastError() const { return m_lastError; }
    // Writes into the record how often the last event repeated.
    void flushEvents() { m_events.flush(); }

Q_SIGNALS:
    void connected();
    // The bridge closed the connection; the state is Closing.
    void closedByPeer();
    void dataArrival(qint64 bytesAvailable);
    void errorOccurred(int number, const QString &description);

private:
    void onStateChanged(QAbstractSocket::SocketState state);
    void onError(QAbstractSocket::SocketError error);
    void onTimeout();
    void fail(int number, const QString &description);
    void recordEvent(const QString &what);

    QTcpSocket m_socket;
    QTimer m_timeout;
    int m_state = Closed;
    bool m_closing = false;
    QString m_lastError;
    QString m_linkName;
    QString m_peer;
    TrafficRecord *m_record = nullptr;
    LinkEvents m_events;
};

} // namespace kalveno
