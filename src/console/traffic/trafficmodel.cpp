#include "trafficmodel.h"

#include <QBrush>
#include <QFontDatabase>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

// What a row shows of its bytes and its meaning; copying and exporting take them whole.
constexpr qsizetype ShownBytes = 32;
constexpr qsizetype ShownCharacters = 64;
constexpr qsizetype ShownMeaning = 512;
// Links a view lists for its filter; more are only in a damaged log.
constexpr qsizetype MaxLinks = 32;

QString cut(QString text, qsizetype length)
{
    if (text.size() > length) {
        text.truncate(length);
        text += QChar(u'\u2026');
    }
    return text;
}

QString hexPairs(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' '));
}

QString directionText(TrafficKind kind)
{
    switch (kind) {
    case TrafficKind::Sent:
        return u"\u2192 sent"_s;
    case TrafficKind::Received:
        return u"\u2190 received"_s;
    case TrafficKind::Event:
        return u"\u2022 event"_s;
    case TrafficKind::Broken:
        break;
    }
    return u"\u26A0 broken"_s;
}

QColor colourOf(TrafficKind kind)
{
    switch (kind) {
    case TrafficKind::Sent:
        return QColor(0, 0, 192);
    case TrafficKind::Received:
        return QColor(0, 112, 0);
    case TrafficKind::Event:
        return QColor(144, 96, 0);
    case TrafficKind::Broken:
        break;
    }
    return QColor(208, 0, 0);
}

} // namespace

TrafficModel::TrafficModel(const TrafficSource &source, QObject *parent)
    : QAbstractTableModel(parent)
    , m_source(source)
    , m_from(source.begin())
    , m_read(m_from)
    , m_updatedAt(-UpdateInterval)
    , m_publishedAt(-UpdateInterval)
    , m_fixedFont(QFontDatabase::systemFont(QFontDatabase::FixedFont))
{
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TrafficModel::update);
}

TrafficModel::~TrafficModel() = default;

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_keys.size());
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_keys.size())
        return {};
    const qint64 key = m_keys[size_t(index.row())];
    if (key < m_source.begin())
        return {}; // forgotten by the source; the row leaves with the next batch
    switch (role) {
    case Qt::DisplayRole: {
        const Shown &row = shown(key);
        switch (index.column()) {
        case Time:
            return row.time;
        case Link:
            return row.link;
        case Direction:
            return directionText(row.kind);
        case Count:
            return row.count;
        case Hex:
            return row.hex;
        case Characters:
            return row.characters;
        case Meaning:
            return row.meaning;
        default:
            return {};
        }
    }
    case Qt::ToolTipRole:
        return index.column() == Meaning ? shown(key).meaning : QVariant();
    case Qt::ForegroundRole:
        return QBrush(colourOf(shown(key).kind));
    case Qt::FontRole:
        return index.column() == Hex || index.column() == Characters ? m_fixedFont : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == Count ? QVariant(Qt::AlignCenter) : QVariant();
    default:
        return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList titles{u"Time"_s, u"Link"_s,       u"Direction"_s, u"Bytes"_s,
                                    u"Hex"_s,  u"Characters"_s, u"Meaning"_s};
    return titles.value(section);
}

void TrafficModel::setFilter(const TrafficFilter &filter)
{
    if (filter == m_matcher.filter())
        return;
    m_matcher = TrafficMatcher(filter);
    restart();
}

void TrafficModel::setPaused(bool paused)
{
    m_paused = paused;
    schedule();
}

void TrafficModel::setActive(bool active)
{
    m_active = active;
    schedule();
}

void TrafficModel::clear()
{
    m_from = m_source.end();
    restart();
}

void TrafficModel::sourceChanged()
{
    schedule();
}

bool TrafficModel::isCurrent() const
{
    return m_read >= m_source.end() && m_pending.empty();
}

void TrafficModel::restart()
{
    beginResetModel();
    // Given back whole: a view cleared after a flood holds nothing of it.
    std::deque<qint64>().swap(m_keys);
    std::vector<qint64>().swap(m_pending);
    m_full = false;
    m_read = qMax(m_from, m_source.begin());
    // The new view's first rows come at once.
    m_updatedAt = -UpdateInterval;
    m_publishedAt = -UpdateInterval;
    endResetModel();
    m_timer.stop();
    schedule();
}

void TrafficModel::schedule()
{
    if (m_active && !m_timer.isActive())
        m_timer.start(int(qBound(qint64(0), m_updatedAt + UpdateInterval - m_clock.elapsed(),
                                 qint64(UpdateInterval))));
}

