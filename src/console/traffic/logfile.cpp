#include "logfile.h"

#include "protocol/logline.h"

#include <QLocale>

#include <system_error>

#ifdef Q_OS_WIN
#include <QFileInfo>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

} // namespace

std::unique_ptr<LogFile> LogFile::open(const QString &path, QString *error)
{
    std::unique_ptr<LogFile> log(new LogFile(path));
#ifdef Q_OS_WIN
    if (!QFileInfo(path).isFile()) {
        *error = u"not a regular file"_s;
        return nullptr;
    }
    log->m_file.setFileName(path);
    if (!log->m_file.open(QIODevice::ReadOnly)) {
        *error = log->m_file.errorString();
        return nullptr;
    }
#else
    // Opening a named pipe for reading waits for a writer, and a device may act on being opened:
    // the file is opened without waiting and kept only when it is a regular one.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status = {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        *error = QString::fromStdString(std::generic_category().message(errno));
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        *error = u"not a regular file"_s;
        return nullptr;
    }
    if (!log->m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = log->m_file.errorString();
        return nullptr;
    }
#endif
    log->m_size = log->m_file.size();
    return log;
}

LogFile::LogFile(const QString &path)
    : m_path(path)
{}

QByteArrayView LogFile::line(qint64 key, Window &window) const
{
    qint64 want = Block;
    for (;;) {
        const qint64 at = key - window.start;
        if (at >= 0 && at <= window.bytes.size()) {
            const QByteArrayView rest = QByteArrayView(window.bytes).sliced(at);
            const qsizetype end = rest.first(qMin<qsizetype>(rest.size(), MaxLine)).indexOf('\n');
            if (end >= 0)
                return rest.first(end + 1);
            if (rest.size() >= MaxLine)
                return rest.first(MaxLine);
            if (window.shortRead || window.start + window.bytes.size() >= m_size)
                return rest;
            // A line longer than the block: read again from its start, up to the most a line
            // may cost.
            want = qMin(qMax(want, 2 * rest.size()), MaxLine);
        }
        const qint64 size = qMin(want, m_size - key);
        window.start = key;
        window.bytes = m_file.seek(key) ? m_file.read(size) : QByteArray();
        window.shortRead = window.bytes.size() < size;
    }
}

std::optional<QString> LogFile::tooLong(qint64 key, QByteArrayView text) const
{
    const auto cut = m_cuts.constFind(key);
    const bool ended = text.size() < MaxLine || text.endsWith('\n');
    if (cut == m_cuts.cend() && ended)
        return std::nullopt;
    const qint64 start = cut == m_cuts.cend() ? key : *cut;
    const qint64 end = key - start + withoutLineEnd(text).size();
    const QLocale locale;
    QString row = u"a line longer than %1 MiB, in rows of %1 MiB: bytes %2 to %3 of it"_s.arg(
        QString::number(MaxLine >> 20), locale.toString(key - start), locale.toString(end));
    if (ended)
        row += u", the end of a line of %1 bytes"_s.arg(locale.toString(end));
    return row;
}

qint64 LogFile::next(qint64 key) const
{
    const QByteArrayView text = line(key, m_scan);
    // Nothing there: the file has shrunk, and the rest of it is gone.
    if (text.isEmpty())
        return m_size;
    if (text.size() == MaxLine && !text.endsWith('\n'))
        m_cuts.insert(key + text.size(), m_cuts.value(key, key));
    return key + text.size();
}

TrafficBrief LogFile::brief(qint64 key) const
{
    const QByteArrayView text = line(key, m_scan);
    if (tooLong(key, text))
        return {};
    const qsizetype linkAt = text.indexOf('\t') + 1;
    const qsizetype kindAt = linkAt > 0 ? text.indexOf('\t', linkAt) + 1 : 0;
    const qsizetype countAt = kindAt > 0 ? text.indexOf('\t', kindAt) + 1 : 0;
    if (countAt == 0)
        return {};
    const QByteArrayView word = text.sliced(kindAt, countAt - 1 - kindAt);
    const std::optional<Direction> direction = directionNamed(word);
    if (!direction)
        return {};
    return {kindOf(*direction), linkName(text.sliced(linkAt, kindAt - 1 - linkAt))};
}

TrafficRow LogFile::row(qint64 key) const
{
    const QByteArrayView text = line(key, m_shown);
    if (std::optional<QString> row = tooLong(key, text))
        return {TrafficKind::Broken, {}, {}, {}, *row};
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
