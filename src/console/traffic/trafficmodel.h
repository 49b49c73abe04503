#pragma once

#include "trafficfilter.h"
#include "trafficsource.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QElapsedTimer>
#include <QFont>
#include <QTimer>

#include <deque>
#include <vector>

namespace kalveno {

// The rows of a traffic view: the keys of the source's rows that pass the filter (applied by a
// TrafficMatcher), oldest first; what is copied or exported of them, trafficexport writes.
// It holds nothing else of a row but the few it has lately shown, and decodes a row only to show
// or to search it. The source's changes are taken in batches, at most one every UpdateInterval;
// a batch reads the source in slices of at most SliceTime between which the event loop runs, and
// rows the source has forgotten leave the model with the next batch. It holds at most MaxRows
// rows: a live view then lets its oldest rows go, a saved log's stops reading.
class TrafficModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficModel)

public:
    enum Column { Time, Link, Direction, Count, Hex, Characters, Meaning, ColumnCount };
    static constexpr int UpdateInterval = 250; // ms
    static constexpr int SliceTime = 15;       // ms
    // The most rows that come in at once: the view's own bookkeeping takes time by the row.
    static constexpr size_t MaxBatch = 32 * 1024;
    // About 24 bytes of memory a row: its key and the table view's own bookkeeping.
    static constexpr int MaxRows = 20'000'000;

    explicit TrafficModel(const TrafficSource &source, QObject *parent = nullptr);
    ~TrafficModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The most rows the view holds: MaxRows, or fewer.
    void setRowLimit(int rows) { m_rowLimit = qBound(1, rows, MaxRows); }

    const TrafficFilter &filter() const { return m_matcher.filter(); }
    void setFilter(const TrafficFilter &filter);
    // Paused, the rows stay as they are, but for those the source forgets; on resuming they
    // catch up with everything that came meanwhile.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    // A view that is not shown takes nothing in until it is again.
    void setActive(bool active);
    // From now on only what comes later.
    void clear();
    // The source has grown or forgotten rows.
    void sourceChanged();

    // Every row of the source up to its end has been taken in or filtered out.
    bool isCurrent() const;
    // A saved log's rows have filled the view, which reads no further.
    bool isFull() const { return m_full; }
    // Where the reading of the source stands: the key it goes on from.
    qint64 readUpTo() const { return m_read; }
    // Link names in the order they were first met.
    const QStringList &links() const { return m_links; }

    // The source's key of a row, or -1 for none.
    qint64 key(int row) const;
    // The keys of the rows, each once and in the order shown, of those the source still holds.
    QList<qint64> keysOf(QList<int> rows) const;
    // The keys of every row, oldest first.
    const std::deque<qint64> &keys() const { return m_keys; }

Q_SIGNALS:
    void linkFound(const QString &link);
    // A batch of changes has been taken in.
    void updated();

private:
    struct Shown
    {
        TrafficKind kind;
        QString time;
        QString link;
        QString count;
        QString hex;
        QString characters;
        QString meaning;
    };
    static constexpr int ShownRows = 256;

    void schedule();
    void update();
    void restart();
    void followTrimming();
    void read();
    bool passes(qint64 key);
    void publish();
    const Shown &shown(qint64 key) const;

    const TrafficSource &m_source;
    TrafficMatcher m_matcher;
    std::deque<qint64> m_keys;
    std::vector<qint64> m_pending; // passed the filter, not yet rows
    qint64 m_from;                 // where the view begins: the source's start, or a clear
    qint64 m_read;
    bool m_paused = false;
    bool m_active = false;
    bool m_full = false;
    int m_rowLimit = MaxRows;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_updatedAt;
    qint64 m_publishedAt;
    QStringList m_links;
    QFont m_fixedFont;
    mutable QCache<qint64, Shown> m_shown{ShownRows};
};

} // namespace kalveno
