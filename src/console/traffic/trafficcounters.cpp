#include "trafficcounters.h"

#include "platform/trafficrecord.h"
#include "protocol/bridgeio.h"

#include <QLocale>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

// A frame split between two chunks is not counted: the console writes each command in one
// chunk, and the bridge answers with status bytes, not frames.
qint64 framesIn(QByteArrayView bytes)
{
    qint64 frames = 0;
    for (qsizetype at = bytes.indexOf(bridgeio::FrameHead); at >= 0;
         at = bytes.indexOf(bridgeio::FrameHead, at + bridgeio::FrameHead.size()))
        ++frames;
    return frames;
}

qint64 statusBytesIn(QByteArrayView bytes)
{
    return std::count_if(bytes.begin(), bytes.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= bridgeio::Input1On && b <= bridgeio::Input2Off;
    });
}

// The links' event texts: TCP says "connected to ..." and "error: ...", the serial port
// "opened ...", "reopened ...", "lost: ..." and "cannot open ...".
bool isUp(const QString &event)
{
    return event.startsWith(u"connected"_s) || event.startsWith(u"opened"_s) ||
           event.startsWith(u"reopened"_s);
}

bool isError(const QString &event)
{
    return event.startsWith(u"error"_s) || event.startsWith(u"lost"_s) ||
           event.startsWith(u"cannot"_s);
}

QString rate(qint64 bytesPerSecond)
{
    if (bytesPerSecond < 1000)
        return u"%1 B/s"_s.arg(bytesPerSecond);
    return QLocale().formattedDataSize(bytesPerSecond, 1, QLocale::DataSizeSIFormat) + u"/s"_s;
}

} // namespace

TrafficCounters::TrafficCounters(QObject *parent)
    : QAbstractTableModel(parent)
{}

int TrafficCounters::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_tallies.size());
}

int TrafficCounters::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficCounters::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_tallies.size())
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == Link || index.column() == Rate
                   ? QVariant()
                   : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const Tally &t = m_tallies.at(index.row());
    const QLocale locale;
    switch (index.column()) {
    case Link:
        return t.link;
    case Sent:
        return locale.toString(t.sentBytes);
    case SentChunks:
        return locale.toString(t.sentChunks);
    case Received:
        return locale.toString(t.receivedBytes);
    case ReceivedChunks:
        return locale.toString(t.receivedChunks);
    case Frames:
        return locale.toString(t.frames);
    case StatusBytes:
        return locale.toString(t.statusBytes);
    case Errors:
        return locale.toString(t.errors);
    case Reconnects:
        return locale.toString(t.reconnects);
    case Rate:
        return u"\u2192 %1  \u2190 %2"_s.arg(rate(t.sentRate), rate(t.receivedRate));
    default:
        return {};
    }
}

QVariant TrafficCounters::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList titles{
        u"Link"_s,   u"Sent bytes"_s,   u"Chunks"_s, u"Received bytes"_s, u"Chunks"_s,
        u"Frames"_s, u"Status bytes"_s, u"Errors"_s, u"Reconnects"_s,     u"Rate"_s};
    return titles.value(section);
}

void TrafficCounters::count(const TrafficEntry &entry)
{
    Tally &t = tallyOf(entry.link);
    switch (entry.direction) {
    case Direction::Sent:
        t.sentBytes += entry.bytes.size();
        ++t.sentChunks;
        t.frames += framesIn(entry.bytes);
        break;
    case Direction::Received:
        t.receivedBytes += entry.bytes.size();
        ++t.receivedChunks;
        t.frames += framesIn(entry.bytes);
        t.statusBytes += statusBytesIn(entry.bytes);
        break;
    case Direction::Event:
        if (isUp(entry.note)) {
            t.reconnects += t.wasUp ? 1 : 0;
            t.wasUp = true;
        } else if (isError(entry.note)) {
            ++t.errors;
        }
        break;
    }
}

void TrafficCounters::sample(qint64 elapsedMs)
{
    for (Tally &t : m_tallies) {
        if (elapsedMs > 0) {
            t.sentRate = (t.sentBytes - t.sampledSent) * 1000 / elapsedMs;
            t.receivedRate = (t.receivedBytes - t.sampledReceived) * 1000 / elapsedMs;
        }
        t.sampledSent = t.sentBytes;
        t.sampledReceived = t.receivedBytes;
    }
    if (!m_tallies.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(int(m_tallies.size()) - 1, ColumnCount - 1));
}

void TrafficCounters::reset()
{
    beginResetModel();
    m_tallies.clear();
    endResetModel();
}

TrafficCounters::Tally &TrafficCounters::tallyOf(const QString &link)
{
    for (Tally &t : m_tallies) {
        if (t.link == link)
            return t;
    }
    const int row = int(m_tallies.size());
    beginInsertRows({}, row, row);
    Tally tally;
    tally.link = link;
    m_tallies.append(tally);
    endInsertRows();
    return m_tallies.last();
}

} // namespace kalveno
