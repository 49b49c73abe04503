#include "logfile.h"

#include "protocol/logline.h"

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

QByteArrayView withoutLineEnd(QByteArrayView line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

TrafficKind kindOf(logline::Direction direction)
{
    switch (direction) {
    case logline::Direction::Sent:
        return TrafficKind::Sent;
    case logline::Direction::Received:
        return TrafficKind::Received;
    case logline::Direction::Event:
        break;
    }
    return TrafficKind::Event;
}

} // namespace

std::unique_ptr<LogFile> LogFile::open(const QString &path, QString *error)
{
    std::unique_ptr<LogFile> log(new LogFile(path));
    if (!log->m_file.open(QIODevice::ReadOnly)) {
        *error = log->m_file.errorString();
        return nullptr;
    }
    if (log->m_file.isSequential()) {
        *error = u"not a file that can be read at any place"_s;
        return nullptr;
    }
    log->m_size = log->m_file.size();
    return log;
}

LogFile::LogFile(const QString &path)
    : m_file(path)
{}

QByteArrayView LogFile::line(qint64 key, Window &window) const
{
    qint64 want = Block;
    for (;;) {
        const qint64 at = key - window.start;
        if (at >= 0 && at <= window.bytes.size()) {
            const QByteArrayView rest = QByteArrayView(window.bytes).sliced(at);
            const qsizetype end = rest.indexOf('\n');
            if (end >= 0)
                return rest.first(end + 1);
            if (window.shortRead || window.start + window.bytes.size() >= m_size)
                return rest;
            want = qMax(want, 2 * rest.size()); // a line longer than the block
        }
        const qint64 size = qMin(want, m_size - key);
        window.start = key;
        window.bytes = m_file.seek(key) ? m_file.read(size) : QByteArray();
        window.shortRead = window.bytes.size() < size;
    }
}

qint64 LogFile::next(qint64 key) const
{
    const qsizetype size = line(key, m_scan).size();
    // Nothing there: the file has shrunk, and the rest of it is gone.
    return size > 0 ? key + size : m_size;
}

TrafficBrief LogFile::brief(qint64 key) const
{
    const QByteArrayView text = line(key, m_scan);
    const qsizetype linkAt = text.indexOf('\t') + 1;
    const qsizetype kindAt = linkAt > 0 ? text.indexOf('\t', linkAt) + 1 : 0;
    const qsizetype countAt = kindAt > 0 ? text.indexOf('\t', kindAt) + 1 : 0;
    if (countAt == 0)
        return {};
    const QByteArrayView word = text.sliced(kindAt, countAt - 1 - kindAt);
    const TrafficKind kind = word == "sent"       ? TrafficKind::Sent
                             : word == "received" ? TrafficKind::Received
                             : word == "event"    ? TrafficKind::Event
                                                  : TrafficKind::Broken;
    if (kind == TrafficKind::Broken)
        return {};
    return {kind, linkName(text.sliced(linkAt, kindAt - 1 - linkAt))};
}

TrafficRow LogFile::row(qint64 key) const
{
    const QByteArrayView text = line(key, m_shown);
    if (std::optional<logline::Line> line = logline::parse(text)) {
        return {kindOf(line->direction), line->time, std::move(line->link), std::move(line->bytes),
                std::move(line->meaning)};
    }
    return {TrafficKind::Broken, {}, {}, {}, QString::fromUtf8(withoutLineEnd(text))};
}

QByteArray LogFile::logLine(qint64 key) const
{
    return withoutLineEnd(line(key, m_shown)).toByteArray();
}

QString LogFile::linkName(QByteArrayView utf8) const
{
    for (const auto &[bytes, name] : m_links) {
        if (bytes == utf8)
            return name;
    }
    if (m_links.size() == MaxLinks)
        return QString::fromUtf8(utf8);
    m_links.append({utf8.toByteArray(), QString::fromUtf8(utf8)});
    return m_links.last().second;
}

} // namespace kalveno