void TrafficModel::update()
{
    m_updatedAt = m_clock.elapsed();
    followTrimming();
    if (!m_paused) {
        read();
        const bool behind = m_read < m_source.end() && !m_full;
        // Slices that follow each other show their rows once per interval, and the last at once;
        // a long reading shows them in batches that the view takes in quickly.
        if (!m_pending.empty() && (!behind || m_pending.size() >= MaxBatch ||
                                   m_updatedAt - m_publishedAt >= UpdateInterval))
            publish();
        if (behind || !m_pending.empty())
            m_timer.start(0); // the next slice, once the events that waited have run
    }
    Q_EMIT updated();
}

void TrafficModel::followTrimming()
{
    const qint64 begin = m_source.begin();
    m_read = qMax(m_read, begin);
    m_pending.erase(m_pending.begin(), std::lower_bound(m_pending.begin(), m_pending.end(), begin));
    const auto gone = std::lower_bound(m_keys.begin(), m_keys.end(), begin) - m_keys.begin();
    if (gone == 0)
        return;
    beginRemoveRows({}, 0, int(gone) - 1);
    m_keys.erase(m_keys.begin(), m_keys.begin() + gone);
    endRemoveRows();
}

void TrafficModel::read()
{
    QElapsedTimer slice;
    slice.start();
    const qint64 end = m_source.end();
    const bool live = m_source.isLive();
    while (m_read < end && slice.elapsed() < SliceTime) {
        if (!live && m_keys.size() + m_pending.size() >= size_t(m_rowLimit)) {
            m_full = true;
            return;
        }
        const qint64 key = m_read;
        m_read = m_source.next(key);
        if (passes(key))
            m_pending.push_back(key);
    }
}

bool TrafficModel::passes(qint64 key)
{
    const TrafficBrief brief = m_source.brief(key);
    if (!brief.link.isEmpty() && m_links.size() < MaxLinks && !m_links.contains(brief.link)) {
        m_links.append(brief.link);
        Q_EMIT linkFound(brief.link);
    }
    return m_matcher.admits(brief) && (!m_matcher.searches() || m_matcher.finds(m_source.row(key)));
}

void TrafficModel::publish()
{
    // Full, a live view lets its oldest rows go, as the record does (a log stops reading before).
    const auto limit = size_t(m_rowLimit);
    if (m_pending.size() > limit)
        m_pending.erase(m_pending.begin(), m_pending.end() - qsizetype(limit));
    const auto batch = std::min(m_pending.size(), MaxBatch);
    if (const size_t over = m_keys.size() + batch; over > limit) {
        const auto gone = qsizetype(over - limit);
        beginRemoveRows({}, 0, int(gone) - 1);
        m_keys.erase(m_keys.begin(), m_keys.begin() + gone);
        endRemoveRows();
    }
    const int first = int(m_keys.size());
    beginInsertRows({}, first, first + int(batch) - 1);
    m_keys.insert(m_keys.end(), m_pending.begin(), m_pending.begin() + qsizetype(batch));
    endInsertRows();
    m_pending.erase(m_pending.begin(), m_pending.begin() + qsizetype(batch));
    m_publishedAt = m_updatedAt;
}

const TrafficModel::Shown &TrafficModel::shown(qint64 key) const
{
    if (const Shown *row = m_shown.object(key))
        return *row;
    const TrafficRow row = m_source.row(key);
    auto *s = new Shown{
        row.kind,
        {},
        row.link,
        {},
        cut(hexPairs(QByteArrayView(row.bytes).first(qMin(row.bytes.size(), ShownBytes + 1))),
            3 * ShownBytes - 1),
        cut(charactersOf(
                QByteArrayView(row.bytes).first(qMin(row.bytes.size(), ShownCharacters + 1))),
            ShownCharacters),
        cut(row.meaning, ShownMeaning)};
    if (row.kind != TrafficKind::Broken)
        s->time = row.time.time().toString(u"hh:mm:ss.zzz"_s);
    if (row.kind == TrafficKind::Sent || row.kind == TrafficKind::Received)
        s->count = QString::number(row.bytes.size());
    m_shown.insert(key, s);
    return *s;
}

qint64 TrafficModel::key(int row) const
{
    return row >= 0 && size_t(row) < m_keys.size() ? m_keys[size_t(row)] : -1;
}

QList<qint64> TrafficModel::keysOf(QList<int> rows) const
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<qint64> keys;
    for (const int row : rows) {
        if (row >= 0 && size_t(row) < m_keys.size() && m_keys[size_t(row)] >= m_source.begin())
            keys.append(m_keys[size_t(row)]);
    }
    return keys;
}

} // namespace kalveno
