#include "traffic.h"

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

constexpr QStringView TcpPrefix = u"TCP ";
constexpr QStringView SerialPrefix = u"COM";

// A number written in at most `digits` decimal digits alone, or -1.
qint64 decimal(QStringView text, qsizetype digits)
{
    if (text.isEmpty() || text.size() > digits)
        return -1;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

QByteArrayView directionWord(Direction direction)
{
    switch (direction) {
    case Direction::Sent:
        return "sent";
    case Direction::Received:
        return "received";
    case Direction::Event:
        break;
    }
    return "event";
}

std::optional<Direction> directionNamed(QByteArrayView word)
{
    for (const Direction direction : {Direction::Sent, Direction::Received, Direction::Event}) {
        if (word == directionWord(direction))
            return direction;
    }
    return std::nullopt;
}

namespace linkname {

QString tcp(quint16 port)
{
    return TcpPrefix.toString() + QString::number(port);
}

QString serialPort(int number)
{
    return SerialPrefix.toString() + QString::number(number);
}

std::optional<quint16> tcpPort(QStringView name)
{
    if (!name.startsWith(TcpPrefix))
        return std::nullopt;
    const qint64 port = decimal(name.sliced(TcpPrefix.size()), 5);
    return port >= 0 && port <= 65535 ? std::optional<quint16>(quint16(port)) : std::nullopt;
}

bool isSerialPort(QStringView name)
{
    return name.startsWith(SerialPrefix) && decimal(name.sliced(SerialPrefix.size()), 5) >= 0;
}

std::optional<LinkKind> kindOf(QStringView name)
{
    if (tcpPort(name))
        return LinkKind::Tcp;
    if (name == Udp)
        return LinkKind::Udp;
    if (isSerialPort(name) || name == SimulatorLine)
        return LinkKind::Serial;
    return std::nullopt;
}

} // namespace linkname

} // namespace kalveno
