#include "log.h"

#include <QTime>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

QString directionName(Direction direction)
{
    return direction == Direction::Rx ? u"rx"_s : u"tx"_s;
}

} // namespace

QString linkName(Link link)
{
    switch (link) {
    case Link::Tcp1:
        return u"tcp1"_s;
    case Link::Tcp2:
        return u"tcp2"_s;
    case Link::Udp:
        return u"udp"_s;
    case Link::Serial:
        return u"serial"_s;
    case Link::Sim:
        break;
    }
    return u"sim"_s;
}

QString spacedHex(QByteArrayView bytes, qsizetype limit)
{
    const QByteArrayView shown = bytes.first(qMin(bytes.size(), limit));
    QString text = QString::fromLatin1(shown.toByteArray().toHex(' ').toUpper());
    if (shown.size() < bytes.size())
        text += u" ..."_s;
    return text;
}

QString packedHex(QByteArrayView bytes)
{
    return bytes.isEmpty() ? u"-"_s : QString::fromLatin1(bytes.toByteArray().toHex().toUpper());
}

QString escaped(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
        case '\\':
            text += u"\\\\"_s;
            break;
        case '"':
            text += u"\\\""_s;
            break;
        case '\r':
            text += u"\\r"_s;
            break;
        case '\n':
            text += u"\\n"_s;
            break;
        case '\t':
            text += u"\\t"_s;
            break;
        default:
            if (b >= 0x20 && b < 0x7F)
                text += QLatin1Char(char(b));
            else
                text += u"\\x"_s + QString::number(b, 16).rightJustified(2, u'0').toUpper();
        }
    }
    return text;
}

Log::Log(QObject *parent)
    : QObject(parent)
{}

bool Log::openFile(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = m_file.errorString();
        return false;
    }
    return true;
}

void Log::bytes(Link link, Direction direction, QByteArrayView bytes)
{
    write(link, directionName(direction) + u" bytes %1 "_s.arg(bytes.size()) +
                    spacedHex(bytes, HexLimit));
}

void Log::frame(Link link, Direction direction, QByteArrayView payload, const QString &meaning)
{
    write(link, directionName(direction) + u" frame "_s + packedHex(payload) + u' ' + meaning);
}

void Log::text(Link link, Direction direction, QByteArrayView text, const QString &meaning)
{
    write(link, directionName(direction) + u" text \""_s + escaped(text) + u"\" "_s + meaning);
}

void Log::reader(Link link, Direction direction, QByteArrayView bytes, const QString &meaning)
{
    write(link, directionName(direction) + u" reader "_s + packedHex(bytes) + u' ' + meaning);
}

void Log::state(Link link, const QString &what)
{
    write(link, u"state "_s + what);
}

void Log::write(Link link, const QString &rest)
{
    const QString line =
        QTime::currentTime().toString(u"HH:mm:ss.zzz"_s) + u' ' + linkName(link) + u' ' + rest;
    // Received bytes are escaped to ASCII; only paths given on the command line may be more.
    const QByteArray bytes = line.toUtf8() + '\n';
    if (m_file.isOpen()) {
        m_file.write(bytes);
        m_file.flush();
    } else {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }
    Q_EMIT written(line);
}

} // namespace kalveno::sim
