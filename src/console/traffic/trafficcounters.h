#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

namespace kalveno {

struct TrafficEntry;

// Figures of each link since the view began or was cleared: bytes and chunks each way, the
// command frames and input status bytes among them, errors, reconnects and the current rates.
// Every entry is counted as it comes, as the record may forget it before the view is shown; the
// table shows the figures anew at each sample.
class TrafficCounters final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficCounters)

public:
    enum Column {
        Link,
        Sent,
        SentChunks,
        Received,
        ReceivedChunks,
        Frames,
        StatusBytes,
        Errors,
        Reconnects,
        Rate,
        ColumnCount
    };

    struct Tally
    {
        QString link;
        qint64 sentBytes = 0;
        qint64 sentChunks = 0;
        qint64 receivedBytes = 0;
        qint64 receivedChunks = 0;
        qint64 frames = 0;
        qint64 statusBytes = 0;
        qint64 errors = 0;
        qint64 reconnects = 0;
        bool wasUp = false;
        // Bytes per second each way between the last two samples.
        qint64 sentRate = 0;
        qint64 receivedRate = 0;
        qint64 sampledSent = 0;
        qint64 sampledReceived = 0;
    };

    explicit TrafficCounters(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void count(const TrafficEntry &entry);
    // Takes the rates over the `elapsedMs` since the previous sample (for 0, the rates count from
    // now on) and shows every figure.
    void sample(qint64 elapsedMs);
    void reset();

    const QList<Tally> &tallies() const { return m_tallies; }

private:
    Tally &tallyOf(const QString &link);

    QList<Tally> m_tallies;
};

} // namespace kalveno
