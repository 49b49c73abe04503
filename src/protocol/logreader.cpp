#include "logreader.h"

using namespace Qt::StringLiterals;

namespace kalveno::logline {

FileReader::FileReader(const QString &path)
    : m_file(path)
{}

bool FileReader::open()
{
    if (m_file.open(QIODevice::ReadOnly))
        return true;
    m_error = u"%1: %2"_s.arg(m_file.fileName(), m_file.errorString());
    return false;
}

std::optional<Line> FileReader::next()
{
    if (failed() || !m_file.isOpen() || m_file.atEnd())
        return std::nullopt;
    const QByteArray text = m_file.readLine();
    if (text.isEmpty()) {
        m_error = u"%1: %2"_s.arg(m_file.fileName(), m_file.errorString());
        return std::nullopt;
    }
    ++m_number;
    std::optional<Line> line = parse(text);
    if (!line)
        m_error = u"%1:%2: not a line of a session log"_s.arg(m_file.fileName(),
                                                              QString::number(m_number));
    return line;
}

} // namespace kalveno::logline
