#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <memory>

namespace kalveno::sim {

// The bridge's serial line, as a pseudo-terminal in raw mode: the simulator holds the master,
// and the console opens the slave by its path as its serial port. The simulator does not keep
// the slave open itself: then the master reports a hang-up while no program holds the line, and
// bytes written meanwhile are dropped instead of reaching the next program that opens it stale.
// While the line is detached a slow timer watches for a program to open it.
//
// Writes never block: what the line does not take at once waits in a buffer of at most
// MaxPending bytes, and what does not fit is dropped (the caller is told how much was taken).
// Unplugged, the line carries nothing: what the other end sends is read and discarded, and
// nothing is written.
class PtyLine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PtyLine)

public:
    static constexpr qsizetype MaxPending = 256 * 1024;

    explicit PtyLine(QObject *parent = nullptr);
    ~PtyLine() override;

    bool open(QString *error);
    QString slavePath() const { return m_slavePath; }
    bool isAttached() const { return m_attached; }
    bool isPlugged() const { return m_plugged; }
    void setPlugged(bool plugged);

    // The number of bytes taken; fewer than given when the line is detached, unplugged or full.
    qsizetype write(QByteArrayView bytes);

Q_SIGNALS:
    void received(const QByteArray &bytes);
    // Bytes that arrived while unplugged and were thrown away.
    void discarded(qsizetype count);
    void attachedChanged(bool attached);

private:
    void onReadable();
    void onWritable();
    void probe();
    void setAttached(bool attached);
    void writePending();

    int m_master = -1;
    QString m_slavePath;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QTimer m_probe;
    QByteArray m_pending;
    bool m_attached = false;
    bool m_plugged = true;
};

} // namespace kalveno::sim
