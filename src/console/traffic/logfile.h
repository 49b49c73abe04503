#pragma once

#include "trafficsource.h"

#include <QByteArrayView>
#include <QFile>
#include <QHash>
#include <QList>

#include <memory>
#include <optional>
#include <utility>

namespace kalveno {

// A saved session log, read where it lies: the keys are the offsets of its lines, and a line is
// read and parsed only when it is shown or searched, so that a log of any size opens at once
// and costs the view a key per line. The view sees the file as long as it was when opened; one
// that shrinks afterwards reads as broken lines, never as a crash.
//
// A line costs at most MaxLine bytes to read: a longer one (the console's own lines are far
// shorter: it reads at most 64 KiB at a time) is shown as broken rows of MaxLine bytes each, the
// last with the line's length.
class LogFile final : public TrafficSource
{
public:
    static constexpr qint64 MaxLine = 16 * 1024 * 1024;

    // Nothing when the file cannot be read or is not a regular file, with why in `error`. It is
    // opened without waiting, so that a named pipe is refused rather than waited on.
    static std::unique_ptr<LogFile> open(const QString &path, QString *error);

    QString path() const { return m_path; }

    qint64 begin() const override { return 0; }
    qint64 end() const override { return m_size; }
    qint64 next(qint64 key) const override;
    TrafficBrief brief(qint64 key) const override;
    TrafficRow row(qint64 key) const override;
    QByteArray logLine(qint64 key) const override;

private:
    // A stretch of the file read in one go; the scan and the rows shown each keep their own, as
    // they are read at different places.
    struct Window
    {
        qint64 start = 0;
        QByteArray bytes;
        bool shortRead = false;
    };
    static constexpr qint64 Block = 256 * 1024;

    explicit LogFile(const QString &path);
    // The line at `key` with its line end, if it has one; of a line longer than MaxLine, the
    // MaxLine bytes from `key` on.
    QByteArrayView line(qint64 key, Window &window) const;
    // A row of a line too long to read, or nothing.
    std::optional<QString> tooLong(qint64 key, QByteArrayView text) const;
    QString linkName(QByteArrayView utf8) const;

    const QString m_path;
    mutable QFile m_file;
    qint64 m_size = 0;
    mutable Window m_scan;
    mutable Window m_shown;
    // The few link names of a log, each made into a string once; a log that holds more (a
    // damaged one) pays for the others line by line.
    static constexpr qsizetype MaxLinks = 32;
    mutable QList<std::pair<QByteArray, QString>> m_links;
    // Where each row after the first of a line too long to read begins, and where that line does.
    mutable QHash<qint64, qint64> m_cuts;
};

} // namespace kalveno
