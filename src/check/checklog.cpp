#include "checklog.h"

#include "protocol/logline.h"
#include "protocol/meaning.h"

namespace kalveno::check {

namespace {

QByteArray line(const QString &link, Direction direction, const QByteArray &bytes,
                const QString &meaning)
{
    return logline::format({logline::now(), link, direction, bytes, meaning}) + '\n';
}

} // namespace

bool CheckLog::open(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return true;
    *error = m_file.errorString();
    return false;
}

void CheckLog::sent(const QString &link, const QByteArray &bytes, const QString &note)
{
    if (m_file.isOpen())
        m_file.write(line(link, Direction::Sent, bytes,
                          note.isEmpty() ? meaning::of({LinkKind::Tcp, true}, bytes) : note));
}

void CheckLog::received(const QString &link, const QByteArray &bytes)
{
    if (m_file.isOpen())
        m_file.write(
            line(link, Direction::Received, bytes, meaning::of({LinkKind::Tcp, false}, bytes)));
}

void CheckLog::event(const QString &link, const QString &what)
{
    if (m_file.isOpen())
        m_file.write(line(link, Direction::Event, {}, what));
}

} // namespace kalveno::check
