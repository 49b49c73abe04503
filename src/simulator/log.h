#pragma once

#include "protocol/logline.h"

#include <QByteArrayView>
#include <QFile>
#include <QObject>
#include <QString>

#include <array>

namespace kalveno::sim {

enum class Link { Tcp1, Tcp2, Udp, Serial, Sim };

// The simulator's record of what crossed each link, in the session log's line format
// (protocol/logline.h) that the console shares, so that both logs of a session read side by
// side. Links are named "TCP <port>" once the ports listen, "UDP", "serial" and "sim"
// (protocol/traffic.h);
// directions are the simulator's. A received chunk is logged as it was read, without a meaning;
// the lines that follow it with a meaning say what parts of it were. Lines go to stderr, or to
// a file that is flushed after every line. Each bridge of a site has a log of its own that
// names its links "bridge <n> TCP 1024" and so on, and hands its lines to the site's log.
class Log final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Log)

public:
    explicit Log(QObject *parent = nullptr);
    // A bridge's log: `prefix` before every link name, each line written by `sink`.
    Log(Log *sink, const QString &prefix, QObject *parent = nullptr);

    bool openFile(const QString &path, QString *error);
    void setLinkName(Link link, const QString &name);

    // Bytes that crossed a link: a raw chunk as received (no meaning), a part of one with what
    // it is, or a write with what it carries.
    void bytes(Link link, Direction direction, QByteArrayView bytes, const QString &meaning = {});
    // A change of state: a client, the line, an output, polling, a control command, a drop.
    void state(Link link, const QString &what);

Q_SIGNALS:
    void written(const QByteArray &line);

private:
    void write(Link link, Direction direction, QByteArrayView bytes, const QString &meaning);
    void writeLine(const QByteArray &line);

    QFile m_file;
    Log *m_sink = nullptr;
    QString m_prefix;
    std::array<QString, 5> m_names;
};

} // namespace kalveno::sim
