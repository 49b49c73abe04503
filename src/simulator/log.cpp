#include "log.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

Log::Log(QObject *parent)
    : QObject(parent)
    , m_names{linkname::tcp(0), linkname::tcp(0), linkname::Udp.toString(),
              linkname::SimulatorLine.toString(), linkname::Simulator.toString()}
{}

Log::Log(Log *sink, const QString &prefix, QObject *parent)
    : Log(parent)
{
    m_sink = sink;
    m_prefix = prefix;
}

bool Log::openFile(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = m_file.errorString();
        return false;
    }
    return true;
}

void Log::setLinkName(Link link, const QString &name)
{
    m_names[size_t(link)] = name;
}

void Log::bytes(Link link, Direction direction, QByteArrayView bytes, const QString &meaning)
{
    write(link, direction, bytes, meaning);
}

void Log::state(Link link, const QString &what)
{
    write(link, Direction::Event, {}, what);
}

void Log::write(Link link, Direction direction, QByteArrayView bytes, const QString &meaning)
{
    const QByteArray line = logline::format({logline::now(), m_prefix + m_names[size_t(link)],
                                             direction, bytes.toByteArray(), meaning});
    if (m_sink)
        m_sink->writeLine(line);
    else
        writeLine(line);
}

void Log::writeLine(const QByteArray &line)
{
    if (m_file.isOpen()) {
        m_file.write(line);
        m_file.write("\n", 1);
        m_file.flush();
    } else {
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    Q_EMIT written(line);
}

} // namespace kalveno::sim
