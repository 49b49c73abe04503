#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QObject>
#include <QString>

namespace kalveno::sim {

enum class Link { Tcp1, Tcp2, Udp, Serial, Sim };
enum class Direction { Rx, Tx };

QString linkName(Link link);
// "FE F8 08 02", at most `limit` bytes, then " ..." when there were more.
QString spacedHex(QByteArrayView bytes, qsizetype limit);
// "FEF80802"; "-" for no bytes.
QString packedHex(QByteArrayView bytes);
// Printable ASCII as it is; backslash, quote, CR, LF and tab escaped; other bytes as \xHH.
QString escaped(QByteArrayView bytes);

// The simulator's record of what crossed each link, one line per event, every line
//     HH:mm:ss.zzz <link> <what> ...
// where <link> is tcp1, tcp2, udp, serial or sim and <what> is one of
//     rx|tx bytes <count> <HEX HEX ...>      every raw chunk (hex of its first 256 bytes)
//     rx|tx frame <PAYLOADHEX> <meaning>     a bridge command frame
//     rx|tx text "<escaped>" <meaning>       a text message
//     rx|tx reader <HEX> <meaning>           an RFID reader request or reply
//     state <what changed>
// Lines go to stderr, or to a file that is flushed after every line.
class Log final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Log)

public:
    static constexpr qsizetype HexLimit = 256;

    explicit Log(QObject *parent = nullptr);

    bool openFile(const QString &path, QString *error);

    void bytes(Link link, Direction direction, QByteArrayView bytes);
    void frame(Link link, Direction direction, QByteArrayView payload, const QString &meaning);
    void text(Link link, Direction direction, QByteArrayView text, const QString &meaning);
    void reader(Link link, Direction direction, QByteArrayView bytes, const QString &meaning);
    void state(Link link, const QString &what);

Q_SIGNALS:
    void written(const QString &line);

private:
    void write(Link link, const QString &rest);

    QFile m_file;
};

} // namespace kalveno::sim
