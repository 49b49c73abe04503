#pragma once

#include "logline.h"

#include <QFile>
#include <QString>

#include <optional>

namespace kalveno::logline {

// Reads a session log file line by line, each line parsed. It stops at the first line that does
// not parse (a blank one included) and names the file and the line, so that a damaged log is
// never taken for a shorter one.
class FileReader
{
public:
    explicit FileReader(const QString &path);
    FileReader(const FileReader &) = delete;
    FileReader &operator=(const FileReader &) = delete;

    // False, with why in error(), when the file cannot be read.
    bool open();
    // The next line; nothing at the end of the file, or at a broken line, which error() names.
    std::optional<Line> next();
    // The number of the line that next() returned last, from 1.
    qint64 lineNumber() const { return m_number; }
    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }

private:
    QFile m_file;
    qint64 m_number = 0;
    QString m_error;
};

} // namespace kalveno::logline
